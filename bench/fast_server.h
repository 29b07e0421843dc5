// A fast HTTP/1.1 server on a loopback address for the benchmarks: one
// thread, one connection at a time, fixed answers prepared in advance. It
// reads the request head (and a body announced by Content-Length, which it
// discards), sends the answer for the path in one piece and closes the
// connection, so every client pays for a fresh connection as it would with
// the real target host.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <thread>

namespace dravenlok::bench {

class FastServer {
public:
    // Listens on address:port at once; throws std::runtime_error when it
    // cannot. `bodies` maps request paths to bodies; any other path gets the
    // body of "/" (or an empty one when "/" has none).
    FastServer(const std::string& address, std::uint16_t port, std::map<std::string, std::string> bodies);
    ~FastServer();
    FastServer(const FastServer&) = delete;
    FastServer& operator=(const FastServer&) = delete;

    [[nodiscard]] std::uint64_t Served() const noexcept { return m_served.load(); }
    // Requests the server could not read completely (the peer went away or
    // stalled): a healthy run has none.
    [[nodiscard]] std::uint64_t Broken() const noexcept { return m_broken.load(); }

private:
    void Run();
    void Serve(int connection);
    [[nodiscard]] const std::string& AnswerFor(const std::string& path) const;

    int m_listener = -1;
    int m_stopPipe[2] = {-1, -1};
    std::map<std::string, std::string> m_answers;  // path -> whole answer: head and body
    std::string m_fallback;
    std::atomic<std::uint64_t> m_served{0};
    std::atomic<std::uint64_t> m_broken{0};
    std::thread m_thread;
};

// The bytes of a 200 answer with Content-Length for `body`.
[[nodiscard]] std::string OkAnswer(const std::string& body);

// A body of `size` printable bytes (no zero byte, so the probes that show a
// body up to its first zero show all of it).
[[nodiscard]] std::string PrintableBody(std::size_t size);

}  // namespace dravenlok::bench
