// URL splitting: the client's own scanning rules, and parts too long for
// their buffers.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "http_client/http_client.h"

namespace {

struct Split {
    std::string scheme;
    std::string host;
    int port = -12345;
    std::string path;
};

// Splits with fresh zero-filled buffers, as Request hands them over, and
// checks that every part ends inside its buffer.
Split SplitUrl(const std::string& url)
{
    static CHttpClient client;  // SplitURL touches no member
    char scheme[CHttpClient::kPartSize] = {};
    char host[CHttpClient::kPartSize] = {};
    char path[CHttpClient::kPartSize] = {};
    Split out;
    client.SplitURL(url.c_str(), scheme, host, out.port, path);
    for (const char* part : {scheme, host, path}) {
        EXPECT_LT(strnlen(part, sizeof scheme), sizeof scheme) << url;
    }
    out.scheme = scheme;
    out.host = host;
    out.path = path;
    return out;
}

struct SplitCase {
    const char* url;
    const char* scheme;
    const char* host;
    int port;
    const char* path;
};

TEST(SplitUrlTest, SplitsByTheClientsRules)
{
    const SplitCase cases[] = {
        {"http://h/", "http", "h", 80, "/"},
        {"https://h/x", "https", "h", 443, "/x"},
        {"h:8080/p", "http", "h", 8080, "/p"},
        {"http://h:81", "http", "h", 81, ""},
        {"noslash", "http", "noslash", 80, ""},
        {"", "http", "", 80, ""},
        {"http://h", "http", "h", 80, ""},
        {"HTTPS://h/", "HTTPS", "h", 80, "/"},  // the scheme compares case-sensitively
        {"ftp://h/a/b", "ftp", "h", 80, "/a/b"},
        {"https://h:8443", "https", "h", 8443, ""},
        {"http://h:/x", "http", "h", 0, "/x"},
        {"http://h:8080x/p", "http", "h", 8080, "/p"},
        {"http:/x", "http", "", 80, ""},  // the byte after ':/' is skipped
        {"h/p:x", "http", "h", 80, "/p:x"},   // first ':' not followed by '/': no scheme
        {"h/a://b", "h/a", "b", 80, ""},      // first ':' anywhere decides the scheme
        {"a:", "http", "a", 0, ""},
        {"a:/", "a", "", 80, ""},             // the host would start past the end
        {"http://user:pw@h/", "http", "user", 0, "/"},  // no user information
        {"http://h: +81/", "http", "h", 81, "/"},       // atol: white space and a sign
        {"http://h:-1/", "http", "h", -1, "/"},
        {"http://h:99999999999999999999/", "http", "h", 2147483647, "/"},  // clamped, no overflow
    };
    for (const SplitCase& c : cases) {
        const Split got = SplitUrl(c.url);
        EXPECT_EQ(got.scheme, c.scheme) << c.url;
        EXPECT_EQ(got.host, c.host) << c.url;
        EXPECT_EQ(got.port, c.port) << c.url;
        EXPECT_EQ(got.path, c.path) << c.url;
    }
}

TEST(SplitUrlTest, CutsOverlongPartsAtTheirBuffer)
{
    const std::string host(5000, 'h');
    const std::string path = "/" + std::string(3000, 'p');
    const Split got = SplitUrl("http://" + host + ":8080" + path);
    EXPECT_EQ(got.host, host.substr(0, 1023));
    EXPECT_EQ(got.path, path.substr(0, 1023));
    EXPECT_EQ(got.port, 8080);

    const std::string scheme(2000, 's');
    EXPECT_EQ(SplitUrl(scheme + "://h/").scheme, scheme.substr(0, 1023));
    // A port text is read only as far as its buffer would hold it.
    EXPECT_EQ(SplitUrl("h:" + std::string(1023, ' ') + "42/").port, 0);
    EXPECT_EQ(SplitUrl("h:" + std::string(1021, ' ') + "42/").port, 42);
}

class SplitUrlUtf8Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* previous = std::setlocale(LC_ALL, nullptr);
        m_previous = previous != nullptr ? previous : "C";
        if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) {
            GTEST_SKIP() << "no C.UTF-8 locale";
        }
    }
    void TearDown() override { std::setlocale(LC_ALL, m_previous.c_str()); }

private:
    std::string m_previous;
};

TEST_F(SplitUrlUtf8Test, NeverCutsInsideACharacter)
{
    // 1022 bytes, then a two-byte character that would end at byte 1024.
    const std::string host = std::string(1022, 'h') + "\xC3\xA9" + "tail";
    const Split got = SplitUrl("http://" + host + "/");
    EXPECT_EQ(got.host, std::string(1022, 'h'));
    EXPECT_EQ(got.path, "/");
}

TEST_F(SplitUrlUtf8Test, MultibyteTextSplitsAroundIt)
{
    const Split got = SplitUrl("http://h\xC3\xA9t\xC3\xA9:81/\xE2\x82\xAC");
    EXPECT_EQ(got.host, "h\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(got.port, 81);
    EXPECT_EQ(got.path, "/\xE2\x82\xAC");
}

}  // namespace
