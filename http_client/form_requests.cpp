// The two form POSTs of CHttpClient: an application/x-www-form-urlencoded
// body sent as the request's optional data, and a multipart/form-data body
// (RFC 2046 delimiters, RFC 7578 parts) composed in one block whose size is
// settled before composition, written after HttpSendRequestExA with its
// length announced in Content-Length.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "http_client/http_client.h"
#include "platform/win32/mbcs.h"

using dravenlok::win32::AllocateZeroed;
using dravenlok::win32::FileHandle;
using dravenlok::win32::LocalBlock;
using dravenlok::win32::RegKey;

namespace {

constexpr DWORD kPostFlags =
    INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_FORMS_SUBMIT;
constexpr char kAcceptHeader[] = "Accept: */*\r\n";
constexpr char kFormContentType[] = "Content-Type: application/x-www-form-urlencoded\r\n";
constexpr char kBoundary[] = "--MULTI-PARTS-FORM-DATA-BOUNDARY";
constexpr char kMultipartContentType[] =
    "Content-Type: multipart/form-data; boundary=--MULTI-PARTS-FORM-DATA-BOUNDARY\r\n";
constexpr char kFallbackType[] = "application/octet-stream";

constexpr std::size_t kFormBodySize = 1024;
constexpr std::size_t kTextPartSize = 8192;   // scratch of a text part, and its share of the estimate
constexpr std::uint64_t kFileAllowance = 6144;  // a file part's share beyond the file's bytes
constexpr std::uint64_t kFileScratchExtra = kFileAllowance + 1;
constexpr DWORD kFileChunk = 1024;
// The body's length travels as an int (Content-Length "%d") and a DWORD write.
constexpr std::uint64_t kMaxBody = INT_MAX;

// The content type looked up last; shared by every client, as callers expect
// a pointer that stays valid until the next lookup.
char g_contentType[1024];

// Field texts are zero-terminated by AddField; reading them bounded keeps a
// field without its zero inside its array all the same.
std::size_t NameLength(const FormField& field) noexcept
{
    return strnlen(field.name, sizeof field.name - 1);
}

std::size_t ValueLength(const FormField& field) noexcept
{
    return strnlen(field.value, sizeof field.value - 1);
}

// Length of the whole urlencoded body: name=value pairs joined by '&'.
std::size_t FormBodyLength(const std::vector<FormField>& fields) noexcept
{
    std::size_t length = 0;
    for (const FormField& field : fields) {
        length += NameLength(field) + 1 + ValueLength(field);
    }
    return length + (fields.empty() ? 0 : fields.size() - 1);
}

// A failing call's code; never ERROR_SUCCESS, whose text would read as success.
DWORD LastErrorOr(DWORD fallback) noexcept
{
    const DWORD code = GetLastError();
    return code != ERROR_SUCCESS ? code : fallback;
}

// Opens `path` for reading as the upload does; empty with the code on failure.
FileHandle OpenForReading(LPCSTR path, DWORD attributes, DWORD& error)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              attributes, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = LastErrorOr(ERROR_FILE_NOT_FOUND);
        return FileHandle();
    }
    error = ERROR_SUCCESS;
    return FileHandle(file);
}

// The file's full 64-bit size; the code when it cannot be taken.
DWORD FileSize(HANDLE file, std::uint64_t& size)
{
    DWORD high = 0;
    SetLastError(ERROR_SUCCESS);
    const DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) {
        return GetLastError();
    }
    size = (static_cast<std::uint64_t>(high) << 32) | low;
    return ERROR_SUCCESS;
}

}  // namespace

// ---- urlencoded ------------------------------------------------------------------

int CHttpClient::BuildFormBody(char* buffer, DWORD size) const
{
    if (size == 0) {
        return 0;
    }
    std::memset(buffer, 0, size);
    const std::size_t room = size - 1;
    std::size_t length = 0;
    const auto append = [&](const char* text, std::size_t count) {
        const std::size_t taken = std::min(count, room - length);
        std::memcpy(buffer + length, text, taken);
        length += taken;
    };
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        // Names and values go in as they stand: no percent-encoding.
        append(m_fields[i].name, NameLength(m_fields[i]));
        append("=", 1);
        append(m_fields[i].value, ValueLength(m_fields[i]));
        if (i + 1 < m_fields.size()) {
            append("&", 1);
        }
    }
    return static_cast<int>(length);
}

int CHttpClient::OpenPostRequest(LPCSTR path)
{
    LPCSTR acceptTypes[] = {"*/*", nullptr};
    m_hRequest = HttpOpenRequestA(m_hConnect, "POST", path, "HTTP/1.0", "", acceptTypes,
                                  kPostFlags, 0);
    if (m_hRequest == nullptr) {
        return Fail(GetLastError());
    }
    if (!HttpAddRequestHeadersA(m_hRequest, kAcceptHeader, sizeof kAcceptHeader - 1,
                                HTTP_ADDREQ_FLAG_REPLACE)) {
        return Fail(GetLastError());
    }
    return 1;
}

int CHttpClient::SendPostForm(LPCSTR path)
{
    char body[kFormBodySize];
    const int length = BuildFormBody(body, sizeof body);
    // A body cut short would post other values than the fields hold: it is
    // refused before anything is opened or sent.
    if (FormBodyLength(m_fields) > sizeof body - 1) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    if (OpenPostRequest(path) == 0) {
        return 0;
    }
    if (!HttpSendRequestA(m_hRequest, kFormContentType, sizeof kFormContentType - 1, body,
                          static_cast<DWORD>(length))) {
        return Fail(GetLastError());
    }
    return 1;
}

// ---- multipart -------------------------------------------------------------------

DWORD CHttpClient::EstimateParts(std::uint64_t& sum) const
{
    sum = 0;
    DWORD firstError = ERROR_SUCCESS;
    const auto note = [&firstError](DWORD code) {
        if (firstError == ERROR_SUCCESS) {
            firstError = code;
        }
    };
    for (const FormField& field : m_fields) {
        if (field.kind == FIELD_TEXT) {
            sum += kTextPartSize;
        } else if (field.kind == FIELD_FILE) {
            sum += kFileAllowance;
            DWORD error = ERROR_SUCCESS;
            const FileHandle file = OpenForReading(field.value, FILE_ATTRIBUTE_NORMAL, error);
            std::uint64_t size = 0;
            if (!file) {
                note(error);
            } else if (const DWORD sizeError = FileSize(file.get(), size);
                       sizeError != ERROR_SUCCESS) {
                note(sizeError);
            } else {
                if (size > 0xFFFFFFFFULL) {
                    note(ERROR_FILE_TOO_LARGE);
                }
                sum += size;
            }
        }
    }
    return firstError;
}

DWORD CHttpClient::EstimateMultipartSize() const
{
    std::uint64_t sum = 0;
    static_cast<void>(EstimateParts(sum));
    return static_cast<DWORD>(std::min<std::uint64_t>(sum, 0xFFFFFFFFULL));
}

DWORD CHttpClient::ComposeFilePart(const FormField& field, LPCSTR boundary, LocalBlock& scratch,
                                   std::uint64_t& partLength) const
{
    DWORD error = ERROR_SUCCESS;
    const FileHandle file =
        OpenForReading(field.value, FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, error);
    if (!file) {
        return error;
    }
    std::uint64_t size = 0;
    if (const DWORD sizeError = FileSize(file.get(), size); sizeError != ERROR_SUCCESS) {
        return sizeError;
    }
    if (size > 0xFFFFFFFFULL) {
        return ERROR_FILE_TOO_LARGE;
    }
    const std::uint64_t scratchSize = size + kFileScratchExtra;
    if (scratchSize > kMaxBody) {
        return ERROR_FILE_TOO_LARGE;
    }
    scratch = AllocateZeroed(static_cast<std::size_t>(scratchSize));
    if (!scratch) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    const int header = std::snprintf(
        scratch.get(), static_cast<std::size_t>(scratchSize),
        "--%s\r\nContent-Disposition: form-data; name=\"%.*s\"; filename=\"%.*s\"\r\n"
        "Content-Type: %s\r\n\r\n",
        boundary, static_cast<int>(NameLength(field)), field.name,
        static_cast<int>(ValueLength(field)), field.value, ContentTypeFor(field.value));
    // The scratch holds the header lines, the file's bytes with one chunk of
    // growth, and the closing CR LF.
    if (header < 0 || static_cast<std::uint64_t>(header) + size + kFileChunk + 2 > scratchSize) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    char* const contents = scratch.get() + header;
    char chunk[kFileChunk + 1] = {};
    std::uint64_t taken = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), chunk, kFileChunk, &got, nullptr)) {
            return LastErrorOr(ERROR_IO_DEVICE);
        }
        // A file that grew since it was sized gives at most one chunk more.
        if (got == 0 || taken > size) {
            break;
        }
        got = std::min(got, kFileChunk);
        std::memcpy(contents + taken, chunk, got);
        taken += got;
    }
    std::memcpy(contents + taken, "\r\n", 2);
    partLength = static_cast<std::uint64_t>(header) + taken + 2;
    return ERROR_SUCCESS;
}

int CHttpClient::BuildMultipartBody(LocalBlock& holder, LPCSTR boundary)
{
    FreeMultipartBody(holder);
    const auto fail = [this](DWORD code) {
        m_dwLastError = code;
        return -1;
    };
    if (boundary == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    // Every file is sized (and must open) before the body is allocated, so a
    // file that cannot be read is never uploaded as an empty one.
    std::uint64_t estimate = 0;
    if (const DWORD error = EstimateParts(estimate); error != ERROR_SUCCESS) {
        return fail(error);
    }
    // The closing delimiter always follows the parts, also when the list
    // holds no text or file field: the block has room for it.
    const std::size_t boundaryLength = std::strlen(boundary);
    const std::uint64_t closing = static_cast<std::uint64_t>(boundaryLength) + 6;
    const std::uint64_t capacity = estimate + closing;
    if (capacity > kMaxBody) {
        return fail(ERROR_FILE_TOO_LARGE);
    }
    LocalBlock body = AllocateZeroed(static_cast<std::size_t>(capacity));
    if (!body) {
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }

    std::uint64_t pos = 0;
    for (const FormField& field : m_fields) {
        LocalBlock scratch;
        std::uint64_t partLength = 0;
        if (field.kind == FIELD_TEXT) {
            scratch = AllocateZeroed(kTextPartSize);
            if (!scratch) {
                return fail(ERROR_NOT_ENOUGH_MEMORY);
            }
            const int written = std::snprintf(
                scratch.get(), kTextPartSize,
                "--%s\r\nContent-Disposition: form-data; name=\"%.*s\"\r\n\r\n%.*s\r\n", boundary,
                static_cast<int>(NameLength(field)), field.name,
                static_cast<int>(ValueLength(field)), field.value);
            if (written < 0 || static_cast<std::size_t>(written) >= kTextPartSize) {
                return fail(ERROR_INSUFFICIENT_BUFFER);
            }
            partLength = static_cast<std::uint64_t>(written);
        } else if (field.kind == FIELD_FILE) {
            if (const DWORD error = ComposeFilePart(field, boundary, scratch, partLength);
                error != ERROR_SUCCESS) {
                return fail(error);
            }
        } else {
            continue;  // other kinds give no part
        }
        // A file that grew past its allowance since it was sized would not
        // fit: the body is refused rather than overrun.
        if (pos + partLength + closing > capacity) {
            return fail(ERROR_INSUFFICIENT_BUFFER);
        }
        std::memcpy(body.get() + pos, scratch.get(), static_cast<std::size_t>(partLength));
        pos += partLength;
    }

    char* const end = body.get() + pos;
    std::memcpy(end, "--", 2);
    std::memcpy(end + 2, boundary, boundaryLength);
    std::memcpy(end + 2 + boundaryLength, "--\r\n", 4);
    holder = std::move(body);
    return static_cast<int>(pos + closing);
}

void CHttpClient::FreeMultipartBody(LocalBlock& holder) const noexcept
{
    holder.reset();
}

int CHttpClient::SendPostMultipart(LPCSTR path)
{
    // The holder releases the body on every way out, after a failing step
    // has stored its code.
    LocalBlock body;
    const int length = BuildMultipartBody(body, kBoundary);
    if (length < 0) {
        return 0;
    }
    if (OpenPostRequest(path) == 0) {
        return 0;
    }
    if (!HttpAddRequestHeadersA(m_hRequest, kMultipartContentType,
                                sizeof kMultipartContentType - 1, HTTP_ADDREQ_FLAG_ADD_IF_NEW)) {
        return Fail(GetLastError());
    }
    char lengthLine[1024] = {};
    const int lineLength =
        std::snprintf(lengthLine, sizeof lengthLine, "Content-Length: %d\r\n", length);
    if (!HttpAddRequestHeadersA(m_hRequest, lengthLine, static_cast<DWORD>(lineLength),
                                HTTP_ADDREQ_FLAG_ADD_IF_NEW)) {
        return Fail(GetLastError());
    }
    // No headers and no data here: the body's size reaches the server only
    // through the Content-Length line above.
    INTERNET_BUFFERSA buffersIn{};
    buffersIn.dwStructSize = sizeof buffersIn;
    if (!HttpSendRequestExA(m_hRequest, &buffersIn, nullptr, HSR_INITIATE, 0)) {
        return Fail(GetLastError());
    }
    DWORD written = 0;
    if (!InternetWriteFile(m_hRequest, body.get(), static_cast<DWORD>(length), &written)) {
        return Fail(GetLastError());
    }
    if (!HttpEndRequestA(m_hRequest, nullptr, HSR_INITIATE, 0)) {
        return Fail(GetLastError());
    }
    FreeMultipartBody(body);
    return 1;
}

// ---- content type -----------------------------------------------------------------

LPCSTR CHttpClient::ContentTypeFor(LPCSTR path) const
{
    const char* text = path != nullptr ? path : "";
    const std::size_t length = std::strlen(text);
    // The key runs from the last '.' after the first byte to the end, or is
    // the whole path. Walking characters forward finds the same '.' as a
    // backward scan that never takes a byte inside a character for one.
    std::size_t dot = length;
    for (std::size_t i = 0; i < length;) {
        const std::size_t width =
            std::max<std::size_t>(1, dravenlok::win32::CharLength(text + i, length - i));
        if (width == 1 && text[i] == '.' && i >= 1) {
            dot = i;
        }
        i += width;
    }
    const char* key = dot < length ? text + dot : text;

    HKEY opened = nullptr;
    bool found = false;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_QUERY_VALUE, &opened) == ERROR_SUCCESS) {
        const RegKey owner(opened);
        std::memset(g_contentType, 0, sizeof g_contentType);
        DWORD size = sizeof g_contentType;
        found = RegQueryValueExA(owner.get(), "Content Type", nullptr, nullptr,
                                 reinterpret_cast<LPBYTE>(g_contentType), &size) == ERROR_SUCCESS &&
                std::memchr(g_contentType, '\0', sizeof g_contentType) != nullptr;
    }
    if (!found) {
        std::memset(g_contentType, 0, sizeof g_contentType);
        std::memcpy(g_contentType, kFallbackType, sizeof kFallbackType);
    }
    return g_contentType;
}
