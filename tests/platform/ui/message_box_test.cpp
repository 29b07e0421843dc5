// The message box on screen: plain text, warning icon, one OK button, the
// caption given, the running dialog disabled while it is open, and a long
// text that scrolls inside a box that fits the screen.
#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/ui/message_box.h"
#include "platform/ui/qt_internal.h"
#include "platform/ui/testing.h"
#include "platform/ui/user.h"

namespace {

using namespace dravenlok::ui;
namespace uit = dravenlok::ui::testing;

QDialog* OpenBox()
{
    return qobject_cast<QDialog*>(QApplication::activeModalWidget());
}

// Shows `text` through the Qt presenter; `inspect` runs while the box is
// open, then the box's OK button is clicked.
int ShowAndInspect(const std::string& text, unsigned style, const std::function<void(QDialog&)>& inspect)
{
    uit::WhenModal([&inspect] {
        QDialog* box = OpenBox();
        ASSERT_NE(box, nullptr);
        inspect(*box);
        auto* buttons = box->findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        buttons->button(QDialogButtonBox::Ok)->click();
    });
    return ActivePresenter().Present(MessageBoxRequest{text, "Caption Name", style});
}

TEST(QtMessageBox, PlainTextWarningIconOneOkButtonAndCaption)
{
    const std::string text = "<b>not bold</b> &amp; line\nsecond line";
    const int result = ShowAndInspect(text, 0x30, [&text](QDialog& box) {
        EXPECT_EQ(box.windowTitle(), QStringLiteral("Caption Name"));
        auto* view = box.findChild<QTextEdit*>();
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->toPlainText(), QString::fromStdString(text));  // shown as typed, no markup
        EXPECT_TRUE(view->isReadOnly());
        auto* buttons = box.findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        EXPECT_EQ(buttons->buttons().size(), 1);
        EXPECT_EQ(buttons->standardButtons(), QDialogButtonBox::Ok);
        bool hasIcon = false;
        for (auto* label : box.findChildren<QLabel*>()) {
            hasIcon = hasIcon || !label->pixmap().isNull();
        }
        EXPECT_TRUE(hasIcon);
        EXPECT_TRUE(box.isModal());
    });
    EXPECT_EQ(result, IDOK);
}

TEST(QtMessageBox, LongTextScrollsInsideABoxThatFitsTheScreen)
{
    // 100000 characters in words and one unbroken run: both must wrap.
    std::string text;
    while (text.size() < 60000) {
        text += "word ";
    }
    text += std::string(100000 - text.size(), 'x');
    ShowAndInspect(text, 0x30, [&text](QDialog& box) {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_TRUE(screen.contains(box.frameGeometry())) << "box " << box.frameGeometry().width() << " x "
                                                          << box.frameGeometry().height();
        auto* ok = box.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        ASSERT_TRUE(ok->isVisible());
        const QRect okOnScreen(ok->mapToGlobal(QPoint(0, 0)), ok->size());
        EXPECT_TRUE(screen.contains(okOnScreen));
        auto* view = box.findChild<QTextEdit*>();
        EXPECT_GT(view->verticalScrollBar()->maximum(), 0);  // the rest is a scroll away
        EXPECT_EQ(view->toPlainText().size(), static_cast<qsizetype>(text.size()));
    });
}

LRESULT EndingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    if (message == WM_INITDIALOG) {
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(window, IDCANCEL);
        return 0;
    }
    return DefDlgProcA(window, message, wParam, lParam);
}

TEST(QtMessageBox, RunningDialogIsDisabledWhileTheBoxIsOpen)
{
    static constexpr DialogItem items[] = {
        {10, "BUTTON", "Go", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 5, 5, 40, 14}};
    static constexpr DialogTemplate dialog = {1, 0, 0, 0x90C800C0, 0, 0, 0, 50, 30, "Owner", 8, 0, false, 1, "X", items};

    bool enabledDuringBox = true;
    bool enabledAfterBox = false;
    uit::WhenModal([&] {
        HWND owner = RunningDialogs().back();
        ShowAndInspect("text", 0x30, [&](QDialog&) { enabledDuringBox = IsWindowEnabled(owner) != FALSE; });
        enabledAfterBox = IsWindowEnabled(owner) != FALSE;
        uit::PressKey(owner, VK_ESCAPE);
    });
    EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &dialog, nullptr, &EndingProc, 0), IDCANCEL);
    EXPECT_FALSE(enabledDuringBox);
    EXPECT_TRUE(enabledAfterBox);
}

}  // namespace
