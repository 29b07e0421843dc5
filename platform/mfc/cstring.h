// The framework's counted text value: a narrow string in the ANSI code page
// that converts to a zero-terminated text. Positions and lengths are ints, as
// the framework's are; out-of-range arguments are clamped, never trusted.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32/win32.h"

class CString {
public:
    CString() = default;
    CString(LPCSTR text) : m_text(text != nullptr ? text : "") {}  // NOLINT(google-explicit-constructor)
    CString(LPCSTR text, int length);
    CString(char ch, int repeat = 1);  // NOLINT(google-explicit-constructor)

    [[nodiscard]] int GetLength() const noexcept { return static_cast<int>(m_text.size()); }
    [[nodiscard]] bool IsEmpty() const noexcept { return m_text.empty(); }
    void Empty() noexcept { m_text.clear(); }
    // Room for `length` characters without further allocation (the text
    // itself is unchanged); a negative length asks for nothing.
    void Preallocate(int length);

    // The text up to its end; a zero byte inside it ends it for C readers.
    [[nodiscard]] LPCSTR GetString() const noexcept { return m_text.c_str(); }
    operator LPCSTR() const noexcept { return m_text.c_str(); }  // NOLINT(google-explicit-constructor)
    [[nodiscard]] std::string_view View() const noexcept { return m_text; }

    // printf-style formatting into this text; any length.
    void Format(LPCSTR format, ...) __attribute__((format(printf, 2, 3)));

    // Index of the first occurrence at or after `start`, or -1. Case-sensitive.
    [[nodiscard]] int Find(LPCSTR sub, int start = 0) const noexcept;
    [[nodiscard]] int Find(char ch, int start = 0) const noexcept;

    [[nodiscard]] CString Mid(int first) const;
    [[nodiscard]] CString Mid(int first, int count) const;
    [[nodiscard]] CString Left(int count) const;
    [[nodiscard]] CString Right(int count) const;

    CString& operator=(LPCSTR text);
    CString& operator+=(LPCSTR text);
    CString& operator+=(const CString& text);
    CString& operator+=(char ch);

    friend CString operator+(const CString& a, const CString& b);
    friend CString operator+(const CString& a, LPCSTR b);
    friend CString operator+(LPCSTR a, const CString& b);
    friend bool operator==(const CString& a, const CString& b) noexcept { return a.m_text == b.m_text; }
    friend bool operator==(const CString& a, LPCSTR b) noexcept { return a.m_text == (b != nullptr ? b : ""); }

private:
    std::string m_text;
};
