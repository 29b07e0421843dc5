// Code-page-aware byte tests of the C run time, on the C library's locale
// (mblen). In UTF-8 and every single-byte code page no ASCII byte is ever
// part of a multibyte character, so ':' and '/' compare as plain bytes there.
#pragma once

#include <cstddef>

namespace dravenlok::win32 {

// Length in bytes of the character that starts at text[0], never more than
// `available` (at least 1; a byte that starts no valid character counts as one).
[[nodiscard]] std::size_t CharLength(const char* text, std::size_t available) noexcept;

// Whether text[pos] is the byte `c` standing alone as a character, scanning
// from the start of `text` (length `length`) so that trail bytes never match.
// A position at or beyond `length` never matches.
[[nodiscard]] bool IsCharAt(const char* text, std::size_t length, std::size_t pos, char c) noexcept;

// Copies at most `count` bytes of text[first...] into `out` (capacity
// `outSize`, at least 1) and zero-terminates it; the copy never ends inside a
// character and never writes more than outSize bytes. Returns the bytes copied.
std::size_t CopyChars(char* out, std::size_t outSize, const char* text, std::size_t first,
                      std::size_t count) noexcept;

}  // namespace dravenlok::win32
