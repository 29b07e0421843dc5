// CHttpClient: construction, the field list, the connection, the GET and the
// reading of the response into the object's own buffers.
#include "http_client/http_client.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// The number of bytes the last InternetReadFile delivered, kept program-wide
// for every client: objects are used on one thread, one request at a time.
DWORD g_bytesRead = 0;

constexpr DWORD kRequestFlags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION;
constexpr char kAcceptHeader[] = "Accept: */*\r\n";
constexpr DWORD kChunkSize = 1024;

// An empty body stores no code of its own, so the code shown for a request
// that only ever got an empty body is this start value: its text says that
// no data was received, where 0 would read as success.
constexpr DWORD kNoBodyCode = ERROR_NO_DATA;

}  // namespace

CHttpClient::CHttpClient()
    : m_hInternet(nullptr), m_hConnect(nullptr), m_hRequest(nullptr), m_dwLastError(kNoBodyCode)
{
    // The buffers get their content from ReadResponse; an empty text until
    // then keeps a reader of GetBody or GetHeaders within them.
    m_body[0] = '\0';
    m_headers[0] = '\0';
}

CHttpClient::~CHttpClient()
{
    m_hRequest = nullptr;
    m_hConnect = nullptr;
    m_hInternet = nullptr;
    m_fields.clear();
    m_fields.shrink_to_fit();
}

int CHttpClient::AddField(LPCSTR name, LPCSTR value, int kind)
{
    if (name == nullptr || value == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    FormField field{};
    const std::size_t nameLength = strnlen(name, sizeof field.name);
    const std::size_t valueLength = strnlen(value, sizeof field.value);
    if (nameLength >= sizeof field.name || valueLength >= sizeof field.value) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(field.name, name, nameLength);
    std::memcpy(field.value, value, valueLength);
    field.kind = kind;
    try {
        m_fields.push_back(field);
    } catch (const std::bad_alloc&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    return 1;
}

int CHttpClient::Connect(LPCSTR host, LPCSTR agent, int port, LPCSTR userName, LPCSTR password)
{
    // INTERNET_PORT is 16 bits: a larger number would silently become another
    // port, so it is refused before anything is opened.
    if (port < 0 || port > 0xFFFF) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    m_hInternet = InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0);
    if (m_hInternet == nullptr) {
        return Fail(GetLastError());
    }
    m_hConnect = InternetConnectA(m_hInternet, host, static_cast<INTERNET_PORT>(port), userName,
                                  password, INTERNET_SERVICE_HTTP, kRequestFlags, 0);
    if (m_hConnect == nullptr) {
        const DWORD code = GetLastError();
        InternetCloseHandle(m_hInternet);
        m_hInternet = nullptr;
        return Fail(code);
    }
    if (InternetAttemptConnect(0) != ERROR_SUCCESS) {
        // The call's own result is not the code: the last error is.
        const DWORD code = GetLastError();
        InternetCloseHandle(m_hConnect);
        InternetCloseHandle(m_hInternet);
        m_hConnect = nullptr;
        m_hInternet = nullptr;
        return Fail(code);
    }
    return 1;
}

int CHttpClient::Close()
{
    // Child before parent; the results of closing are not examined. The
    // fields are cleared so that a second Close releases nothing twice.
    for (HINTERNET* handle : {&m_hRequest, &m_hConnect, &m_hInternet}) {
        if (*handle != nullptr) {
            InternetCloseHandle(*handle);
            *handle = nullptr;
        }
    }
    return 1;
}

int CHttpClient::SendGet(LPCSTR path)
{
    LPCSTR acceptTypes[] = {"*/*", nullptr};
    m_hRequest = HttpOpenRequestA(m_hConnect, "GET", path, "HTTP/1.0", "", acceptTypes,
                                  kRequestFlags, 0);
    if (m_hRequest == nullptr) {
        return Fail(GetLastError());
    }
    // The open made an Accept header from the accept list; replacing it
    // leaves exactly one, "*/*".
    if (!HttpAddRequestHeadersA(m_hRequest, kAcceptHeader, sizeof kAcceptHeader - 1,
                                HTTP_ADDREQ_FLAG_REPLACE)) {
        return Fail(GetLastError());
    }
    if (!HttpSendRequestA(m_hRequest, nullptr, 0, nullptr, 0)) {
        return Fail(GetLastError());
    }
    return 1;
}

DWORD CHttpClient::ReadChunk(char* buffer, DWORD size)
{
    if (m_hRequest == nullptr) {
        m_dwLastError = GetLastError();
        return 0;
    }
    std::memset(buffer, 0, size);
    if (!InternetReadFile(m_hRequest, buffer, size, &g_bytesRead)) {
        m_dwLastError = GetLastError();
        return 0;
    }
    return std::min(g_bytesRead, size);
}

int CHttpClient::ReadResponse(char* headers, DWORD headerSize, char* body, DWORD bodySize,
                              DWORD& bodyLength)
{
    char chunk[kChunkSize] = {};
    if (m_hRequest == nullptr) {
        m_dwLastError = GetLastError();
        return 0;
    }
    std::memset(body, 0, bodySize);
    bodyLength = 0;
    // A failed read ends the body like its end does; ReadChunk kept the code.
    for (DWORD n = ReadChunk(chunk, sizeof chunk); n != 0; n = ReadChunk(chunk, sizeof chunk)) {
        if (bodyLength >= bodySize) {
            // The buffer is full: this chunk and the rest of the body are
            // dropped, and Close discards what the server still sends.
            break;
        }
        const DWORD taken = std::min(n, bodySize - bodyLength);
        std::memcpy(body + bodyLength, chunk, taken);
        bodyLength += taken;
    }

    std::memset(headers, 0, headerSize);
    DWORD headerLength = headerSize;
    if (!HttpQueryInfoA(m_hRequest, HTTP_QUERY_RAW_HEADERS_CRLF, headers, &headerLength, nullptr)) {
        m_dwLastError = GetLastError();
        return 0;
    }
    // An empty body is a failure that stores no code of its own.
    return bodyLength != 0 ? 1 : 0;
}
