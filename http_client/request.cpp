// The whole exchange of one request: split the URL, connect, send by kind,
// read the response, close.
#include <cstring>

#include "http_client/http_client.h"
#include "http_client/url_layout.h"

namespace {

// Whether every part of the URL fits its kPartSize-byte buffer with its zero.
// A URL whose host would be cut is refused, so a cut host is never contacted.
bool PartsFit(const dravenlok::http_client::UrlLayout& layout) noexcept
{
    constexpr std::size_t kLimit = CHttpClient::kPartSize - 1;
    return (!layout.hasScheme || layout.scheme.length <= kLimit) &&
           layout.host.length <= kLimit && (!layout.hasPort || layout.port.length <= kLimit) &&
           layout.path.length <= kLimit;
}

}  // namespace

int CHttpClient::Request(LPCSTR url, int kind, LPCSTR agent)
{
    char scheme[kPartSize] = {};
    char host[kPartSize] = {};
    char path[kPartSize] = {};
    int port = 0;
    DWORD bodyLength = 0;

    if (url == nullptr ||
        !PartsFit(dravenlok::http_client::LayOutUrl(url, std::strlen(url)))) {
        return Fail(ERROR_INTERNET_INVALID_URL);
    }
    SplitURL(url, scheme, host, port, path);
    // A port beyond 16 bits cannot be addressed; it is the URL that is wrong.
    if (port < 0 || port > 0xFFFF) {
        return Fail(ERROR_INTERNET_INVALID_URL);
    }
    // A failed Connect has released what it opened: nothing to close here.
    if (Connect(host, agent, port, nullptr, nullptr) == 0) {
        return 0;
    }
    int done = 0;
    if (SendByKind(path, kind) != 0) {
        done = ReadResponse(m_headers, kBufferSize, m_body, kBufferSize, bodyLength);
    }
    Close();
    return done != 0 ? 1 : 0;
}

int CHttpClient::SendByKind(LPCSTR path, int kind)
{
    switch (kind) {
    case REQUEST_POST_FORM:
        return SendPostForm(path);
    case REQUEST_POST_MULTIPART:
        return SendPostMultipart(path);
    default:
        return SendGet(path);
    }
}
