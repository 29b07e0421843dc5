#include "platform/win32/mbcs.h"

#include <langinfo.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace dravenlok::win32 {

namespace {

// Length of the character at text[0] when it is complete within `available`
// bytes; 0 when only its beginning lies there (it goes on past `available`);
// 1 for a byte that starts no valid character and for a zero byte.
std::size_t CompleteCharLength(const char* text, std::size_t available) noexcept
{
    if (MB_CUR_MAX == 1) {
        return 1;  // single-byte code page: every byte is a character
    }
    std::mbstate_t state{};
    const std::size_t length = std::mbrlen(text, available, &state);
    if (length == static_cast<std::size_t>(-2)) {
        return 0;
    }
    if (length == static_cast<std::size_t>(-1) || length == 0) {
        return 1;
    }
    return length;
}

bool IsUtf8() noexcept
{
    return std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
}

}  // namespace

std::size_t CharLength(const char* text, std::size_t available) noexcept
{
    if (available == 0) {
        return 0;
    }
    // A character cut short by the end of the text counts as one stray byte.
    const std::size_t length = CompleteCharLength(text, available);
    return length == 0 ? 1 : length;
}

bool IsCharAt(const char* text, std::size_t length, std::size_t pos, char c) noexcept
{
    if (pos >= length || text[pos] != c) {
        return false;
    }
    // In a single-byte code page every byte stands alone; in UTF-8 so does
    // every ASCII byte (RFC 3629 section 3), which spares the walk below.
    if (MB_CUR_MAX == 1 || (static_cast<unsigned char>(c) < 0x80 && IsUtf8())) {
        return true;
    }
    // Walk the characters from the start: pos must begin one, and it must be
    // a single byte, not the lead byte of a longer character.
    std::size_t at = 0;
    while (at < pos) {
        at += CharLength(text + at, length - at);
    }
    return at == pos && CharLength(text + pos, length - pos) == 1;
}

std::size_t CopyChars(char* out, std::size_t outSize, const char* text, std::size_t first,
                      std::size_t count) noexcept
{
    if (outSize == 0) {
        return 0;
    }
    const std::size_t limit = std::min(count, outSize - 1);
    const char* const from = text + first;
    std::size_t copied = 0;
    if (MB_CUR_MAX == 1) {
        copied = limit;
    } else {
        // Take whole characters only: one that does not end within the limit
        // is left out, so the copy never ends inside a character.
        while (copied < limit) {
            const std::size_t length = CompleteCharLength(from + copied, limit - copied);
            if (length == 0) {
                break;
            }
            copied += length;
        }
    }
    std::memcpy(out, from, copied);
    out[copied] = '\0';
    return copied;
}

}  // namespace dravenlok::win32
