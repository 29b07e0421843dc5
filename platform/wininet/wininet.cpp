// The handle-based calls of the internet layer. Each checks its arguments and
// handles, then hands the exchange itself to Transfer (transfer.cpp).
//
// What the request flags do here (we keep no cache, so every request goes
// to the server):
//
// | Flag                          | Effect                                                  |
// |-------------------------------|---------------------------------------------------------|
// | INTERNET_FLAG_RELOAD          | none needed: nothing is ever served from a cache        |
// | INTERNET_FLAG_NO_CACHE_WRITE  | none needed: nothing is ever written to a cache         |
// | INTERNET_FLAG_FORMS_SUBMIT    | none needed: a form answer is never taken from a cache  |
// | INTERNET_FLAG_PRAGMA_NOCACHE  | "Pragma: no-cache" unless the request has a Pragma line |
// |                               | (RFC 7234 §5.4), so caches on the way pass it on too    |
// | INTERNET_FLAG_KEEP_CONNECTION | HTTP/1.0: "Connection: Keep-Alive" unless the request   |
// |                               | has a Connection line (RFC 2068 §19.7.1); HTTP/1.1      |
// |                               | connections persist anyway (RFC 7230 §6.3)              |
// | INTERNET_FLAG_EXISTING_CONNECT| none needed: every request of a session may reuse a     |
// |                               | connection the session kept (curl share handle,         |
// |                               | CURL_LOCK_DATA_CONNECT); other sessions never do        |
// | INTERNET_FLAG_NO_AUTO_REDIRECT| none needed: redirects are never followed here          |
// | INTERNET_FLAG_SECURE          | refused (ERROR_NOT_SUPPORTED): the layer speaks HTTP    |
// | INTERNET_FLAG_ASYNC (open)    | refused (ERROR_NOT_SUPPORTED): every call is blocking   |
#include "platform/wininet/wininet.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/wininet/handles.h"
#include "platform/wininet/seams.h"
#include "platform/wininet/settings.h"

using dravenlok::wininet::Connection;
using dravenlok::wininet::EqualsIgnoreCase;
using dravenlok::wininet::InternetObject;
using dravenlok::wininet::Level;
using dravenlok::wininet::Option;
using dravenlok::wininet::ProxyMode;
using dravenlok::wininet::Registry;
using dravenlok::wininet::Request;
using dravenlok::wininet::RequestHeaders;
using dravenlok::wininet::Session;
using dravenlok::wininet::TakeInjectedFailure;
using dravenlok::wininet::Transfer;
using dravenlok::wininet::TransferPlan;
using Call = dravenlok::wininet::testing::Call;

namespace {

// The server's last response line on this thread, for
// InternetGetLastResponseInfoA.
thread_local std::string t_lastResponse;

BOOL Fail(DWORD code)
{
    SetLastError(code);
    return FALSE;
}

HINTERNET FailHandle(DWORD code)
{
    SetLastError(code);
    return nullptr;
}

bool Injected(Call call)
{
    if (const auto code = TakeInjectedFailure(call)) {
        SetLastError(*code);
        return true;
    }
    return false;
}

// The open object behind `handle` at `level`, or null with the last error
// set: ERROR_INVALID_HANDLE for null, closed or unknown handles,
// ERROR_INTERNET_INCORRECT_HANDLE_TYPE for a handle of another level.
template <class T>
std::shared_ptr<T> Resolve(HINTERNET handle, Level level)
{
    std::shared_ptr<InternetObject> object = Registry().Find(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (object->GetLevel() != level) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return nullptr;
    }
    return std::static_pointer_cast<T>(object);
}

// The first steps of every call on a handle: a failure injected by a test,
// then the handle's object at `level`; null with the last error set.
template <class T>
std::shared_ptr<T> Enter(Call call, HINTERNET handle, Level level)
{
    if (Injected(call)) {
        return nullptr;
    }
    return Resolve<T>(handle, level);
}

bool HasControlCharacters(std::string_view text) noexcept
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

// Header text of a call: -1 (0xFFFFFFFF) means zero-terminated; an explicit
// length never reads past the first zero byte either.
std::string_view HeaderText(LPCSTR text, DWORD length) noexcept
{
    if (text == nullptr) {
        return {};
    }
    if (length == 0xFFFFFFFF) {
        return std::string_view(text);
    }
    return std::string_view(text, strnlen(text, length));
}

// The object name as a request target: "/" for none; a fragment is not
// part of a request target (RFC 7230 §5.3), so '#' and what follows are
// dropped; bytes that cannot stand in a request line (controls, space,
// non-ASCII) are percent-encoded (RFC 3986 §2.1).
std::string RequestTarget(LPCSTR objectName)
{
    std::string_view name = objectName == nullptr ? std::string_view{} : std::string_view(objectName);
    if (const auto hash = name.find('#'); hash != std::string_view::npos) {
        name = name.substr(0, hash);
    }
    std::string target;
    if (name.empty() || name.front() != '/') {
        target = "/";
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F) {
            target += '%';
            target += kHex[u >> 4];
            target += kHex[u & 0x0F];
        } else {
            target += c;
        }
    }
    return target;
}

// The host as it goes into a URL, or nullopt when it cannot be a host name
// or address. Names under ".invalid" never resolve (RFC 6761 §6.4).
std::optional<std::string> UrlHost(const std::string& host)
{
    if (host.empty() || host.size() > INTERNET_MAX_HOST_NAME_LENGTH) {
        return std::nullopt;
    }
    std::string lower(host);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    std::string_view name(lower);
    if (name.back() == '.') {
        name.remove_suffix(1);
    }
    if (name == "invalid" || (name.size() > 8 && name.substr(name.size() - 8) == ".invalid")) {
        return std::nullopt;
    }
    auto isAddressChar = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
               c == ':' || c == '.';
    };
    std::string_view inner(host);
    const bool bracketed = inner.size() > 2 && inner.front() == '[' && inner.back() == ']';
    if (bracketed) {
        inner = inner.substr(1, inner.size() - 2);
    }
    if (bracketed || inner.find(':') != std::string_view::npos) {
        if (!std::all_of(inner.begin(), inner.end(), isAddressChar)) {
            return std::nullopt;
        }
        return "[" + std::string(inner) + "]";
    }
    const bool plain = std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               c == '-' || c == '.' || c == '_';
    });
    return plain ? std::optional<std::string>(host) : std::nullopt;
}

// A proxy list as the access type INTERNET_OPEN_TYPE_PROXY takes it:
// entries separated by blanks or ';', each "http=host:port" or
// "host:port"; the first http entry, else the first plain one.
std::string ProxyFromList(std::string_view list)
{
    std::string plain;
    while (!list.empty()) {
        const auto end = list.find_first_of(" ;");
        const std::string_view entry = list.substr(0, end);
        list = end == std::string_view::npos ? std::string_view{} : list.substr(end + 1);
        if (entry.empty()) {
            continue;
        }
        if (const auto eq = entry.find('='); eq != std::string_view::npos) {
            if (EqualsIgnoreCase(entry.substr(0, eq), "http")) {
                return std::string(entry.substr(eq + 1));
            }
        } else if (plain.empty()) {
            plain = std::string(entry);
        }
    }
    return plain;
}

// A bypass list ("a.example;b.example <local>") as curl's CURLOPT_NOPROXY
// ("a.example,b.example"). "<local>" has no counterpart there and is left out.
std::string NoProxyFromList(std::string_view list)
{
    std::string out;
    while (!list.empty()) {
        const auto end = list.find_first_of(" ;,");
        const std::string_view entry = list.substr(0, end);
        list = end == std::string_view::npos ? std::string_view{} : list.substr(end + 1);
        if (entry.empty() || entry == "<local>") {
            continue;
        }
        if (!out.empty()) {
            out += ',';
        }
        out += entry;
    }
    return out;
}

std::optional<std::uint64_t> ParseDecimal(std::string_view text)
{
    std::uint64_t value = 0;
    if (text.empty()) {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

dravenlok::wininet::Limits LimitsOf(const Request& request)
{
    using dravenlok::wininet::ApplyBackoffCap;
    using dravenlok::wininet::ApplyTimeoutCap;
    dravenlok::wininet::Limits limits;
    limits.connectTimeoutMs = ApplyTimeoutCap(request.GetOption(Option::ConnectTimeout));
    limits.connectRetries = request.GetOption(Option::ConnectRetries);
    limits.connectBackoffMs = ApplyBackoffCap(request.GetOption(Option::ConnectBackoff));
    limits.sendTimeoutMs = ApplyTimeoutCap(request.GetOption(Option::SendTimeout));
    limits.receiveTimeoutMs = ApplyTimeoutCap(request.GetOption(Option::ReceiveTimeout));
    limits.exchangeLimitMs =
        dravenlok::wininet::ExchangeLimitMs(limits.sendTimeoutMs, limits.receiveTimeoutMs);
    return limits;
}

// Everything a send needs, from the request, its connection and session.
// The request's own header list comes first, in its order; then what the
// session and the flags add where the request has no line of that name.
std::optional<TransferPlan> PlanFor(const Request& request, DWORD& error)
{
    const Connection& connection = request.GetConnection();
    const Session& session = connection.GetSession();
    const auto host = UrlHost(connection.host);
    if (!host) {
        error = ERROR_INTERNET_NAME_NOT_RESOLVED;
        return std::nullopt;
    }
    TransferPlan plan;
    plan.url = "http://" + *host + ":" + std::to_string(connection.port) + request.target;
    plan.verb = request.verb;
    plan.http10 = request.http10;
    RequestHeaders headers = request.headers;
    if (!session.agent.empty() && !headers.Has("User-Agent")) {
        headers.Put({"User-Agent", session.agent}, RequestHeaders::Mode::Add);
    }
    if ((request.flags & INTERNET_FLAG_PRAGMA_NOCACHE) != 0 && !headers.Has("Pragma")) {
        headers.Put({"Pragma", "no-cache"}, RequestHeaders::Mode::Add);
    }
    if (request.http10 && (request.flags & INTERNET_FLAG_KEEP_CONNECTION) != 0 &&
        !headers.Has("Connection")) {
        headers.Put({"Connection", "Keep-Alive"}, RequestHeaders::Mode::Add);
    }
    plan.headers = headers.Fields();
    plan.proxyMode = session.proxyMode;
    plan.proxy = session.proxy;
    plan.noProxy = session.noProxy;
    plan.userName = connection.userName;
    plan.password = connection.password;
    plan.limits = LimitsOf(request);
    return plan;
}

// Extra headers given to a send call join the request's own list, each
// replacing a line of the same name.
DWORD AddSendHeaders(Request& request, std::string_view text)
{
    if (text.empty()) {
        return ERROR_SUCCESS;
    }
    return request.headers.Apply(text, RequestHeaders::Mode::Replace);
}

void RecordResponseInfo(const Transfer& transfer)
{
    t_lastResponse = transfer.ResponseInfo();
}

std::optional<Option> OptionFor(DWORD option)
{
    switch (option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT:
        return Option::ConnectTimeout;
    case INTERNET_OPTION_CONNECT_RETRIES:
        return Option::ConnectRetries;
    case INTERNET_OPTION_CONNECT_BACKOFF:
        return Option::ConnectBackoff;
    case INTERNET_OPTION_SEND_TIMEOUT:
        return Option::SendTimeout;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
        return Option::ReceiveTimeout;
    default:
        return std::nullopt;
    }
}

// Copies `text` and a terminating zero into the caller's buffer, Windows
// fashion: when it does not fit, ERROR_INSUFFICIENT_BUFFER and *length is
// the size needed in bytes (terminator included); else *length is the
// text's length without it. `terminated` already ends in its own zero(s).
BOOL CopyOut(std::string_view text, LPVOID buffer, LPDWORD length, bool terminated = false)
{
    const std::size_t needed = text.size() + (terminated ? 0 : 1);
    if (buffer == nullptr || *length < needed) {
        *length = static_cast<DWORD>(needed);
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    auto* out = static_cast<char*>(buffer);
    std::memcpy(out, text.data(), text.size());
    if (!terminated) {
        out[text.size()] = '\0';
    }
    *length = static_cast<DWORD>(needed - 1);
    return TRUE;
}

BOOL CopyNumber(DWORD value, LPVOID buffer, LPDWORD length)
{
    if (buffer == nullptr || *length < sizeof value) {
        *length = sizeof value;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, &value, sizeof value);
    *length = sizeof value;
    return TRUE;
}

std::string_view Trim(std::string_view text) noexcept
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// The value of the index-th response header line called `name`.
std::optional<std::string_view> ResponseHeader(const dravenlok::wininet::Response& response,
                                               std::string_view name, DWORD index)
{
    for (std::size_t i = 1; i < response.lines.size(); ++i) {
        const std::string_view line = response.lines[i];
        const auto colon = line.find(':');
        if (colon != std::string_view::npos && EqualsIgnoreCase(Trim(line.substr(0, colon)), name)) {
            if (index == 0) {
                return Trim(line.substr(colon + 1));
            }
            --index;
        }
    }
    return std::nullopt;
}

}  // namespace

HINTERNET InternetOpenA(LPCSTR agent, DWORD accessType, LPCSTR proxy, LPCSTR proxyBypass,
                        DWORD flags)
{
    if (Injected(Call::InternetOpen)) {
        return nullptr;
    }
    t_lastResponse.clear();
    if ((flags & INTERNET_FLAG_ASYNC) != 0) {
        return FailHandle(ERROR_NOT_SUPPORTED);
    }
    const std::string_view agentText = agent == nullptr ? std::string_view{} : agent;
    if (HasControlCharacters(agentText)) {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    auto session = std::make_shared<Session>();
    session->agent = std::string(agentText);
    switch (accessType) {
    case INTERNET_OPEN_TYPE_PRECONFIG:
        session->proxyMode = ProxyMode::System;
        break;
    case INTERNET_OPEN_TYPE_DIRECT:
        session->proxyMode = ProxyMode::Direct;
        break;
    case INTERNET_OPEN_TYPE_PROXY: {
        const std::string named = proxy == nullptr ? std::string{} : ProxyFromList(proxy);
        if (named.empty() || HasControlCharacters(named)) {
            return FailHandle(ERROR_INVALID_PARAMETER);
        }
        session->proxyMode = ProxyMode::Named;
        session->proxy = named;
        session->noProxy = proxyBypass == nullptr ? std::string{} : NoProxyFromList(proxyBypass);
        break;
    }
    default:
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    if (!session->pool) {
        return FailHandle(ERROR_NOT_ENOUGH_MEMORY);
    }
    return Registry().Add(std::move(session));
}

HINTERNET InternetConnectA(HINTERNET session, LPCSTR serverName, INTERNET_PORT port,
                           LPCSTR userName, LPCSTR password, DWORD service, DWORD /*flags*/,
                           DWORD_PTR /*context*/)
{
    auto owner = Enter<Session>(Call::InternetConnect, session, Level::Session);
    if (!owner) {
        return nullptr;
    }
    if (serverName == nullptr) {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    if (service != INTERNET_SERVICE_HTTP) {
        return FailHandle(ERROR_NOT_SUPPORTED);
    }
    // Only recorded here: the name is looked up and the server reached when
    // a request is sent.
    auto connection = std::make_shared<Connection>(std::move(owner));
    connection->host = serverName;
    connection->port = port == INTERNET_INVALID_PORT_NUMBER ? INTERNET_DEFAULT_HTTP_PORT : port;
    connection->userName = userName == nullptr ? "" : userName;
    connection->password = password == nullptr ? "" : password;
    return Registry().Add(std::move(connection));
}

HINTERNET HttpOpenRequestA(HINTERNET connection, LPCSTR verb, LPCSTR objectName, LPCSTR version,
                           LPCSTR referrer, LPCSTR* acceptTypes, DWORD flags,
                           DWORD_PTR /*context*/)
{
    auto owner = Enter<Connection>(Call::HttpOpenRequest, connection, Level::Connection);
    if (!owner) {
        return nullptr;
    }
    if ((flags & INTERNET_FLAG_SECURE) != 0) {
        return FailHandle(ERROR_NOT_SUPPORTED);
    }
    const std::string_view verbText = verb == nullptr || *verb == '\0' ? "GET" : verb;
    if (!dravenlok::wininet::IsToken(verbText)) {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    bool http10 = false;
    if (version != nullptr && *version != '\0') {
        if (EqualsIgnoreCase(version, "HTTP/1.0")) {
            http10 = true;
        } else if (!EqualsIgnoreCase(version, "HTTP/1.1")) {
            return FailHandle(ERROR_INVALID_PARAMETER);
        }
    }
    auto request = std::make_shared<Request>(std::move(owner));
    request->verb = std::string(verbText);
    request->target = RequestTarget(objectName);
    request->http10 = http10;
    request->flags = flags;
    // "Accept: a, b" from the list (RFC 7231 §5.3.2); no list, or an empty
    // one, gives no Accept line.
    std::string accept;
    for (LPCSTR* type = acceptTypes; type != nullptr && *type != nullptr; ++type) {
        const std::string_view text(*type);
        if (text.empty()) {
            continue;
        }
        if (HasControlCharacters(text)) {
            return FailHandle(ERROR_INVALID_PARAMETER);
        }
        accept += accept.empty() ? "" : ", ";
        accept += text;
    }
    if (!accept.empty()) {
        request->headers.Put({"Accept", accept}, RequestHeaders::Mode::Add);
    }
    if (referrer != nullptr && *referrer != '\0') {
        if (HasControlCharacters(referrer)) {
            return FailHandle(ERROR_INVALID_PARAMETER);
        }
        request->headers.Put({"Referer", referrer}, RequestHeaders::Mode::Add);
    }
    return Registry().Add(std::move(request));
}

namespace {

// A socket descriptor closed with its scope.
class ScopedSocket {
public:
    explicit ScopedSocket(int fd) noexcept : m_fd(fd) {}
    ~ScopedSocket()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    ScopedSocket(const ScopedSocket&) = delete;
    ScopedSocket& operator=(const ScopedSocket&) = delete;
    [[nodiscard]] int Get() const noexcept { return m_fd; }

private:
    int m_fd;
};

bool AnyIpv4InterfaceUp()
{
    const ScopedSocket socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const int probe = socket.Get();
    if (probe < 0) {
        return false;
    }
    std::array<ifreq, 32> entries{};
    ifconf list{};
    list.ifc_len = static_cast<int>(sizeof entries);
    list.ifc_req = entries.data();
    bool up = false;
    if (::ioctl(probe, SIOCGIFCONF, &list) == 0) {
        const auto count = std::min<std::size_t>(static_cast<std::size_t>(list.ifc_len) / sizeof(ifreq), entries.size());
        for (std::size_t i = 0; i < count && !up; ++i) {
            ifreq flags = entries[i];
            up = ::ioctl(probe, SIOCGIFFLAGS, &flags) == 0 && (flags.ifr_flags & IFF_UP) != 0;
        }
    }
    return up;
}

}  // namespace

DWORD InternetAttemptConnect(DWORD /*reserved*/)
{
    if (const auto code = TakeInjectedFailure(Call::InternetAttemptConnect)) {
        SetLastError(*code);
        return *code;
    }
    // Connected means: some network interface, loopback included, is up.
    // Asked first of the interfaces with an IPv4 address, with two ioctls
    // (SIOCGIFCONF, SIOCGIFFLAGS); only when none of them is up does the
    // full list (a netlink dump, three times the cost) decide.
    bool up = AnyIpv4InterfaceUp();
    ifaddrs* list = nullptr;
    if (!up && getifaddrs(&list) == 0) {
        for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
            if ((entry->ifa_flags & IFF_UP) != 0) {
                up = true;
                break;
            }
        }
        freeifaddrs(list);
    }
    if (!up) {
        SetLastError(ERROR_INTERNET_DISCONNECTED);
        return ERROR_INTERNET_DISCONNECTED;
    }
    return ERROR_SUCCESS;
}

BOOL HttpAddRequestHeadersA(HINTERNET request, LPCSTR headers, DWORD headersLength,
                            DWORD modifiers)
{
    auto target = Enter<Request>(Call::HttpAddRequestHeaders, request, Level::Request);
    if (!target) {
        return FALSE;
    }
    if (headers == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const std::lock_guard lock(target->callMutex);
    RequestHeaders::Mode mode = RequestHeaders::Mode::Add;
    if ((modifiers & HTTP_ADDREQ_FLAG_REPLACE) != 0) {
        mode = RequestHeaders::Mode::Replace;
    } else if ((modifiers & HTTP_ADDREQ_FLAG_ADD_IF_NEW) != 0) {
        mode = RequestHeaders::Mode::AddIfNew;
    }
    const DWORD code = target->headers.Apply(HeaderText(headers, headersLength), mode);
    return code == ERROR_SUCCESS ? TRUE : Fail(code);
}

BOOL HttpSendRequestA(HINTERNET request, LPCSTR headers, DWORD headersLength, LPVOID optional,
                      DWORD optionalLength)
{
    auto target = Enter<Request>(Call::HttpSendRequest, request, Level::Request);
    if (!target) {
        return FALSE;
    }
    const std::lock_guard lock(target->callMutex);
    if (target->state == Request::State::Streaming) {
        return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    if (optional == nullptr && optionalLength > 0) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (const DWORD code = AddSendHeaders(*target, HeaderText(headers, headersLength));
        code != ERROR_SUCCESS) {
        return Fail(code);
    }
    DWORD error = ERROR_SUCCESS;
    auto plan = PlanFor(*target, error);
    if (!plan) {
        target->state = Request::State::Failed;
        return Fail(error);
    }
    if (optionalLength > 0 || target->verb == "POST" || target->verb == "PUT") {
        // A Content-Length of the caller's must agree with the data, or the
        // server would wait for bytes that never come.
        if (const auto* given = target->headers.Find("Content-Length")) {
            const auto announced = ParseDecimal(given->value);
            if (!announced || *announced != optionalLength) {
                return Fail(ERROR_HTTP_INVALID_HEADER);
            }
        }
        plan->body = TransferPlan::Body::Whole;
        plan->wholeBody.assign(static_cast<const char*>(optional), optionalLength);
    }
    t_lastResponse.clear();
    target->transfer.reset();
    auto transfer = std::make_unique<Transfer>(target->GetConnection().GetSession().pool,
                                               std::move(*plan));
    const DWORD code = transfer->Send();
    RecordResponseInfo(*transfer);
    if (code != ERROR_SUCCESS) {
        target->state = Request::State::Failed;
        return Fail(code);
    }
    target->transfer = std::move(transfer);
    target->state = Request::State::Answered;
    return TRUE;
}

BOOL HttpSendRequestExA(HINTERNET request, LPINTERNET_BUFFERSA buffersIn,
                        LPINTERNET_BUFFERSA /*buffersOut*/, DWORD /*flags*/, DWORD_PTR /*context*/)
{
    auto target = Enter<Request>(Call::HttpSendRequest, request, Level::Request);
    if (!target) {
        return FALSE;
    }
    const std::lock_guard lock(target->callMutex);
    if (target->state == Request::State::Streaming) {
        return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    std::uint64_t total = 0;
    std::string_view first;
    if (buffersIn != nullptr) {
        if (buffersIn->dwStructSize != sizeof(INTERNET_BUFFERSA) ||
            (buffersIn->lpvBuffer == nullptr && buffersIn->dwBufferLength > 0)) {
            return Fail(ERROR_INVALID_PARAMETER);
        }
        if (const DWORD code = AddSendHeaders(
                *target, HeaderText(buffersIn->lpcszHeader, buffersIn->dwHeadersLength));
            code != ERROR_SUCCESS) {
            return Fail(code);
        }
        total = buffersIn->dwBufferTotal;
        if (buffersIn->lpvBuffer != nullptr) {
            first = std::string_view(static_cast<const char*>(buffersIn->lpvBuffer),
                                     buffersIn->dwBufferLength);
        }
    }
    // The body's length is the caller's own Content-Length when it gave one
    // (sent as it stands), else dwBufferTotal (curl then sends the line).
    if (const auto* given = target->headers.Find("Content-Length")) {
        const auto announced = ParseDecimal(given->value);
        if (!announced) {
            return Fail(ERROR_HTTP_INVALID_HEADER);
        }
        total = *announced;
    }
    if (first.size() > total) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    DWORD error = ERROR_SUCCESS;
    auto plan = PlanFor(*target, error);
    if (!plan) {
        target->state = Request::State::Failed;
        return Fail(error);
    }
    plan->body = TransferPlan::Body::Streamed;
    plan->streamedLength = total;
    t_lastResponse.clear();
    target->transfer.reset();
    auto transfer = std::make_unique<Transfer>(target->GetConnection().GetSession().pool,
                                               std::move(*plan));
    DWORD code = transfer->BeginStream();
    if (code == ERROR_SUCCESS && !first.empty()) {
        DWORD written = 0;
        code = transfer->Write(first.data(), static_cast<DWORD>(first.size()), written);
    }
    if (code != ERROR_SUCCESS) {
        RecordResponseInfo(*transfer);
        target->state = Request::State::Failed;
        return Fail(code);
    }
    target->transfer = std::move(transfer);
    target->state = Request::State::Streaming;
    return TRUE;
}

BOOL InternetWriteFile(HINTERNET request, LPCVOID buffer, DWORD bytesToWrite,
                       LPDWORD bytesWritten)
{
    auto target = Enter<Request>(Call::InternetWriteFile, request, Level::Request);
    if (!target) {
        return FALSE;
    }
    if (bytesWritten == nullptr || (buffer == nullptr && bytesToWrite > 0)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    *bytesWritten = 0;
    const std::lock_guard lock(target->callMutex);
    if (target->state != Request::State::Streaming) {
        return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    if (bytesToWrite == 0) {
        return TRUE;
    }
    const DWORD code = target->transfer->Write(buffer, bytesToWrite, *bytesWritten);
    if (code == ERROR_INVALID_PARAMETER) {
        return Fail(code);  // beyond the announced length: nothing was sent
    }
    if (code != ERROR_SUCCESS) {
        RecordResponseInfo(*target->transfer);
        target->state = Request::State::Failed;
        return Fail(code);
    }
    return TRUE;
}

BOOL HttpEndRequestA(HINTERNET request, LPINTERNET_BUFFERSA /*buffersOut*/, DWORD /*flags*/,
                     DWORD_PTR /*context*/)
{
    auto target = Enter<Request>(Call::HttpEndRequest, request, Level::Request);
    if (!target) {
        return FALSE;
    }
    const std::lock_guard lock(target->callMutex);
    if (target->state != Request::State::Streaming) {
        return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    const DWORD code = target->transfer->EndStream();
    RecordResponseInfo(*target->transfer);
    if (code != ERROR_SUCCESS) {
        target->state = Request::State::Failed;
        return Fail(code);
    }
    target->state = Request::State::Answered;
    return TRUE;
}

BOOL HttpQueryInfoA(HINTERNET request, DWORD infoLevel, LPVOID buffer, LPDWORD bufferLength,
                    LPDWORD index)
{
    auto target = Enter<Request>(Call::HttpQueryInfo, request, Level::Request);
    if (!target) {
        return FALSE;
    }
    if (bufferLength == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const std::lock_guard lock(target->callMutex);
    if (target->state != Request::State::Answered) {
        return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    const dravenlok::wininet::Response& response = target->transfer->GetResponse();
    const bool asNumber = (infoLevel & HTTP_QUERY_FLAG_NUMBER) != 0;
    if ((infoLevel & ~(HTTP_QUERY_FLAG_NUMBER | 0xFFFF)) != 0) {
        return Fail(ERROR_HTTP_INVALID_QUERY_REQUEST);
    }
    std::string text;
    bool terminated = false;
    switch (infoLevel & 0xFFFF) {
    case HTTP_QUERY_STATUS_CODE:
        if (asNumber) {
            return CopyNumber(response.status, buffer, bufferLength);
        }
        text = std::to_string(response.status);
        break;
    case HTTP_QUERY_STATUS_TEXT:
        text = response.reason;
        break;
    case HTTP_QUERY_VERSION:
        text = response.version;
        break;
    case HTTP_QUERY_RAW_HEADERS_CRLF:
        // Each line as the server sent it, ending in CR LF, then the empty
        // line that ends the block.
        for (const std::string& line : response.lines) {
            text += line;
            text += "\r\n";
        }
        text += "\r\n";
        break;
    case HTTP_QUERY_RAW_HEADERS:
        // Each line ends in a zero byte, and one more zero ends the list.
        for (const std::string& line : response.lines) {
            text += line;
            text += '\0';
        }
        text += '\0';
        terminated = true;
        break;
    case HTTP_QUERY_CONTENT_TYPE:
    case HTTP_QUERY_CONTENT_LENGTH:
    case HTTP_QUERY_LOCATION: {
        const DWORD level = infoLevel & 0xFFFF;
        const char* name = level == HTTP_QUERY_CONTENT_TYPE     ? "Content-Type"
                           : level == HTTP_QUERY_CONTENT_LENGTH ? "Content-Length"
                                                                : "Location";
        const auto value = ResponseHeader(response, name, index == nullptr ? 0 : *index);
        if (!value) {
            return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
        }
        if (asNumber) {
            const auto number = ParseDecimal(*value);
            if (!number || *number > 0xFFFFFFFF) {
                return Fail(ERROR_HTTP_INVALID_QUERY_REQUEST);
            }
            if (!CopyNumber(static_cast<DWORD>(*number), buffer, bufferLength)) {
                return FALSE;
            }
        } else if (!CopyOut(*value, buffer, bufferLength)) {
            return FALSE;
        }
        if (index != nullptr) {
            ++*index;
        }
        return TRUE;
    }
    default:
        return Fail(ERROR_HTTP_INVALID_QUERY_REQUEST);
    }
    if (asNumber) {
        const auto number = ParseDecimal(text);
        if (!number || *number > 0xFFFFFFFF) {
            return Fail(ERROR_HTTP_INVALID_QUERY_REQUEST);
        }
        return CopyNumber(static_cast<DWORD>(*number), buffer, bufferLength);
    }
    return CopyOut(text, buffer, bufferLength, terminated);
}

BOOL InternetReadFile(HINTERNET request, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead)
{
    auto target = Enter<Request>(Call::InternetReadFile, request, Level::Request);
    if (!target) {
        return FALSE;
    }
    if (bytesRead == nullptr || (buffer == nullptr && bytesToRead > 0)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    *bytesRead = 0;
    const std::lock_guard lock(target->callMutex);
    if (target->state != Request::State::Answered) {
        return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    const DWORD code = target->transfer->Read(buffer, bytesToRead, *bytesRead);
    return code == ERROR_SUCCESS ? TRUE : Fail(code);
}

BOOL InternetGetLastResponseInfoA(LPDWORD error, LPSTR buffer, LPDWORD bufferLength)
{
    if (bufferLength == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (error != nullptr) {
        *error = 0;  // HTTP has no extended error numbers
    }
    return CopyOut(t_lastResponse, buffer, bufferLength);
}

BOOL InternetSetOptionExA(HINTERNET handle, DWORD option, LPVOID buffer, DWORD bufferLength,
                          DWORD /*flags*/)
{
    if (Injected(Call::InternetSetOption)) {
        return FALSE;
    }
    const std::shared_ptr<InternetObject> object = Registry().Find(handle);
    if (!object) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    const auto which = OptionFor(option);
    if (!which) {
        return Fail(ERROR_INTERNET_INVALID_OPTION);
    }
    if (buffer == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    DWORD value = 0;
    if (bufferLength != sizeof value) {
        return Fail(ERROR_INTERNET_BAD_OPTION_LENGTH);
    }
    std::memcpy(&value, buffer, sizeof value);
    object->SetOption(*which, value);
    return TRUE;
}

BOOL InternetQueryOptionA(HINTERNET handle, DWORD option, LPVOID buffer, LPDWORD bufferLength)
{
    const std::shared_ptr<InternetObject> object = Registry().Find(handle);
    if (!object) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    const auto which = OptionFor(option);
    if (!which) {
        return Fail(ERROR_INTERNET_INVALID_OPTION);
    }
    if (bufferLength == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    return CopyNumber(object->GetOption(*which), buffer, bufferLength);
}

BOOL InternetCloseHandle(HINTERNET handle)
{
    return Registry().Close(handle) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}
