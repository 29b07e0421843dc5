// The framework's internet classes: a session, its HTTP connections and their
// requests, the exception that carries an internet-layer failure, and the URL
// parser. They sit on the internet layer (platform/wininet) and call nothing
// else of the network.
//
// Ownership follows the framework: GetHttpConnection and OpenRequest hand out
// new objects that the caller owns and deletes; a failure of the internet
// layer is thrown as a `CInternetException*` that the catcher frees with
// Delete(). Each object closes its own handle in Close() and in its
// destructor; closing twice does nothing.
#pragma once

#include <memory>

#include "platform/mfc/cstring.h"
#include "platform/mfc/exception.h"
#include "platform/wininet/handle.h"
#include "platform/wininet/wininet.h"

class CHttpConnection;
class CHttpFile;

// ---- CInternetException ------------------------------------------------------------
class CInternetException : public CException {
public:
    explicit CInternetException(DWORD error, DWORD_PTR context = 1) noexcept
        : m_dwError(error), m_dwContext(context)
    {
    }

    // The text for m_dwError: the internet library's message first, the
    // system's second; for ERROR_INTERNET_EXTENDED_ERROR the server's last
    // response text. At most maxError - 1 characters and a terminator; FALSE
    // (and an empty text) when there is none.
    BOOL GetErrorMessage(LPSTR error, UINT maxError, PUINT helpContext = nullptr) const override;

    DWORD m_dwError;
    DWORD_PTR m_dwContext;
};

// Throws a new CInternetException for `error` (0: the thread's last error).
[[noreturn]] void AfxThrowInternetException(DWORD_PTR context, DWORD error = 0);

// ---- CInternetSession -----------------------------------------------------------------
class CInternetSession {
public:
    // Opens the session (InternetOpenA); throws CInternetException* when it
    // cannot be opened.
    explicit CInternetSession(LPCSTR agent = nullptr, DWORD_PTR context = 1,
                              DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG,
                              LPCSTR proxyName = nullptr, LPCSTR proxyBypass = nullptr,
                              DWORD flags = 0);
    virtual ~CInternetSession();
    CInternetSession(const CInternetSession&) = delete;
    CInternetSession& operator=(const CInternetSession&) = delete;

    // InternetSetOptionExA on the session handle.
    BOOL SetOption(DWORD option, LPVOID buffer, DWORD bufferLength, DWORD flags = 0);
    BOOL SetOption(DWORD option, DWORD value, DWORD flags = 0);
    // InternetQueryOptionA for a 4-byte option; `value` is unchanged on failure.
    BOOL QueryOption(DWORD option, DWORD& value) const;

    // A new connection (InternetConnectA, HTTP service, flags 0, the session's
    // context) that the caller owns; throws CInternetException* on failure.
    [[nodiscard]] CHttpConnection* GetHttpConnection(LPCSTR server,
                                                     INTERNET_PORT port = INTERNET_INVALID_PORT_NUMBER,
                                                     LPCSTR userName = nullptr,
                                                     LPCSTR password = nullptr);

    virtual void Close();

    [[nodiscard]] HINTERNET GetHandle() const noexcept { return m_hSession.get(); }
    operator HINTERNET() const noexcept { return m_hSession.get(); }  // NOLINT(google-explicit-constructor)
    [[nodiscard]] DWORD_PTR GetContext() const noexcept { return m_dwContext; }

private:
    dravenlok::wininet::InternetHandle m_hSession;
    DWORD_PTR m_dwContext;
};

// ---- CHttpConnection -------------------------------------------------------------------
class CHttpConnection {
public:
    CHttpConnection(CInternetSession* session, HINTERNET connection, LPCSTR server,
                    INTERNET_PORT port, DWORD_PTR context) noexcept;
    virtual ~CHttpConnection();
    CHttpConnection(const CHttpConnection&) = delete;
    CHttpConnection& operator=(const CHttpConnection&) = delete;

    // A new request object that the caller owns (HttpOpenRequestA; no version
    // means "HTTP/1.0"). Never throws for a failed open: the object then holds
    // no handle, and sending it throws with the open's error code.
    [[nodiscard]] CHttpFile* OpenRequest(LPCSTR verb, LPCSTR objectName, LPCSTR referrer = nullptr,
                                         DWORD_PTR context = 1, LPCSTR* acceptTypes = nullptr,
                                         LPCSTR version = nullptr,
                                         DWORD flags = INTERNET_FLAG_EXISTING_CONNECT);

    virtual void Close();

    [[nodiscard]] HINTERNET GetHandle() const noexcept { return m_hConnection.get(); }
    operator HINTERNET() const noexcept { return m_hConnection.get(); }  // NOLINT(google-explicit-constructor)
    [[nodiscard]] CInternetSession* GetSession() const noexcept { return m_pSession; }
    [[nodiscard]] const CString& GetServerName() const noexcept { return m_strServer; }
    [[nodiscard]] INTERNET_PORT GetPort() const noexcept { return m_nPort; }

private:
    CInternetSession* m_pSession;
    dravenlok::wininet::InternetHandle m_hConnection;
    CString m_strServer;
    INTERNET_PORT m_nPort;
    DWORD_PTR m_dwContext;
};

// ---- CHttpFile ------------------------------------------------------------------------------
class CHttpFile {
public:
    // `request` may be null (the open failed with `openError`).
    CHttpFile(CHttpConnection* connection, HINTERNET request, CString object, DWORD_PTR context,
              DWORD openError = ERROR_SUCCESS) noexcept;
    virtual ~CHttpFile();
    CHttpFile(const CHttpFile&) = delete;
    CHttpFile& operator=(const CHttpFile&) = delete;

    // HttpAddRequestHeadersA; a length of -1 means the text is zero-terminated.
    // Does nothing and answers FALSE on a file without a handle.
    BOOL AddRequestHeaders(LPCSTR headers, DWORD flags = HTTP_ADDREQ_FLAG_ADD_IF_NEW,
                           int headersLength = -1);
    BOOL AddRequestHeaders(const CString& headers, DWORD flags = HTTP_ADDREQ_FLAG_ADD_IF_NEW);

    // HttpSendRequestA; throws CInternetException* on failure (also for a file
    // without a handle). Answers TRUE otherwise.
    BOOL SendRequest(LPCSTR headers = nullptr, DWORD headersLength = 0, LPVOID optional = nullptr,
                     DWORD optionalLength = 0);

    // The status code of the response; `statusCode` is unchanged and the
    // answer FALSE when it cannot be read.
    BOOL QueryInfoStatusCode(DWORD& statusCode) const;
    // HttpQueryInfoA of `infoLevel` as text (asked for its size first); an
    // empty `value` and FALSE when the query fails.
    BOOL QueryInfo(DWORD infoLevel, CString& value, LPDWORD index = nullptr) const;

    // InternetReadFile: the count of bytes read, 0 at the end of the body;
    // throws CInternetException* on failure.
    UINT Read(void* buffer, UINT count);

    virtual void Close();

    [[nodiscard]] HINTERNET GetHandle() const noexcept { return m_hRequest.get(); }
    operator HINTERNET() const noexcept { return m_hRequest.get(); }  // NOLINT(google-explicit-constructor)
    [[nodiscard]] const CString& GetObject() const noexcept { return m_strObject; }
    [[nodiscard]] CHttpConnection* GetConnection() const noexcept { return m_pConnection; }

private:
    CHttpConnection* m_pConnection;
    dravenlok::wininet::InternetHandle m_hRequest;
    CString m_strObject;
    DWORD_PTR m_dwContext;
    DWORD m_dwOpenError;
};

// ---- AfxParseURL -----------------------------------------------------------------------------
// Service types that AfxParseURL reports for a URL's scheme.
inline constexpr DWORD AFX_INET_SERVICE_FTP = 1;
inline constexpr DWORD AFX_INET_SERVICE_GOPHER = 2;
inline constexpr DWORD AFX_INET_SERVICE_HTTP = 3;
inline constexpr DWORD AFX_INET_SERVICE_HTTPS = 0x1001;
inline constexpr DWORD AFX_INET_SERVICE_FILE = 0x1002;
inline constexpr DWORD AFX_INET_SERVICE_MAILTO = 0x1003;
inline constexpr DWORD AFX_INET_SERVICE_NNTP = 0x1004;
inline constexpr DWORD AFX_INET_SERVICE_UNK = 0x1000;

// Canonicalizes `url` in browser mode, then cracks it: the service type of its
// scheme, the server, the object path (path and query; never the fragment,
// which stays with the client) and the port (the URL's own or the scheme's
// default). FALSE, with the outputs unchanged, when either step fails.
BOOL AfxParseURL(LPCSTR url, DWORD& serviceType, CString& server, CString& object,
                 INTERNET_PORT& port);
