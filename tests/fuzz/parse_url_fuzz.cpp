// The framework's URL parser and the two URL calls of the internet layer
// under it, over any text. The first byte picks the canonicalization flags
// and the crack flags, the second the sizes of the caller's buffers (small
// ones exercise the "buffer too small" answers), so the length rules of both
// calls are checked against buffers exactly as large as the caller says.
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mfc/internet.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

using dravenlok::fuzz::Require;

constexpr DWORD kCanonicalFlags[] = {
    ICU_BROWSER_MODE, 0, ICU_DECODE, ICU_NO_ENCODE, ICU_ENCODE_SPACES_ONLY, ICU_NO_META,
    ICU_DECODE | ICU_NO_ENCODE, ICU_BROWSER_MODE | ICU_NO_META,
};

void CheckCanonicalize(const char* url, DWORD flags, DWORD bufferSize)
{
    std::vector<char> buffer(bufferSize);
    DWORD length = bufferSize;
    if (InternetCanonicalizeUrlA(url, buffer.empty() ? nullptr : buffer.data(), &length, flags)) {
        Require(length < bufferSize, "canonical length beyond the buffer");
        Require(std::strlen(buffer.data()) == length, "canonical length does not match its text");
    } else if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        Require(length > bufferSize, "asked for no more than it had");
        // With the size asked for it must fit.
        std::vector<char> grown(length);
        DWORD again = length;
        Require(InternetCanonicalizeUrlA(url, grown.data(), &again, flags) != FALSE,
                "the size asked for was not enough");
        Require(again + 1 == length, "the size asked for is not the text's");
    }
}

// One component either copied into a buffer of `size` bytes or pointed at
// inside the URL.
struct Component {
    std::vector<char> buffer;
    LPSTR pointer = nullptr;
    DWORD length = 0;
};

void Prepare(Component& c, DWORD size, bool pointInto)
{
    if (pointInto) {
        c.length = 1;  // any non-zero length asks for a pointer into the URL
        return;
    }
    c.buffer.assign(size, '\x55');
    c.pointer = size != 0 ? c.buffer.data() : nullptr;
    c.length = size;
}

void CheckComponent(const Component& c, const std::string& url, bool pointInto, const char* what)
{
    if (pointInto) {
        if (c.pointer != nullptr) {
            const char* begin = url.c_str();
            Require(c.pointer >= begin && c.pointer + c.length <= begin + url.size(), what);
        }
        return;
    }
    if (c.buffer.empty()) {
        return;
    }
    Require(c.length < c.buffer.size() && c.buffer[c.length] == '\0', what);
}

void CheckCrack(const std::string& url, DWORD flags, DWORD size, bool pointInto, DWORD urlLength)
{
    Component scheme;
    Component host;
    Component user;
    Component password;
    Component path;
    Component extra;
    for (Component* c : {&scheme, &host, &user, &password, &path, &extra}) {
        Prepare(*c, size, pointInto);
    }
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszScheme = scheme.pointer;
    parts.dwSchemeLength = scheme.length;
    parts.lpszHostName = host.pointer;
    parts.dwHostNameLength = host.length;
    parts.lpszUserName = user.pointer;
    parts.dwUserNameLength = user.length;
    parts.lpszPassword = password.pointer;
    parts.dwPasswordLength = password.length;
    parts.lpszUrlPath = path.pointer;
    parts.dwUrlPathLength = path.length;
    parts.lpszExtraInfo = extra.pointer;
    parts.dwExtraInfoLength = extra.length;
    if (!InternetCrackUrlA(url.c_str(), urlLength, flags, &parts)) {
        return;
    }
    scheme.pointer = parts.lpszScheme;
    scheme.length = parts.dwSchemeLength;
    host.pointer = parts.lpszHostName;
    host.length = parts.dwHostNameLength;
    user.pointer = parts.lpszUserName;
    user.length = parts.dwUserNameLength;
    password.pointer = parts.lpszPassword;
    password.length = parts.dwPasswordLength;
    path.pointer = parts.lpszUrlPath;
    path.length = parts.dwUrlPathLength;
    extra.pointer = parts.lpszExtraInfo;
    extra.length = parts.dwExtraInfoLength;
    CheckComponent(scheme, url, pointInto, "scheme component");
    CheckComponent(host, url, pointInto, "host component");
    CheckComponent(user, url, pointInto, "user component");
    CheckComponent(password, url, pointInto, "password component");
    CheckComponent(path, url, pointInto, "path component");
    CheckComponent(extra, url, pointInto, "extra component");
}

int FuzzParseUrl(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    const std::uint8_t choice = data[0];
    const std::uint8_t sizing = data[1];
    std::string url(reinterpret_cast<const char*>(data + 2), size - 2);
    url.resize(std::strlen(url.c_str()));

    DWORD service = 0;
    CString server;
    CString object;
    INTERNET_PORT port = 0;
    if (AfxParseURL(url.c_str(), service, server, object, port)) {
        Require(object.GetLength() > 0, "empty object path");
        Require(std::string_view(object.GetString()).find('#') == std::string_view::npos,
                "object path keeps the fragment");
    }

    // Small buffers for half the inputs, room for everything for the rest.
    const DWORD bufferSize = (sizing & 0x80) != 0 ? sizing & 0x3F : INTERNET_MAX_URL_LENGTH;
    CheckCanonicalize(url.c_str(), kCanonicalFlags[choice % std::size(kCanonicalFlags)], bufferSize);

    const DWORD crackFlags = (choice & 0x10) != 0 ? ICU_DECODE : (choice & 0x20) != 0 ? ICU_ESCAPE : 0;
    const bool pointInto = (choice & 0x40) != 0 && crackFlags == 0;
    // A length of 0 means "zero-terminated"; otherwise the URL is cut at it.
    const DWORD urlLength = (choice & 0x80) != 0 ? static_cast<DWORD>(url.size() / 2) : 0;
    CheckCrack(url, crackFlags, bufferSize, pointInto, urlLength);
    return 0;
}

}  // namespace

DRAVENLOK_FUZZ_TARGET("parse_url", FuzzParseUrl)
