// What a session decides for its requests: the proxy it goes through and the
// connections it keeps for reuse.
#include <cstdlib>

#include "tests/platform/wininet/wininet_fixture.h"

namespace dravenlok::wininet::test {
namespace {

using dravenlok::testing::HttpReply;
using dravenlok::testing::LoopbackServer;
using dravenlok::testing::Reply;

Reply KeepAliveReply(const std::string& body, const char* version = "HTTP/1.1")
{
    Reply reply;
    reply.bytes = std::string(version) + " 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                  "\r\nConnection: keep-alive\r\n\r\n" + body;
    reply.after = Reply::After::KeepAlive;
    return reply;
}

class Proxy : public WininetTest {
protected:
    LoopbackServer m_origin;                      // 127.0.0.1:80, the target host
    LoopbackServer m_proxy{"127.0.0.2", 8080};   // records what a proxy would get
    void SetUp() override
    {
        WininetTest::SetUp();
        m_origin.SetDefault(HttpReply(200, "origin"));
        m_proxy.SetDefault(HttpReply(200, "proxied"));
        ::setenv("http_proxy", "http://127.0.0.2:8080", 1);
    }

    std::string Fetch(DWORD access)
    {
        Exchange e;
        e.session = Open("", access);
        e.connection = Connect(e.session.get());
        e.request = OpenRequest(e.connection.get(), "GET", "/page");
        EXPECT_EQ(Send(e.request.get()), 0u);
        return ReadAll(e.request.get());
    }
};

TEST_F(Proxy, SystemSettingsSendTheRequestThroughTheProxy)
{
    EXPECT_EQ(Fetch(INTERNET_OPEN_TYPE_PRECONFIG), "proxied");
    ASSERT_EQ(m_proxy.Requests().size(), 1u);
    const std::string request = m_proxy.LastRequest();
    EXPECT_EQ(request.substr(0, request.find("\r\n")),
              std::string("GET http://") + kTargetHost + "/page HTTP/1.1");
    EXPECT_EQ(m_origin.Connections(), 0);
}

TEST_F(Proxy, NoProxyAndDirectAccessGoStraightToTheServer)
{
    ::setenv("no_proxy", kTargetHost, 1);
    EXPECT_EQ(Fetch(INTERNET_OPEN_TYPE_PRECONFIG), "origin");
    ::unsetenv("no_proxy");
    EXPECT_EQ(Fetch(INTERNET_OPEN_TYPE_DIRECT), "origin");
    EXPECT_EQ(m_proxy.Connections(), 0);
    EXPECT_EQ(m_origin.Requests().size(), 2u);
}

TEST_F(Proxy, NamedProxyAndItsBypassList)
{
    ::unsetenv("http_proxy");
    Handle session(InternetOpenA("", INTERNET_OPEN_TYPE_PROXY, "ftp=127.0.0.9:21 http=127.0.0.2:8080",
                                 "other.test;<local>", 0));
    ASSERT_NE(session, nullptr);
    Handle connection = Connect(session.get());
    Handle request = OpenRequest(connection.get());
    ASSERT_EQ(Send(request.get()), 0u);
    EXPECT_EQ(ReadAll(request.get()), "proxied");
}

class ConnectionReuse : public WininetTest {
protected:
    // Sends `count` GETs in one session and reads each to its end.
    static void RunRequests(int count, const char* version, DWORD flags)
    {
        Handle session = Open();
        Handle connection = Connect(session.get());
        for (int i = 0; i < count; ++i) {
            Handle request = OpenRequest(connection.get(), "GET", "/", version, nullptr, flags);
            ASSERT_EQ(Send(request.get()), 0u);
            EXPECT_EQ(ReadAll(request.get()), "kept");
        }
    }
};

TEST_F(ConnectionReuse, RequestsOfASessionShareItsConnection)
{
    LoopbackServer server;
    server.SetDefault(KeepAliveReply("kept"));
    RunRequests(3, nullptr, INTERNET_FLAG_EXISTING_CONNECT);
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(server.Requests().size(), 3u);
}

// HTTP/1.0 with KEEP_CONNECTION asks for keep-alive; a server that grants
// it keeps serving the session on one connection.
TEST_F(ConnectionReuse, Http10KeepAlive)
{
    LoopbackServer server;
    server.SetDefault(KeepAliveReply("kept", "HTTP/1.0"));
    RunRequests(2, "HTTP/1.0", INTERNET_FLAG_KEEP_CONNECTION);
    EXPECT_EQ(server.Connections(), 1);
}

TEST_F(ConnectionReuse, SessionsNeverShare)
{
    LoopbackServer server;
    server.SetDefault(KeepAliveReply("kept"));
    RunRequests(1, nullptr, 0);
    RunRequests(1, nullptr, 0);
    EXPECT_EQ(server.Connections(), 2);
}

// A request closed before its body was read leaves no half-read connection
// behind: the next request of the session gets a clean one.
TEST_F(ConnectionReuse, HalfReadConnectionIsNotReused)
{
    LoopbackServer server;
    const std::string big(200 * 1024, 'b');
    server.Push(KeepAliveReply(big));
    server.SetDefault(KeepAliveReply("kept"));
    Handle session = Open();
    Handle connection = Connect(session.get());
    {
        Handle first = OpenRequest(connection.get());
        ASSERT_EQ(Send(first.get()), 0u);
        char buffer[100];
        DWORD read = 0;
        ASSERT_TRUE(InternetReadFile(first.get(), buffer, sizeof buffer, &read));
    }
    Handle second = OpenRequest(connection.get());
    ASSERT_EQ(Send(second.get()), 0u);
    EXPECT_EQ(ReadAll(second.get()), "kept");
    EXPECT_EQ(server.Connections(), 2);
}

}  // namespace
}  // namespace dravenlok::wininet::test
