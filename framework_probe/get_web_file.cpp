#include "framework_probe/get_web_file.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "framework_probe/probe_session.h"
#include "platform/mfc/internet.h"
#include "platform/mfc/message_box.h"

namespace dravenlok::framework_probe {
namespace {

constexpr char kVerb[] = "GET";
constexpr char kAcceptLine[] =
    "Accept: audio/x-aiff, audio/basic, audio/midi, audio/mpeg, audio/wav, image/jpeg, "
    "image/gif, image/jpg, image/png, image/mng, image/bmp, text/plain, text/html, text/htm\r\n";
constexpr char kUserAgentLine[] = "User-Agent: GetWebFile/1.0\r\n";
constexpr char kLocationMarker[] = "Location: ";
constexpr char kUnknownError[] = "Some crazy unknown error";

static_assert(std::string_view(kAcceptLine).size() == 170);
static_assert(std::string_view(kUserAgentLine).size() == 28);

// No cache write; an open connection to the same server may be reused.
constexpr DWORD kRequestFlags = INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_NO_CACHE_WRITE;
constexpr DWORD kStatusOk = 200;
constexpr std::size_t kErrorTextSize = 1024;

// Releasing a connection or a request: close it, then destroy it.
struct CloseAndDelete {
    template <typename T>
    void operator()(T* object) const noexcept
    {
        object->Close();
        delete object;  // NOLINT(cppcoreguidelines-owning-memory)
    }
};
using ConnectionPtr = std::unique_ptr<CHttpConnection, CloseAndDelete>;
using RequestPtr = std::unique_ptr<CHttpFile, CloseAndDelete>;

enum class Agent { Add, Omit };

// What one call holds. Members are released in reverse order of declaration,
// so on any way out the request goes before its connection.
class Exchange {
public:
    explicit Exchange(CProbeSession& session) : m_session(session) {}

    // Connects, opens a GET for `object`, adds the Accept line (and on the
    // first request the User-Agent line), sends it and reads its status: 0
    // when the status cannot be read. Throws CInternetException*.
    [[nodiscard]] DWORD Request(LPCSTR server, INTERNET_PORT port, const CString& object,
                                Agent agent)
    {
        // Only the terminating entry: the Accept header comes from the Accept
        // line alone.
        LPCSTR acceptTypes[] = {nullptr};

        m_connection.reset(m_session.GetHttpConnection(server, port, nullptr, nullptr));
        m_request.reset(m_connection->OpenRequest(kVerb, object, nullptr, CProbeSession::kContext,
                                                  acceptTypes, nullptr, kRequestFlags));
        m_request->AddRequestHeaders(m_acceptLine, HTTP_ADDREQ_FLAG_ADD_IF_NEW);
        if (agent == Agent::Add) {
            m_request->AddRequestHeaders(kUserAgentLine, HTTP_ADDREQ_FLAG_ADD_IF_NEW, -1);
        }
        m_request->SendRequest(nullptr, 0, nullptr, 0);
        DWORD status = 0;
        m_request->QueryInfoStatusCode(status);
        return status;
    }

    // The value of the first "Location: " in the response's raw header block
    // (case-sensitive, as the block stands), up to the first line feed; null
    // when there is none.
    [[nodiscard]] std::optional<CString> RedirectTarget() const
    {
        CString headers;
        m_request->QueryInfo(HTTP_QUERY_RAW_HEADERS_CRLF, headers);
        const int at = headers.Find(kLocationMarker);
        if (at < 0) {
            return std::nullopt;
        }
        std::optional<CString> target =
            headers.Mid(at + static_cast<int>(std::strlen(kLocationMarker)));
        // The line's carriage return stays; the URL parser trims it.
        const int lineFeed = target->Find('\n');
        if (lineFeed > 0) {
            *target = target->Left(lineFeed);
        }
        return target;
    }

    // Reads the body and shows it, while the request is still open. Each
    // piece counts up to its first zero byte; reading stops at the body limit.
    void ShowBody()
    {
        CString body;
        body.Preallocate(static_cast<int>(AnnouncedLength()));
        char buffer[kReadChunk + 1] = {};
        std::size_t total = 0;
        while (total < kMaxBodyBytes) {
            const auto want = static_cast<UINT>(std::min<std::size_t>(kReadChunk, kMaxBodyBytes - total));
            const UINT count = m_request->Read(buffer, want);
            if (count == 0) {
                break;
            }
            buffer[count] = '\0';
            body += buffer;
            total += count;
        }
        AfxMessageBox(body, MB_OK, 0);
    }

    // The body's announced Content-Length, at most the body limit; 0 when
    // there is none. Room for it is taken at once, so a long body is not
    // copied again each time the text outgrows its room.
    [[nodiscard]] std::size_t AnnouncedLength() const
    {
        CString value;
        if (m_request->QueryInfo(HTTP_QUERY_CONTENT_LENGTH, value) == FALSE) {
            return 0;
        }
        std::size_t length = 0;
        const std::string_view text = value.View();
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), length);
        return error == std::errc() ? std::min(length, kMaxBodyBytes) : 0;
    }

    void Release() noexcept
    {
        m_request.reset();
        m_connection.reset();
    }

private:
    CProbeSession& m_session;
    const CString m_acceptLine{kAcceptLine};
    ConnectionPtr m_connection;
    RequestPtr m_request;
};

[[nodiscard]] bool IsRedirect(DWORD status) noexcept
{
    return status == 301 || status == 302 || status == 303;
}

// The answer to one status: the body shown for 200, else the status itself.
[[nodiscard]] int Finish(Exchange& exchange, DWORD status)
{
    if (status == kStatusOk) {
        exchange.ShowBody();
    }
    return static_cast<int>(status);
}

void ReportError(CInternetException* caught)
{
    const mfc::ExceptionPtr exception(caught);
    char text[kErrorTextSize] = {};
    if (caught->GetErrorMessage(text, kErrorTextSize, nullptr) == FALSE) {
        std::memcpy(text, kUnknownError, sizeof(kUnknownError));
    }
    AfxMessageBox(text, MB_OK, 0);
}

[[nodiscard]] int Run(Exchange& exchange, LPCSTR server, INTERNET_PORT port, const CString& object)
{
    const DWORD status = exchange.Request(server, port, object, Agent::Add);
    if (!IsRedirect(status)) {
        return Finish(exchange, status);  // 200, 401 and every other status
    }

    const std::optional<CString> target = exchange.RedirectTarget();
    if (!target) {
        return 0;
    }
    exchange.Release();

    DWORD serviceType = 0;  // any scheme is fetched as plain HTTP
    CString nextServer;
    CString nextObject;
    INTERNET_PORT nextPort = 0;
    if (AfxParseURL(*target, serviceType, nextServer, nextObject, nextPort) == FALSE) {
        return 0;
    }
    // One redirect at most: a further 301, 302 or 303 is the result.
    return Finish(exchange, exchange.Request(nextServer, nextPort, nextObject, Agent::Omit));
}

}  // namespace

void ConfigureSession(CInternetSession& session)
{
    DWORD connectTimeout = kConnectTimeoutMs;
    DWORD connectBackoff = kConnectBackoffMs;
    DWORD connectRetries = kConnectRetries;
    session.SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, &connectTimeout, sizeof(DWORD), 0);
    session.SetOption(INTERNET_OPTION_CONNECT_BACKOFF, &connectBackoff, sizeof(DWORD), 0);
    session.SetOption(INTERNET_OPTION_CONNECT_RETRIES, &connectRetries, sizeof(DWORD), 0);
}

int GetWebFile(LPCSTR agent, LPCSTR server, INTERNET_PORT port, CString object)
{
    // A session that cannot be opened throws past this function.
    CProbeSession session(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    ConfigureSession(session);

    int result = 0;
    {
        Exchange exchange(session);
        try {
            result = Run(exchange, server, port, object);
        } catch (CInternetException* exception) {
            ReportError(exception);
            result = 0;
        }
    }
    session.Close();
    return result;
}

}  // namespace dravenlok::framework_probe
