// The internet layer reading a response whose bytes come from the fuzzer,
// through the real code path: a server thread on 127.0.0.1 answers every
// connection with the input's bytes, and the client side is one of the
// layer's own calls (open, send, every query, reads of a chosen size), the
// client object's whole request, or the framework probe with its redirect.
//
// Redirect targets come from the input, so this target runs only inside a
// private network namespace (scripts/in-netns.sh), where loopback is the
// only interface: it refuses to start anywhere else.
#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "framework_probe/get_web_file.h"
#include "http_client/http_client.h"
#include "platform/wininet/testing.h"
#include "platform/wininet/wininet.h"
#include "tests/fuzz/fuzz_target.h"
#include "tests/support/recording_presenter.h"

namespace {

using dravenlok::fuzz::Require;
namespace seam = dravenlok::wininet::testing;

// Short enough for many runs a second, long enough for loopback.
constexpr DWORD kTimeoutCapMs = 50;
constexpr std::size_t kMaxRequestBytes = 64 * 1024;

bool OnlyLoopback()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return false;
    }
    bool only = true;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if ((entry->ifa_flags & IFF_UP) != 0 && (entry->ifa_flags & IFF_LOOPBACK) == 0) {
            only = false;
        }
    }
    freeifaddrs(list);
    return only;
}

// The listening socket, made once: 127.0.0.1 on a port the system picks.
struct Listener {
    int fd = -1;
    INTERNET_PORT port = 0;

    Listener()
    {
        Require(OnlyLoopback(),
                "the response target follows redirects from its input: run it inside "
                "scripts/in-netns.sh");
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        Require(fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                    ::listen(fd, 16) == 0 &&
                    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0,
                "no loopback listener");
        port = ntohs(address.sin_port);
        seam::CapTimeoutsForTesting(kTimeoutCapMs);
    }
};

const Listener& TheListener()
{
    static const Listener listener;
    return listener;
}

// Answers every connection with the same bytes until it is stopped: reads
// the request head, sends the bytes, then ends the connection with FIN (or
// a reset) and reads what the client still sends until the stop.
class Server {
public:
    Server(int listener, std::string reply, bool reset)
        : m_listener(listener), m_reply(std::move(reply)), m_reset(reset), m_wake(MakePipe()),
          m_thread([this] { Accept(); })
    {
    }
    ~Server()
    {
        // The stop byte is never read: the pipe stays readable and wakes
        // every wait at once.
        static_cast<void>(::write(m_wake[1], "x", 1));
        m_thread.join();
        ::close(m_wake[0]);
        ::close(m_wake[1]);
    }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

private:
    static std::array<int, 2> MakePipe()
    {
        std::array<int, 2> ends{-1, -1};
        Require(::pipe2(ends.data(), O_CLOEXEC) == 0, "no pipe");
        return ends;
    }

    // Whether `fd` became readable before the server was stopped.
    bool Wait(int fd) const
    {
        for (;;) {
            pollfd waitFor[2] = {{fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            const int ready = ::poll(waitFor, 2, -1);
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            return ready > 0 && (waitFor[1].revents & POLLIN) == 0;
        }
    }

    void Accept()
    {
        std::vector<std::thread> connections;
        while (Wait(m_listener)) {
            const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                connections.emplace_back([this, fd] { Serve(fd); });
            }
        }
        for (std::thread& connection : connections) {
            connection.join();
        }
    }

    void Serve(int fd) const
    {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequestBytes &&
               Wait(fd)) {
            const auto got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                break;
            }
            request.append(buffer, static_cast<std::size_t>(got));
        }
        std::string_view rest(m_reply);
        while (!rest.empty()) {
            const auto sent = ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL);
            if (sent <= 0) {
                break;
            }
            rest.remove_prefix(static_cast<std::size_t>(sent));
        }
        if (m_reset) {
            const linger abort{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        } else {
            ::shutdown(fd, SHUT_WR);
            while (Wait(fd) && ::recv(fd, buffer, sizeof buffer, 0) > 0) {
            }
        }
        ::close(fd);
    }

    int m_listener;
    std::string m_reply;
    bool m_reset;
    std::array<int, 2> m_wake;
    std::thread m_thread;  // last: starts once the rest is in place
};

// A text query: asked for its size first, then into a buffer of exactly that
// size, as careful callers do.
void QueryText(HINTERNET request, DWORD level, LPDWORD index = nullptr)
{
    DWORD size = 0;
    const DWORD saved = index != nullptr ? *index : 0;
    if (HttpQueryInfoA(request, level, nullptr, &size, index)) {
        return;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return;
    }
    Require(size > 0, "a size query asked for nothing");
    if (index != nullptr) {
        *index = saved;
    }
    std::vector<char> buffer(size);
    DWORD length = size;
    Require(HttpQueryInfoA(request, level, buffer.data(), &length, index) != FALSE,
            "the size asked for was not enough");
    Require(length + 1 == size && buffer[length] == '\0', "query length does not match its text");
}

void LayerCalls(std::size_t replySize, DWORD readSize, bool http10)
{
    const Listener& listener = TheListener();
    HINTERNET session = InternetOpenA("fuzz", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET connection = InternetConnectA(session, "127.0.0.1", listener.port, nullptr, nullptr,
                                            INTERNET_SERVICE_HTTP, 0, 0);
    HINTERNET request = HttpOpenRequestA(connection, "GET", "/", http10 ? "HTTP/1.0" : nullptr,
                                         nullptr, nullptr, 0, 0);
    Require(request != nullptr, "request not opened");
    if (HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
        DWORD status = 0;
        DWORD size = sizeof status;
        Require(HttpQueryInfoA(request, HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_STATUS_CODE, &status,
                               &size, nullptr) != FALSE,
                "no status after a send that succeeded");
        Require(status >= 200 && status <= 999, "status out of range");
        for (const DWORD level : {HTTP_QUERY_STATUS_CODE, HTTP_QUERY_STATUS_TEXT, HTTP_QUERY_VERSION,
                                  HTTP_QUERY_RAW_HEADERS_CRLF, HTTP_QUERY_RAW_HEADERS,
                                  HTTP_QUERY_CONTENT_TYPE}) {
            QueryText(request, level);
        }
        DWORD length = 0;
        size = sizeof length;
        static_cast<void>(HttpQueryInfoA(request, HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_CONTENT_LENGTH,
                                         &length, &size, nullptr));
        // Every Location line in turn; the index moves on with each one found.
        DWORD index = 0;
        for (int i = 0; i < 64; ++i) {
            const DWORD before = index;
            QueryText(request, HTTP_QUERY_LOCATION, &index);
            if (index == before) {
                break;
            }
        }
        std::vector<char> buffer(readSize);
        std::size_t total = 0;
        for (;;) {
            DWORD got = 0;
            if (!InternetReadFile(request, buffer.data(), readSize, &got) || got == 0) {
                break;
            }
            Require(got <= readSize, "a read delivered more than asked");
            total += got;
            // Body bytes are never more than the bytes the server sent.
            Require(total <= replySize, "more body than the server sent");
        }
    }
    char info[64];
    DWORD error = 0;
    DWORD infoLength = sizeof info;
    if (InternetGetLastResponseInfoA(&error, info, &infoLength)) {
        Require(infoLength < sizeof info && info[infoLength] == '\0', "response info length");
    }
    InternetCloseHandle(request);
    InternetCloseHandle(connection);
    InternetCloseHandle(session);
}

void ClientRequest()
{
    const std::string url = "http://127.0.0.1:" + std::to_string(TheListener().port) + "/";
    const auto client = std::make_unique<CHttpClient>();
    // A failure always keeps a code whose text says what went wrong, never
    // the code of success.
    Require(client->Request(url.c_str(), REQUEST_GET, "TALVIK(0.9/;p)") == 1 ||
                client->GetLastErrorCode() != ERROR_SUCCESS,
            "a failed request kept the code of success");
}

void FrameworkProbe()
{
    const dravenlok::testing::RecordingPresenter boxes;
    const int result =
        dravenlok::framework_probe::GetWebFile("GetWebFile", "127.0.0.1", TheListener().port, "/");
    Require(boxes.boxes.size() <= 1, "the framework probe showed more than one box");
    Require(result != 200 || boxes.boxes.size() == 1, "a 200 answer without its body shown");
}

int FuzzResponse(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::uint8_t mode = data[0];
    std::string reply(reinterpret_cast<const char*>(data + 1), size - 1);
    {
        const Server server(TheListener().fd, reply, (mode & 0x04) != 0);
        switch (mode & 0x03) {
        case 1:
            ClientRequest();
            break;
        case 2:
            FrameworkProbe();
            break;
        default: {
            static constexpr DWORD kReadSizes[] = {1, 7, 1024, 65536};
            LayerCalls(reply.size(), kReadSizes[(mode >> 3) & 0x03], (mode & 0x20) != 0);
            break;
        }
        }
    }
    Require(seam::OpenHandleCount() == 0, "handles left open");
    return 0;
}

}  // namespace

DRAVENLOK_FUZZ_TARGET("response", FuzzResponse)
