// Where the parts of a URL lie in its text, by the client's splitting rules
// (see SplitURL). Request uses the layout to refuse a URL whose parts do not
// fit their buffers before anything is contacted.
#pragma once

#include <cstddef>

namespace dravenlok::http_client {

struct UrlSpan {
    std::size_t begin = 0;
    std::size_t length = 0;
};

struct UrlLayout {
    bool hasScheme = false;  // false: the scheme is "http"
    UrlSpan scheme;
    UrlSpan host;
    bool hasPort = false;    // false: the port follows from the scheme
    UrlSpan port;            // the port text after the ':'
    UrlSpan path;            // from the first '/' after the host to the end
};

// Lays out `url` of `length` bytes. Tests for ':' and '/' only match bytes
// that stand alone as characters of the current code page.
[[nodiscard]] UrlLayout LayOutUrl(const char* url, std::size_t length) noexcept;

// The C run time's atol rules on at most `length` bytes: white space, one
// sign, decimal digits up to the first non-digit; no digits give 0. Values
// beyond the int range are clamped to it.
[[nodiscard]] int ParsePort(const char* text, std::size_t length) noexcept;

}  // namespace dravenlok::http_client
