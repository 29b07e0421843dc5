// Handles: misuse is refused with the right code, closing a parent closes
// its children, options are inherited, and the test seams do what they say.
#include <sched.h>

#include <functional>
#include <thread>

#include "platform/wininet/settings.h"
#include "tests/platform/wininet/wininet_fixture.h"

namespace dravenlok::wininet::test {
namespace {

using dravenlok::testing::HttpReply;
using dravenlok::testing::LoopbackServer;

enum class Needs { Session, Connection, Request };

struct Use {
    const char* name;
    Needs needs;
    std::function<BOOL(HINTERNET)> call;
};

BOOL Handled(HINTERNET h)
{
    return h != nullptr;
}

const std::vector<Use>& Uses()
{
    static char buffer[64];
    static DWORD length;
    static DWORD count;
    static const std::vector<Use> uses = {
        {"InternetConnectA", Needs::Session,
         [](HINTERNET h) {
             return Handled(InternetConnectA(h, "x", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
         }},
        {"HttpOpenRequestA", Needs::Connection,
         [](HINTERNET h) { return Handled(HttpOpenRequestA(h, "GET", "/", nullptr, nullptr, nullptr, 0, 0)); }},
        {"HttpAddRequestHeadersA", Needs::Request,
         [](HINTERNET h) { return HttpAddRequestHeadersA(h, "X-A: 1", 0xFFFFFFFF, 0); }},
        {"HttpSendRequestA", Needs::Request,
         [](HINTERNET h) { return HttpSendRequestA(h, nullptr, 0, nullptr, 0); }},
        {"HttpSendRequestExA", Needs::Request,
         [](HINTERNET h) { return HttpSendRequestExA(h, nullptr, nullptr, 0, 0); }},
        {"InternetWriteFile", Needs::Request,
         [](HINTERNET h) { return InternetWriteFile(h, "x", 1, &count); }},
        {"HttpEndRequestA", Needs::Request,
         [](HINTERNET h) { return HttpEndRequestA(h, nullptr, 0, 0); }},
        {"HttpQueryInfoA", Needs::Request,
         [](HINTERNET h) {
             length = sizeof buffer;
             return HttpQueryInfoA(h, HTTP_QUERY_STATUS_CODE, buffer, &length, nullptr);
         }},
        {"InternetReadFile", Needs::Request,
         [](HINTERNET h) { return InternetReadFile(h, buffer, sizeof buffer, &count); }},
    };
    return uses;
}

class HandleMisuse : public WininetTest {};

TEST_F(HandleMisuse, NullClosedAndWrongLevelHandlesAreRefused)
{
    Handle session = Open();
    Handle connection = Connect(session.get());
    Handle request = OpenRequest(connection.get());
    HINTERNET closedSession = InternetOpenA("", 0, nullptr, nullptr, 0);
    HINTERNET closedConnection = InternetConnectA(closedSession, "x", 80, nullptr, nullptr, 3, 0, 0);
    HINTERNET closedRequest =
        HttpOpenRequestA(closedConnection, "GET", "/", nullptr, nullptr, nullptr, 0, 0);
    ASSERT_TRUE(InternetCloseHandle(closedSession));  // takes its children along

    for (const Use& use : Uses()) {
        SCOPED_TRACE(use.name);
        HINTERNET wrong = use.needs == Needs::Request ? session.get() : request.get();
        HINTERNET closed = use.needs == Needs::Session      ? closedSession
                           : use.needs == Needs::Connection ? closedConnection
                                                            : closedRequest;
        EXPECT_FALSE(use.call(nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_FALSE(use.call(closed));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_FALSE(use.call(wrong));
        EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    }
    EXPECT_FALSE(InternetCloseHandle(closedRequest));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(InternetCloseHandle(nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(HandleMisuse, CallsOutOfOrderAreRefused)
{
    Exchange e = Prepare();
    char buffer[8];
    DWORD count = 0;
    EXPECT_FALSE(InternetReadFile(e.request.get(), buffer, sizeof buffer, &count));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    EXPECT_FALSE(InternetWriteFile(e.request.get(), "x", 1, &count));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    EXPECT_FALSE(HttpEndRequestA(e.request.get(), nullptr, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    EXPECT_FALSE(InternetReadFile(e.request.get(), buffer, sizeof buffer, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(HandleMisuse, ClosingAParentClosesItsChildren)
{
    const std::size_t before = wininet::testing::OpenHandleCount();
    HINTERNET session = InternetOpenA("", 0, nullptr, nullptr, 0);
    HINTERNET connection = InternetConnectA(session, kTargetHost, 80, nullptr, nullptr, 3, 0, 0);
    HINTERNET first = HttpOpenRequestA(connection, "GET", "/", nullptr, nullptr, nullptr, 0, 0);
    HINTERNET second = HttpOpenRequestA(connection, "GET", "/", nullptr, nullptr, nullptr, 0, 0);
    EXPECT_EQ(wininet::testing::OpenHandleCount(), before + 4);
    EXPECT_TRUE(InternetCloseHandle(first));
    EXPECT_EQ(wininet::testing::OpenHandleCount(), before + 3);
    EXPECT_TRUE(InternetCloseHandle(session));
    EXPECT_EQ(wininet::testing::OpenHandleCount(), before);
    EXPECT_FALSE(HttpSendRequestA(second, nullptr, 0, nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(InternetCloseHandle(connection));
}

struct BadOpen {
    const char* name;
    std::function<HINTERNET(HINTERNET session, HINTERNET connection)> open;
    DWORD error;
};

TEST_F(HandleMisuse, BadArgumentsToTheOpenCalls)
{
    Handle session = Open();
    Handle connection = Connect(session.get());
    const BadOpen cases[] = {
        {"unknown access type", [](HINTERNET, HINTERNET) { return InternetOpenA("", 42, nullptr, nullptr, 0); },
         ERROR_INVALID_PARAMETER},
        {"named proxy without a name",
         [](HINTERNET, HINTERNET) { return InternetOpenA("", INTERNET_OPEN_TYPE_PROXY, nullptr, nullptr, 0); },
         ERROR_INVALID_PARAMETER},
        {"asynchronous session",
         [](HINTERNET, HINTERNET) { return InternetOpenA("", 0, nullptr, nullptr, INTERNET_FLAG_ASYNC); },
         ERROR_NOT_SUPPORTED},
        {"agent with a line break",
         [](HINTERNET, HINTERNET) { return InternetOpenA("a\r\nX-Evil: 1", 0, nullptr, nullptr, 0); },
         ERROR_INVALID_PARAMETER},
        {"no server name",
         [](HINTERNET s, HINTERNET) { return InternetConnectA(s, nullptr, 80, nullptr, nullptr, 3, 0, 0); },
         ERROR_INVALID_PARAMETER},
        {"service other than HTTP",
         [](HINTERNET s, HINTERNET) { return InternetConnectA(s, "x", 21, nullptr, nullptr, 1, 0, 0); },
         ERROR_NOT_SUPPORTED},
        {"unknown HTTP version",
         [](HINTERNET, HINTERNET c) { return HttpOpenRequestA(c, "GET", "/", "HTTP/2", nullptr, nullptr, 0, 0); },
         ERROR_INVALID_PARAMETER},
        {"verb that is not a token",
         [](HINTERNET, HINTERNET c) { return HttpOpenRequestA(c, "GE T", "/", nullptr, nullptr, nullptr, 0, 0); },
         ERROR_INVALID_PARAMETER},
        {"secure request",
         [](HINTERNET, HINTERNET c) {
             return HttpOpenRequestA(c, "GET", "/", nullptr, nullptr, nullptr, INTERNET_FLAG_SECURE, 0);
         },
         ERROR_NOT_SUPPORTED},
    };
    for (const BadOpen& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.open(session.get(), connection.get()), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

class Options : public WininetTest {
protected:
    static DWORD Query(HINTERNET handle, DWORD option)
    {
        DWORD value = 0;
        DWORD length = sizeof value;
        EXPECT_TRUE(InternetQueryOptionA(handle, option, &value, &length)) << GetLastError();
        return value;
    }
};

TEST_F(Options, DefaultsInheritanceAndOverride)
{
    Exchange e = Prepare();
    EXPECT_EQ(Query(e.request.get(), INTERNET_OPTION_CONNECT_TIMEOUT), kDefaultConnectTimeoutMs);
    EXPECT_EQ(Query(e.request.get(), INTERNET_OPTION_CONNECT_RETRIES), kDefaultConnectRetries);
    EXPECT_EQ(Query(e.request.get(), INTERNET_OPTION_CONNECT_BACKOFF), kDefaultConnectBackoffMs);
    EXPECT_EQ(Query(e.request.get(), INTERNET_OPTION_SEND_TIMEOUT), kDefaultSendTimeoutMs);
    EXPECT_EQ(Query(e.request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT), kDefaultReceiveTimeoutMs);

    // Set on the session after the request was opened: the request sees it.
    SetOption(e.session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, 1234);
    EXPECT_EQ(Query(e.request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT), 1234u);
    SetOption(e.request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, 99);
    EXPECT_EQ(Query(e.request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT), 99u);
    EXPECT_EQ(Query(e.connection.get(), INTERNET_OPTION_RECEIVE_TIMEOUT), 1234u);
}

TEST_F(Options, BadOptionCalls)
{
    Handle session = Open();
    DWORD value = 5;
    EXPECT_FALSE(InternetSetOptionExA(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &value, 2, 0));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_BAD_OPTION_LENGTH);
    EXPECT_FALSE(InternetSetOptionExA(session.get(), 777, &value, sizeof value, 0));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INVALID_OPTION);
    EXPECT_FALSE(InternetSetOptionExA(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, nullptr, 4, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    DWORD length = 2;
    EXPECT_FALSE(InternetQueryOptionA(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &value, &length));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, 4u);
    EXPECT_FALSE(InternetSetOptionExA(nullptr, INTERNET_OPTION_CONNECT_TIMEOUT, &value, 4, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// Each injectable call fails once with the injected code, before doing
// anything, and works again afterwards.
TEST_F(HandleMisuse, InjectedFailuresAreOneShot)
{
    using wininet::testing::Call;
    using wininet::testing::FailNextCall;
    LoopbackServer server;
    server.SetDefault(HttpReply(200, "body"));
    constexpr DWORD kCode = ERROR_INTERNET_DISCONNECTED;

    FailNextCall(Call::InternetOpen, kCode);
    EXPECT_EQ(InternetOpenA("", 0, nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), kCode);
    Handle session = Open();

    FailNextCall(Call::InternetConnect, kCode);
    EXPECT_EQ(InternetConnectA(session.get(), kTargetHost, 80, nullptr, nullptr, 3, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), kCode);
    Handle connection = Connect(session.get());

    FailNextCall(Call::HttpOpenRequest, kCode);
    EXPECT_EQ(HttpOpenRequestA(connection.get(), "GET", "/", nullptr, nullptr, nullptr, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), kCode);
    Handle request = OpenRequest(connection.get());

    FailNextCall(Call::HttpAddRequestHeaders, kCode);
    EXPECT_FALSE(HttpAddRequestHeadersA(request.get(), "X-A: 1", 0xFFFFFFFF, 0));
    EXPECT_EQ(GetLastError(), kCode);

    FailNextCall(Call::HttpSendRequest, kCode);
    EXPECT_EQ(Send(request.get()), kCode);
    EXPECT_EQ(server.Connections(), 0);
    ASSERT_EQ(Send(request.get()), 0u);

    DWORD status = 0;
    DWORD length = sizeof status;
    FailNextCall(Call::HttpQueryInfo, kCode);
    EXPECT_FALSE(HttpQueryInfoA(request.get(), 0x20000013, &status, &length, nullptr));
    EXPECT_EQ(GetLastError(), kCode);

    FailNextCall(Call::InternetReadFile, kCode);
    char buffer[8];
    DWORD read = 0;
    EXPECT_FALSE(InternetReadFile(request.get(), buffer, sizeof buffer, &read));
    EXPECT_EQ(GetLastError(), kCode);
    EXPECT_EQ(ReadAll(request.get()), "body");

    FailNextCall(Call::InternetAttemptConnect, kCode);
    EXPECT_EQ(InternetAttemptConnect(0), kCode);
    EXPECT_EQ(GetLastError(), kCode);
    EXPECT_EQ(InternetAttemptConnect(0), ERROR_SUCCESS);
}

// Connected when some interface is up (loopback in the test namespace);
// in a namespace of its own, where loopback is down, it is not.
TEST(AttemptConnect, FollowsTheInterfaces)
{
    EXPECT_EQ(InternetAttemptConnect(0), ERROR_SUCCESS);
    DWORD offline = 0;
    DWORD lastError = 0;
    bool isolated = false;
    std::thread([&] {
        // A network namespace is a property of the thread that enters it.
        isolated = ::unshare(CLONE_NEWNET) == 0;
        if (isolated) {
            offline = InternetAttemptConnect(0);
            lastError = GetLastError();
        }
    }).join();
    if (!isolated) {
        GTEST_SKIP() << "no new network namespace here";
    }
    EXPECT_EQ(offline, ERROR_INTERNET_DISCONNECTED);
    EXPECT_EQ(lastError, ERROR_INTERNET_DISCONNECTED);
}

}  // namespace
}  // namespace dravenlok::wininet::test
