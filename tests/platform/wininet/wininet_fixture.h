// Shared pieces of the internet layer's tests: handles that close
// themselves, and a fixture that starts every test from a clean slate (no
// proxy from the environment, no injected failure, no time-out cap) and
// checks at the end that no handle was left open.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/wininet/testing.h"
#include "platform/wininet/wininet.h"
#include "target_host.h"
#include "tests/support/loopback_server.h"

namespace dravenlok::wininet::test {

struct HandleCloser {
    void operator()(HINTERNET handle) const noexcept { InternetCloseHandle(handle); }
};
using Handle = std::unique_ptr<HINTERNET__, HandleCloser>;

class WininetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : kProxyVariables) {
            if (const char* value = std::getenv(name)) {
                m_savedEnvironment.emplace_back(name, value);
            }
            ::unsetenv(name);
        }
        wininet::testing::ClearInjectedFailures();
        wininet::testing::CapTimeoutsForTesting(0);
        m_openBefore = wininet::testing::OpenHandleCount();
    }

    void TearDown() override
    {
        wininet::testing::CapTimeoutsForTesting(0);
        for (const char* name : kProxyVariables) {
            ::unsetenv(name);
        }
        for (const auto& [name, value] : m_savedEnvironment) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        EXPECT_EQ(wininet::testing::OpenHandleCount(), m_openBefore) << "a handle was left open";
    }

    // Session, connection and request as the probes open them; each
    // asserts that it got a handle.
    static Handle Open(const char* agent = "", DWORD access = INTERNET_OPEN_TYPE_PRECONFIG)
    {
        Handle session(InternetOpenA(agent, access, nullptr, nullptr, 0));
        EXPECT_NE(session, nullptr) << GetLastError();
        return session;
    }

    static Handle Connect(HINTERNET session, INTERNET_PORT port = 80, const char* host = kTargetHost)
    {
        Handle connection(InternetConnectA(session, host, port, nullptr, nullptr,
                                           INTERNET_SERVICE_HTTP, 0, 0));
        EXPECT_NE(connection, nullptr) << GetLastError();
        return connection;
    }

    static Handle OpenRequest(HINTERNET connection, const char* verb = "GET", const char* object = "/",
                              const char* version = nullptr, LPCSTR* accept = nullptr,
                              DWORD flags = 0)
    {
        Handle request(HttpOpenRequestA(connection, verb, object, version, nullptr, accept, flags, 0));
        EXPECT_NE(request, nullptr) << GetLastError();
        return request;
    }

    // The three handles of one exchange, closed child first.
    struct Exchange {
        Handle session;
        Handle connection;
        Handle request;
        Exchange() = default;
        Exchange(Exchange&&) noexcept = default;
        Exchange& operator=(Exchange&&) noexcept = default;
        ~Exchange()
        {
            request.reset();
            connection.reset();
            session.reset();
        }
    };

    // A GET of `object` from the target host, opened but not sent.
    static Exchange Prepare(const char* object = "/", INTERNET_PORT port = 80,
                            const char* host = kTargetHost)
    {
        Exchange exchange;
        exchange.session = Open();
        exchange.connection = Connect(exchange.session.get(), port, host);
        exchange.request = OpenRequest(exchange.connection.get(), "GET", object);
        return exchange;
    }

    // Sends it; on failure the last error is returned (0 on success).
    static DWORD Send(HINTERNET request)
    {
        return HttpSendRequestA(request, nullptr, 0, nullptr, 0) ? 0 : GetLastError();
    }

    // Reads the body to its end in reads of `chunk` bytes; nullopt with the
    // code in `error` when a read fails.
    static std::optional<std::string> ReadAll(HINTERNET request, DWORD& error, DWORD chunk = 1000)
    {
        std::string body;
        std::vector<char> buffer(chunk);
        for (;;) {
            DWORD read = 0;
            if (!InternetReadFile(request, buffer.data(), chunk, &read)) {
                error = GetLastError();
                return std::nullopt;
            }
            if (read == 0) {
                return body;
            }
            body.append(buffer.data(), read);
        }
    }

    static std::string ReadAll(HINTERNET request)
    {
        DWORD error = 0;
        auto body = ReadAll(request, error);
        EXPECT_TRUE(body.has_value()) << "read failed with " << error;
        return body.value_or("");
    }

    static void SetOption(HINTERNET handle, DWORD option, DWORD value)
    {
        ASSERT_TRUE(InternetSetOptionExA(handle, option, &value, sizeof value, 0)) << GetLastError();
    }

private:
    static constexpr const char* kProxyVariables[] = {"http_proxy", "HTTP_PROXY", "all_proxy",
                                                      "ALL_PROXY", "no_proxy", "NO_PROXY"};
    std::vector<std::pair<std::string, std::string>> m_savedEnvironment;
    std::size_t m_openBefore = 0;
};

}  // namespace dravenlok::wininet::test
