// InternetCanonicalizeUrlA and InternetCrackUrlA: tables of URLs, the buffer
// rules, and random input that must never make either write out of bounds.
#include <cstring>
#include <memory>
#include <random>

#include "tests/platform/wininet/wininet_fixture.h"

namespace dravenlok::wininet::test {
namespace {

struct Canonical {
    const char* input;
    DWORD flags;
    const char* expected;  // nullptr: fails with `error`
    DWORD error;
};

// Printed with every byte outside printable ASCII escaped, as test names
// and failure messages should be.
std::ostream& operator<<(std::ostream& out, const Canonical& c)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    out << "url ";
    for (const char* p = c.input; *p != '\0'; ++p) {
        const auto u = static_cast<unsigned char>(*p);
        if (u > 0x20 && u < 0x7F && u != '\\') {
            out << *p;
        } else {
            out << "\\x" << kHex[u >> 4] << kHex[u & 0x0F];
        }
    }
    return out << " flags " << std::hex << c.flags << std::dec;
}

class Canonicalize : public ::testing::TestWithParam<Canonical> {};

TEST_P(Canonicalize, Cases)
{
    const Canonical& c = GetParam();
    char buffer[INTERNET_MAX_URL_LENGTH] = {};
    DWORD length = sizeof buffer;
    const BOOL ok = InternetCanonicalizeUrlA(c.input, buffer, &length, c.flags);
    if (c.expected == nullptr) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(GetLastError(), c.error);
        return;
    }
    ASSERT_TRUE(ok) << GetLastError();
    EXPECT_STREQ(buffer, c.expected);
    EXPECT_EQ(length, std::strlen(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Canonicalize,
    ::testing::Values(
        Canonical{"http://Example.COM/a/./b/../c", ICU_BROWSER_MODE, "http://example.com/a/c", 0},
        Canonical{" \t\x01http://h/x y\r\n", ICU_BROWSER_MODE, "http://h/x%20y", 0},
        Canonical{"http://h/new\r", ICU_BROWSER_MODE, "http://h/new", 0},  // a Location line's CR
        Canonical{"http://h/a\tb\nc", ICU_BROWSER_MODE, "http://h/abc", 0},
        Canonical{"http://h/a b?q=a b#f g", ICU_BROWSER_MODE, "http://h/a%20b?q=a b#f g", 0},
        Canonical{"http://h/a b?q=a b#f g", 0, "http://h/a%20b?q=a%20b#f%20g", 0},
        Canonical{"http://h", ICU_BROWSER_MODE, "http://h/", 0},
        Canonical{"http://h/\xC3\xA9\x7F", 0, "http://h/%C3%A9%7F", 0},
        Canonical{"http://h/%41%20", 0, "http://h/%41%20", 0},
        Canonical{"http://h/a/../../../b/..", 0, "http://h/", 0},
        Canonical{"http://h/a/b/.", 0, "http://h/a/b/", 0},
        Canonical{"HTTP://H:8080\\a\\b", ICU_BROWSER_MODE, "http://h:8080/a/b", 0},
        Canonical{"http://User@H/", 0, "http://User@h/", 0},
        Canonical{"http://h/a/../b", ICU_NO_META, "http://h/a/../b", 0},
        Canonical{"http://h/a b\xC3", ICU_ENCODE_SPACES_ONLY, "http://h/a%20b\xC3", 0},
        Canonical{"http://h/%41", ICU_DECODE, "http://h/A", 0},
        // A decoded zero byte would cut the text short of its length.
        Canonical{"http://h/a%00b", ICU_DECODE | ICU_NO_ENCODE, "http://h/a%00b", 0},
        Canonical{"mailto:someone@x", 0, "mailto:someone@x", 0},
        Canonical{"no scheme", 0, nullptr, ERROR_INTERNET_UNRECOGNIZED_SCHEME},
        Canonical{"", 0, nullptr, ERROR_INTERNET_UNRECOGNIZED_SCHEME},
        Canonical{"://h/", 0, nullptr, ERROR_INTERNET_UNRECOGNIZED_SCHEME},
        Canonical{"http://", 0, nullptr, ERROR_INTERNET_INVALID_URL},
        Canonical{"http:/x", 0, nullptr, ERROR_INTERNET_INVALID_URL},
        Canonical{"https://:80/", 0, nullptr, ERROR_INTERNET_INVALID_URL}));

TEST(CanonicalizeBuffer, TooSmallNamesTheSizeAndWritesNothing)
{
    const char url[] = "http://h/a b";
    const std::string expected = "http://h/a%20b";
    DWORD length = 0;
    EXPECT_FALSE(InternetCanonicalizeUrlA(url, nullptr, &length, 0));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, expected.size() + 1);

    std::string buffer(expected.size(), '#');
    length = static_cast<DWORD>(buffer.size());  // one byte too few
    EXPECT_FALSE(InternetCanonicalizeUrlA(url, buffer.data(), &length, 0));
    EXPECT_EQ(length, expected.size() + 1);
    EXPECT_EQ(buffer, std::string(expected.size(), '#'));

    buffer.assign(expected.size() + 1, '#');
    length = static_cast<DWORD>(buffer.size());
    ASSERT_TRUE(InternetCanonicalizeUrlA(url, buffer.data(), &length, 0));
    EXPECT_EQ(buffer, expected + '\0');
    EXPECT_FALSE(InternetCanonicalizeUrlA(url, buffer.data(), nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// The parts of a cracked URL, each copied into a buffer of its own.
struct Cracked {
    std::string scheme, host, user, password, path, extra;
    INTERNET_SCHEME nScheme = INTERNET_SCHEME_UNKNOWN;
    INTERNET_PORT port = 0;
};

std::optional<Cracked> Crack(const char* url, bool withExtra, DWORD& error)
{
    char scheme[64], host[256], user[64], password[64], path[2048], extra[2048];
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszScheme = scheme;
    parts.dwSchemeLength = sizeof scheme;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUserName = user;
    parts.dwUserNameLength = sizeof user;
    parts.lpszPassword = password;
    parts.dwPasswordLength = sizeof password;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof path;
    if (withExtra) {
        parts.lpszExtraInfo = extra;
        parts.dwExtraInfoLength = sizeof extra;
    }
    if (!InternetCrackUrlA(url, 0, 0, &parts)) {
        error = GetLastError();
        return std::nullopt;
    }
    Cracked out{scheme, host, user, password, path, withExtra ? extra : "", parts.nScheme, parts.nPort};
    return out;
}

TEST(CrackUrl, AllParts)
{
    DWORD error = 0;
    const auto full = Crack("http://user:pw@Host.example:8080/p/a?q=1#f", true, error);
    ASSERT_TRUE(full) << error;
    EXPECT_EQ(full->scheme, "http");
    EXPECT_EQ(full->nScheme, INTERNET_SCHEME_HTTP);
    EXPECT_EQ(full->host, "Host.example");
    EXPECT_EQ(full->port, 8080);
    EXPECT_EQ(full->user, "user");
    EXPECT_EQ(full->password, "pw");
    EXPECT_EQ(full->path, "/p/a");
    EXPECT_EQ(full->extra, "?q=1#f");

    const auto noExtra = Crack("http://h/p?q=1#f", false, error);
    ASSERT_TRUE(noExtra);
    EXPECT_EQ(noExtra->path, "/p?q=1#f");
    EXPECT_EQ(noExtra->port, 80);
    EXPECT_EQ(noExtra->user, "");

    const auto secure = Crack("https://h", true, error);
    ASSERT_TRUE(secure);
    EXPECT_EQ(secure->nScheme, INTERNET_SCHEME_HTTPS);
    EXPECT_EQ(secure->port, 443);
    EXPECT_EQ(secure->path, "");

    const auto literal = Crack("http://[::1]:81/x", true, error);
    ASSERT_TRUE(literal);
    EXPECT_EQ(literal->host, "[::1]");
    EXPECT_EQ(literal->port, 81);
}

TEST(CrackUrl, Rejects)
{
    const std::pair<const char*, DWORD> cases[] = {
        {"foo://h/", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
        {"nocolon", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
        {"http:///x", ERROR_INTERNET_INVALID_URL},
        {"http:h/x", ERROR_INTERNET_INVALID_URL},
        {"http://h:99999/", ERROR_INTERNET_INVALID_URL},
        {"http://h:8a/", ERROR_INTERNET_INVALID_URL},
        {"http://[::1/", ERROR_INTERNET_INVALID_URL},
    };
    for (const auto& [url, expected] : cases) {
        DWORD error = 0;
        EXPECT_FALSE(Crack(url, true, error)) << url;
        EXPECT_EQ(error, expected) << url;
    }
}

// Without a buffer the parts point into the URL; a buffer too small for
// its part fails with the size it needs; length 0 skips a part.
TEST(CrackUrl, PointingCopyingAndSkipping)
{
    const char url[] = "http://host.example/path?x";
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    ASSERT_TRUE(InternetCrackUrlA(url, 0, 0, &parts));
    EXPECT_EQ(std::string(parts.lpszHostName, parts.dwHostNameLength), "host.example");
    EXPECT_EQ(std::string(parts.lpszUrlPath, parts.dwUrlPathLength), "/path?x");
    EXPECT_EQ(parts.lpszScheme, nullptr);

    char host[12];  // "host.example" needs 13
    parts = URL_COMPONENTSA{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    EXPECT_FALSE(InternetCrackUrlA(url, 0, 0, &parts));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(parts.dwHostNameLength, 13u);

    parts.dwStructSize = 0;
    EXPECT_FALSE(InternetCrackUrlA(url, 0, 0, &parts));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// Random bytes around URL-ish pieces: whatever comes in, results stay in
// buffers sized exactly as announced (heap blocks, so the address
// sanitizer sees any byte written past them).
TEST(UrlRobustness, RandomInputStaysInBounds)
{
    std::mt19937 random(20261211);
    const char* pieces[] = {"http://", "https://", "//", "/", "..", ".", "?", "#", "@", ":", "[",
                            "]", "%", "%4", "\\", " ", "\r\n", "\t", "\x01", "\xFF", "h", "a",
                            "mailto:", "80", "99999"};
    for (int round = 0; round < 3000; ++round) {
        std::string url;
        const int count = static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i) {
            if (random() % 4 == 0) {
                url += static_cast<char>(1 + random() % 255);
            } else {
                url += pieces[random() % std::size(pieces)];
            }
        }
        for (const DWORD flags : {0u, static_cast<DWORD>(ICU_BROWSER_MODE), static_cast<DWORD>(ICU_DECODE)}) {
            DWORD needed = 0;
            if (InternetCanonicalizeUrlA(url.c_str(), nullptr, &needed, flags) ||
                GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
                continue;
            }
            auto out = std::make_unique<char[]>(needed);
            DWORD length = needed;
            ASSERT_TRUE(InternetCanonicalizeUrlA(url.c_str(), out.get(), &length, flags)) << url;
            ASSERT_EQ(length + 1, needed);
            ASSERT_EQ(std::strlen(out.get()), length);
        }
        const DWORD sizes[] = {1, 2, 8};
        const DWORD size = sizes[random() % 3];
        auto host = std::make_unique<char[]>(size);
        auto path = std::make_unique<char[]>(size);
        URL_COMPONENTSA parts{};
        parts.dwStructSize = sizeof parts;
        parts.lpszHostName = host.get();
        parts.dwHostNameLength = size;
        parts.lpszUrlPath = path.get();
        parts.dwUrlPathLength = size;
        parts.dwExtraInfoLength = 1;  // point into the URL
        (void)InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), random() % 2 ? ICU_DECODE : 0,
                                &parts);
    }
}

}  // namespace
}  // namespace dravenlok::wininet::test
