// The user-interface services of the Windows API as the framework uses them:
// window handles, messages, dialogs made from templates, icons and painting.
// Implemented on Qt 6 Widgets (this folder is the only place that includes
// Qt); nothing here names a Qt type.
//
// Every dialog runs modally on the one user-interface thread. Its window
// procedure receives the messages the system would send: WM_INITDIALOG once
// its controls exist, WM_COMMAND/BN_CLICKED when a button is clicked (by the
// mouse, by Space, or by Enter on the focused button), WM_COMMAND/IDCANCEL on
// Escape, WM_CLOSE from the close box, WM_PAINT when it repaints. What the
// procedure does not handle it passes to DefDlgProcA.
#pragma once

#include "platform/win32/win32.h"

namespace dravenlok::ui {
class Window;
class Icon;
class DeviceContext;
struct ResourceModule;
}  // namespace dravenlok::ui

// ---- Handles -----------------------------------------------------------------------
using HWND = dravenlok::ui::Window*;
using HICON = dravenlok::ui::Icon*;
using HCURSOR = HICON;  // the minimized window's drag image is its icon
using HDC = dravenlok::ui::DeviceContext*;
using HINSTANCE = const dravenlok::ui::ResourceModule*;  // the module that holds the resources

struct POINT {
    LONG x;
    LONG y;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using LPRECT = RECT*;

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
};

// ---- Messages --------------------------------------------------------------------------
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_ICONERASEBKGND = 0x0027;
inline constexpr UINT WM_QUERYDRAGICON = 0x0037;
inline constexpr UINT WM_GETICON = 0x007F;
inline constexpr UINT WM_SETICON = 0x0080;
inline constexpr UINT WM_INITDIALOG = 0x0110;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT BM_CLICK = 0x00F5;  // to a button: click it as the mouse would

inline constexpr WPARAM ICON_SMALL = 0;
inline constexpr WPARAM ICON_BIG = 1;

// Notification codes of WM_COMMAND (HIWORD of wParam).
inline constexpr UINT BN_CLICKED = 0;

[[nodiscard]] constexpr WORD LOWORD(WPARAM value) noexcept { return static_cast<WORD>(value & 0xFFFF); }
[[nodiscard]] constexpr WORD HIWORD(WPARAM value) noexcept { return static_cast<WORD>((value >> 16) & 0xFFFF); }
[[nodiscard]] constexpr WPARAM MAKEWPARAM(WORD low, WORD high) noexcept
{
    return static_cast<WPARAM>(low) | (static_cast<WPARAM>(high) << 16);
}

// ---- Styles ---------------------------------------------------------------------------
inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_MINIMIZE = 0x20000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_DISABLED = 0x08000000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_SYSMENU = 0x00080000;
inline constexpr DWORD WS_THICKFRAME = 0x00040000;
inline constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
inline constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
inline constexpr DWORD WS_TABSTOP = 0x00010000;  // on controls the same bit means "tab stop"
inline constexpr DWORD WS_EX_APPWINDOW = 0x00040000;

inline constexpr DWORD DS_ABSALIGN = 0x0001;
inline constexpr DWORD DS_SETFONT = 0x0040;
inline constexpr DWORD DS_MODALFRAME = 0x0080;
inline constexpr DWORD DS_CENTER = 0x0800;
inline constexpr DWORD DS_CENTERMOUSE = 0x1000;

inline constexpr DWORD BS_PUSHBUTTON = 0x0000;
inline constexpr DWORD BS_DEFPUSHBUTTON = 0x0001;
inline constexpr DWORD BS_TYPEMASK = 0x000F;

// ---- Virtual keys (for the ui layer's test seams) ---------------------------------
inline constexpr int VK_TAB = 0x09;
inline constexpr int VK_RETURN = 0x0D;
inline constexpr int VK_ESCAPE = 0x1B;
inline constexpr int VK_SPACE = 0x20;

// ---- Command ids of the standard buttons -------------------------------------------
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// ---- Window procedures ------------------------------------------------------------------
// A window procedure never lets an exception out: the event loop below it
// cannot carry one.
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM) noexcept;

// Creates a dialog from `dialogTemplate` (a DialogTemplate of resources.h),
// owned by `owner` (disabled while the dialog runs), with `procedure` as its
// window procedure and `userData` as its GWLP_USERDATA value, both set before
// the first message. Sends WM_INITDIALOG (lParam = userData); a nonzero
// answer puts the focus on the first tab stop. Shows the dialog centred on the
// screen and runs it until EndDialog. Answers EndDialog's result, or -1 when
// the dialog cannot be created (no template, no display).
INT_PTR DialogBoxIndirectParamA(HINSTANCE instance, const void* dialogTemplate, HWND owner,
                                WNDPROC procedure, LPARAM userData);
// Ends the modal loop of `dialog` with `result` once the current message has
// been handled. FALSE for a handle that is not a running dialog.
BOOL EndDialog(HWND dialog, INT_PTR result);

// Calls the window's procedure at once and answers its result; 0 for a null
// or unknown handle.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The default handling: WM_SETICON/WM_GETICON keep and answer the window's
// icons, WM_ICONERASEBKGND fills the device context with the window's
// background, WM_CLOSE sends WM_COMMAND/IDCANCEL (dialogs), everything else
// answers 0.
LRESULT DefDlgProcA(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

inline constexpr int GWLP_USERDATA = -21;
LONG_PTR GetWindowLongPtrA(HWND window, int index);

// ---- Windows and controls -----------------------------------------------------------
[[nodiscard]] HWND GetDlgItem(HWND dialog, int id);
[[nodiscard]] int GetDlgCtrlID(HWND control);
// The control that has the keyboard focus in the running dialog, or null.
[[nodiscard]] HWND GetFocus();
// The next (or previous) tab stop after `control` in `dialog`, wrapping round.
[[nodiscard]] HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous);
// The client area: left and top are 0.
BOOL GetClientRect(HWND window, LPRECT rect);
// The client area in screen coordinates.
BOOL GetWindowRect(HWND window, LPRECT rect);
// The window's text, truncated to maxCount - 1 characters and terminated;
// answers its length.
int GetWindowTextA(HWND window, LPSTR text, int maxCount);
BOOL EnableWindow(HWND window, BOOL enable);
[[nodiscard]] BOOL IsWindowEnabled(HWND window);
[[nodiscard]] BOOL IsIconic(HWND window);

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_RESTORE = 9;
BOOL ShowWindow(HWND window, int command);

// Dialog units to pixels with the base units of the dialog's font.
BOOL MapDialogRect(HWND dialog, LPRECT rect);

// ---- Icons, metrics, painting ---------------------------------------------------------
// The icon group `id` of `instance`: a shared icon that lives as long as the
// process and is never destroyed. Null when there is no such group.
[[nodiscard]] HICON LoadIconA(HINSTANCE instance, int id);
inline constexpr int SM_CXICON = 11;
inline constexpr int SM_CYICON = 12;
inline constexpr int SM_CXSMICON = 49;
inline constexpr int SM_CYSMICON = 50;
[[nodiscard]] int GetSystemMetrics(int index);

// A device context for the window's client area. While the window shows on
// screen it paints the window; while it is minimized (no window system here
// shows a minimized window's client area) it paints an off-screen picture of
// the client area.
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
// Draws the icon's image of the system icon size with its top-left corner at
// x, y (which may lie outside the area).
BOOL DrawIcon(HDC dc, int x, int y, HICON icon);
