// The objects behind HINTERNET (session, connection, request) and the
// registry of live handles. A handle value is a number that is never used
// twice, so a closed handle stays invalid even after new ones are opened.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/wininet/request_headers.h"
#include "platform/wininet/transfer.h"
#include "platform/wininet/wininet.h"

namespace dravenlok::wininet {

enum class Level { Session, Connection, Request };

enum class Option : std::size_t {
    ConnectTimeout,
    ConnectRetries,
    ConnectBackoff,
    SendTimeout,
    ReceiveTimeout,
};
inline constexpr std::size_t kOptionCount = 5;

class InternetObject {
public:
    InternetObject(Level level, std::shared_ptr<InternetObject> parent);
    virtual ~InternetObject() = default;
    InternetObject(const InternetObject&) = delete;
    InternetObject& operator=(const InternetObject&) = delete;

    [[nodiscard]] Level GetLevel() const noexcept { return m_level; }
    [[nodiscard]] const std::shared_ptr<InternetObject>& Parent() const noexcept { return m_parent; }

    void SetOption(Option option, DWORD value);
    // The value set on this handle, else on the nearest parent that has one;
    // a session holds every option (the defaults of settings.h until set).
    [[nodiscard]] DWORD GetOption(Option option) const;

private:
    Level m_level;
    std::shared_ptr<InternetObject> m_parent;
    mutable std::mutex m_mutex;
    std::array<std::optional<DWORD>, kOptionCount> m_options;
};

class Session final : public InternetObject {
public:
    Session();

    std::string agent;
    ProxyMode proxyMode = ProxyMode::System;
    std::string proxy;
    std::string noProxy;
    std::shared_ptr<ConnectionPool> pool;
};

class Connection final : public InternetObject {
public:
    explicit Connection(std::shared_ptr<Session> session);
    [[nodiscard]] Session& GetSession() const noexcept;

    std::string host;
    INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
    std::string userName;
    std::string password;
};

class Request final : public InternetObject {
public:
    enum class State {
        Open,       // not sent yet
        Streaming,  // HttpSendRequestExA done, body going out
        Answered,   // response headers in; the body can be read
        Failed,     // the last send failed
    };

    explicit Request(std::shared_ptr<Connection> connection);
    [[nodiscard]] Connection& GetConnection() const noexcept;

    std::mutex callMutex;  // one call at a time on a request
    std::string verb;
    std::string target;
    bool http10 = false;
    DWORD flags = 0;
    RequestHeaders headers;
    State state = State::Open;
    std::unique_ptr<Transfer> transfer;
};

class HandleRegistry {
public:
    [[nodiscard]] HINTERNET Add(std::shared_ptr<InternetObject> object);
    [[nodiscard]] std::shared_ptr<InternetObject> Find(HINTERNET handle) const;
    // Closes the handle and every handle opened under it; false when the
    // handle is not open.
    [[nodiscard]] bool Close(HINTERNET handle);
    [[nodiscard]] std::size_t Count() const;

private:
    struct Entry {
        std::shared_ptr<InternetObject> object;
        std::uintptr_t parent = 0;
    };
    mutable std::mutex m_mutex;
    std::unordered_map<std::uintptr_t, Entry> m_live;
    std::uintptr_t m_next = 0x100;
};

[[nodiscard]] HandleRegistry& Registry();

}  // namespace dravenlok::wininet
