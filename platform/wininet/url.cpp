// InternetCanonicalizeUrlA and InternetCrackUrlA. Both work on copies in
// std::string and write to the caller only through length-checked copies,
// so no input can make them write outside a buffer.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wininet/request_headers.h"
#include "platform/wininet/seams.h"
#include "platform/wininet/wininet.h"

using dravenlok::wininet::EqualsIgnoreCase;
using dravenlok::wininet::TakeInjectedFailure;
using Call = dravenlok::wininet::testing::Call;

namespace {

BOOL Fail(DWORD code)
{
    SetLastError(code);
    return FALSE;
}

constexpr bool IsAlpha(char c) noexcept
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr bool IsDigit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

constexpr char ToLower(char c) noexcept
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

int HexValue(char c) noexcept
{
    if (IsDigit(c)) {
        return c - '0';
    }
    const char lower = ToLower(c);
    return (lower >= 'a' && lower <= 'f') ? lower - 'a' + 10 : -1;
}

// The scheme's length (RFC 3986 §3.1: ALPHA *( ALPHA / DIGIT / "+" / "-" / "." )
// before ':'), or 0 when the text does not start with one.
std::size_t SchemeLength(std::string_view url) noexcept
{
    if (url.empty() || !IsAlpha(url.front())) {
        return 0;
    }
    for (std::size_t i = 1; i < url.size(); ++i) {
        const char c = url[i];
        if (c == ':') {
            return i;
        }
        if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') {
            return 0;
        }
    }
    return 0;
}

struct SchemeInfo {
    INTERNET_SCHEME scheme;
    INTERNET_PORT defaultPort;
    bool needsHost;  // "scheme://host" with a host that may not be empty
};

std::optional<SchemeInfo> KnownScheme(std::string_view name) noexcept
{
    struct Entry {
        const char* name;
        SchemeInfo info;
    };
    static constexpr Entry kSchemes[] = {
        {"http", {INTERNET_SCHEME_HTTP, INTERNET_DEFAULT_HTTP_PORT, true}},
        {"https", {INTERNET_SCHEME_HTTPS, INTERNET_DEFAULT_HTTPS_PORT, true}},
        {"ftp", {INTERNET_SCHEME_FTP, 21, true}},
        {"gopher", {INTERNET_SCHEME_GOPHER, 70, true}},
        {"file", {INTERNET_SCHEME_FILE, 0, false}},
        {"news", {INTERNET_SCHEME_NEWS, 0, false}},
        {"mailto", {INTERNET_SCHEME_MAILTO, 0, false}},
    };
    for (const Entry& entry : kSchemes) {
        if (EqualsIgnoreCase(name, entry.name)) {
            return entry.info;
        }
    }
    return std::nullopt;
}

// Schemes whose paths are hierarchical and in which '\' means '/', as a
// browser treats them (WHATWG URL "special schemes").
bool IsSpecial(std::string_view scheme) noexcept
{
    for (const char* name : {"http", "https", "ftp", "file", "gopher"}) {
        if (scheme == name) {
            return true;
        }
    }
    return false;
}

// "%00" stays as it is: a zero byte would end the zero-terminated text that
// both calls hand back, short of the length they report.
std::string PercentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0 && HexValue(text[i + 1]) + HexValue(text[i + 2]) > 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

enum class Encode { None, SpacesOnly, Unsafe };

// Bytes that cannot stand in a URL as they are (RFC 3986 §2.1): controls,
// space, DEL and everything from 0x80 up. '%' is left alone, so text that
// is encoded already is not encoded twice.
void AppendEncoded(std::string& out, std::string_view text, Encode encode)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        const bool escape = encode == Encode::Unsafe       ? (u <= 0x20 || u >= 0x7F)
                            : encode == Encode::SpacesOnly ? u == ' '
                                                           : false;
        if (escape) {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 0x0F];
        } else {
            out += c;
        }
    }
}

// RFC 3986 §5.2.4: "." and ".." segments resolved; ".." never climbs above
// the root. A path ending in "." or ".." keeps its closing '/'.
std::string RemoveDotSegments(std::string_view path)
{
    const bool absolute = !path.empty() && path.front() == '/';
    if (absolute) {
        path.remove_prefix(1);
    }
    std::vector<std::string_view> segments;
    bool closingSlash = false;
    while (true) {
        const auto slash = path.find('/');
        const std::string_view segment = path.substr(0, slash);
        const bool last = slash == std::string_view::npos;
        if (segment == "." || segment == "..") {
            if (segment == ".." && !segments.empty()) {
                segments.pop_back();
            }
            closingSlash = last;
        } else {
            segments.push_back(segment);
            closingSlash = false;
        }
        if (last) {
            break;
        }
        path.remove_prefix(slash + 1);
    }
    std::string out = absolute ? "/" : "";
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i > 0) {
            out += '/';
        }
        out += segments[i];
    }
    if (closingSlash && !segments.empty()) {
        out += '/';
    }
    return out;
}

struct Canonical {
    DWORD error = ERROR_SUCCESS;
    std::string text;
};

Canonical Canonicalize(std::string_view input, DWORD flags)
{
    std::string decoded;
    if ((flags & ICU_DECODE) != 0) {
        decoded = PercentDecode(input);
        input = decoded;
    }
    // As a browser reads a URL (WHATWG URL parsing): leading and trailing C0
    // controls and spaces go, and so do tabs and line breaks anywhere.
    while (!input.empty() && static_cast<unsigned char>(input.front()) <= 0x20) {
        input.remove_prefix(1);
    }
    while (!input.empty() && static_cast<unsigned char>(input.back()) <= 0x20) {
        input.remove_suffix(1);
    }
    std::string url;
    url.reserve(input.size());
    std::copy_if(input.begin(), input.end(), std::back_inserter(url),
                 [](char c) { return c != '\t' && c != '\r' && c != '\n'; });

    const std::size_t schemeLength = SchemeLength(url);
    if (schemeLength == 0) {
        return {ERROR_INTERNET_UNRECOGNIZED_SCHEME, {}};
    }
    std::string scheme = url.substr(0, schemeLength);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), ToLower);
    std::string rest = url.substr(schemeLength + 1);
    const bool special = IsSpecial(scheme);

    const Encode encode = (flags & ICU_NO_ENCODE) != 0           ? Encode::None
                          : (flags & ICU_ENCODE_SPACES_ONLY) != 0 ? Encode::SpacesOnly
                                                                  : Encode::Unsafe;
    const bool browser = (flags & ICU_BROWSER_MODE) != 0;

    // Query and fragment start at the first '?' or '#'.
    const auto extraAt = rest.find_first_of("?#");
    std::string extra = extraAt == std::string::npos ? "" : rest.substr(extraAt);
    std::string hierarchical = rest.substr(0, extraAt);
    if (special) {
        std::replace(hierarchical.begin(), hierarchical.end(), '\\', '/');
    }

    std::string out = scheme + ":";
    std::string path = hierarchical;
    const bool hasAuthority = hierarchical.rfind("//", 0) == 0;
    if (hasAuthority) {
        const auto pathAt = hierarchical.find('/', 2);
        std::string authority = hierarchical.substr(2, pathAt == std::string::npos ? std::string::npos
                                                                                   : pathAt - 2);
        path = pathAt == std::string::npos ? "" : hierarchical.substr(pathAt);
        // The host is what lies after the user information and before the
        // port; browsers compare it in lower case.
        const auto at = authority.rfind('@');
        const std::size_t hostAt = at == std::string::npos ? 0 : at + 1;
        std::size_t hostEnd = authority.size();
        if (hostAt < authority.size() && authority[hostAt] == '[') {
            const auto close = authority.find(']', hostAt);
            hostEnd = close == std::string::npos ? authority.size() : close + 1;
        } else if (const auto colon = authority.find(':', hostAt); colon != std::string::npos) {
            hostEnd = colon;
        }
        if (special && hostEnd == hostAt && scheme != "file") {
            return {ERROR_INTERNET_INVALID_URL, {}};
        }
        if (special) {
            std::transform(authority.begin() + static_cast<std::ptrdiff_t>(hostAt),
                           authority.begin() + static_cast<std::ptrdiff_t>(hostEnd),
                           authority.begin() + static_cast<std::ptrdiff_t>(hostAt), ToLower);
        }
        out += "//";
        AppendEncoded(out, authority, encode);
        if (special && path.empty()) {
            path = "/";
        }
    } else if (special && scheme != "file") {
        return {ERROR_INTERNET_INVALID_URL, {}};
    }
    if (special && (flags & ICU_NO_META) == 0) {
        path = RemoveDotSegments(path);
    }
    AppendEncoded(out, path, encode);
    AppendEncoded(out, extra, browser ? Encode::None : encode);
    return {ERROR_SUCCESS, std::move(out)};
}

// One component of InternetCrackUrlA, by the rules commented in wininet.h.
struct Piece {
    std::size_t offset = 0;
    std::size_t length = 0;
    bool present = false;
};

void EmitPiece(LPSTR& pointer, DWORD& length, const Piece& piece, LPCSTR url, bool decode,
               bool& tooSmall)
{
    if (length == 0) {
        return;  // not asked for
    }
    const std::string_view value(url + piece.offset, piece.length);
    if (pointer == nullptr) {
        pointer = piece.present && piece.length > 0 ? const_cast<LPSTR>(url + piece.offset) : nullptr;
        length = static_cast<DWORD>(piece.length);
        return;
    }
    const std::string text = decode ? PercentDecode(value) : std::string(value);
    if (text.size() >= length) {
        length = static_cast<DWORD>(text.size() + 1);
        tooSmall = true;
        return;
    }
    std::memcpy(pointer, text.data(), text.size());
    pointer[text.size()] = '\0';
    length = static_cast<DWORD>(text.size());
}

}  // namespace

BOOL InternetCanonicalizeUrlA(LPCSTR url, LPSTR buffer, LPDWORD bufferLength, DWORD flags)
{
    if (const auto code = TakeInjectedFailure(Call::InternetCanonicalizeUrl)) {
        return Fail(*code);
    }
    if (url == nullptr || bufferLength == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const Canonical result = Canonicalize(url, flags);
    if (result.error != ERROR_SUCCESS) {
        return Fail(result.error);
    }
    const std::size_t needed = result.text.size() + 1;
    if (buffer == nullptr || *bufferLength < needed) {
        *bufferLength = static_cast<DWORD>(needed);
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, result.text.c_str(), needed);
    *bufferLength = static_cast<DWORD>(result.text.size());
    return TRUE;
}

BOOL InternetCrackUrlA(LPCSTR url, DWORD urlLength, DWORD flags, LPURL_COMPONENTSA components)
{
    if (const auto code = TakeInjectedFailure(Call::InternetCrackUrl)) {
        return Fail(*code);
    }
    if (url == nullptr || components == nullptr ||
        components->dwStructSize != sizeof(URL_COMPONENTSA)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const std::string_view text =
        urlLength == 0 ? std::string_view(url) : std::string_view(url, strnlen(url, urlLength));
    const bool decode = (flags & (ICU_DECODE | ICU_ESCAPE)) != 0;
    if (decode) {
        // Decoded text cannot be pointed at inside the URL.
        const std::pair<LPSTR, DWORD> asked[] = {
            {components->lpszScheme, components->dwSchemeLength},
            {components->lpszHostName, components->dwHostNameLength},
            {components->lpszUserName, components->dwUserNameLength},
            {components->lpszPassword, components->dwPasswordLength},
            {components->lpszUrlPath, components->dwUrlPathLength},
            {components->lpszExtraInfo, components->dwExtraInfoLength},
        };
        for (const auto& [pointer, length] : asked) {
            if (pointer == nullptr && length != 0) {
                return Fail(ERROR_INVALID_PARAMETER);
            }
        }
    }

    const std::size_t schemeLength = SchemeLength(text);
    if (schemeLength == 0) {
        return Fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    }
    const auto known = KnownScheme(text.substr(0, schemeLength));
    if (!known) {
        return Fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    }
    Piece scheme{0, schemeLength, true};
    Piece user;
    Piece password;
    Piece host;
    INTERNET_PORT port = known->defaultPort;

    std::size_t pos = schemeLength + 1;
    const bool hasAuthority = text.substr(pos, 2) == "//";
    if (hasAuthority) {
        pos += 2;
        const auto end = text.find_first_of("/?#", pos);
        const std::size_t authorityEnd = end == std::string_view::npos ? text.size() : end;
        const std::string_view authority = text.substr(pos, authorityEnd - pos);
        std::size_t hostAt = 0;
        if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
            const std::string_view info = authority.substr(0, at);
            const auto colon = info.find(':');
            user = {pos, colon == std::string_view::npos ? info.size() : colon, true};
            if (colon != std::string_view::npos) {
                password = {pos + colon + 1, info.size() - colon - 1, true};
            }
            hostAt = at + 1;
        }
        std::size_t hostEnd = authority.size();
        std::size_t portAt = std::string_view::npos;
        if (hostAt < authority.size() && authority[hostAt] == '[') {
            const auto close = authority.find(']', hostAt);
            if (close == std::string_view::npos) {
                return Fail(ERROR_INTERNET_INVALID_URL);
            }
            hostEnd = close + 1;
            if (hostEnd < authority.size()) {
                if (authority[hostEnd] != ':') {
                    return Fail(ERROR_INTERNET_INVALID_URL);
                }
                portAt = hostEnd + 1;
            }
        } else if (const auto colon = authority.find(':', hostAt); colon != std::string_view::npos) {
            hostEnd = colon;
            portAt = colon + 1;
        }
        host = {pos + hostAt, hostEnd - hostAt, true};
        if (portAt != std::string_view::npos && portAt < authority.size()) {
            const std::string_view digits = authority.substr(portAt);
            unsigned long value = 0;
            for (const char c : digits) {
                if (!IsDigit(c) || value > 65535) {
                    return Fail(ERROR_INTERNET_INVALID_URL);
                }
                value = value * 10 + static_cast<unsigned long>(c - '0');
            }
            if (value > 65535) {
                return Fail(ERROR_INTERNET_INVALID_URL);
            }
            port = static_cast<INTERNET_PORT>(value);
        }
        pos = authorityEnd;
    }
    if (known->needsHost && (!hasAuthority || host.length == 0)) {
        return Fail(ERROR_INTERNET_INVALID_URL);
    }

    // The path runs to the end; "?query#fragment" goes to the extra
    // information only when the caller asks for that.
    const auto extraAt = text.find_first_of("?#", pos);
    Piece path{pos, text.size() - pos, true};
    Piece extra;
    if (components->dwExtraInfoLength != 0 && extraAt != std::string_view::npos) {
        path.length = extraAt - pos;
        extra = {extraAt, text.size() - extraAt, true};
    }

    components->nScheme = known->scheme;
    components->nPort = port;
    bool tooSmall = false;
    EmitPiece(components->lpszScheme, components->dwSchemeLength, scheme, url, decode, tooSmall);
    EmitPiece(components->lpszHostName, components->dwHostNameLength, host, url, decode, tooSmall);
    EmitPiece(components->lpszUserName, components->dwUserNameLength, user, url, decode, tooSmall);
    EmitPiece(components->lpszPassword, components->dwPasswordLength, password, url, decode,
              tooSmall);
    EmitPiece(components->lpszUrlPath, components->dwUrlPathLength, path, url, decode, tooSmall);
    EmitPiece(components->lpszExtraInfo, components->dwExtraInfoLength, extra, url, decode, tooSmall);
    return tooSmall ? Fail(ERROR_INSUFFICIENT_BUFFER) : TRUE;
}
