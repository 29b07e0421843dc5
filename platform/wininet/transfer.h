// One HTTP exchange on libcurl's multi interface, driven by the caller:
// blocking, and pulling the response body only as far as it is read.
// curl types stay inside transfer.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/win32.h"
#include "platform/wininet/request_headers.h"

namespace dravenlok::wininet {

// The connections of one session, kept for reuse by its later requests.
class ConnectionPool;
[[nodiscard]] std::shared_ptr<ConnectionPool> MakeConnectionPool();

enum class ProxyMode {
    System,  // http_proxy / no_proxy from the environment, by libcurl's rules
    Direct,  // no proxy at all
    Named,   // the proxy and bypass list given
};

// The limits as applied (test cap included).
struct Limits {
    DWORD connectTimeoutMs = 0;  // per attempt; 0: curl's own limit
    DWORD connectRetries = 0;
    DWORD connectBackoffMs = 0;
    DWORD sendTimeoutMs = 0;     // 0: none
    DWORD receiveTimeoutMs = 0;  // 0: none
    std::uint64_t exchangeLimitMs = 0;  // total waited once connected; 0: none (settings.h)
};

struct TransferPlan {
    std::string url;                  // http://host:port/target, already checked
    std::string verb;
    bool http10 = false;
    std::vector<HeaderField> headers;  // exactly these, in this order
    ProxyMode proxyMode = ProxyMode::System;
    std::string proxy;
    std::string noProxy;
    std::string userName;
    std::string password;

    enum class Body { None, Whole, Streamed };
    Body body = Body::None;
    std::string wholeBody;            // Body::Whole
    std::uint64_t streamedLength = 0;  // Body::Streamed: the announced Content-Length

    Limits limits;
};

struct Response {
    std::string version;  // "HTTP/1.1"
    DWORD status = 0;
    std::string reason;
    std::vector<std::string> lines;  // status line, then each header line, without line ends
};

class Transfer {
public:
    Transfer(std::shared_ptr<ConnectionPool> pool, TransferPlan plan);
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    // Sends the request with its whole body (if any) and waits for the final
    // response's status line and headers. 0 or an error code.
    [[nodiscard]] DWORD Send();

    // Streamed body: Begin connects and sends the headers; Write hands over
    // body bytes and returns once curl took them; End checks that the body
    // is complete and waits for the response.
    [[nodiscard]] DWORD BeginStream();
    [[nodiscard]] DWORD Write(const void* data, DWORD size, DWORD& written);
    [[nodiscard]] DWORD EndStream();

    // Up to `size` body bytes; `read` 0 with result 0 at the end of the body.
    [[nodiscard]] DWORD Read(void* buffer, DWORD size, DWORD& read);

    [[nodiscard]] const Response& GetResponse() const noexcept;
    // The server's last response line for diagnostics ("" when it sent none).
    [[nodiscard]] std::string ResponseInfo() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace dravenlok::wininet
