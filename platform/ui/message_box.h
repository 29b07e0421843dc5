// Every message box of the program goes through one replaceable presenter:
// the Qt presenter on screen, a recorder in tests (tests never open a real
// modal box).
#pragma once

#include <string_view>

namespace dravenlok::ui {

// Style bits of a box, as the framework passes them (MB_* values).
inline constexpr unsigned kBoxOk = 0x0000;
inline constexpr unsigned kBoxIconWarning = 0x0030;

struct MessageBoxRequest {
    std::string_view text;     // shown as plain text, never as markup
    std::string_view caption;  // the application title
    unsigned style = kBoxOk;
};

class MessageBoxPresenter {
public:
    MessageBoxPresenter() = default;
    MessageBoxPresenter(const MessageBoxPresenter&) = delete;
    MessageBoxPresenter& operator=(const MessageBoxPresenter&) = delete;
    virtual ~MessageBoxPresenter() = default;

    // Shows the box modally and answers the id of the button that closed it
    // (IDOK, 1).
    virtual int Present(const MessageBoxRequest& request) = 0;
};

// The presenter in use: the one installed last, or the Qt presenter.
[[nodiscard]] MessageBoxPresenter& ActivePresenter();

// Installs `presenter` (null: back to the Qt presenter) and answers the one
// it replaces, so a scope can restore it.
MessageBoxPresenter* SetPresenter(MessageBoxPresenter* presenter);

}  // namespace dravenlok::ui
