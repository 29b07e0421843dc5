#include "bench/baselines.h"

#include <curl/curl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <memory>
#include <string_view>

namespace dravenlok::bench {

namespace {

// ---- Plain sockets ------------------------------------------------------------------

class Socket {
public:
    explicit Socket(int fd) noexcept : m_fd(fd) {}
    ~Socket()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    [[nodiscard]] int Get() const noexcept { return m_fd; }

private:
    int m_fd;
};

struct AddrInfoFree {
    void operator()(addrinfo* list) const noexcept { freeaddrinfo(list); }
};
using AddrInfoPtr = std::unique_ptr<addrinfo, AddrInfoFree>;

// Looks the name up and connects to its first address on port 80.
int Connect(const char* host)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host, "80", &hints, &found) != 0) {
        return -1;
    }
    const AddrInfoPtr list(found);
    const int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    if (fd < 0) {
        return -1;
    }
    if (::connect(fd, found->ai_addr, found->ai_addrlen) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool SendAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Reads one response with Content-Length; answers the body length (0 on
// failure or a status other than 200). The body itself is not kept.
std::size_t ReadResponse(int fd)
{
    std::array<char, 16 * 1024> buffer{};
    std::string head;
    std::size_t headEnd = std::string::npos;
    std::size_t bodyHave = 0;
    while (headEnd == std::string::npos) {
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n <= 0) {
            return 0;
        }
        head.append(buffer.data(), static_cast<std::size_t>(n));
        headEnd = head.find("\r\n\r\n");
    }
    bodyHave = head.size() - (headEnd + 4);
    head.resize(headEnd + 2);
    if (head.compare(0, 12, "HTTP/1.1 200") != 0) {
        return 0;
    }
    const std::size_t field = head.find("Content-Length: ");
    if (field == std::string::npos) {
        return 0;
    }
    std::size_t length = 0;
    for (std::size_t i = field + 16; i < head.size() && head[i] >= '0' && head[i] <= '9'; ++i) {
        length = length * 10 + static_cast<std::size_t>(head[i] - '0');
    }
    while (bodyHave < length) {
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n <= 0) {
            return 0;
        }
        bodyHave += static_cast<std::size_t>(n);
    }
    return length;
}

// ---- libcurl ------------------------------------------------------------------------

struct EasyCleanup {
    void operator()(CURL* easy) const noexcept { curl_easy_cleanup(easy); }
};
using EasyPtr = std::unique_ptr<CURL, EasyCleanup>;
struct MimeFree {
    void operator()(curl_mime* mime) const noexcept { curl_mime_free(mime); }
};
using MimePtr = std::unique_ptr<curl_mime, MimeFree>;

// Where a body goes, with the handle to ask for its announced length.
struct Sink {
    CURL* easy;
    std::string* out;
};

// Takes room for the announced length with the first piece (as a user who
// keeps the body would), so the body is not copied again as it grows.
std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user)
{
    const auto& sink = *static_cast<Sink*>(user);
    if (sink.out->empty()) {
        curl_off_t announced = -1;
        if (curl_easy_getinfo(sink.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
            announced > 0) {
            sink.out->reserve(static_cast<std::size_t>(announced));
        }
    }
    sink.out->append(data, size * count);
    return size * count;
}

std::size_t Count(char*, std::size_t size, std::size_t count, void* user)
{
    *static_cast<std::size_t*>(user) += size * count;
    return size * count;
}

bool Perform(CURL* easy, std::string& out)
{
    out.clear();
    Sink sink{easy, &out};
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &sink);
    long status = 0;
    return curl_easy_perform(easy) == CURLE_OK &&
           curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status == 200;
}

}  // namespace

std::size_t RawGet(const char* host, const char* path)
{
    const Socket socket(Connect(host));
    if (socket.Get() < 0) {
        return 0;
    }
    const std::string request =
        std::string("GET ") + path + " HTTP/1.1\r\nHost: " + host + "\r\nAccept: */*\r\n\r\n";
    if (!SendAll(socket.Get(), request)) {
        return 0;
    }
    return ReadResponse(socket.Get());
}

std::size_t RawPost(const char* host, const char* path, const std::string& boundary, const std::string& body)
{
    const Socket socket(Connect(host));
    if (socket.Get() < 0) {
        return 0;
    }
    const std::string head = std::string("POST ") + path + " HTTP/1.1\r\nHost: " + host +
                             "\r\nAccept: */*\r\nContent-Type: multipart/form-data; boundary=" + boundary +
                             "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    if (!SendAll(socket.Get(), head) || !SendAll(socket.Get(), body)) {
        return 0;
    }
    return ReadResponse(socket.Get());
}

bool CurlGet(const std::string& url, std::string& out)
{
    const EasyPtr easy(curl_easy_init());
    if (!easy) {
        return false;
    }
    curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    return Perform(easy.get(), out);
}

std::size_t CurlGetCounted(const std::string& url)
{
    const EasyPtr easy(curl_easy_init());
    if (!easy) {
        return 0;
    }
    std::size_t length = 0;
    long status = 0;
    curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &Count);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &length);
    const bool ok = curl_easy_perform(easy.get()) == CURLE_OK &&
                    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status == 200;
    return ok ? length : 0;
}

bool CurlPostFile(const std::string& url, const char* field, const char* file, std::string& out)
{
    const EasyPtr easy(curl_easy_init());
    if (!easy) {
        return false;
    }
    const MimePtr mime(curl_mime_init(easy.get()));
    curl_mimepart* part = curl_mime_addpart(mime.get());
    curl_mime_name(part, field);
    if (curl_mime_filedata(part, file) != CURLE_OK) {
        return false;
    }
    curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_MIMEPOST, mime.get());
    return Perform(easy.get(), out);
}

}  // namespace dravenlok::bench
