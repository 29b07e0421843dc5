// A scripted HTTP server on a loopback address for tests. It answers each
// request with the exact bytes a test gives (so malformed answers are easy to
// write), records the exact bytes of every request it read, and can close
// early, stay silent, send slowly, reset the connection or send without end.
//
// Tests run in a private network namespace, so binding 127.0.0.x:80 needs no
// privilege. The server binds loopback addresses only.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dravenlok::testing {

// What the server does with one request.
struct Reply {
    enum class After {
        Close,      // close the connection after sending `bytes`
        KeepAlive,  // keep the connection and read the next request on it
        Reset,      // send `bytes`, then reset the connection (RST, SO_LINGER 0)
        Hang,       // send `bytes`, then keep the connection open, silent, until the server stops
        Endless,    // send `bytes`, then `endless_chunk` again and again until the peer goes away
    };

    std::string bytes;                       // sent exactly as given
    After after = After::Close;
    std::chrono::milliseconds drip{0};       // pause before each single byte of `bytes`; 0: all at once
    std::size_t drip_from = 0;               // with drip: the bytes before this offset go at once
    std::string endless_chunk = std::string(1024, 'x');
    bool read_request = true;                // false: act at once after accepting, without reading
    int send_buffer = 0;                     // SO_SNDBUF for the connection; 0 leaves the default
};

// An answer of exactly these bytes (malformed ones included), then `after`.
[[nodiscard]] Reply RawReply(std::string bytes, Reply::After after = Reply::After::Close);

// Shorthand for a complete answer: status line, the given header lines (each
// without CR LF), Content-Length and the body; the connection closes after it.
[[nodiscard]] Reply HttpReply(int status, const std::string& body,
                              const std::vector<std::string>& headers = {},
                              const std::string& reason = "");

class LoopbackServer {
public:
    // Listens at once; throws std::runtime_error when it cannot bind.
    explicit LoopbackServer(std::string address = "127.0.0.1", std::uint16_t port = 80);
    ~LoopbackServer();  // stops: closes every connection and joins its threads
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // Replies are used one per request, in order; when none is queued the
    // default reply answers (at first an empty 200 answer).
    void Push(Reply reply);
    void SetDefault(Reply reply);

    [[nodiscard]] std::vector<std::string> Requests() const;  // exact bytes, one per request
    [[nodiscard]] std::string LastRequest() const;             // empty when there was none
    [[nodiscard]] int Connections() const;                     // connections accepted so far
    [[nodiscard]] std::uint64_t BytesSent() const;             // bytes the server got to send, all connections

    // Waits until `count` requests have been read or the time is up.
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

    [[nodiscard]] const std::string& Address() const;
    [[nodiscard]] std::uint16_t Port() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// Header value of `name` (case-insensitive) in a recorded request, or "" when
// there is none; and the body after the blank line.
[[nodiscard]] std::string HeaderValue(const std::string& request, const std::string& name);
[[nodiscard]] std::string RequestBody(const std::string& request);

}  // namespace dravenlok::testing
