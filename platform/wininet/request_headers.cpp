#include "platform/wininet/request_headers.h"

#include <algorithm>

namespace dravenlok::wininet {
namespace {

constexpr char ToLower(char c) noexcept
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool IsTokenChar(unsigned char c) noexcept
{
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
        return true;
    }
    switch (c) {
    case '!': case '#': case '$': case '%': case '&': case '\'': case '*': case '+':
    case '-': case '.': case '^': case '_': case '`': case '|': case '~':
        return true;
    default:
        return false;
    }
}

std::string_view TrimBlanks(std::string_view text) noexcept
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<HeaderField> ParseLine(std::string_view line)
{
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = TrimBlanks(line.substr(colon + 1));
    if (!IsToken(name)) {
        return std::nullopt;
    }
    // Field values may hold visible bytes, blanks and obs-text (>= 0x80),
    // never other control characters (RFC 7230 §3.2).
    const bool clean = std::all_of(value.begin(), value.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u == '\t' || (u >= 0x20 && u != 0x7F);
    });
    if (!clean) {
        return std::nullopt;
    }
    return HeaderField{std::string(name), std::string(value)};
}

}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) noexcept
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char x, char y) { return ToLower(x) == ToLower(y); });
}

bool IsToken(std::string_view text) noexcept
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return IsTokenChar(static_cast<unsigned char>(c));
    });
}

std::optional<std::vector<HeaderField>> ParseHeaderLines(std::string_view text)
{
    if (const auto zero = text.find('\0'); zero != std::string_view::npos) {
        text = text.substr(0, zero);
    }
    std::vector<HeaderField> fields;
    while (!text.empty()) {
        const auto end = text.find_first_of("\r\n");
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty()) {
            continue;
        }
        auto field = ParseLine(line);
        if (!field) {
            return std::nullopt;
        }
        fields.push_back(std::move(*field));
    }
    return fields;
}

DWORD RequestHeaders::Apply(std::string_view text, Mode mode)
{
    auto fields = ParseHeaderLines(text);
    if (!fields || fields->empty()) {
        return ERROR_HTTP_INVALID_HEADER;
    }
    DWORD result = ERROR_SUCCESS;
    for (const HeaderField& field : *fields) {
        if (mode == Mode::AddIfNew && Has(field.name)) {
            result = ERROR_HTTP_HEADER_ALREADY_EXISTS;
            continue;
        }
        Put(field, mode);
    }
    return result;
}

void RequestHeaders::Put(const HeaderField& field, Mode mode)
{
    if (mode != Mode::Replace) {
        if (mode == Mode::Add || !Has(field.name)) {
            m_fields.push_back(field);
        }
        return;
    }
    auto same = [&field](const HeaderField& f) { return EqualsIgnoreCase(f.name, field.name); };
    auto first = std::find_if(m_fields.begin(), m_fields.end(), same);
    if (field.value.empty()) {
        m_fields.erase(std::remove_if(m_fields.begin(), m_fields.end(), same), m_fields.end());
        return;
    }
    if (first == m_fields.end()) {
        m_fields.push_back(field);
        return;
    }
    first->value = field.value;
    m_fields.erase(std::remove_if(std::next(first), m_fields.end(), same), m_fields.end());
}

bool RequestHeaders::Has(std::string_view name) const noexcept
{
    return Find(name) != nullptr;
}

const HeaderField* RequestHeaders::Find(std::string_view name) const noexcept
{
    const auto it = std::find_if(m_fields.begin(), m_fields.end(),
                                 [name](const HeaderField& f) { return EqualsIgnoreCase(f.name, name); });
    return it == m_fields.end() ? nullptr : &*it;
}

}  // namespace dravenlok::wininet
