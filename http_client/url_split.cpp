// URL splitting: a plain byte scanner with the client's own rules. A scheme
// is recognised only when the first ':' of the text is followed by '/'; the
// first ':' between the host's start and the next '/' introduces the port;
// without one the port is 443 for exactly "https" and 80 otherwise. Every
// test walks the text character by character in the current code page, so a
// byte inside a multibyte character never counts as ':' or '/', and no copy
// ends inside a character.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "http_client/http_client.h"
#include "http_client/url_layout.h"
#include "platform/win32/mbcs.h"

namespace dravenlok::http_client {
namespace {

// Index of the first character `c` at or after `from` and before `to`,
// walking characters from `from`; `to` when there is none. `length` is the
// whole text's length, which bounds every character.
std::size_t FindChar(const char* text, std::size_t length, std::size_t from, std::size_t to,
                     char c) noexcept
{
    std::size_t i = from;
    while (i < to) {
        const std::size_t width = std::max<std::size_t>(1, win32::CharLength(text + i, length - i));
        if (width == 1 && text[i] == c) {
            return i;
        }
        i += width;
    }
    return to;
}

// Bytes of `span` that fit `limit` bytes without ending inside a character.
std::size_t FittingLength(const char* text, UrlSpan span, std::size_t limit) noexcept
{
    const std::size_t end = span.begin + span.length;
    std::size_t i = span.begin;
    while (i < end) {
        const std::size_t width = std::max<std::size_t>(1, win32::CharLength(text + i, end - i));
        if (i + width - span.begin > limit) {
            break;
        }
        i += width;
    }
    return i - span.begin;
}

// Copies the span into a zero-filled buffer of kPartSize bytes, cut at
// kPartSize - 1 bytes at a character boundary; the zero behind it ends it.
void CopyPart(char* out, const char* text, UrlSpan span) noexcept
{
    const std::size_t count = FittingLength(text, span, CHttpClient::kPartSize - 1);
    std::memcpy(out, text + span.begin, count);
    out[count] = '\0';
}

}  // namespace

UrlLayout LayOutUrl(const char* url, std::size_t length) noexcept
{
    UrlLayout layout;
    // The first ':' anywhere, path included; a scheme only when a '/' follows
    // it. The byte after that '/' is skipped whatever it is.
    const std::size_t colon = FindChar(url, length, 0, length, ':');
    std::size_t hostStart = 0;
    if (colon + 1 < length && url[colon + 1] == '/') {
        layout.hasScheme = true;
        layout.scheme = {0, colon};
        hostStart = colon + 3;
    }
    const std::size_t hostEnd =
        hostStart >= length ? hostStart : FindChar(url, length, hostStart, length, '/');
    const std::size_t portColon =
        hostStart >= length ? hostEnd : FindChar(url, length, hostStart, hostEnd, ':');
    if (portColon < hostEnd) {
        layout.hasPort = true;
        layout.host = {hostStart, portColon - hostStart};
        layout.port = {portColon + 1, hostEnd - portColon - 1};
    } else if (hostStart < length) {
        layout.host = {hostStart, hostEnd - hostStart};
    } else {
        layout.host = {length, 0};
    }
    if (hostEnd < length) {
        layout.path = {hostEnd, length - hostEnd};
    } else {
        layout.path = {length, 0};
    }
    return layout;
}

int ParsePort(const char* text, std::size_t length) noexcept
{
    std::size_t i = 0;
    // White space as the C locale's isspace knows it.
    while (i < length && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < length && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate in 64 bits and stop growing past the int range, so a long
    // digit string cannot overflow.
    constexpr std::int64_t kLimit = static_cast<std::int64_t>(INT_MAX) + 1;
    std::int64_t value = 0;
    for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min(kLimit, value * 10 + (text[i] - '0'));
    }
    if (negative) {
        value = -value;
    }
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

}  // namespace dravenlok::http_client

void CHttpClient::SplitURL(LPCSTR url, char* scheme, char* host, int& port, char* path) const
{
    using namespace dravenlok::http_client;
    const char* text = url != nullptr ? url : "";
    const UrlLayout layout = LayOutUrl(text, std::strlen(text));

    if (layout.hasScheme) {
        CopyPart(scheme, text, layout.scheme);
    } else {
        std::memcpy(scheme, "http", 5);
    }
    CopyPart(host, text, layout.host);
    if (layout.hasPort) {
        // The port text is read as far as a part's buffer would hold it.
        const std::size_t count = FittingLength(text, layout.port, kPartSize - 1);
        port = ParsePort(text + layout.port.begin, count);
    } else {
        port = std::strcmp(scheme, "https") == 0 ? 443 : 80;
    }
    CopyPart(path, text, layout.path);
}
