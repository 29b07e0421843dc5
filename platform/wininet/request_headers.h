// A request's own header list: what HttpOpenRequestA makes from its
// arguments and what HttpAddRequestHeadersA and the send calls add to it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/win32.h"

namespace dravenlok::wininet {

struct HeaderField {
    std::string name;
    std::string value;
};

// A field name is an RFC 7230 token (§3.2.6).
[[nodiscard]] bool IsToken(std::string_view text) noexcept;

// Splits header text into fields. Any CR or LF ends a line (so no line can
// smuggle another one in); empty lines are skipped; the text ends at its
// first zero byte. nullopt when a line is not "name: value" with a token as
// name and no control characters in the value.
[[nodiscard]] std::optional<std::vector<HeaderField>> ParseHeaderLines(std::string_view text);

class RequestHeaders {
public:
    enum class Mode {
        Add,       // append, even when the name is there already
        AddIfNew,  // append; fail with ERROR_HTTP_HEADER_ALREADY_EXISTS when the name is there
        Replace,   // set the first field of that name (drop the others), or add it;
                   // an empty value removes every field of that name
    };

    // Applies every line of `text`. Malformed text changes nothing and gives
    // ERROR_HTTP_INVALID_HEADER; otherwise each line is applied on its own
    // and the result is the code of the last line that failed, or 0.
    [[nodiscard]] DWORD Apply(std::string_view text, Mode mode);
    void Put(const HeaderField& field, Mode mode);

    [[nodiscard]] bool Has(std::string_view name) const noexcept;
    [[nodiscard]] const HeaderField* Find(std::string_view name) const noexcept;
    [[nodiscard]] const std::vector<HeaderField>& Fields() const noexcept { return m_fields; }

private:
    std::vector<HeaderField> m_fields;
};

// Case-insensitive ASCII comparison, as header names compare (RFC 7230 §3.2).
[[nodiscard]] bool EqualsIgnoreCase(std::string_view a, std::string_view b) noexcept;

}  // namespace dravenlok::wininet
