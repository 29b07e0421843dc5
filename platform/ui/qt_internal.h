// Internals of the ui layer shared by its .cpp files. Includes Qt; nothing
// outside platform/ui includes it.
#pragma once

#include <QDialog>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/resources.h"
#include "platform/ui/user.h"

namespace dravenlok::ui {

class DialogWidget;

// What stands behind an HWND: a top-level dialog or one of its controls.
class Window {
public:
    Window();
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    QPointer<QWidget> widget;
    Window* parent = nullptr;             // the dialog of a control
    std::vector<std::unique_ptr<Window>> children;  // controls, in template order
    int id = 0;
    DWORD style = 0;
    WNDPROC procedure = nullptr;
    LONG_PTR userData = 0;
    bool isDialog = false;
    int baseUnitX = 0;                    // dialog font's base units (dialogs)
    int baseUnitY = 0;
    int defaultId = IDOK;                 // Enter when the focus is on no button
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    bool inPaintEvent = false;
    bool ending = false;
    INT_PTR result = 0;
    std::unique_ptr<DeviceContext> paintContext;
};

// A live handle (not yet destroyed), or null.
[[nodiscard]] Window* Live(HWND handle) noexcept;

// The running modal dialogs, innermost last.
[[nodiscard]] std::vector<Window*>& RunningDialogs();

// Brings up a QApplication when none exists yet (kept to process end).
void EnsureApplication();

// The dialog's Qt widget.
class DialogWidget final : public QDialog {
public:
    explicit DialogWidget(Window& window);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void reject() override;

private:
    Window& m_window;
};

class Icon {
public:
    std::vector<QImage> images;  // one per image of the group, valid ones only

    // The image closest to `size` pixels square.
    [[nodiscard]] const QImage& Best(int size) const;
};

class DeviceContext {
public:
    Window* window = nullptr;
    QImage offscreen;  // used while the window is minimized
    std::unique_ptr<QPainter> painter;
};

// The window icon made of both icons' images.
void ApplyWindowIcon(Window& window);

// Decoded image of 16-colour icon data; null when the data is malformed.
[[nodiscard]] QImage DecodeIconImage(const IconImage& image);

// Makes `owner` the window-system owner of `window` (it stays on top of the
// owner, and leaves the task bar to it).
void SetTransientOwner(QWidget& window, Window* owner);

// Test seam state.
[[nodiscard]] bool RecordingDrawnIcons() noexcept;
void RecordDrawnIcon(HWND window, int x, int y, HICON icon);

}  // namespace dravenlok::ui
