#include "bench/fast_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace dravenlok::bench {

namespace {

constexpr std::size_t kMaxHead = 64 * 1024;
// A client that stalls this long mid-request is given up (counted as broken).
constexpr int kStallSeconds = 5;

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) noexcept
{
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

// The announced body length of a request head (0 when there is none).
std::size_t ContentLength(std::string_view head)
{
    std::size_t at = head.find("\r\n");
    while (at != std::string_view::npos && at + 2 < head.size()) {
        const std::string_view line = head.substr(at + 2, head.find("\r\n", at + 2) - (at + 2));
        if (StartsWithIgnoreCase(line, "content-length:")) {
            std::size_t value = 0;
            for (const char c : line.substr(15)) {
                if (c >= '0' && c <= '9') {
                    value = value * 10 + static_cast<std::size_t>(c - '0');
                }
            }
            return value;
        }
        at = head.find("\r\n", at + 2);
    }
    return 0;
}

bool ExpectsContinue(std::string_view head)
{
    for (std::size_t at = head.find("\r\n"); at != std::string_view::npos; at = head.find("\r\n", at + 2)) {
        if (StartsWithIgnoreCase(head.substr(at + 2), "expect: 100-continue")) {
            return true;
        }
    }
    return false;
}

bool SendAll(int fd, std::string_view bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string OkAnswer(const std::string& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

std::string PrintableBody(std::size_t size)
{
    std::string body(size, ' ');
    for (std::size_t i = 0; i < size; ++i) {
        body[i] = (i % 64 == 63) ? '\n' : static_cast<char>('a' + i % 26);
    }
    return body;
}

FastServer::FastServer(const std::string& address, std::uint16_t port, std::map<std::string, std::string> bodies)
{
    for (auto& [path, body] : bodies) {
        m_answers.emplace(path, OkAnswer(body));
    }
    const auto root = m_answers.find("/");
    m_fallback = root != m_answers.end() ? root->second : OkAnswer("");

    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1 ||
        (ntohl(where.sin_addr.s_addr) >> 24) != 127) {
        throw std::runtime_error("the benchmark server listens on 127.0.0.0/8 only: " + address);
    }
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 ||
        ::listen(m_listener, 128) != 0 || ::pipe2(m_stopPipe, O_CLOEXEC) != 0) {
        const std::string why = std::strerror(errno);
        if (m_listener >= 0) {
            ::close(m_listener);
        }
        throw std::runtime_error("cannot listen on " + address + ":" + std::to_string(port) + ": " + why);
    }
    m_thread = std::thread([this] { Run(); });
}

FastServer::~FastServer()
{
    const char stop = 's';
    static_cast<void>(::write(m_stopPipe[1], &stop, 1));
    m_thread.join();
    ::close(m_listener);
    ::close(m_stopPipe[0]);
    ::close(m_stopPipe[1]);
}

const std::string& FastServer::AnswerFor(const std::string& path) const
{
    const auto found = m_answers.find(path);
    return found != m_answers.end() ? found->second : m_fallback;
}

void FastServer::Run()
{
    for (;;) {
        std::array<pollfd, 2> fds{{{m_listener, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}}};
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            return;
        }
        const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            continue;
        }
        Serve(connection);
        ::close(connection);
    }
}

void FastServer::Serve(int connection)
{
    const timeval stall{kStallSeconds, 0};
    ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &stall, sizeof stall);
    ::setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &stall, sizeof stall);

    std::string head;
    std::array<char, 64 * 1024> buffer{};
    std::size_t end = std::string::npos;
    while (end == std::string::npos) {
        const ssize_t n = ::recv(connection, buffer.data(), buffer.size(), 0);
        if (n <= 0 || head.size() > kMaxHead) {
            ++m_broken;
            return;
        }
        head.append(buffer.data(), static_cast<std::size_t>(n));
        end = head.find("\r\n\r\n");
    }
    // The body (a form POST) is read and dropped. A client that waits for
    // leave to send it (Expect: 100-continue, RFC 9110 10.1.1) gets it at once.
    const std::string_view headers = std::string_view(head).substr(0, end + 2);
    const std::size_t announced = ContentLength(headers);
    if (announced > 0 && head.size() == end + 4 && ExpectsContinue(headers) &&
        !SendAll(connection, "HTTP/1.1 100 Continue\r\n\r\n")) {
        ++m_broken;
        return;
    }
    std::size_t have = head.size() - (end + 4);
    while (have < announced) {
        const ssize_t n = ::recv(connection, buffer.data(), std::min(buffer.size(), announced - have), 0);
        if (n <= 0) {
            ++m_broken;
            return;
        }
        have += static_cast<std::size_t>(n);
    }

    // "GET /path HTTP/1.1": the path is the second word.
    const std::size_t pathStart = head.find(' ');
    const std::size_t pathEnd = pathStart == std::string::npos ? std::string::npos : head.find(' ', pathStart + 1);
    const std::string path = pathEnd == std::string::npos ? "/" : head.substr(pathStart + 1, pathEnd - pathStart - 1);
    if (!SendAll(connection, AnswerFor(path))) {
        ++m_broken;
        return;
    }
    ++m_served;
}

}  // namespace dravenlok::bench
