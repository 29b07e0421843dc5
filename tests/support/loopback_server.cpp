#include "tests/support/loopback_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <utility>

namespace dravenlok::testing {

namespace {

// Upper bound of one recorded request, so a runaway client cannot make the
// server buffer without end.
constexpr std::size_t kMaxRequestBytes = std::size_t{64} << 20;
constexpr std::size_t kReadChunk = 64 * 1024;
// How long a closing connection keeps reading what the peer still sends, so
// that closing with unread input does not turn the close into a reset.
constexpr std::chrono::milliseconds kLingerRead{1000};

// Owns one file descriptor.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) noexcept : m_fd(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd& operator=(Fd&& other) noexcept
    {
        if (this != &other) {
            Reset(std::exchange(other.m_fd, -1));
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    [[nodiscard]] int Get() const noexcept { return m_fd; }
    [[nodiscard]] bool Valid() const noexcept { return m_fd >= 0; }
    void Reset(int fd = -1) noexcept
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// The usual reason phrase of a status (RFC 9110 section 15); "Status" for
// codes without one here.
constexpr std::string_view StandardReason(int status)
{
    switch (status) {
    case 100: return "Continue";
    case 101: return "Switching Protocols";
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    }
    return "Status";
}

// The header block of a request (up to and including the blank line) split
// into name/value pairs; the request line is skipped.
std::vector<std::pair<std::string, std::string>> ParseHeaders(const std::string& request)
{
    std::vector<std::pair<std::string, std::string>> headers;
    auto end = request.find("\r\n\r\n");
    if (end == std::string::npos) {
        end = request.size();
    }
    auto pos = request.find("\r\n");
    while (pos != std::string::npos && pos < end) {
        pos += 2;
        auto lineEnd = request.find("\r\n", pos);
        if (lineEnd == std::string::npos || lineEnd > end) {
            lineEnd = end;
        }
        const std::string line = request.substr(pos, lineEnd - pos);
        const auto colon = line.find(':');
        if (colon != std::string::npos) {
            headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
        }
        pos = lineEnd;
    }
    return headers;
}

enum class ChunkedEnd { Complete, NeedMore, Malformed };

// Walks a chunked body (RFC 9112 section 7.1) that starts at `start` only to
// find where it ends, trailers included; the bytes themselves stay raw.
ChunkedEnd FindChunkedEnd(const std::string& buffer, std::size_t start, std::size_t& end)
{
    std::size_t pos = start;
    for (;;) {
        const auto lineEnd = buffer.find("\r\n", pos);
        if (lineEnd == std::string::npos) {
            return ChunkedEnd::NeedMore;
        }
        std::size_t size = 0;
        std::size_t digits = 0;
        for (auto i = pos; i < lineEnd && std::isxdigit(static_cast<unsigned char>(buffer[i])) != 0; ++i) {
            const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(buffer[i])));
            size = size * 16 + static_cast<std::size_t>(c <= '9' ? c - '0' : c - 'a' + 10);
            if (size > kMaxRequestBytes) {
                return ChunkedEnd::Malformed;
            }
            ++digits;
        }
        if (digits == 0) {
            return ChunkedEnd::Malformed;
        }
        pos = lineEnd + 2;
        if (size == 0) {
            // Trailer section: header lines up to an empty line.
            for (;;) {
                const auto trailerEnd = buffer.find("\r\n", pos);
                if (trailerEnd == std::string::npos) {
                    return ChunkedEnd::NeedMore;
                }
                if (trailerEnd == pos) {
                    end = pos + 2;
                    return ChunkedEnd::Complete;
                }
                pos = trailerEnd + 2;
            }
        }
        if (buffer.size() < pos + size + 2) {
            return ChunkedEnd::NeedMore;
        }
        pos += size;
        if (buffer.compare(pos, 2, "\r\n") != 0) {
            return ChunkedEnd::Malformed;
        }
        pos += 2;
    }
}

}  // namespace

struct LoopbackServer::State {
    std::string address;
    std::uint16_t port = 0;
    Fd listener;
    Fd wakeRead;
    Fd wakeWrite;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    bool stopping = false;                 // guarded by mutex
    std::atomic<bool> stopFlag{false};     // the same, for loops that poll it
    std::deque<Reply> replies;
    Reply defaultReply = HttpReply(200, "");
    std::vector<std::string> requests;
    std::set<int> openConnections;         // descriptors to shut down on stop
    std::vector<std::thread> connectionThreads;
    int connections = 0;
    std::atomic<std::uint64_t> bytesSent{0};

    std::thread acceptThread;

    void AcceptLoop();
    void Serve(Fd connection);

    // Next reply to use, or only a look at it when `take` is false.
    Reply NextReply(bool take);
    void Record(std::string request);

    // Waits up to `pause`; true when the server is stopping.
    bool WaitStopping(std::chrono::milliseconds pause);
    void WaitUntilStopping();

    enum class ReadResult { Complete, PeerClosed };
    ReadResult ReadRequest(int fd, std::string& pending, std::string& request);
    bool SendAll(int fd, std::string_view data);
    bool Drip(int fd, const std::string& data, std::chrono::milliseconds pause);
    void LingeringClose(int fd);
};

Reply LoopbackServer::State::NextReply(bool take)
{
    std::lock_guard lock(mutex);
    if (replies.empty()) {
        return defaultReply;
    }
    if (!take) {
        return replies.front();
    }
    Reply reply = std::move(replies.front());
    replies.pop_front();
    return reply;
}

void LoopbackServer::State::Record(std::string request)
{
    {
        std::lock_guard lock(mutex);
        requests.push_back(std::move(request));
    }
    changed.notify_all();
}

bool LoopbackServer::State::WaitStopping(std::chrono::milliseconds pause)
{
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, pause, [this] { return stopping; });
}

void LoopbackServer::State::WaitUntilStopping()
{
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return stopping; });
}

// Reads one request: the header block up to the first blank line, then a body
// by Content-Length or by chunked coding. Bytes after the request stay in
// `pending` for the next request on the same connection.
LoopbackServer::State::ReadResult
LoopbackServer::State::ReadRequest(int fd, std::string& pending, std::string& request)
{
    auto readMore = [&]() -> bool {
        char chunk[kReadChunk];
        for (;;) {
            const auto got = ::recv(fd, chunk, sizeof chunk, 0);
            if (got > 0) {
                pending.append(chunk, static_cast<std::size_t>(got));
                return true;
            }
            if (got < 0 && errno == EINTR) {
                continue;
            }
            return false;
        }
    };
    auto finish = [&](std::size_t end) {
        end = std::min(end, pending.size());
        request = pending.substr(0, end);
        pending.erase(0, end);
        return ReadResult::Complete;
    };

    std::size_t searchFrom = 0;
    std::size_t headerEnd = std::string::npos;
    while ((headerEnd = pending.find("\r\n\r\n", searchFrom)) == std::string::npos) {
        if (pending.size() >= kMaxRequestBytes) {
            return finish(pending.size());
        }
        searchFrom = pending.size() < 3 ? 0 : pending.size() - 3;
        if (!readMore()) {
            request = std::move(pending);
            pending.clear();
            return ReadResult::PeerClosed;
        }
    }
    headerEnd += 4;

    bool chunked = false;
    std::optional<std::size_t> contentLength;
    for (const auto& [name, value] : ParseHeaders(pending.substr(0, headerEnd))) {
        const auto lowerName = Lower(name);
        if (lowerName == "transfer-encoding" && Lower(value).find("chunked") != std::string::npos) {
            chunked = true;
        } else if (lowerName == "content-length" && !contentLength) {
            std::size_t length = 0;
            for (const char c : value) {
                if (c < '0' || c > '9') {
                    break;
                }
                length = std::min(length * 10 + static_cast<std::size_t>(c - '0'), kMaxRequestBytes);
            }
            contentLength = length;
        }
    }

    if (chunked) {
        for (;;) {
            std::size_t end = 0;
            const auto found = FindChunkedEnd(pending, headerEnd, end);
            if (found == ChunkedEnd::Complete) {
                return finish(end);
            }
            // A malformed or oversized body ends the request at what arrived.
            if (found == ChunkedEnd::Malformed || pending.size() >= kMaxRequestBytes) {
                return finish(pending.size());
            }
            if (!readMore()) {
                request = std::move(pending);
                pending.clear();
                return ReadResult::PeerClosed;
            }
        }
    }

    const auto end = headerEnd + std::min(contentLength.value_or(0), kMaxRequestBytes);
    while (pending.size() < end) {
        if (!readMore()) {
            request = std::move(pending);
            pending.clear();
            return ReadResult::PeerClosed;
        }
    }
    return finish(end);
}

bool LoopbackServer::State::SendAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const auto sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytesSent += static_cast<std::uint64_t>(sent);
        data.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

bool LoopbackServer::State::Drip(int fd, const std::string& data, std::chrono::milliseconds pause)
{
    for (const char byte : data) {
        if (WaitStopping(pause)) {
            return false;
        }
        if (!SendAll(fd, std::string_view(&byte, 1))) {
            return false;
        }
    }
    return true;
}

// Ends the connection with FIN and reads what the peer still sends for a
// moment: closing a socket with unread input would send a reset instead, and
// the peer could lose the reply it has not read yet.
void LoopbackServer::State::LingeringClose(int fd)
{
    ::shutdown(fd, SHUT_WR);
    const auto deadline = std::chrono::steady_clock::now() + kLingerRead;
    char sink[4096];
    while (!stopFlag) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return;
        }
        pollfd waitFor{fd, POLLIN, 0};
        const int ready = ::poll(&waitFor, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return;
        }
        const auto got = ::recv(fd, sink, sizeof sink, 0);
        if (got <= 0 && !(got < 0 && errno == EINTR)) {
            return;
        }
    }
}

void LoopbackServer::State::Serve(Fd connection)
{
    const int fd = connection.Get();
    const int noDelay = 1;  // dripped bytes leave one by one, not batched by Nagle
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);

    std::string pending;
    for (;;) {
        if (stopFlag) {
            break;
        }
        Reply reply = NextReply(false);
        if (reply.read_request) {
            std::string request;
            const auto read = ReadRequest(fd, pending, request);
            if (read == ReadResult::PeerClosed) {
                if (!request.empty()) {
                    Record(std::move(request));
                }
                break;
            }
            Record(std::move(request));
        }
        reply = NextReply(true);

        if (reply.send_buffer > 0) {
            ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &reply.send_buffer, sizeof reply.send_buffer);
        }
        const std::size_t atOnce = std::min(reply.drip_from, reply.bytes.size());
        const bool sent = reply.drip.count() > 0
                              ? SendAll(fd, std::string_view(reply.bytes).substr(0, atOnce)) &&
                                    Drip(fd, reply.bytes.substr(atOnce), reply.drip)
                              : SendAll(fd, reply.bytes);
        if (!sent) {
            break;
        }

        bool keepGoing = false;
        switch (reply.after) {
        case Reply::After::Close:
            LingeringClose(fd);
            break;
        case Reply::After::KeepAlive:
            keepGoing = true;
            break;
        case Reply::After::Reset: {
            const linger abort{1, 0};  // close sends RST instead of FIN
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            break;
        }
        case Reply::After::Hang:
            WaitUntilStopping();
            break;
        case Reply::After::Endless:
            if (reply.endless_chunk.empty()) {
                WaitUntilStopping();
                break;
            }
            while (!stopFlag && SendAll(fd, reply.endless_chunk)) {
            }
            break;
        }
        if (!keepGoing) {
            break;
        }
    }

    {
        std::lock_guard lock(mutex);
        openConnections.erase(fd);
    }
    // `connection` closes the descriptor after it left the shutdown list, so
    // the stop can never shut down a reused descriptor number.
}

void LoopbackServer::State::AcceptLoop()
{
    for (;;) {
        pollfd waitFor[2] = {{listener.Get(), POLLIN, 0}, {wakeRead.Get(), POLLIN, 0}};
        const int ready = ::poll(waitFor, 2, -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (waitFor[1].revents != 0 || stopFlag) {
            return;
        }
        if ((waitFor[0].revents & POLLIN) == 0) {
            continue;
        }
        Fd connection(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!connection.Valid()) {
            if (errno == EMFILE || errno == ENFILE) {
                // Out of descriptors: give the tests' connections time to end.
                if (WaitStopping(std::chrono::milliseconds(10))) {
                    return;
                }
            }
            continue;
        }
        std::lock_guard lock(mutex);
        if (stopping) {
            return;
        }
        ++connections;
        openConnections.insert(connection.Get());
        connectionThreads.emplace_back(
            [this](Fd owned) { Serve(std::move(owned)); }, std::move(connection));
    }
}

LoopbackServer::LoopbackServer(std::string address, std::uint16_t port) : m_state(std::make_unique<State>())
{
    auto& state = *m_state;
    state.address = std::move(address);

    sockaddr_storage storage{};
    socklen_t length = 0;
    int family = AF_INET;
    in_addr v4{};
    in6_addr v6{};
    if (::inet_pton(AF_INET, state.address.c_str(), &v4) == 1) {
        if ((ntohl(v4.s_addr) >> 24) != 127) {
            throw std::runtime_error("loopback server: not a loopback address: " + state.address);
        }
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_port = htons(port);
        in.sin_addr = v4;
        std::memcpy(&storage, &in, sizeof in);
        length = sizeof in;
    } else if (::inet_pton(AF_INET6, state.address.c_str(), &v6) == 1) {
        if (!IN6_IS_ADDR_LOOPBACK(&v6)) {
            throw std::runtime_error("loopback server: not a loopback address: " + state.address);
        }
        family = AF_INET6;
        sockaddr_in6 in6{};
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(port);
        in6.sin6_addr = v6;
        std::memcpy(&storage, &in6, sizeof in6);
        length = sizeof in6;
    } else {
        throw std::runtime_error("loopback server: not a numeric address: " + state.address);
    }

    state.listener.Reset(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!state.listener.Valid()) {
        throw std::runtime_error(std::string("loopback server: socket: ") + std::strerror(errno));
    }
    const int reuse = 1;
    ::setsockopt(state.listener.Get(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    if (::bind(state.listener.Get(), reinterpret_cast<const sockaddr*>(&storage), length) != 0) {
        throw std::runtime_error("loopback server: bind " + state.address + ":" + std::to_string(port) +
                                 ": " + std::strerror(errno));
    }
    if (::listen(state.listener.Get(), SOMAXCONN) != 0) {
        throw std::runtime_error(std::string("loopback server: listen: ") + std::strerror(errno));
    }
    // Port 0 asks the system for a free port; report the one it chose.
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    if (::getsockname(state.listener.Get(), reinterpret_cast<sockaddr*>(&bound), &boundLength) == 0) {
        if (bound.ss_family == AF_INET) {
            sockaddr_in in{};
            std::memcpy(&in, &bound, sizeof in);
            state.port = ntohs(in.sin_port);
        } else {
            sockaddr_in6 in6{};
            std::memcpy(&in6, &bound, sizeof in6);
            state.port = ntohs(in6.sin6_port);
        }
    }

    int wake[2];
    if (::pipe2(wake, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("loopback server: pipe: ") + std::strerror(errno));
    }
    state.wakeRead.Reset(wake[0]);
    state.wakeWrite.Reset(wake[1]);
    state.acceptThread = std::thread([&state] { state.AcceptLoop(); });
}

LoopbackServer::~LoopbackServer()
{
    auto& state = *m_state;
    {
        std::lock_guard lock(state.mutex);
        state.stopping = true;
        state.stopFlag = true;
        // Wakes every thread blocked in recv or send on a connection.
        for (const int fd : state.openConnections) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    state.changed.notify_all();
    const char wake = 1;
    [[maybe_unused]] const auto written = ::write(state.wakeWrite.Get(), &wake, 1);
    state.acceptThread.join();
    // The accept thread is gone, so the list of connection threads is final.
    for (auto& thread : state.connectionThreads) {
        thread.join();
    }
}

void LoopbackServer::Push(Reply reply)
{
    std::lock_guard lock(m_state->mutex);
    m_state->replies.push_back(std::move(reply));
}

void LoopbackServer::SetDefault(Reply reply)
{
    std::lock_guard lock(m_state->mutex);
    m_state->defaultReply = std::move(reply);
}

std::vector<std::string> LoopbackServer::Requests() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->requests;
}

std::string LoopbackServer::LastRequest() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->requests.empty() ? std::string() : m_state->requests.back();
}

int LoopbackServer::Connections() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->connections;
}

std::uint64_t LoopbackServer::BytesSent() const
{
    return m_state->bytesSent.load();
}

bool LoopbackServer::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_state->mutex);
    return m_state->changed.wait_for(lock, timeout,
                                     [this, count] { return m_state->requests.size() >= count; });
}

const std::string& LoopbackServer::Address() const
{
    return m_state->address;
}

std::uint16_t LoopbackServer::Port() const
{
    return m_state->port;
}

Reply RawReply(std::string bytes, Reply::After after)
{
    Reply reply;
    reply.bytes = std::move(bytes);
    reply.after = after;
    return reply;
}

Reply HttpReply(int status, const std::string& body, const std::vector<std::string>& headers,
                const std::string& reason)
{
    Reply reply;
    reply.bytes = "HTTP/1.1 " + std::to_string(status) + " " +
                  (reason.empty() ? std::string(StandardReason(status)) : reason) + "\r\n";
    for (const auto& header : headers) {
        reply.bytes += header + "\r\n";
    }
    reply.bytes += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    reply.bytes += "Connection: close\r\n\r\n";
    reply.bytes += body;
    reply.after = Reply::After::Close;
    return reply;
}

std::string HeaderValue(const std::string& request, const std::string& name)
{
    const auto wanted = Lower(name);
    for (const auto& [headerName, value] : ParseHeaders(request)) {
        if (Lower(headerName) == wanted) {
            return value;
        }
    }
    return {};
}

std::string RequestBody(const std::string& request)
{
    const auto end = request.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : request.substr(end + 4);
}

}  // namespace dravenlok::testing
