#include "platform/ui/testing.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

#include "platform/ui/qt_internal.h"

namespace dravenlok::ui::testing {

namespace {

Qt::Key QtKey(int virtualKey)
{
    switch (virtualKey) {
    case VK_TAB:
        return Qt::Key_Tab;
    case VK_RETURN:
        return Qt::Key_Return;
    case VK_ESCAPE:
        return Qt::Key_Escape;
    case VK_SPACE:
        return Qt::Key_Space;
    default:
        return Qt::Key_unknown;
    }
}

}  // namespace

void WhenModal(std::function<void()> action)
{
    EnsureApplication();
    QTimer::singleShot(0, QApplication::instance(), std::move(action));
}

void PressKey(HWND dialog, int virtualKey)
{
    Window* window = Live(dialog);
    if (window == nullptr || window->widget == nullptr) {
        return;
    }
    QWidget* target = window->widget->focusWidget();
    if (target == nullptr) {
        target = window->widget;
    }
    const Qt::Key key = QtKey(virtualKey);
    const QString text = key == Qt::Key_Return ? QStringLiteral("\r")
                         : key == Qt::Key_Escape ? QString(QChar(0x1B))
                         : key == Qt::Key_Tab ? QStringLiteral("\t")
                                              : QStringLiteral(" ");
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    if (Live(dialog) == nullptr || window->widget == nullptr) {
        return;
    }
    QWidget* releaseTarget = window->widget->focusWidget() != nullptr ? window->widget->focusWidget() : window->widget.data();
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(releaseTarget, &release);
}

void ClickCloseBox(HWND handle)
{
    if (Window* window = Live(handle); window != nullptr && window->widget != nullptr) {
        window->widget->close();
    }
}

void SetClientSize(HWND handle, int width, int height)
{
    if (Window* window = Live(handle); window != nullptr && window->widget != nullptr) {
        window->widget->setFixedSize(width, height);
    }
}

}  // namespace dravenlok::ui::testing
