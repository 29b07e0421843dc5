// Seams of the ui layer for tests: drive a running modal dialog the way a
// user would, and look at what minimized painting drew. Product code never
// calls them.
#pragma once

#include <functional>
#include <vector>

#include "platform/ui/user.h"

namespace dravenlok::ui::testing {

// Runs `action` once, as soon as the next modal loop (a dialog or a message
// box) is running. Several actions run in the order given.
void WhenModal(std::function<void()> action);

// A key press and release (VK_TAB, VK_RETURN, VK_ESCAPE, VK_SPACE) to the
// control that has the focus in `dialog`, or to the dialog itself.
void PressKey(HWND dialog, int virtualKey);

// The close box of the window's title bar.
void ClickCloseBox(HWND window);

// Resizes the client area (a fixed-size dialog included).
void SetClientSize(HWND window, int width, int height);

struct DrawnIcon {
    HWND window;
    int x;
    int y;
    HICON icon;
};
// While on, DrawIcon records each call (cleared when switched on).
void RecordDrawnIcons(bool on);
[[nodiscard]] std::vector<DrawnIcon> DrawnIcons();

}  // namespace dravenlok::ui::testing
