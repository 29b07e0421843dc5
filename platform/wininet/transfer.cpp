#include "platform/wininet/transfer.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string_view>
#include <thread>

#include "platform/wininet/curl_handles.h"
#include "platform/wininet/seams.h"
#include "platform/wininet/settings.h"

namespace dravenlok::wininet {

void EnsureCurlInitialised()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// A curl share handle holding the connection cache (CURL_LOCK_DATA_CONNECT)
// and the name cache of one session: requests of the session reuse its
// connections, requests of other sessions never do.
class ConnectionPool {
public:
    ConnectionPool()
    {
        EnsureCurlInitialised();
        m_share.reset(curl_share_init());
        if (m_share) {
            curl_share_setopt(m_share.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
            curl_share_setopt(m_share.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
            curl_share_setopt(m_share.get(), CURLSHOPT_LOCKFUNC, &ConnectionPool::Lock);
            curl_share_setopt(m_share.get(), CURLSHOPT_UNLOCKFUNC, &ConnectionPool::Unlock);
            curl_share_setopt(m_share.get(), CURLSHOPT_USERDATA, this);
        }
    }
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    [[nodiscard]] CURLSH* Share() const noexcept { return m_share.get(); }

private:
    // A session's requests may run on different threads; curl asks for the
    // locks itself (CURLSHOPT_LOCKFUNC).
    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* user)
    {
        static_cast<ConnectionPool*>(user)->m_locks.at(static_cast<std::size_t>(data)).lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* user)
    {
        static_cast<ConnectionPool*>(user)->m_locks.at(static_cast<std::size_t>(data)).unlock();
    }

    std::array<std::mutex, CURL_LOCK_DATA_LAST> m_locks;
    CurlSharePtr m_share;  // after the locks: it goes first
};

std::shared_ptr<ConnectionPool> MakeConnectionPool()
{
    return std::make_shared<ConnectionPool>();
}

namespace {

using Clock = std::chrono::steady_clock;

bool Contains(std::string_view text, std::string_view part) noexcept
{
    return text.find(part) != std::string_view::npos;
}

std::string_view WithoutLineEnd(std::string_view line) noexcept
{
    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
    }
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

// A line the server sent, fit for a report: printable ASCII kept, every
// other byte written as \xNN, cut at kMaxResponseInfoChars with "...".
std::string Printable(std::string_view raw)
{
    std::string out;
    for (const char c : raw) {
        const auto u = static_cast<unsigned char>(c);
        char piece[5] = {c, '\0'};
        if (u < 0x20 || u >= 0x7F) {
            std::snprintf(piece, sizeof piece, "\\x%02X", static_cast<unsigned>(u));
        }
        const std::size_t length = std::strlen(piece);
        if (out.size() + length > kMaxResponseInfoChars - 3) {
            out += "...";
            break;
        }
        out += piece;
    }
    return out;
}

// "HTTP/1.1 200 OK" -> version, status, reason. curl has checked the shape
// of the status line already; this only takes it apart.
bool ParseStatusLine(std::string_view line, Response& response)
{
    const auto space = line.find(' ');
    if (space == std::string_view::npos) {
        return false;
    }
    std::string_view rest = line.substr(space + 1);
    while (!rest.empty() && rest.front() == ' ') {
        rest.remove_prefix(1);
    }
    if (rest.size() < 3) {
        return false;
    }
    DWORD status = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        if (rest[i] < '0' || rest[i] > '9') {
            return false;
        }
        status = status * 10 + static_cast<DWORD>(rest[i] - '0');
    }
    rest.remove_prefix(3);
    if (!rest.empty() && rest.front() == ' ') {
        rest.remove_prefix(1);
    }
    response.version = std::string(line.substr(0, space));
    response.status = status;
    response.reason = std::string(rest);
    return true;
}

// One idle multi handle per thread, kept for the thread's next transfer:
// making one costs a socket pair (curl's wake-up channel) and closing it
// again, about a tenth of a small request on loopback. A transfer has its
// multi handle to itself while it lives; one is kept only when its transfer
// held its connections and names in a session pool, so nothing of one
// session stays in it for another.
thread_local CurlMultiPtr t_idleMulti;

CurlMultiPtr TakeMulti()
{
    if (t_idleMulti) {
        return std::move(t_idleMulti);
    }
    return CurlMultiPtr(curl_multi_init());
}

void KeepMulti(CurlMultiPtr multi) noexcept
{
    if (!t_idleMulti) {
        t_idleMulti = std::move(multi);
    }
}

}  // namespace

struct Transfer::Impl {
    Impl(std::shared_ptr<ConnectionPool> connectionPool, TransferPlan transferPlan)
        : pool(std::move(connectionPool)), plan(std::move(transferPlan))
    {
    }
    ~Impl()
    {
        Detach();
        if (multi && pool && pool->Share() != nullptr) {
            KeepMulti(std::move(multi));
        }
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    // Declaration order is release order reversed: the easy handle goes
    // before the header list it points at and before the shared pool.
    std::shared_ptr<ConnectionPool> pool;
    TransferPlan plan;
    CurlSlistPtr headerList;
    CurlMultiPtr multi;
    CurlEasyPtr easy;
    std::array<char, CURL_ERROR_SIZE> errorText{};
    bool attached = false;
    DWORD attempt = 0;

    // The exchange so far.
    bool connected = false;
    bool headersComplete = false;
    bool finished = false;  // curl is done with it, or it was stopped
    DWORD failure = ERROR_SUCCESS;
    std::size_t headerBytes = 0;
    bool headersTooLarge = false;
    bool noStatusLine = false;
    std::vector<std::string> block;  // lines of the header block being received
    Response response;
    std::string firstLine;
    Clock::time_point lastActivity = Clock::now();
    // Time the caller has waited in this exchange since it connected, and
    // the moment up to which it is counted.
    Clock::duration waited{};
    Clock::time_point waitMark = Clock::now();

    // Body bytes taken from curl and not yet read: at most one curl chunk.
    std::string pending;
    std::size_t pendingPos = 0;
    bool recvPaused = false;

    // Body going out: the bytes curl may take now (the whole body, or the
    // caller's buffer during one Write).
    const char* upData = nullptr;
    std::size_t upSize = 0;
    std::size_t upPos = 0;
    std::uint64_t upHanded = 0;  // bytes curl took in all
    bool sendPaused = false;

    enum class Goal {
        BodyWanted,  // connected, headers out, ready for the streamed body
        Drained,     // curl took every byte offered
        Headers,     // the final response's headers are in
        BodyData,    // body bytes are waiting to be read
    };

    [[nodiscard]] DWORD Configure();
    void Attach();
    void Detach();
    void ResetProgress();
    [[nodiscard]] bool Reached(Goal goal) const noexcept;
    [[nodiscard]] DWORD Drive(Goal goal);
    void CountWaiting();
    void OnDone(CURLcode result);
    [[nodiscard]] DWORD Fail(DWORD code);
    void ApplyPause();
    [[nodiscard]] DWORD MapError(CURLcode code) const;
    void FinishBlock();
    [[nodiscard]] bool Uploading() const noexcept;

    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user);
    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user);
    static std::size_t OnUpload(char* buffer, std::size_t size, std::size_t count, void* user);
    static int OnSeek(void* user, curl_off_t offset, int origin);
    static int OnConnected(void* user, char*, char*, int, int);
};

DWORD Transfer::Impl::Configure()
{
    EnsureCurlInitialised();
    multi = TakeMulti();
    easy.reset(curl_easy_init());
    if (!multi || !easy) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }

    const bool hasBody = plan.body != TransferPlan::Body::None || plan.verb == "POST" ||
                         plan.verb == "PUT";

    // Exactly the caller's headers: curl's own Accept, Expect and
    // Proxy-Connection lines are switched off ("Name:" removes a header in
    // CURLOPT_HTTPHEADER), and so is the urlencoded Content-Type that
    // CURLOPT_POST adds; a field with an empty value goes as "Name;", which
    // curl sends as "Name:".
    std::vector<std::string> lines;
    auto has = [this](std::string_view name) {
        return std::any_of(plan.headers.begin(), plan.headers.end(),
                           [name](const HeaderField& f) { return EqualsIgnoreCase(f.name, name); });
    };
    for (const HeaderField& field : plan.headers) {
        lines.push_back(field.value.empty() ? field.name + ";" : field.name + ": " + field.value);
    }
    for (const char* name : {"Accept", "Expect", "Proxy-Connection"}) {
        if (!has(name)) {
            lines.push_back(std::string(name) + ":");
        }
    }
    if (hasBody && !has("Content-Type")) {
        lines.emplace_back("Content-Type:");
    }
    for (const std::string& line : lines) {
        curl_slist* grown = curl_slist_append(headerList.get(), line.c_str());
        if (grown == nullptr) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        (void)headerList.release();
        headerList.reset(grown);
    }

    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, plan.url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);  // callers run their own redirect rules
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText.data());
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L);  // the object name goes out as given
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION,
                     plan.http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
    // Body bytes are handed out as the server sent them (no decoding of a
    // Content-Encoding we never asked for); chunked framing is still removed.
    curl_easy_setopt(e, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    // A reply without a status line then reaches the body callback, where it
    // is rejected with its first line kept for the report.
    curl_easy_setopt(e, CURLOPT_HTTP09_ALLOWED, 1L);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headerList.get());
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &Impl::OnConnected);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, this);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(plan.limits.connectTimeoutMs));
    if (pool && pool->Share() != nullptr) {
        curl_easy_setopt(e, CURLOPT_SHARE, pool->Share());
    }
    switch (plan.proxyMode) {
    case ProxyMode::System:
        break;  // curl reads http_proxy / no_proxy itself
    case ProxyMode::Direct:
        curl_easy_setopt(e, CURLOPT_PROXY, "");
        break;
    case ProxyMode::Named:
        curl_easy_setopt(e, CURLOPT_PROXY, plan.proxy.c_str());
        curl_easy_setopt(e, CURLOPT_NOPROXY, plan.noProxy.c_str());
        break;
    }
    if (!plan.userName.empty()) {
        curl_easy_setopt(e, CURLOPT_USERNAME, plan.userName.c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, plan.password.c_str());
        curl_easy_setopt(e, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    }

    if (hasBody) {
        // The length is always known in advance (CURLOPT_POSTFIELDSIZE_LARGE),
        // so curl sends Content-Length and never chunks the body.
        const std::uint64_t length = plan.body == TransferPlan::Body::Streamed
                                         ? plan.streamedLength
                                         : plan.wholeBody.size();
        curl_easy_setopt(e, CURLOPT_POST, 1L);
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(length));
        curl_easy_setopt(e, CURLOPT_READFUNCTION, &Impl::OnUpload);
        curl_easy_setopt(e, CURLOPT_READDATA, this);
        curl_easy_setopt(e, CURLOPT_SEEKFUNCTION, &Impl::OnSeek);
        curl_easy_setopt(e, CURLOPT_SEEKDATA, this);
        if (plan.verb != "POST") {
            curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, plan.verb.c_str());
        }
    } else if (plan.verb == "HEAD") {
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
        if (plan.verb != "GET") {
            curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, plan.verb.c_str());
        }
    }
    if (plan.body == TransferPlan::Body::Whole) {
        upData = plan.wholeBody.data();
        upSize = plan.wholeBody.size();
    }
    return ERROR_SUCCESS;
}

void Transfer::Impl::Attach()
{
    ResetProgress();
    if (curl_multi_add_handle(multi.get(), easy.get()) == CURLM_OK) {
        attached = true;
    } else {
        finished = true;
        failure = ERROR_INTERNET_INTERNAL_ERROR;
    }
}

void Transfer::Impl::Detach()
{
    // Taking a transfer out before it is complete makes curl close its
    // connection, so a half-read response never reaches the pool.
    if (attached) {
        curl_multi_remove_handle(multi.get(), easy.get());
        attached = false;
    }
}

void Transfer::Impl::ResetProgress()
{
    connected = false;
    headersComplete = false;
    finished = false;
    failure = ERROR_SUCCESS;
    headerBytes = 0;
    headersTooLarge = false;
    noStatusLine = false;
    block.clear();
    response = Response{};
    firstLine.clear();
    pending.clear();
    pendingPos = 0;
    recvPaused = false;
    sendPaused = false;
    errorText[0] = '\0';
    lastActivity = Clock::now();
    waited = Clock::duration{};
    waitMark = lastActivity;
}

bool Transfer::Impl::Uploading() const noexcept
{
    return !headersComplete && upPos < upSize;
}

bool Transfer::Impl::Reached(Goal goal) const noexcept
{
    switch (goal) {
    case Goal::BodyWanted:
        return headersComplete || sendPaused || upHanded > 0 ||
               (connected && plan.streamedLength == 0);
    case Goal::Drained:
        return headersComplete || upPos >= upSize;
    case Goal::Headers:
        return headersComplete;
    case Goal::BodyData:
        return pendingPos < pending.size();
    }
    return false;
}

void Transfer::Impl::ApplyPause()
{
    if (attached) {
        const int mask = (recvPaused ? CURLPAUSE_RECV : 0) | (sendPaused ? CURLPAUSE_SEND : 0);
        curl_easy_pause(easy.get(), mask);
    }
}

DWORD Transfer::Impl::Fail(DWORD code)
{
    failure = code;
    finished = true;
    Detach();
    return code;
}

DWORD Transfer::Impl::Drive(Goal goal)
{
    if (goal == Goal::BodyData && recvPaused) {
        recvPaused = false;
        ApplyPause();  // curl hands the held chunk back from inside this call
    }
    if (goal == Goal::Drained && sendPaused) {
        sendPaused = false;
        ApplyPause();
    }
    // Every wait is timed on its own: a pause between two calls is the
    // caller's time, not the server's. The same holds for the total.
    lastActivity = Clock::now();
    waitMark = lastActivity;
    for (;;) {
        if (Reached(goal)) {
            return ERROR_SUCCESS;
        }
        if (finished) {
            if (failure != ERROR_SUCCESS) {
                return failure;
            }
            // Complete without reaching the goal: the end of the body is
            // fine, a response without headers is not.
            return goal == Goal::Headers ? Fail(ERROR_HTTP_INVALID_SERVER_RESPONSE)
                                         : ERROR_SUCCESS;
        }
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            return Fail(ERROR_INTERNET_INTERNAL_ERROR);
        }
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy.get()) {
                OnDone(message->data.result);
                break;
            }
        }
        if (Reached(goal) || finished) {
            continue;
        }
        // curl's own CURLOPT_TIMEOUT_MS would keep running while a transfer
        // is paused, so the send and receive limits are timed here.
        int waitMs = 1000;
        if (connected && plan.limits.exchangeLimitMs != 0) {
            // The exchange's total (settings.h): a server that keeps every
            // single wait short still cannot keep the caller for longer.
            CountWaiting();
            const auto untilTotal =
                std::chrono::milliseconds(plan.limits.exchangeLimitMs) -
                std::chrono::duration_cast<std::chrono::milliseconds>(waited);
            if (untilTotal.count() <= 0) {
                return Fail(ERROR_INTERNET_TIMEOUT);
            }
            waitMs = static_cast<int>(std::min<long long>(waitMs, untilTotal.count()));
        }
        if (connected) {
            const DWORD limit =
                Uploading() ? plan.limits.sendTimeoutMs : plan.limits.receiveTimeoutMs;
            if (limit != 0) {
                const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(
                    Clock::now() - lastActivity);
                const auto remaining = std::chrono::milliseconds(limit) - idle;
                if (remaining.count() <= 0) {
                    return Fail(ERROR_INTERNET_TIMEOUT);
                }
                waitMs = static_cast<int>(std::min<long long>(waitMs, remaining.count()));
            }
        }
        int ready = 0;
        curl_multi_poll(multi.get(), nullptr, 0, waitMs, &ready);
        if (ready > 0 && connected) {
            // Bytes came in (or the server took some of ours): progress, even
            // when curl holds them back until a header line is complete, so
            // the receive time-out is the time without a single byte.
            lastActivity = Clock::now();
        }
        CountWaiting();  // before the next perform, which may reach the goal
    }
}

void Transfer::Impl::CountWaiting()
{
    const auto now = Clock::now();
    if (connected) {
        waited += now - waitMark;
    }
    waitMark = now;
}

void Transfer::Impl::OnDone(CURLcode result)
{
    Detach();
    if (result == CURLE_OK) {
        finished = true;
        return;
    }
    const bool connectFailed =
        !connected && (result == CURLE_COULDNT_CONNECT || result == CURLE_OPERATION_TIMEDOUT);
    if (connectFailed) {
        NoteFailedConnectAttempt();
        if (attempt < plan.limits.connectRetries) {
            ++attempt;
            std::this_thread::sleep_for(std::chrono::milliseconds(plan.limits.connectBackoffMs));
            Attach();
            return;
        }
    }
    finished = true;
    failure = MapError(result);
}

DWORD Transfer::Impl::MapError(CURLcode code) const
{
    const std::string_view text(errorText.data());
    if (headersTooLarge || noStatusLine) {
        return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    }
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
        return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
        return ERROR_INTERNET_TIMEOUT;
    case CURLE_GOT_NOTHING:          // empty reply
    case CURLE_WEIRD_SERVER_REPLY:   // malformed status or header line
    case CURLE_BAD_CONTENT_ENCODING:
        return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return connected ? ERROR_HTTP_INVALID_SERVER_RESPONSE : ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        if (Contains(text, "reset") || Contains(text, "Broken pipe")) {
            return ERROR_INTERNET_CONNECTION_RESET;
        }
        if (!headersComplete || Contains(text, "chunk")) {
            return ERROR_HTTP_INVALID_SERVER_RESPONSE;
        }
        return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_PARTIAL_FILE:  // closed before the announced length
        return headersComplete ? ERROR_INTERNET_CONNECTION_ABORTED
                               : ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_SEND_FAIL_REWIND:
        return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_OUT_OF_MEMORY:
        // curl also answers this, with no error text, for a single status or
        // header line over its own limit (CURL_MAX_HTTP_HEADER, 100 KB):
        // while the headers are coming in, the server is the cause.
        return connected && !headersComplete ? ERROR_HTTP_INVALID_SERVER_RESPONSE
                                             : ERROR_NOT_ENOUGH_MEMORY;
    case CURLE_URL_MALFORMAT:
        return ERROR_INTERNET_INVALID_URL;
    case CURLE_ABORTED_BY_CALLBACK:
        return ERROR_INTERNET_OPERATION_CANCELLED;
    default:
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

void Transfer::Impl::FinishBlock()
{
    Response parsed;
    if (!ParseStatusLine(block.front(), parsed)) {
        block.clear();
        return;
    }
    if (parsed.status < 200) {
        block.clear();  // an interim 1xx answer: the final one follows
        return;
    }
    parsed.lines = std::move(block);
    block.clear();
    response = std::move(parsed);
    headersComplete = true;
}

std::size_t Transfer::Impl::OnHeader(char* data, std::size_t size, std::size_t count, void* user)
{
    auto& self = *static_cast<Impl*>(user);
    const std::size_t length = size * count;
    self.lastActivity = Clock::now();
    if (self.headersComplete) {
        return length;  // trailers of a chunked body are not part of the header block
    }
    self.headerBytes += length;
    if (self.headerBytes > kMaxResponseHeaderBytes) {
        self.headersTooLarge = true;
        return 0;  // stops the transfer (CURLE_WRITE_ERROR)
    }
    // curl hands over each line with its line end; a bare LF ends a line as well.
    const std::string_view line = WithoutLineEnd(std::string_view(data, length));
    if (self.firstLine.empty() && self.block.empty()) {
        self.firstLine = std::string(line.substr(0, kMaxResponseInfoChars));
    }
    if (line.empty()) {
        if (!self.block.empty()) {
            self.FinishBlock();
        }
        return length;
    }
    self.block.emplace_back(line);
    return length;
}

std::size_t Transfer::Impl::OnBody(char* data, std::size_t size, std::size_t count, void* user)
{
    auto& self = *static_cast<Impl*>(user);
    const std::size_t length = size * count;
    self.lastActivity = Clock::now();
    if (!self.headersComplete) {
        // Bytes without a status line before them: not an HTTP/1.x answer.
        std::string_view text(data, length);
        if (const auto lf = text.find('\n'); lf != std::string_view::npos) {
            text = text.substr(0, lf + 1);
        }
        text = WithoutLineEnd(text);
        self.firstLine = std::string(text.substr(0, kMaxResponseInfoChars));
        self.noStatusLine = true;
        return 0;
    }
    // Pull-style: take one chunk while nothing is waiting, else pause the
    // transfer until the reader has drained it (CURL_WRITEFUNC_PAUSE).
    if (self.pendingPos < self.pending.size()) {
        self.recvPaused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    self.pending.assign(data, length);
    self.pendingPos = 0;
    return length;
}

std::size_t Transfer::Impl::OnUpload(char* buffer, std::size_t size, std::size_t count, void* user)
{
    auto& self = *static_cast<Impl*>(user);
    self.lastActivity = Clock::now();
    const std::size_t available = self.upSize - self.upPos;
    if (available == 0) {
        self.sendPaused = true;
        return CURL_READFUNC_PAUSE;
    }
    const std::size_t n = std::min(available, size * count);
    std::memcpy(buffer, self.upData + self.upPos, n);
    self.upPos += n;
    self.upHanded += n;
    return n;
}

int Transfer::Impl::OnSeek(void* user, curl_off_t offset, int origin)
{
    // curl rewinds the body when it resends on a fresh connection after a
    // kept one turned out dead; that works while every byte it took is still
    // at hand.
    auto& self = *static_cast<Impl*>(user);
    if (origin != SEEK_SET || offset != 0 || self.upHanded != self.upPos) {
        return CURL_SEEKFUNC_CANTSEEK;
    }
    self.upPos = 0;
    self.upHanded = 0;
    return CURL_SEEKFUNC_OK;
}

int Transfer::Impl::OnConnected(void* user, char*, char*, int, int)
{
    auto& self = *static_cast<Impl*>(user);
    self.connected = true;
    self.lastActivity = Clock::now();
    self.waitMark = self.lastActivity;  // the total counts from here
    return CURL_PREREQFUNC_OK;
}

// ---- Transfer -------------------------------------------------------------------

Transfer::Transfer(std::shared_ptr<ConnectionPool> pool, TransferPlan plan)
    : m_impl(std::make_unique<Impl>(std::move(pool), std::move(plan)))
{
}

Transfer::~Transfer() = default;

DWORD Transfer::Send()
{
    Impl& t = *m_impl;
    if (const DWORD code = t.Configure(); code != ERROR_SUCCESS) {
        return code;
    }
    t.Attach();
    return t.Drive(Impl::Goal::Headers);
}

DWORD Transfer::BeginStream()
{
    Impl& t = *m_impl;
    if (const DWORD code = t.Configure(); code != ERROR_SUCCESS) {
        return code;
    }
    t.Attach();
    return t.Drive(Impl::Goal::BodyWanted);
}

DWORD Transfer::Write(const void* data, DWORD size, DWORD& written)
{
    Impl& t = *m_impl;
    written = 0;
    if (t.finished) {
        return t.failure != ERROR_SUCCESS ? t.failure : ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    }
    if (size > t.plan.streamedLength - t.upHanded) {
        return ERROR_INVALID_PARAMETER;  // more than the announced Content-Length
    }
    // curl reads straight from the caller's buffer, and only during this call.
    t.upData = static_cast<const char*>(data);
    t.upSize = size;
    t.upPos = 0;
    const DWORD code = t.Drive(Impl::Goal::Drained);
    written = static_cast<DWORD>(t.upPos);
    t.upData = nullptr;
    t.upSize = 0;
    t.upPos = 0;
    return code;
}

DWORD Transfer::EndStream()
{
    Impl& t = *m_impl;
    if (t.finished && t.failure != ERROR_SUCCESS) {
        return t.failure;
    }
    if (!t.headersComplete && t.upHanded < t.plan.streamedLength) {
        // curl would wait for the missing bytes until a time-out; the caller
        // has said it is done, so the body is short now.
        return t.Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    return t.Drive(Impl::Goal::Headers);
}

DWORD Transfer::Read(void* buffer, DWORD size, DWORD& read)
{
    Impl& t = *m_impl;
    read = 0;
    auto* out = static_cast<char*>(buffer);
    while (read < size) {
        if (t.pendingPos == t.pending.size()) {
            const DWORD code = t.Drive(Impl::Goal::BodyData);
            if (code != ERROR_SUCCESS) {
                // Bytes already copied are handed out; the failure stays and
                // answers the next read.
                return read > 0 ? ERROR_SUCCESS : code;
            }
            if (t.pendingPos == t.pending.size()) {
                break;  // end of the body
            }
        }
        const std::size_t n = std::min<std::size_t>(size - read, t.pending.size() - t.pendingPos);
        std::memcpy(out + read, t.pending.data() + t.pendingPos, n);
        t.pendingPos += n;
        read += static_cast<DWORD>(n);
    }
    return ERROR_SUCCESS;
}

const Response& Transfer::GetResponse() const noexcept
{
    return m_impl->response;
}

std::string Transfer::ResponseInfo() const
{
    const Impl& t = *m_impl;
    if (t.headersComplete && !t.response.lines.empty()) {
        return Printable(t.response.lines.front());
    }
    return Printable(t.firstLine);
}

}  // namespace dravenlok::wininet
