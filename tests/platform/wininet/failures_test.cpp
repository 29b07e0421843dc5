// Failures: each cause gets its own code, a text from FormatMessageA, and a
// truthful "last response" line; time-outs and connect retries follow the
// options with short values.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <chrono>
#include <thread>

#include "tests/platform/wininet/wininet_fixture.h"

namespace dravenlok::wininet::test {
namespace {

using dravenlok::testing::HttpReply;
using dravenlok::testing::LoopbackServer;
using dravenlok::testing::RawReply;
using dravenlok::testing::Reply;

std::string LastResponseInfo()
{
    char text[1024] = {};
    DWORD error = 99;
    DWORD length = sizeof text;
    EXPECT_TRUE(InternetGetLastResponseInfoA(&error, text, &length));
    EXPECT_EQ(error, 0u);
    return std::string(text, length);
}

struct SendFailure {
    const char* name;
    std::optional<Reply> reply;  // nullopt: nothing listens
    const char* host;
    DWORD error;
    std::string responseInfo;
};

std::ostream& operator<<(std::ostream& out, const SendFailure& c)
{
    return out << c.name;
}

class SendFails : public WininetTest, public ::testing::WithParamInterface<SendFailure> {};

TEST_P(SendFails, WithItsOwnCodeTextAndResponseLine)
{
    const SendFailure& c = GetParam();
    std::optional<LoopbackServer> server;
    if (c.reply) {
        server.emplace();
        server->Push(*c.reply);
    }
    Exchange e = Prepare("/", 80, c.host);
    SetOption(e.session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, 200);
    EXPECT_EQ(Send(e.request.get()), c.error);
    EXPECT_EQ(LastResponseInfo(), c.responseInfo);

    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, c.error, LANG_USER_DEFAULT, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    EXPECT_GT(length, 0u) << "no text for " << c.error;
    if (text != nullptr) {
        EXPECT_STREQ(text, SystemMessageText(c.error));
        LocalFree(text);
    }

    // A failed send leaves nothing to query or read.
    DWORD status = 0;
    DWORD size = sizeof status;
    EXPECT_FALSE(HttpQueryInfoA(e.request.get(), HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_STATUS_CODE,
                                &status, &size, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
}

const std::string kHugeHeaders = [] {
    std::string block = "HTTP/1.1 200 OK\r\n";
    while (block.size() < 300 * 1024) {
        block += "X-Filler: " + std::string(1000, 'f') + "\r\n";
    }
    return block + "\r\n";
}();

INSTANTIATE_TEST_SUITE_P(
    Cases, SendFails,
    ::testing::Values(
        SendFailure{"Refused", std::nullopt, kTargetHost, ERROR_INTERNET_CANNOT_CONNECT, ""},
        SendFailure{"NotResolved", std::nullopt, "nowhere.dravenlok.test",
                    ERROR_INTERNET_NAME_NOT_RESOLVED, ""},
        SendFailure{"ReservedInvalidName", std::nullopt, "probe.invalid",
                    ERROR_INTERNET_NAME_NOT_RESOLVED, ""},
        SendFailure{"NotAHostName", std::nullopt, "evil.test/x?", ERROR_INTERNET_NAME_NOT_RESOLVED,
                    ""},
        SendFailure{"SilentServer", RawReply("", Reply::After::Hang), kTargetHost,
                    ERROR_INTERNET_TIMEOUT, ""},
        SendFailure{"SilentAfterStatusLine", RawReply("HTTP/1.1 200 OK\r\n", Reply::After::Hang),
                    kTargetHost, ERROR_INTERNET_TIMEOUT, "HTTP/1.1 200 OK"},
        SendFailure{"Reset", RawReply("", Reply::After::Reset), kTargetHost,
                    ERROR_INTERNET_CONNECTION_RESET, ""},
        SendFailure{"EmptyReply", RawReply(""), kTargetHost, ERROR_HTTP_INVALID_SERVER_RESPONSE, ""},
        SendFailure{"GarbageStatusLine", RawReply("garbage here\r\n\r\n"), kTargetHost,
                    ERROR_HTTP_INVALID_SERVER_RESPONSE, "garbage here"},
        SendFailure{"UnprintableStatusLine", RawReply("\x01\x7F" "bad\xFF\n"), kTargetHost,
                    ERROR_HTTP_INVALID_SERVER_RESPONSE, "\\x01\\x7Fbad\\xFF"},
        // curl rejects this line before handing it on, so there is no line to show.
        SendFailure{"StatusCodeNotANumber", RawReply("HTTP/1.1 abc OK\r\n\r\n"), kTargetHost,
                    ERROR_HTTP_INVALID_SERVER_RESPONSE, ""},
        SendFailure{"ClosedInsideHeaders", RawReply("HTTP/1.1 200 OK\r\nX-Half: 1\r\n"), kTargetHost,
                    ERROR_HTTP_INVALID_SERVER_RESPONSE, "HTTP/1.1 200 OK"},
        SendFailure{"HeadersTooLarge", RawReply(kHugeHeaders), kTargetHost,
                    ERROR_HTTP_INVALID_SERVER_RESPONSE, "HTTP/1.1 200 OK"},
        // One line over curl's limit for a single line: the server's fault,
        // not a lack of memory.
        SendFailure{"HeaderLineTooLong",
                    RawReply("HTTP/1.1 200 OK\r\nX-Long: " + std::string(200 * 1024, 'l') + "\r\n\r\n"),
                    kTargetHost, ERROR_HTTP_INVALID_SERVER_RESPONSE, "HTTP/1.1 200 OK"},
        SendFailure{"StatusLineTooLong",
                    RawReply("HTTP/1.1 200 " + std::string(200 * 1024, 'R') + "\r\n\r\n"), kTargetHost,
                    ERROR_HTTP_INVALID_SERVER_RESPONSE, ""}),
    [](const ::testing::TestParamInfo<SendFailure>& param) { return std::string(param.param.name); });

// Every code the layer can leave as last error has a text, so no report
// ever shows "(null)" for one of ours.
TEST(ErrorTexts, EveryCodeOfTheLayerHasOne)
{
    const DWORD codes[] = {
        ERROR_INVALID_HANDLE, ERROR_NOT_ENOUGH_MEMORY, ERROR_NOT_SUPPORTED, ERROR_INVALID_PARAMETER,
        ERROR_INSUFFICIENT_BUFFER, ERROR_INTERNET_TIMEOUT, ERROR_INTERNET_INTERNAL_ERROR,
        ERROR_INTERNET_INVALID_URL, ERROR_INTERNET_UNRECOGNIZED_SCHEME,
        ERROR_INTERNET_NAME_NOT_RESOLVED, ERROR_INTERNET_INVALID_OPTION,
        ERROR_INTERNET_BAD_OPTION_LENGTH, ERROR_INTERNET_OPERATION_CANCELLED,
        ERROR_INTERNET_INCORRECT_HANDLE_TYPE, ERROR_INTERNET_INCORRECT_HANDLE_STATE,
        ERROR_INTERNET_CANNOT_CONNECT, ERROR_INTERNET_CONNECTION_ABORTED,
        ERROR_INTERNET_CONNECTION_RESET, ERROR_HTTP_HEADER_NOT_FOUND,
        ERROR_HTTP_INVALID_SERVER_RESPONSE, ERROR_HTTP_INVALID_HEADER,
        ERROR_HTTP_INVALID_QUERY_REQUEST, ERROR_HTTP_HEADER_ALREADY_EXISTS,
        ERROR_INTERNET_DISCONNECTED};
    for (const DWORD code : codes) {
        const char* text = SystemMessageText(code);
        ASSERT_NE(text, nullptr) << code;
        EXPECT_GT(std::strlen(text), 0u) << code;
    }
}

class ResponseInfo : public WininetTest {};

TEST_F(ResponseInfo, SizeRulesAndStatusLineAfterSuccess)
{
    LoopbackServer server;
    server.Push(HttpReply(200, "ok"));
    Exchange e = Prepare();
    ASSERT_EQ(Send(e.request.get()), 0u);
    const std::string expected = "HTTP/1.1 200 OK";

    char text[32];
    DWORD length = static_cast<DWORD>(expected.size());  // no room for the zero
    EXPECT_FALSE(InternetGetLastResponseInfoA(nullptr, text, &length));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, expected.size() + 1);
    EXPECT_EQ(LastResponseInfo(), expected);
    EXPECT_FALSE(InternetGetLastResponseInfoA(nullptr, text, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    // A new session starts without an earlier session's line.
    Handle fresh = Open();
    EXPECT_EQ(LastResponseInfo(), "");
}

// A listener whose accept queue is full: the kernel drops further SYNs, so
// connecting to it neither succeeds nor is refused, it times out.
class FullListener {
public:
    explicit FullListener(const char* address)
    {
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_port = htons(80);
        ::inet_pton(AF_INET, address, &where.sin_addr);
        const auto* at = reinterpret_cast<const sockaddr*>(&where);
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        m_filler = ::socket(AF_INET, SOCK_STREAM, 0);
        m_ready = m_listener >= 0 && m_filler >= 0 && ::bind(m_listener, at, sizeof where) == 0 &&
                  ::listen(m_listener, 0) == 0 && ::connect(m_filler, at, sizeof where) == 0;
    }
    ~FullListener()
    {
        ::close(m_filler);
        ::close(m_listener);
    }
    FullListener(const FullListener&) = delete;
    FullListener& operator=(const FullListener&) = delete;
    [[nodiscard]] bool Ready() const { return m_ready; }

private:
    int m_listener = -1;
    int m_filler = -1;
    bool m_ready = false;
};

class ConnectAttempts : public WininetTest {};

// The framework probe's settings (30000 ms, back-off 1000 ms, one retry),
// run under a 200 ms cap: each attempt times out, exactly one retry is
// made, and the options still read back as set.
TEST_F(ConnectAttempts, TimeOutThenOneRetry)
{
    FullListener listener("127.0.0.3");
    ASSERT_TRUE(listener.Ready());
    wininet::testing::CapTimeoutsForTesting(200);
    Exchange e = Prepare("/", 80, "127.0.0.3");
    SetOption(e.session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, 30000);
    SetOption(e.session.get(), INTERNET_OPTION_CONNECT_BACKOFF, 1000);
    SetOption(e.session.get(), INTERNET_OPTION_CONNECT_RETRIES, 1);
    const std::size_t before = wininet::testing::FailedConnectAttempts();
    EXPECT_EQ(Send(e.request.get()), ERROR_INTERNET_TIMEOUT);
    EXPECT_EQ(wininet::testing::FailedConnectAttempts() - before, 2u);

    DWORD value = 0;
    DWORD length = sizeof value;
    ASSERT_TRUE(InternetQueryOptionA(e.request.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &value, &length));
    EXPECT_EQ(value, 30000u);
}

TEST_F(ConnectAttempts, RefusedAttemptsFollowTheRetryCount)
{
    for (const DWORD retries : {0u, 2u}) {
        Exchange e = Prepare();
        SetOption(e.session.get(), INTERNET_OPTION_CONNECT_RETRIES, retries);
        SetOption(e.session.get(), INTERNET_OPTION_CONNECT_BACKOFF, 10);
        const std::size_t before = wininet::testing::FailedConnectAttempts();
        EXPECT_EQ(Send(e.request.get()), ERROR_INTERNET_CANNOT_CONNECT);
        EXPECT_EQ(wininet::testing::FailedConnectAttempts() - before, retries + 1);
    }
}

// The retry really connects anew: a server that comes up during the
// back-off answers it.
TEST_F(ConnectAttempts, RetryReachesAServerThatCameUp)
{
    std::optional<LoopbackServer> server;
    const std::size_t before = wininet::testing::FailedConnectAttempts();
    std::thread starter([&] {
        while (wininet::testing::FailedConnectAttempts() == before) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        server.emplace();
        server->SetDefault(HttpReply(200, "late"));
    });
    Exchange e = Prepare();
    SetOption(e.session.get(), INTERNET_OPTION_CONNECT_RETRIES, 1);
    SetOption(e.session.get(), INTERNET_OPTION_CONNECT_BACKOFF, 1000);
    const DWORD result = Send(e.request.get());
    starter.join();
    ASSERT_EQ(result, 0u);
    EXPECT_EQ(ReadAll(e.request.get()), "late");
    EXPECT_EQ(wininet::testing::FailedConnectAttempts() - before, 1u);
    e = Exchange{};
}

// A server that never reads: the streamed body cannot leave, and the write
// fails once nothing moved for the send time-out.
TEST_F(ConnectAttempts, SendTimeOutWhenTheServerReadsNothing)
{
    LoopbackServer server;
    Reply silent = RawReply("", Reply::After::Hang);
    silent.read_request = false;
    server.Push(silent);
    Exchange e;
    e.session = Open();
    e.connection = Connect(e.session.get());
    e.request = OpenRequest(e.connection.get(), "POST", "/");
    SetOption(e.request.get(), INTERNET_OPTION_SEND_TIMEOUT, 200);
    const std::string body(64 * 1024 * 1024, 'b');
    const std::string length = "Content-Length: " + std::to_string(body.size());
    ASSERT_TRUE(HttpAddRequestHeadersA(e.request.get(), length.c_str(), 0xFFFFFFFF, 0));
    ASSERT_TRUE(HttpSendRequestExA(e.request.get(), nullptr, nullptr, 0, 0));
    DWORD written = 0;
    EXPECT_FALSE(InternetWriteFile(e.request.get(), body.data(), static_cast<DWORD>(body.size()),
                                   &written));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    EXPECT_LT(written, body.size());
}

// A server that sends each byte well within the receive time-out keeps every
// single wait short; the exchange's total (ten times the longer of the send
// and receive time-outs) still ends it long before the server is done.
class ExchangeTotal : public WininetTest {};

constexpr std::chrono::milliseconds kDripPause{100};

Reply DrippedFrom(std::string bytes, std::size_t from)
{
    Reply reply = RawReply(std::move(bytes));
    reply.drip = kDripPause;
    reply.drip_from = from;
    return reply;
}

// Derived from the handle's own time-outs: 10 x 500 ms, while the header
// block would take a minute to come.
TEST_F(ExchangeTotal, EndsASendWhoseHeadersDrip)
{
    LoopbackServer server;
    const std::string status = "HTTP/1.1 200 OK\r\n";
    server.Push(DrippedFrom(
        status + "X-Slow: " + std::string(600, 's') + "\r\nContent-Length: 0\r\n\r\n",
        status.size()));
    Exchange e = Prepare();
    SetOption(e.session.get(), INTERNET_OPTION_SEND_TIMEOUT, 500);
    SetOption(e.session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, 500);
    EXPECT_EQ(Send(e.request.get()), ERROR_INTERNET_TIMEOUT);
    EXPECT_EQ(LastResponseInfo(), "HTTP/1.1 200 OK");
}

// The receive time-out is the time without a single byte: a header line
// that takes longer to come than the time-out, byte by byte, is waited for.
TEST_F(ExchangeTotal, SlowHeaderLineWithinTheTotalIsTaken)
{
    LoopbackServer server;
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n";
    server.Push(DrippedFrom(head + "X-Slow: ssssss\r\n\r\nok", head.size()));
    Exchange e = Prepare();
    SetOption(e.session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, 500);
    ASSERT_EQ(Send(e.request.get()), 0u);
    EXPECT_EQ(ReadAll(e.request.get()), "ok");
}

// Derived from the capped defaults: the read hands out the bytes that came,
// and the next one fails as after a receive time-out.
TEST_F(ExchangeTotal, ReadHandsOutWhatCameThenFails)
{
    wininet::testing::CapTimeoutsForTesting(500);
    LoopbackServer server;
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 600\r\n\r\n";
    server.Push(DrippedFrom(head + std::string(600, 'd'), head.size()));
    Exchange e = Prepare();
    ASSERT_EQ(Send(e.request.get()), 0u);

    std::vector<char> buffer(1000);
    DWORD read = 0;
    ASSERT_TRUE(InternetReadFile(e.request.get(), buffer.data(), 1000, &read)) << GetLastError();
    EXPECT_GT(read, 0u);
    EXPECT_LT(read, 600u);
    EXPECT_EQ(std::string(buffer.data(), read), std::string(read, 'd'));
    EXPECT_FALSE(InternetReadFile(e.request.get(), buffer.data(), 1000, &read));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    EXPECT_EQ(read, 0u);
}

// Only the time spent waiting in the layer counts: a caller that pauses
// longer than the total between two reads still gets the whole body.
TEST_F(ExchangeTotal, CallersOwnPausesDoNotCount)
{
    LoopbackServer server;
    const std::string body(200 * 1024, 'b');
    server.Push(HttpReply(200, body));
    Exchange e = Prepare();
    SetOption(e.session.get(), INTERNET_OPTION_SEND_TIMEOUT, 100);
    SetOption(e.session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, 100);
    ASSERT_EQ(Send(e.request.get()), 0u);
    char first[10] = {};
    DWORD read = 0;
    ASSERT_TRUE(InternetReadFile(e.request.get(), first, sizeof first, &read));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(std::string(first, read) + ReadAll(e.request.get()), body);
}

}  // namespace
}  // namespace dravenlok::wininet::test
