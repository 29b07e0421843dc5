#include "platform/wininet/handles.h"

#include <vector>

#include "platform/wininet/settings.h"

namespace dravenlok::wininet {

InternetObject::InternetObject(Level level, std::shared_ptr<InternetObject> parent)
    : m_level(level), m_parent(std::move(parent))
{
}

void InternetObject::SetOption(Option option, DWORD value)
{
    const std::lock_guard lock(m_mutex);
    m_options.at(static_cast<std::size_t>(option)) = value;
}

DWORD InternetObject::GetOption(Option option) const
{
    {
        const std::lock_guard lock(m_mutex);
        if (const auto& value = m_options.at(static_cast<std::size_t>(option))) {
            return *value;
        }
    }
    return m_parent ? m_parent->GetOption(option) : 0;
}

Session::Session() : InternetObject(Level::Session, nullptr), pool(MakeConnectionPool())
{
    SetOption(Option::ConnectTimeout, kDefaultConnectTimeoutMs);
    SetOption(Option::ConnectRetries, kDefaultConnectRetries);
    SetOption(Option::ConnectBackoff, kDefaultConnectBackoffMs);
    SetOption(Option::SendTimeout, kDefaultSendTimeoutMs);
    SetOption(Option::ReceiveTimeout, kDefaultReceiveTimeoutMs);
}

Connection::Connection(std::shared_ptr<Session> session)
    : InternetObject(Level::Connection, std::move(session))
{
}

Session& Connection::GetSession() const noexcept
{
    return static_cast<Session&>(*Parent());
}

Request::Request(std::shared_ptr<Connection> connection)
    : InternetObject(Level::Request, std::move(connection))
{
}

Connection& Request::GetConnection() const noexcept
{
    return static_cast<Connection&>(*Parent());
}

namespace {

std::uintptr_t Key(HINTERNET handle) noexcept
{
    return reinterpret_cast<std::uintptr_t>(handle);
}

}  // namespace

HINTERNET HandleRegistry::Add(std::shared_ptr<InternetObject> object)
{
    const std::lock_guard lock(m_mutex);
    std::uintptr_t parent = 0;
    if (object->Parent()) {
        for (const auto& [key, entry] : m_live) {
            if (entry.object == object->Parent()) {
                parent = key;
                break;
            }
        }
    }
    const std::uintptr_t key = m_next;
    m_next += 4;
    m_live.emplace(key, Entry{std::move(object), parent});
    return reinterpret_cast<HINTERNET>(key);  // NOLINT(performance-no-int-to-ptr)
}

std::shared_ptr<InternetObject> HandleRegistry::Find(HINTERNET handle) const
{
    const std::lock_guard lock(m_mutex);
    const auto it = m_live.find(Key(handle));
    return it == m_live.end() ? nullptr : it->second.object;
}

bool HandleRegistry::Close(HINTERNET handle)
{
    // The objects are released after the lock is let go: tearing down a
    // transfer talks to curl and may take a moment.
    std::vector<std::shared_ptr<InternetObject>> closed;
    {
        const std::lock_guard lock(m_mutex);
        if (m_live.find(Key(handle)) == m_live.end()) {
            return false;
        }
        std::vector<std::uintptr_t> pending{Key(handle)};
        while (!pending.empty()) {
            const std::uintptr_t key = pending.back();
            pending.pop_back();
            for (const auto& [child, entry] : m_live) {
                if (entry.parent == key) {
                    pending.push_back(child);
                }
            }
            auto node = m_live.extract(key);
            closed.push_back(std::move(node.mapped().object));
        }
    }
    // Children first, so a request's transfer goes before its session's pool.
    while (!closed.empty()) {
        closed.pop_back();
    }
    return true;
}

std::size_t HandleRegistry::Count() const
{
    const std::lock_guard lock(m_mutex);
    return m_live.size();
}

HandleRegistry& Registry()
{
    static HandleRegistry registry;
    return registry;
}

}  // namespace dravenlok::wininet
