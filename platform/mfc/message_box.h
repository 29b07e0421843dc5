// The framework's message box: one call shows a text modally, with the
// application title as caption, through the ui layer's presenter.
#pragma once

#include "platform/ui/user.h"
#include "platform/win32/win32.h"

inline constexpr UINT MB_OK = 0x00000000;
inline constexpr UINT MB_ICONHAND = 0x00000010;
inline constexpr UINT MB_ICONQUESTION = 0x00000020;
inline constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
inline constexpr UINT MB_ICONASTERISK = 0x00000040;
inline constexpr UINT MB_ICONMASK = 0x000000F0;

// Shows `text` unchanged (plain text, any length). Without an icon in `type`
// the box gets the exclamation icon, as the framework does. Answers the id of
// the button that closed it.
int AfxMessageBox(LPCSTR text, UINT type = MB_OK, UINT helpId = 0);

namespace dravenlok::mfc {
// The application title: the running executable's file name without its
// extension, read from /proc/self/exe once.
[[nodiscard]] const char* ApplicationTitle();
}  // namespace dravenlok::mfc
