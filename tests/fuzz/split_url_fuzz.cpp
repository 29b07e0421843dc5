// SplitURL over any text: every part lands inside its 1024-byte buffer with
// its terminating zero, every part is the text's own bytes at the place the
// layout names, and a missing port follows from the scheme. The first byte
// picks the code page: single-byte ("C") or UTF-8, whose multibyte walk the
// scanner must survive on broken sequences too.
#include <clocale>
#include <cstring>
#include <string>

#include "http_client/http_client.h"
#include "http_client/url_layout.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

using dravenlok::fuzz::Require;
using dravenlok::http_client::UrlSpan;

constexpr std::size_t kPart = CHttpClient::kPartSize;

// The part's text: terminated inside its buffer, and the leading bytes of
// the span it was cut from.
std::size_t CheckPart(const char* part, const std::string& url, UrlSpan span, const char* what)
{
    const auto* zero = static_cast<const char*>(std::memchr(part, '\0', kPart));
    Require(zero != nullptr, what);
    const auto length = static_cast<std::size_t>(zero - part);
    Require(length <= span.length && span.begin + span.length <= url.size(), what);
    Require(std::memcmp(part, url.data() + span.begin, length) == 0, what);
    return length;
}

int FuzzSplitUrl(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    std::setlocale(LC_CTYPE, (data[0] & 1) != 0 ? "C.UTF-8" : "C");
    // The URL is a zero-terminated text: it ends at its first zero byte.
    std::string url(reinterpret_cast<const char*>(data + 1), size - 1);
    url.resize(std::strlen(url.c_str()));

    static const CHttpClient client;
    char scheme[kPart] = {};
    char host[kPart] = {};
    char path[kPart] = {};
    int port = -12345;
    client.SplitURL(url.c_str(), scheme, host, port, path);

    const auto layout = dravenlok::http_client::LayOutUrl(url.c_str(), url.size());
    if (layout.hasScheme) {
        CheckPart(scheme, url, layout.scheme, "scheme outside its span or buffer");
    } else {
        Require(std::strcmp(scheme, "http") == 0, "default scheme is not http");
    }
    CheckPart(host, url, layout.host, "host outside its span or buffer");
    CheckPart(path, url, layout.path, "path outside its span or buffer");
    if (!layout.hasPort) {
        Require(port == (std::strcmp(scheme, "https") == 0 ? 443 : 80), "default port");
    } else {
        Require(port != -12345, "port not written");
    }
    std::setlocale(LC_CTYPE, "C");
    return 0;
}

}  // namespace

DRAVENLOK_FUZZ_TARGET("split_url", FuzzSplitUrl)
