// The scripted server is a tool of the other tests; these cases check the
// behaviour they rely on: exact bytes both ways, keep-alive, and a stop that
// never hangs, whatever a connection is doing.
#include "tests/support/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

namespace dravenlok::testing {
namespace {

using namespace std::chrono_literals;

// A minimal client: connects to 127.0.0.1:port and owns the socket.
class Client {
public:
    explicit Client(std::uint16_t port) : m_fd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
            throw std::runtime_error("connect failed");
        }
    }
    ~Client() { ::close(m_fd); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    void Send(const std::string& bytes) const
    {
        ASSERT_EQ(::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    // Reads until the server closes, or `limit` bytes.
    std::string ReadAll(std::size_t limit = 1 << 20) const
    {
        std::string out;
        char buffer[4096];
        while (out.size() < limit) {
            const auto got = ::recv(m_fd, buffer, std::min(sizeof buffer, limit - out.size()), 0);
            if (got <= 0) {
                break;
            }
            out.append(buffer, static_cast<std::size_t>(got));
        }
        return out;
    }
    std::string ReadExactly(std::size_t count) const { return ReadAll(count); }
    // errno of the first failing read, 0 when the connection ended cleanly.
    int ReadError() const
    {
        char buffer[256];
        for (;;) {
            const auto got = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (got == 0) {
                return 0;
            }
            if (got < 0) {
                return errno;
            }
        }
    }

private:
    int m_fd;
};

TEST(LoopbackServer, RecordsRequestsExactlyAndAnswersInOrder)
{
    LoopbackServer server("127.0.0.1", 0);
    Reply first = HttpReply(200, "one");
    first.after = Reply::After::KeepAlive;
    server.Push(first);
    server.Push(HttpReply(404, "two", {"X-Test: yes"}));

    const std::string chunked =
        "POST /c HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n"
        "3;ext=1\r\nabc\r\n0\r\nTrailer: t\r\n\r\n";
    const std::string sized = "POST /s HTTP/1.1\r\ncontent-length: 5\r\n\r\nhello";
    Client client(server.Port());
    // Both requests in one write: the second must not bleed into the first.
    client.Send(chunked + sized);
    const std::string answer = client.ReadAll();

    ASSERT_TRUE(server.WaitForRequests(2, 5s));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2U);
    EXPECT_EQ(requests[0], chunked);
    EXPECT_EQ(requests[1], sized);
    EXPECT_EQ(HeaderValue(sized, "Content-Length"), "5");
    EXPECT_EQ(RequestBody(sized), "hello");
    EXPECT_EQ(HeaderValue(sized, "Missing"), "");
    EXPECT_EQ(answer,
              "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\none"
              "HTTP/1.1 404 Not Found\r\nX-Test: yes\r\nContent-Length: 3\r\nConnection: close\r\n\r\ntwo");
    EXPECT_EQ(server.BytesSent(), answer.size());
    EXPECT_EQ(server.Connections(), 1);
}

TEST(LoopbackServer, RecordsWhatArrivedWhenThePeerLeavesEarly)
{
    LoopbackServer server("127.0.0.1", 0);
    {
        Client client(server.Port());
        client.Send("GET / HTTP/1.1\r\nHost");
    }
    ASSERT_TRUE(server.WaitForRequests(1, 5s));
    EXPECT_EQ(server.LastRequest(), "GET / HTTP/1.1\r\nHost");
    EXPECT_EQ(server.BytesSent(), 0U);
}

TEST(LoopbackServer, RefusesAddressesOffLoopback)
{
    EXPECT_THROW(LoopbackServer("192.0.2.1", 0), std::runtime_error);
    EXPECT_THROW(LoopbackServer("localhost", 0), std::runtime_error);
}

// Each reply keeps its connection busy in a different way; stopping the
// server must still end every connection thread promptly.
TEST(LoopbackServer, StopsWhileConnectionsDripHangOrStream)
{
    const auto started = std::chrono::steady_clock::now();
    {
        LoopbackServer server("127.0.0.1", 0);
        Reply drip;
        drip.bytes = std::string(1000, 'd');
        drip.drip = 100ms;
        drip.read_request = false;
        Reply hang;
        hang.after = Reply::After::Hang;
        hang.read_request = false;
        Reply endless;
        endless.after = Reply::After::Endless;
        endless.read_request = false;
        endless.send_buffer = 4096;
        // Connection threads take replies in the order requests arrive, so
        // each client makes sure it got its reply before the next connects.
        server.Push(drip);
        Client dripped(server.Port());
        EXPECT_EQ(dripped.ReadExactly(1), "d");
        server.Push(endless);
        Client streaming(server.Port());
        // The endless reply fills the socket buffers, then blocks in send.
        EXPECT_TRUE(streaming.ReadExactly(10000) == std::string(10000, 'x'));
        server.Push(hang);
        Client hanging(server.Port());
        std::this_thread::sleep_for(100ms);
        EXPECT_GE(server.BytesSent(), 10001U);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

TEST(LoopbackServer, ResetEndsTheConnectionAbortively)
{
    LoopbackServer server("127.0.0.1", 0);
    Reply reset;
    reset.after = Reply::After::Reset;
    server.Push(reset);
    Client client(server.Port());
    client.Send("GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(client.ReadError(), ECONNRESET);
}

}  // namespace
}  // namespace dravenlok::testing
