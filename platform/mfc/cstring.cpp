#include "platform/mfc/cstring.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

std::size_t Clamp(int value, std::size_t upper) noexcept
{
    if (value < 0) {
        return 0;
    }
    return std::min(static_cast<std::size_t>(value), upper);
}

}  // namespace

CString::CString(LPCSTR text, int length)
{
    if (text != nullptr && length > 0) {
        m_text.assign(text, static_cast<std::size_t>(length));
    }
}

CString::CString(char ch, int repeat)
{
    if (repeat > 0) {
        m_text.assign(static_cast<std::size_t>(repeat), ch);
    }
}

void CString::Preallocate(int length)
{
    if (length > 0) {
        m_text.reserve(static_cast<std::size_t>(length));
    }
}

void CString::Format(LPCSTR format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (needed < 0) {
        va_end(again);
        m_text.clear();
        return;
    }
    std::string out(static_cast<std::size_t>(needed) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), format, again);
    va_end(again);
    out.resize(static_cast<std::size_t>(needed));
    m_text = std::move(out);
}

int CString::Find(LPCSTR sub, int start) const noexcept
{
    if (sub == nullptr || start < 0 || static_cast<std::size_t>(start) > m_text.size()) {
        return -1;
    }
    const auto at = m_text.find(sub, static_cast<std::size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Find(char ch, int start) const noexcept
{
    if (start < 0 || static_cast<std::size_t>(start) > m_text.size()) {
        return -1;
    }
    const auto at = m_text.find(ch, static_cast<std::size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

CString CString::Mid(int first) const
{
    const std::size_t from = Clamp(first, m_text.size());
    CString out;
    out.m_text = m_text.substr(from);
    return out;
}

CString CString::Mid(int first, int count) const
{
    const std::size_t from = Clamp(first, m_text.size());
    const std::size_t n = Clamp(count, m_text.size() - from);
    CString out;
    out.m_text = m_text.substr(from, n);
    return out;
}

CString CString::Left(int count) const
{
    CString out;
    out.m_text = m_text.substr(0, Clamp(count, m_text.size()));
    return out;
}

CString CString::Right(int count) const
{
    const std::size_t n = Clamp(count, m_text.size());
    CString out;
    out.m_text = m_text.substr(m_text.size() - n);
    return out;
}

CString& CString::operator=(LPCSTR text)
{
    m_text = text != nullptr ? text : "";
    return *this;
}

CString& CString::operator+=(LPCSTR text)
{
    if (text != nullptr) {
        m_text += text;
    }
    return *this;
}

CString& CString::operator+=(const CString& text)
{
    m_text += text.m_text;
    return *this;
}

CString& CString::operator+=(char ch)
{
    m_text += ch;
    return *this;
}

CString operator+(const CString& a, const CString& b)
{
    CString out(a);
    out += b;
    return out;
}

CString operator+(const CString& a, LPCSTR b)
{
    CString out(a);
    out += b;
    return out;
}

CString operator+(LPCSTR a, const CString& b)
{
    CString out(a);
    out += b;
    return out;
}
