#include "platform/mfc/internet.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/win32/owners.h"

namespace {

// Codes of the internet library (12000 up to the end of its range). Our layer
// keeps one message table for the whole process, holding the library's texts
// beside the system's; "the library's table" is that table's slice for these
// codes, looked up first, and the system's table is the rest.
constexpr DWORD kInternetErrorFirst = 12000;
constexpr DWORD kInternetErrorLast = 12999;

// The HTTP status text is at most three digits; 80 characters is what the
// framework gives the query.
constexpr DWORD kStatusTextSize = 80;

// Canonical URLs fit this at first (the longest URL the library handles plus
// its terminator); a longer one is retried with the size the call asks for,
// up to a bound that no header line of a response can exceed.
constexpr DWORD kUrlBufferSize = INTERNET_MAX_URL_LENGTH;
constexpr DWORD kUrlBufferLimit = 1U << 20;

// The server's last response text is read into this at first, then retried
// once with the size the call asks for (bounded like a URL).
constexpr DWORD kResponseTextSize = 4096;

using dravenlok::win32::LocalBlock;

[[nodiscard]] bool IsInternetLibraryCode(DWORD code) noexcept
{
    return code >= kInternetErrorFirst && code <= kInternetErrorLast;
}

// The message table's text for `code`, or empty.
[[nodiscard]] std::string TableText(DWORD code)
{
    char* raw = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, LANG_USER_DEFAULT, reinterpret_cast<LPSTR>(&raw), 0, nullptr);
    const LocalBlock text(raw);
    if (length == 0 || text == nullptr) {
        return {};
    }
    return std::string(text.get(), length);
}

// The server's last response text on this thread (InternetGetLastResponseInfoA),
// or empty.
[[nodiscard]] std::string LastResponseText()
{
    std::vector<char> buffer(kResponseTextSize);
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD code = 0;
        DWORD length = static_cast<DWORD>(buffer.size());
        if (InternetGetLastResponseInfoA(&code, buffer.data(), &length) != FALSE) {
            const std::size_t kept = std::min<std::size_t>(length, buffer.size());
            const std::string_view text(buffer.data(), kept);
            return std::string(text.substr(0, text.find('\0')));
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || length <= buffer.size() ||
            length > kUrlBufferLimit) {
            return {};
        }
        buffer.assign(static_cast<std::size_t>(length) + 1, '\0');
    }
    return {};
}

[[nodiscard]] std::string ErrorText(DWORD code)
{
    if (code == ERROR_INTERNET_EXTENDED_ERROR) {
        // The server explained the failure itself; its words say more than
        // the generic text of the code, which stays as the fallback.
        std::string response = LastResponseText();
        if (!response.empty()) {
            return response;
        }
    }
    if (IsInternetLibraryCode(code)) {
        std::string text = TableText(code);
        if (!text.empty()) {
            return text;
        }
    }
    return TableText(code);
}

[[nodiscard]] DWORD ServiceTypeOf(INTERNET_SCHEME scheme) noexcept
{
    switch (scheme) {
    case INTERNET_SCHEME_HTTP:
        return AFX_INET_SERVICE_HTTP;
    case INTERNET_SCHEME_HTTPS:
        return AFX_INET_SERVICE_HTTPS;
    case INTERNET_SCHEME_FTP:
        return AFX_INET_SERVICE_FTP;
    case INTERNET_SCHEME_GOPHER:
        return AFX_INET_SERVICE_GOPHER;
    case INTERNET_SCHEME_FILE:
        return AFX_INET_SERVICE_FILE;
    case INTERNET_SCHEME_MAILTO:
        return AFX_INET_SERVICE_MAILTO;
    case INTERNET_SCHEME_NEWS:
        return AFX_INET_SERVICE_NNTP;
    case INTERNET_SCHEME_UNKNOWN:
    case INTERNET_SCHEME_DEFAULT:
        return AFX_INET_SERVICE_UNK;
    }
    return AFX_INET_SERVICE_UNK;
}

// InternetCanonicalizeUrlA in browser mode: into the usual URL buffer, and
// once more with the size the call asks for when that is too small.
[[nodiscard]] bool Canonicalize(LPCSTR url, std::string& out)
{
    std::vector<char> buffer(kUrlBufferSize);
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD length = static_cast<DWORD>(buffer.size());
        if (InternetCanonicalizeUrlA(url, buffer.data(), &length, ICU_BROWSER_MODE) != FALSE) {
            const std::string_view text(buffer.data(), std::min<std::size_t>(length, buffer.size()));
            out.assign(text.substr(0, text.find('\0')));
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || length <= buffer.size() ||
            length > kUrlBufferLimit) {
            return false;
        }
        buffer.assign(length, '\0');
    }
    return false;
}

}  // namespace

// ---- CInternetException ------------------------------------------------------------

BOOL CInternetException::GetErrorMessage(LPSTR error, UINT maxError, PUINT helpContext) const
{
    if (helpContext != nullptr) {
        *helpContext = 0;
    }
    if (error == nullptr || maxError == 0) {
        return FALSE;
    }
    error[0] = '\0';
    const std::string text = ErrorText(m_dwError);
    if (text.empty()) {
        return FALSE;
    }
    const std::size_t count = std::min<std::size_t>(text.size(), maxError - 1);
    std::memcpy(error, text.data(), count);
    error[count] = '\0';
    return TRUE;
}

void AfxThrowInternetException(DWORD_PTR context, DWORD error)
{
    if (error == 0) {
        error = GetLastError();
    }
    throw new CInternetException(error, context);  // NOLINT(cppcoreguidelines-owning-memory)
}

// ---- CInternetSession -----------------------------------------------------------------

CInternetSession::CInternetSession(LPCSTR agent, DWORD_PTR context, DWORD accessType,
                                   LPCSTR proxyName, LPCSTR proxyBypass, DWORD flags)
    : m_hSession(InternetOpenA(agent, accessType, proxyName, proxyBypass, flags)),
      m_dwContext(context)
{
    if (m_hSession == nullptr) {
        AfxThrowInternetException(m_dwContext);
    }
}

CInternetSession::~CInternetSession()
{
    m_hSession.reset();
}

BOOL CInternetSession::SetOption(DWORD option, LPVOID buffer, DWORD bufferLength, DWORD flags)
{
    return InternetSetOptionExA(m_hSession.get(), option, buffer, bufferLength, flags);
}

BOOL CInternetSession::SetOption(DWORD option, DWORD value, DWORD flags)
{
    return SetOption(option, &value, sizeof(value), flags);
}

BOOL CInternetSession::QueryOption(DWORD option, DWORD& value) const
{
    DWORD result = 0;
    DWORD length = sizeof(result);
    if (InternetQueryOptionA(m_hSession.get(), option, &result, &length) == FALSE ||
        length != sizeof(result)) {
        return FALSE;
    }
    value = result;
    return TRUE;
}

CHttpConnection* CInternetSession::GetHttpConnection(LPCSTR server, INTERNET_PORT port,
                                                     LPCSTR userName, LPCSTR password)
{
    HINTERNET connection = InternetConnectA(m_hSession.get(), server, port, userName, password,
                                            INTERNET_SERVICE_HTTP, 0, m_dwContext);
    if (connection == nullptr) {
        AfxThrowInternetException(m_dwContext);
    }
    return new CHttpConnection(this, connection, server, port, m_dwContext);  // NOLINT(cppcoreguidelines-owning-memory)
}

void CInternetSession::Close()
{
    m_hSession.reset();
}

// ---- CHttpConnection -------------------------------------------------------------------

CHttpConnection::CHttpConnection(CInternetSession* session, HINTERNET connection, LPCSTR server,
                                 INTERNET_PORT port, DWORD_PTR context) noexcept
    : m_pSession(session), m_hConnection(connection), m_strServer(server), m_nPort(port),
      m_dwContext(context)
{
}

CHttpConnection::~CHttpConnection()
{
    m_hConnection.reset();
}

CHttpFile* CHttpConnection::OpenRequest(LPCSTR verb, LPCSTR objectName, LPCSTR referrer,
                                        DWORD_PTR context, LPCSTR* acceptTypes, LPCSTR version,
                                        DWORD flags)
{
    // Without a version the request speaks HTTP/1.0, as the framework's
    // requests always have.
    HINTERNET request = HttpOpenRequestA(m_hConnection.get(), verb, objectName,
                                         version != nullptr ? version : "HTTP/1.0", referrer,
                                         acceptTypes, flags, context);
    const DWORD openError = request == nullptr ? GetLastError() : ERROR_SUCCESS;
    return new CHttpFile(this, request, CString(objectName), context, openError);  // NOLINT(cppcoreguidelines-owning-memory)
}

void CHttpConnection::Close()
{
    m_hConnection.reset();
}

// ---- CHttpFile ------------------------------------------------------------------------------

CHttpFile::CHttpFile(CHttpConnection* connection, HINTERNET request, CString object,
                     DWORD_PTR context, DWORD openError) noexcept
    : m_pConnection(connection), m_hRequest(request), m_strObject(std::move(object)),
      m_dwContext(context), m_dwOpenError(openError)
{
}

CHttpFile::~CHttpFile()
{
    m_hRequest.reset();
}

BOOL CHttpFile::AddRequestHeaders(LPCSTR headers, DWORD flags, int headersLength)
{
    if (m_hRequest == nullptr || headers == nullptr) {
        return FALSE;
    }
    const DWORD length = headersLength < 0 ? static_cast<DWORD>(std::strlen(headers))
                                           : static_cast<DWORD>(headersLength);
    return HttpAddRequestHeadersA(m_hRequest.get(), headers, length, flags);
}

BOOL CHttpFile::AddRequestHeaders(const CString& headers, DWORD flags)
{
    return AddRequestHeaders(headers.GetString(), flags, headers.GetLength());
}

BOOL CHttpFile::SendRequest(LPCSTR headers, DWORD headersLength, LPVOID optional,
                            DWORD optionalLength)
{
    if (m_hRequest == nullptr) {
        // The open failed: report why it failed rather than the missing
        // handle it left behind.
        AfxThrowInternetException(m_dwContext, m_dwOpenError != ERROR_SUCCESS
                                                   ? m_dwOpenError
                                                   : ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    if (HttpSendRequestA(m_hRequest.get(), headers, headersLength, optional, optionalLength) ==
        FALSE) {
        AfxThrowInternetException(m_dwContext);
    }
    return TRUE;
}

BOOL CHttpFile::QueryInfoStatusCode(DWORD& statusCode) const
{
    char text[kStatusTextSize] = {};
    DWORD length = sizeof(text);
    if (HttpQueryInfoA(m_hRequest.get(), HTTP_QUERY_STATUS_CODE, text, &length, nullptr) ==
        FALSE) {
        return FALSE;
    }
    const std::string_view digits(text, std::min<std::size_t>(length, sizeof(text) - 1));
    DWORD value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc{} || end == digits.data()) {
        return FALSE;
    }
    statusCode = value;
    return TRUE;
}

BOOL CHttpFile::QueryInfo(DWORD infoLevel, CString& value, LPDWORD index) const
{
    value.Empty();
    // Ask for the size first, then read into a buffer of that size; a block
    // that grew between the calls is asked for once more.
    DWORD size = 0;
    std::vector<char> buffer;
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD length = size;
        const DWORD savedIndex = index != nullptr ? *index : 0;
        if (HttpQueryInfoA(m_hRequest.get(), infoLevel, buffer.empty() ? nullptr : buffer.data(),
                           &length, index) != FALSE) {
            if (buffer.empty()) {
                return TRUE;  // an empty value needs no buffer
            }
            const std::string_view text(buffer.data(), std::min<std::size_t>(length, buffer.size()));
            const std::string_view kept = text.substr(0, text.find('\0'));
            value = CString(kept.data(), static_cast<int>(kept.size()));
            return TRUE;
        }
        if (index != nullptr) {
            *index = savedIndex;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || length <= size ||
            length > kUrlBufferLimit) {
            return FALSE;
        }
        size = length + 1;
        buffer.assign(size, '\0');
    }
    return FALSE;
}

UINT CHttpFile::Read(void* buffer, UINT count)
{
    DWORD bytesRead = 0;
    if (InternetReadFile(m_hRequest.get(), buffer, count, &bytesRead) == FALSE) {
        AfxThrowInternetException(m_dwContext);
    }
    return std::min<UINT>(bytesRead, count);
}

void CHttpFile::Close()
{
    m_hRequest.reset();
}

// ---- AfxParseURL -----------------------------------------------------------------------------

BOOL AfxParseURL(LPCSTR url, DWORD& serviceType, CString& server, CString& object,
                 INTERNET_PORT& port)
{
    if (url == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string canonical;
    if (!Canonicalize(url, canonical)) {
        return FALSE;
    }

    // Every component fits in a buffer as long as the whole URL.
    const std::size_t size = canonical.size() + 1;
    std::vector<char> host(size);
    std::vector<char> path(size);
    std::vector<char> extra(size);
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = static_cast<DWORD>(size);
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(size);
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(size);
    if (InternetCrackUrlA(canonical.c_str(), static_cast<DWORD>(canonical.size()), 0, &parts) ==
        FALSE) {
        return FALSE;
    }

    const auto component = [](const std::vector<char>& buffer, DWORD length) {
        const std::string_view text(buffer.data(), std::min<std::size_t>(length, buffer.size() - 1));
        return text.substr(0, text.find('\0'));
    };
    // The request target is the path and the query (RFC 3986, 3.4); the
    // fragment only ever concerns the client (RFC 3986, 3.5) and is dropped.
    std::string target(component(path, parts.dwUrlPathLength));
    const std::string_view extraInfo = component(extra, parts.dwExtraInfoLength);
    target += extraInfo.substr(0, extraInfo.find('#'));
    if (target.empty() || target.front() == '?') {
        target.insert(0, 1, '/');
    }

    const std::string_view hostName = component(host, parts.dwHostNameLength);
    serviceType = ServiceTypeOf(parts.nScheme);
    server = CString(hostName.data(), static_cast<int>(hostName.size()));
    object = CString(target.data(), static_cast<int>(target.size()));
    port = parts.nPort;
    return TRUE;
}
