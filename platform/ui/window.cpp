// Dialogs from templates, their controls and window messages, on Qt Widgets.
#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "platform/ui/application.h"
#include "platform/ui/qt_internal.h"

namespace dravenlok::ui {

namespace {

std::unordered_set<const Window*>& LiveWindows()
{
    static std::unordered_set<const Window*> live;
    return live;
}

// Rounds value * numerator / denominator half away from zero, in 64 bits.
int MulDiv(int value, int numerator, int denominator) noexcept
{
    if (denominator == 0) {
        return -1;
    }
    long long product = static_cast<long long>(value) * numerator;
    long long divisor = denominator;
    if (divisor < 0) {
        divisor = -divisor;
        product = -product;
    }
    const long long half = divisor / 2;
    return static_cast<int>((product >= 0 ? product + half : product - half) / divisor);
}

QString FromAnsi(std::string_view text)
{
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

// The template's font. A typeface the system lacks ("MS Sans Serif" on
// Linux) falls back to the system's general sans font; the size follows the
// Windows rule (points at the screen's logical dots per inch, rounded to
// whole pixels) so the base units come out as whole pixels.
QFont TemplateFont(const DialogTemplate& dialog)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    const QString family = FromAnsi(dialog.typeface);
    if (!family.isEmpty() && QFontDatabase::families().contains(family, Qt::CaseInsensitive)) {
        font.setFamily(family);
    }
    if ((dialog.style & DS_SETFONT) != 0 && dialog.pointSize > 0) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const int dpi = screen != nullptr ? static_cast<int>(screen->logicalDotsPerInchY() + 0.5) : 96;
        font.setPixelSize(std::max(1, MulDiv(dialog.pointSize, dpi, 72)));
    }
    if (dialog.weight != 0) {
        font.setWeight(static_cast<QFont::Weight>(std::clamp<int>(dialog.weight, 1, 1000)));
    }
    font.setItalic(dialog.italic);
    return font;
}

// The dialog manager's base units of a font: the average width of the 52
// letters, rounded, and the font's height.
void BaseUnits(const QFont& font, int& x, int& y)
{
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    x = std::max(1, (width / 26 + 1) / 2);
    y = std::max(1, metrics.height());
}

bool IsPushButton(const DialogItem& item)
{
    if (QString::compare(FromAnsi(item.windowClass), QStringLiteral("BUTTON"), Qt::CaseInsensitive) != 0) {
        return false;
    }
    const DWORD type = item.style & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

Qt::WindowFlags TopLevelFlags(const DialogTemplate& dialog)
{
    // A window of its own (not a transient dialog type) gets its own
    // task-bar entry, as WS_EX_APPWINDOW asks.
    Qt::WindowFlags flags = (dialog.exStyle & WS_EX_APPWINDOW) != 0 ? Qt::Window : Qt::Dialog;
    flags |= Qt::CustomizeWindowHint;
    if ((dialog.style & WS_CAPTION) == WS_CAPTION) {
        flags |= Qt::WindowTitleHint;
    }
    if ((dialog.style & WS_SYSMENU) != 0) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if ((dialog.style & WS_MINIMIZEBOX) != 0) {
            flags |= Qt::WindowMinimizeButtonHint;
        }
        if ((dialog.style & WS_MAXIMIZEBOX) != 0) {
            flags |= Qt::WindowMaximizeButtonHint;
        }
    }
    return flags;
}

LRESULT Dispatch(Window& window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (window.procedure != nullptr) {
        return window.procedure(&window, message, wParam, lParam);
    }
    return window.isDialog ? DefDlgProcA(&window, message, wParam, lParam)
                           : DefWindowProcA(&window, message, wParam, lParam);
}

void SendCommand(Window& dialog, int id, UINT code, HWND control)
{
    SendMessageA(&dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), static_cast<WORD>(code)),
                 reinterpret_cast<LPARAM>(control));
}

std::unique_ptr<Window> CreateDialogWindow(const DialogTemplate& dialog, WNDPROC procedure, LPARAM userData)
{
    auto window = std::make_unique<Window>();
    window->isDialog = true;
    window->id = dialog.id;
    window->style = dialog.style;
    window->procedure = procedure;
    window->userData = userData;

    auto* widget = new DialogWidget(*window);
    window->widget = widget;
    widget->setWindowFlags(TopLevelFlags(dialog));
    widget->setWindowTitle(FromAnsi(dialog.caption));
    const QFont font = TemplateFont(dialog);
    widget->setFont(font);
    BaseUnits(font, window->baseUnitX, window->baseUnitY);
    const int bx = window->baseUnitX;
    const int by = window->baseUnitY;
    widget->setFixedSize(MulDiv(dialog.cx, bx, 4), MulDiv(dialog.cy, by, 8));

    QWidget* previousStop = nullptr;
    for (const DialogItem& item : dialog.items) {
        if (!IsPushButton(item)) {
            return nullptr;  // only push buttons are built; a template with others cannot be created
        }
        auto control = std::make_unique<Window>();
        control->parent = window.get();
        control->id = item.id;
        control->style = item.style;
        auto* button = new QPushButton(FromAnsi(item.text), widget);
        control->widget = button;
        // No button is a default button on its own: Enter clicks the focused
        // button (DialogWidget::keyPressEvent), never another one.
        button->setAutoDefault(false);
        button->setDefault(false);
        if ((item.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
            window->defaultId = item.id;
        }
        button->setGeometry(MulDiv(item.x, bx, 4), MulDiv(item.y, by, 8), MulDiv(item.cx, bx, 4),
                            MulDiv(item.cy, by, 8));
        button->setFocusPolicy((item.style & WS_TABSTOP) != 0 ? Qt::StrongFocus : Qt::ClickFocus);
        button->setEnabled((item.style & WS_DISABLED) == 0);
        button->setVisible((item.style & WS_VISIBLE) != 0);
        if ((item.style & WS_TABSTOP) != 0) {
            if (previousStop != nullptr) {
                QWidget::setTabOrder(previousStop, button);
            }
            previousStop = button;
        }
        Window* dialogWindow = window.get();
        Window* controlWindow = control.get();
        const int id = item.id;
        QObject::connect(button, &QPushButton::clicked, widget, [dialogWindow, controlWindow, id] {
            SendCommand(*dialogWindow, id, BN_CLICKED, controlWindow);
        });
        window->children.push_back(std::move(control));
    }
    return window;
}

void PlaceOnScreen(const DialogTemplate& dialog, Window& window)
{
    QWidget& widget = *window.widget;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->availableGeometry();
    if (dialog.x == 0 && dialog.y == 0 && (dialog.style & DS_ABSALIGN) == 0) {
        // Before the first show the frame is not known yet: the client area
        // is centred then, and the whole frame again once it is known.
        QRect frame = widget.isVisible() ? widget.frameGeometry() : QRect(QPoint(0, 0), widget.size());
        frame.moveCenter(area.center());
        widget.move(frame.topLeft());
    } else {
        widget.move(area.topLeft() + QPoint(MulDiv(dialog.x, window.baseUnitX, 4), MulDiv(dialog.y, window.baseUnitY, 8)));
    }
}

Window* FocusedControl(Window& dialog)
{
    QWidget* focus = QApplication::focusWidget();
    if (focus == nullptr || focus->window() != dialog.widget) {
        focus = dialog.widget != nullptr ? dialog.widget->focusWidget() : nullptr;
    }
    for (const auto& child : dialog.children) {
        if (child->widget == focus && focus != nullptr) {
            return child.get();
        }
    }
    return nullptr;
}

bool IsTabStop(const Window& control)
{
    return (control.style & WS_TABSTOP) != 0 && control.widget != nullptr && control.widget->isEnabled() &&
           !control.widget->isHidden();
}

}  // namespace

Window::Window()
{
    LiveWindows().insert(this);
}

Window::~Window()
{
    LiveWindows().erase(this);
    paintContext.reset();
    children.clear();
    if (parent == nullptr) {
        delete widget.data();  // the dialog's widget owns its controls' widgets
    }
}

Window* Live(HWND handle) noexcept
{
    return handle != nullptr && LiveWindows().count(handle) != 0 ? handle : nullptr;
}

std::vector<Window*>& RunningDialogs()
{
    static std::vector<Window*> running;
    return running;
}

void SetTransientOwner(QWidget& window, Window* owner)
{
    if (owner == nullptr || owner->widget == nullptr) {
        return;
    }
    window.winId();
    QWidget* ownerTop = owner->widget->window();
    ownerTop->winId();
    if (window.windowHandle() != nullptr) {
        window.windowHandle()->setTransientParent(ownerTop->windowHandle());
    }
}

// ---- DialogWidget -------------------------------------------------------------------------
DialogWidget::DialogWidget(Window& window) : m_window(window)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
}

void DialogWidget::keyPressEvent(QKeyEvent* event)
{
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && event->key() == Qt::Key_Escape) {
        SendCommand(m_window, IDCANCEL, BN_CLICKED, nullptr);
        return;
    }
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        // Enter clicks the focused push button; with the focus elsewhere it
        // runs the dialog's default command.
        if (Window* control = FocusedControl(m_window); control != nullptr) {
            if (auto* button = qobject_cast<QPushButton*>(control->widget.data()); button != nullptr) {
                button->click();
                return;
            }
        }
        SendCommand(m_window, m_window.defaultId, BN_CLICKED, nullptr);
        return;
    }
    QWidget::keyPressEvent(event);  // ignored: not QDialog's own Enter/Escape handling
}

void DialogWidget::closeEvent(QCloseEvent* event)
{
    // The window ends only through EndDialog; the close box asks the dialog
    // with WM_CLOSE, whose default handling is IDCANCEL.
    if (m_window.ending) {
        event->accept();
        return;
    }
    event->ignore();
    SendMessageA(&m_window, WM_CLOSE, 0, 0);
}

void DialogWidget::reject()
{
    if (!m_window.ending) {
        SendMessageA(&m_window, WM_CLOSE, 0, 0);
    }
}

void DialogWidget::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    m_window.inPaintEvent = true;
    SendMessageA(&m_window, WM_PAINT, 0, 0);
    m_window.inPaintEvent = false;
}

}  // namespace dravenlok::ui

using dravenlok::ui::Live;
using dravenlok::ui::Window;

INT_PTR DialogBoxIndirectParamA(HINSTANCE /*instance*/, const void* dialogTemplate, HWND owner,
                                WNDPROC procedure, LPARAM userData)
{
    using namespace dravenlok::ui;
    if (dialogTemplate == nullptr) {
        return -1;
    }
    EnsureApplication();
    const auto& dialog = *static_cast<const DialogTemplate*>(dialogTemplate);
    std::unique_ptr<Window> window = CreateDialogWindow(dialog, procedure, userData);
    if (window == nullptr) {
        return -1;
    }
    Window* ownerWindow = Live(owner);
    if (ownerWindow != nullptr && ownerWindow->parent != nullptr) {
        ownerWindow = ownerWindow->parent;
    }
    SetTransientOwner(*window->widget, ownerWindow);
    PlaceOnScreen(dialog, *window);

    // The owner takes no input while the dialog runs.
    const bool ownerWasEnabled = ownerWindow != nullptr && IsWindowEnabled(ownerWindow) != FALSE;
    if (ownerWasEnabled) {
        EnableWindow(ownerWindow, FALSE);
    }
    RunningDialogs().push_back(window.get());

    if (SendMessageA(window.get(), WM_INITDIALOG, 0, userData) != 0) {
        if (HWND first = GetNextDlgTabItem(window.get(), nullptr, FALSE); first != nullptr) {
            first->widget->setFocus(Qt::OtherFocusReason);
        }
    }
    if (!window->ending) {
        auto* widget = static_cast<DialogWidget*>(window->widget.data());
        widget->setModal(true);
        widget->show();
        PlaceOnScreen(dialog, *window);
        widget->activateWindow();
        widget->exec();
    }
    const INT_PTR result = window->result;

    RunningDialogs().pop_back();
    window.reset();
    if (ownerWasEnabled && Live(ownerWindow) != nullptr) {
        EnableWindow(ownerWindow, TRUE);
    }
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result)
{
    Window* window = Live(dialog);
    if (window == nullptr || !window->isDialog) {
        return FALSE;
    }
    window->result = result;
    if (!window->ending) {
        window->ending = true;
        if (window->widget != nullptr && window->widget->isVisible()) {
            static_cast<QDialog*>(window->widget.data())->done(static_cast<int>(result));
        }
    }
    return TRUE;
}

LRESULT SendMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window* window = Live(handle);
    if (window == nullptr) {
        return 0;
    }
    return dravenlok::ui::Dispatch(*window, message, wParam, lParam);
}

LRESULT DefWindowProcA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    using namespace dravenlok::ui;
    Window* window = Live(handle);
    if (window == nullptr) {
        return 0;
    }
    switch (message) {
    case WM_SETICON: {
        HICON icon = reinterpret_cast<HICON>(lParam);
        HICON& slot = wParam == ICON_BIG ? window->bigIcon : window->smallIcon;
        HICON previous = slot;
        slot = icon;
        ApplyWindowIcon(*window);
        return reinterpret_cast<LRESULT>(previous);
    }
    case WM_GETICON:
        return reinterpret_cast<LRESULT>(wParam == ICON_BIG ? window->bigIcon : window->smallIcon);
    case WM_ICONERASEBKGND: {
        auto* dc = reinterpret_cast<HDC>(wParam);
        if (dc != nullptr && dc->painter != nullptr && window->widget != nullptr) {
            dc->painter->fillRect(QRect(QPoint(0, 0), window->widget->size()),
                                  window->widget->palette().color(QPalette::Window));
        }
        return 1;
    }
    case BM_CLICK:
        if (auto* button = qobject_cast<QPushButton*>(window->widget.data()); button != nullptr) {
            button->click();
        }
        return 0;
    default:
        return 0;
    }
}

LRESULT DefDlgProcA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window* window = Live(handle);
    if (window == nullptr) {
        return 0;
    }
    if (message == WM_CLOSE && window->isDialog) {
        dravenlok::ui::SendCommand(*window, IDCANCEL, BN_CLICKED, nullptr);
        return 0;
    }
    return DefWindowProcA(handle, message, wParam, lParam);
}

LONG_PTR GetWindowLongPtrA(HWND handle, int index)
{
    Window* window = Live(handle);
    return window != nullptr && index == GWLP_USERDATA ? window->userData : 0;
}

HWND GetDlgItem(HWND dialog, int id)
{
    Window* window = Live(dialog);
    if (window == nullptr) {
        return nullptr;
    }
    for (const auto& child : window->children) {
        if (child->id == id) {
            return child.get();
        }
    }
    return nullptr;
}

int GetDlgCtrlID(HWND control)
{
    Window* window = Live(control);
    return window != nullptr && window->parent != nullptr ? window->id : 0;
}

HWND GetFocus()
{
    auto& running = dravenlok::ui::RunningDialogs();
    for (auto it = running.rbegin(); it != running.rend(); ++it) {
        if (Window* control = dravenlok::ui::FocusedControl(**it); control != nullptr) {
            return control;
        }
    }
    return nullptr;
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous)
{
    Window* window = Live(dialog);
    if (window == nullptr) {
        return nullptr;
    }
    std::vector<Window*> stops;
    for (const auto& child : window->children) {
        if (dravenlok::ui::IsTabStop(*child)) {
            stops.push_back(child.get());
        }
    }
    if (stops.empty()) {
        return nullptr;
    }
    const auto at = std::find(stops.begin(), stops.end(), control);
    if (at == stops.end()) {
        return previous != FALSE ? stops.back() : stops.front();
    }
    const auto index = static_cast<std::size_t>(at - stops.begin());
    const std::size_t count = stops.size();
    return stops[previous != FALSE ? (index + count - 1) % count : (index + 1) % count];
}

BOOL GetClientRect(HWND handle, LPRECT rect)
{
    Window* window = Live(handle);
    if (rect == nullptr) {
        return FALSE;
    }
    *rect = RECT{0, 0, 0, 0};
    if (window == nullptr || window->widget == nullptr) {
        return FALSE;
    }
    rect->right = window->widget->width();
    rect->bottom = window->widget->height();
    return TRUE;
}

BOOL GetWindowRect(HWND handle, LPRECT rect)
{
    Window* window = Live(handle);
    if (rect == nullptr) {
        return FALSE;
    }
    *rect = RECT{0, 0, 0, 0};
    if (window == nullptr || window->widget == nullptr) {
        return FALSE;
    }
    const QPoint origin = window->widget->mapToGlobal(QPoint(0, 0));
    *rect = RECT{origin.x(), origin.y(), origin.x() + window->widget->width(), origin.y() + window->widget->height()};
    return TRUE;
}

int GetWindowTextA(HWND handle, LPSTR text, int maxCount)
{
    if (text == nullptr || maxCount <= 0) {
        return 0;
    }
    text[0] = '\0';
    Window* window = Live(handle);
    if (window == nullptr || window->widget == nullptr) {
        return 0;
    }
    QString value = window->widget->windowTitle();
    if (auto* button = qobject_cast<QPushButton*>(window->widget.data()); button != nullptr) {
        value = button->text();
    }
    const QByteArray bytes = value.toLocal8Bit();
    const auto length = static_cast<int>(std::min<qsizetype>(bytes.size(), maxCount - 1));
    std::memcpy(text, bytes.constData(), static_cast<std::size_t>(length));
    text[length] = '\0';
    return length;
}

BOOL EnableWindow(HWND handle, BOOL enable)
{
    Window* window = Live(handle);
    if (window == nullptr || window->widget == nullptr) {
        return FALSE;
    }
    const BOOL wasDisabled = window->widget->isEnabled() ? FALSE : TRUE;
    window->widget->setEnabled(enable != FALSE);
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND handle)
{
    Window* window = Live(handle);
    return window != nullptr && window->widget != nullptr && window->widget->isEnabled() ? TRUE : FALSE;
}

BOOL IsIconic(HWND handle)
{
    Window* window = Live(handle);
    return window != nullptr && window->widget != nullptr && window->widget->isWindow() &&
                   window->widget->isMinimized()
               ? TRUE
               : FALSE;
}

BOOL ShowWindow(HWND handle, int command)
{
    Window* window = Live(handle);
    if (window == nullptr || window->widget == nullptr) {
        return FALSE;
    }
    QWidget& widget = *window->widget;
    const BOOL wasVisible = widget.isVisible() ? TRUE : FALSE;
    switch (command) {
    case SW_HIDE:
        widget.hide();
        break;
    case SW_MINIMIZE:
        widget.setWindowState((widget.windowState() & ~Qt::WindowActive) | Qt::WindowMinimized);
        break;
    case SW_RESTORE:
    case SW_SHOWNORMAL:
        widget.setWindowState(widget.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
        widget.show();
        break;
    default:
        widget.show();
        break;
    }
    return wasVisible;
}

BOOL MapDialogRect(HWND dialog, LPRECT rect)
{
    Window* window = Live(dialog);
    if (window == nullptr || !window->isDialog || rect == nullptr) {
        return FALSE;
    }
    using dravenlok::ui::MulDiv;
    rect->left = MulDiv(rect->left, window->baseUnitX, 4);
    rect->right = MulDiv(rect->right, window->baseUnitX, 4);
    rect->top = MulDiv(rect->top, window->baseUnitY, 8);
    rect->bottom = MulDiv(rect->bottom, window->baseUnitY, 8);
    return TRUE;
}
