// CHttpClient: a reusable HTTP client on the internet library. One object
// runs one request at a time: it splits a URL, opens a session and a
// connection, sends a GET or a form POST built from its field list, reads the
// body and the raw headers into two fixed 100000-byte buffers of its own and
// closes its handles again.
//
// Every operation answers 1 (done) or 0 (failed); a failing step keeps the
// system error code in m_dwLastError, read with GetLastErrorCode. Nothing
// throws.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32/owners.h"
#include "platform/wininet/wininet.h"

// Kinds of a form field.
inline constexpr int FIELD_TEXT = 1;
inline constexpr int FIELD_FILE = 2;

// Kinds of a request; every other value is served as a GET.
inline constexpr int REQUEST_GET = 1;
inline constexpr int REQUEST_POST_FORM = 2;
inline constexpr int REQUEST_POST_MULTIPART = 3;

// One field of a form POST. For FIELD_FILE the value is the path of the file
// whose contents are uploaded.
struct FormField {
    char name[256];
    char value[1024];
    int kind;
};

class CHttpClient {
public:
    static constexpr DWORD kBufferSize = 100000;  // size of m_body and m_headers
    static constexpr DWORD kPartSize = 1024;      // size of each buffer SplitURL fills

    CHttpClient();
    // Does not release open handles: Close does (a destroyed object that is
    // still connected leaves its handles open).
    virtual ~CHttpClient();
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    // ---- Fields ---------------------------------------------------------------
    // Appends a field at the end of the list. Refuses (0, with
    // ERROR_INSUFFICIENT_BUFFER) a name over 255 or a value over 1023 bytes
    // rather than cutting it: a cut path would upload another file. A null
    // name or value is refused with ERROR_INVALID_PARAMETER.
    int AddField(LPCSTR name, LPCSTR value, int kind);
    [[nodiscard]] const std::vector<FormField>& Fields() const noexcept { return m_fields; }

    // ---- URL --------------------------------------------------------------------
    // Splits `url` into scheme, host, port and path. The three buffers are
    // kPartSize bytes each and zero-filled by the caller. A part longer than
    // kPartSize - 1 bytes is cut there, never inside a character; Request
    // refuses such a URL before it connects.
    void SplitURL(LPCSTR url, char* scheme, char* host, int& port, char* path) const;

    // ---- Connection and GET ---------------------------------------------------
    int Connect(LPCSTR host, LPCSTR agent, int port, LPCSTR userName, LPCSTR password);
    int Close();
    int SendGet(LPCSTR path);
    [[nodiscard]] DWORD ReadChunk(char* buffer, DWORD size);
    int ReadResponse(char* headers, DWORD headerSize, char* body, DWORD bodySize,
                     DWORD& bodyLength);
    // The body as read; zero-terminated unless it fills all kBufferSize bytes.
    [[nodiscard]] char* GetBody() noexcept { return m_body; }
    [[nodiscard]] const char* GetHeaders() const noexcept { return m_headers; }
    [[nodiscard]] DWORD GetLastErrorCode() const noexcept { return m_dwLastError; }

    // ---- Form POSTs -------------------------------------------------------------
    int SendPostForm(LPCSTR path);
    // The urlencoded body (name=value joined by '&') in `buffer` of `size`
    // bytes, zero-filled first; answers its length. A body that does not fit
    // is cut at size - 1 bytes (SendPostForm never sends a cut body).
    int BuildFormBody(char* buffer, DWORD size) const;
    int SendPostMultipart(LPCSTR path);
    // Composes the multipart/form-data body into a new block that `holder`
    // takes; answers its length in bytes, or -1 with the holder empty and the
    // cause in m_dwLastError (a file that cannot be opened or read, a file of
    // 4 GiB or more, a body over 2 GiB, a file that grew after it was sized,
    // an allocation that failed).
    int BuildMultipartBody(dravenlok::win32::LocalBlock& holder, LPCSTR boundary);
    void FreeMultipartBody(dravenlok::win32::LocalBlock& holder) const noexcept;
    // Room the parts of the field list take: 8192 per text field, the file's
    // size + 6144 per file field (6144 for a file that cannot be sized),
    // nothing for other kinds; 0xFFFFFFFF when the sum does not fit 32 bits.
    [[nodiscard]] DWORD EstimateMultipartSize() const;
    // The content type registered for the path's extension, or
    // "application/octet-stream". Points at one static buffer that the next
    // call overwrites.
    [[nodiscard]] LPCSTR ContentTypeFor(LPCSTR path) const;

    // ---- Whole request ------------------------------------------------------------
    // Split, connect, send by kind, read the response, close. 1 when every step
    // succeeded and the body is not empty.
    int Request(LPCSTR url, int kind, LPCSTR agent);
    int SendByKind(LPCSTR path, int kind);

private:
    // Opens the POST request on the connection with its Accept header
    // replaced; 0 with the code stored when a step fails.
    int OpenPostRequest(LPCSTR path);
    // Sum of the parts' room in 64 bits; answers the first error met while
    // sizing a file (ERROR_SUCCESS when there was none).
    DWORD EstimateParts(std::uint64_t& sum) const;
    // Composes one file part into `scratch` (taken by the call); its length
    // in `partLength`. Answers ERROR_SUCCESS or the cause.
    DWORD ComposeFilePart(const FormField& field, LPCSTR boundary,
                          dravenlok::win32::LocalBlock& scratch,
                          std::uint64_t& partLength) const;
    int Fail(DWORD code) noexcept
    {
        m_dwLastError = code;
        return 0;
    }

    std::vector<FormField> m_fields;
    char m_body[kBufferSize];
    char m_headers[kBufferSize];
    HINTERNET m_hInternet;
    HINTERNET m_hConnect;
    HINTERNET m_hRequest;
    DWORD m_dwLastError;
};
