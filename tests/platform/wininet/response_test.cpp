// The response side: status and header queries, and body reads that pull
// only what is asked for.
#include <cstring>
#include <numeric>

#include "tests/platform/wininet/wininet_fixture.h"

namespace dravenlok::wininet::test {
namespace {

using dravenlok::testing::HttpReply;
using dravenlok::testing::LoopbackServer;
using dravenlok::testing::RawReply;
using dravenlok::testing::Reply;

class ResponseQuery : public WininetTest {};

TEST_F(ResponseQuery, StatusAsNumberAndAsText)
{
    LoopbackServer server;
    server.Push(HttpReply(404, "missing"));
    Exchange e = Prepare();
    ASSERT_EQ(Send(e.request.get()), 0u);

    DWORD status = 0;
    DWORD length = sizeof status;
    ASSERT_TRUE(HttpQueryInfoA(e.request.get(), HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_STATUS_CODE,
                               &status, &length, nullptr));
    EXPECT_EQ(status, 404u);
    EXPECT_EQ(length, 4u);

    char small[3] = {};
    length = 3;
    EXPECT_FALSE(HttpQueryInfoA(e.request.get(), HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_STATUS_CODE,
                                small, &length, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, 4u);

    char text[80] = {};
    length = sizeof text;
    ASSERT_TRUE(HttpQueryInfoA(e.request.get(), HTTP_QUERY_STATUS_CODE, text, &length, nullptr));
    EXPECT_STREQ(text, "404");
    EXPECT_EQ(length, 3u);

    length = sizeof text;
    ASSERT_TRUE(HttpQueryInfoA(e.request.get(), HTTP_QUERY_STATUS_TEXT, text, &length, nullptr));
    EXPECT_STREQ(text, "Not Found");

    EXPECT_FALSE(HttpQueryInfoA(e.request.get(), HTTP_QUERY_STATUS_CODE, text, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// The final response's lines as the server sent them, each ending CR LF
// (a bare LF becomes CR LF), the interim 100 block left out, then the empty
// line and a zero; one byte too few fails and names the size needed.
TEST_F(ResponseQuery, RawHeadersOfTheFinalResponse)
{
    LoopbackServer server;
    server.Push(RawReply("HTTP/1.1 100 Continue\r\n\r\n"
                    "HTTP/1.1 302 Found\r\nLocation: http://x/\nX-Odd:  spaced \r\n"
                    "Content-Length: 0\r\n\r\n"));
    Exchange e = Prepare();
    ASSERT_EQ(Send(e.request.get()), 0u);
    const std::string expected =
        "HTTP/1.1 302 Found\r\nLocation: http://x/\r\nX-Odd:  spaced \r\nContent-Length: 0\r\n\r\n";

    DWORD length = 0;
    EXPECT_FALSE(HttpQueryInfoA(e.request.get(), HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &length,
                                nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, expected.size() + 1);

    std::string buffer(expected.size() + 1, '#');
    length = static_cast<DWORD>(expected.size());  // one byte too few
    EXPECT_FALSE(HttpQueryInfoA(e.request.get(), HTTP_QUERY_RAW_HEADERS_CRLF, buffer.data(),
                                &length, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, expected.size() + 1);
    EXPECT_EQ(buffer, std::string(expected.size() + 1, '#')) << "nothing written on failure";

    length = static_cast<DWORD>(buffer.size());
    ASSERT_TRUE(HttpQueryInfoA(e.request.get(), HTTP_QUERY_RAW_HEADERS_CRLF, buffer.data(), &length,
                               nullptr));
    EXPECT_EQ(length, expected.size());
    EXPECT_EQ(buffer, expected + '\0');

    DWORD status = 0;
    length = sizeof status;
    ASSERT_TRUE(HttpQueryInfoA(e.request.get(), HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_STATUS_CODE,
                               &status, &length, nullptr));
    EXPECT_EQ(status, 302u);
}

TEST_F(ResponseQuery, NamedHeaders)
{
    LoopbackServer server;
    server.Push(HttpReply(200, "12345", {"Content-Type: text/plain", "Set-Cookie: a=1",
                                         "Set-Cookie: b=2"}));
    Exchange e = Prepare();
    ASSERT_EQ(Send(e.request.get()), 0u);

    char text[64] = {};
    DWORD length = sizeof text;
    ASSERT_TRUE(HttpQueryInfoA(e.request.get(), HTTP_QUERY_CONTENT_TYPE, text, &length, nullptr));
    EXPECT_STREQ(text, "text/plain");

    DWORD number = 0;
    length = sizeof number;
    ASSERT_TRUE(HttpQueryInfoA(e.request.get(), HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_CONTENT_LENGTH,
                               &number, &length, nullptr));
    EXPECT_EQ(number, 5u);

    length = sizeof text;
    EXPECT_FALSE(HttpQueryInfoA(e.request.get(), HTTP_QUERY_LOCATION, text, &length, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_HTTP_HEADER_NOT_FOUND);

    length = sizeof text;
    EXPECT_FALSE(HttpQueryInfoA(e.request.get(), 9999, text, &length, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_HTTP_INVALID_QUERY_REQUEST);
}

class BodyRead : public WininetTest {};

TEST_F(BodyRead, HandsOutTheSizesAskedForThenZero)
{
    std::string body(2500, '\0');
    std::iota(body.begin(), body.end(), '\0');
    LoopbackServer server;
    server.Push(HttpReply(200, body));
    Exchange e = Prepare();
    ASSERT_EQ(Send(e.request.get()), 0u);

    char buffer[3000];
    DWORD read = 0;
    ASSERT_TRUE(InternetReadFile(e.request.get(), buffer, 10, &read));
    EXPECT_EQ(read, 10u);
    ASSERT_TRUE(InternetReadFile(e.request.get(), buffer + 10, 2000, &read));
    EXPECT_EQ(read, 2000u);
    ASSERT_TRUE(InternetReadFile(e.request.get(), buffer + 2010, 1000, &read));
    EXPECT_EQ(read, 490u);
    EXPECT_EQ(std::string(buffer, 2500), body);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(InternetReadFile(e.request.get(), buffer, sizeof buffer, &read));
        EXPECT_EQ(read, 0u);
    }
}

// A 1 KB read of an endless body takes little more than 1 KB off the
// socket: what the server got to send is bounded by the socket buffers,
// not by the body. Later reads continue exactly where the first stopped.
TEST_F(BodyRead, PullsOnlyWhatIsRead)
{
    std::string pattern(1024, '\0');
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        pattern[i] = static_cast<char>('a' + i % 26);
    }
    LoopbackServer server;
    Reply reply = RawReply("HTTP/1.1 200 OK\r\nContent-Length: 1000000000\r\n\r\n", Reply::After::Endless);
    reply.endless_chunk = pattern;
    reply.send_buffer = 4096;
    server.Push(reply);
    Exchange e = Prepare();
    ASSERT_EQ(Send(e.request.get()), 0u);

    std::string got(1024, '\0');
    DWORD read = 0;
    ASSERT_TRUE(InternetReadFile(e.request.get(), got.data(), 1024, &read));
    ASSERT_EQ(read, 1024u);
    EXPECT_EQ(got, pattern);
    EXPECT_LT(server.BytesSent(), 1024u * 1024u);

    std::string more(3 * 1024, '\0');
    ASSERT_TRUE(InternetReadFile(e.request.get(), more.data(), 3 * 1024, &read));
    ASSERT_EQ(read, 3u * 1024u);
    EXPECT_EQ(more, pattern + pattern + pattern);
    EXPECT_LT(server.BytesSent(), 1024u * 1024u);
}

// A transfer that breaks after some body bytes hands those bytes out first
// and fails the read after them, with the code of what went wrong.
struct BrokenBody {
    const char* name;
    Reply reply;
    std::string delivered;
    DWORD error;
};

std::ostream& operator<<(std::ostream& out, const BrokenBody& c)
{
    return out << c.name;
}

class BrokenBodyRead : public WininetTest, public ::testing::WithParamInterface<BrokenBody> {};

TEST_P(BrokenBodyRead, DeliversWhatCameThenFails)
{
    const BrokenBody& c = GetParam();
    LoopbackServer server;
    server.Push(c.reply);
    Exchange e = Prepare();
    SetOption(e.session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, 300);
    ASSERT_EQ(Send(e.request.get()), 0u);

    char buffer[64] = {};
    DWORD read = 0;
    ASSERT_TRUE(InternetReadFile(e.request.get(), buffer, sizeof buffer, &read));
    EXPECT_EQ(std::string(buffer, read), c.delivered);
    EXPECT_FALSE(InternetReadFile(e.request.get(), buffer, sizeof buffer, &read));
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(read, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrokenBodyRead,
    ::testing::Values(
        BrokenBody{"ShorterThanContentLength",
                   RawReply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"), "abc",
                   ERROR_INTERNET_CONNECTION_ABORTED},
        BrokenBody{"ResetMidBody",
                   RawReply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", Reply::After::Reset),
                   "abc", ERROR_INTERNET_CONNECTION_RESET},
        BrokenBody{"SilentMidBody",
                   RawReply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", Reply::After::Hang),
                   "abc", ERROR_INTERNET_TIMEOUT},
        BrokenBody{"BadChunkedEncoding",
                   RawReply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\nzz\r\n"),
                   "abc", ERROR_HTTP_INVALID_SERVER_RESPONSE}),
    [](const ::testing::TestParamInfo<BrokenBody>& param) { return std::string(param.param.name); });

// Chunked framing is removed, and trailers never join the header block.
TEST_F(BodyRead, ChunkedBodyWithTrailers)
{
    LoopbackServer server;
    server.Push(RawReply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                    "3\r\nabc\r\n2\r\nde\r\n0\r\nX-Trailer: t\r\n\r\n"));
    Exchange e = Prepare();
    ASSERT_EQ(Send(e.request.get()), 0u);
    EXPECT_EQ(ReadAll(e.request.get()), "abcde");
    char headers[256] = {};
    DWORD length = sizeof headers;
    ASSERT_TRUE(HttpQueryInfoA(e.request.get(), HTTP_QUERY_RAW_HEADERS_CRLF, headers, &length,
                               nullptr));
    EXPECT_STREQ(headers, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
}

}  // namespace
}  // namespace dravenlok::wininet::test
