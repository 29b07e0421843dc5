// Dialogs built from templates: geometry from the dialog font, tab order,
// focus, keyboard, closing, icons and minimized painting.
#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPushButton>
#include <QScreen>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/ui/qt_internal.h"
#include "platform/ui/resources.h"
#include "platform/ui/testing.h"
#include "platform/ui/user.h"

namespace {

using namespace dravenlok::ui;
namespace uit = dravenlok::ui::testing;

constexpr DWORD kStop = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kNoStop = WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON;

// Template order 10, 12, 11, 13; on screen 10, 11, 12, 13; 11 is no tab stop.
constexpr DialogItem kItems[] = {
    {10, "BUTTON", "First", kStop, 0, 0, 7, 5, 100, 17},
    {12, "button", "Third", kStop, 0, 0, 7, 45, 100, 14},
    {11, "BUTTON", "Second", kNoStop, 0, 0, 7, 25, 100, 14},
    {13, "BUTTON", "Fourth", kStop, 0, 0, 7, 65, 100, 14},
};

constexpr DialogTemplate kDialog = {
    50, 1033, 0, 0x90C800C0, WS_EX_APPWINDOW, 0, 0, 114, 85, "Test Dialog", 8, 0, false, 1, "MS Sans Serif", kItems};

struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<Message> g_messages;
std::function<void(HWND)> g_onInit;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    g_messages.push_back({message, wParam, lParam});
    switch (message) {
    case WM_INITDIALOG:
        if (g_onInit) {
            g_onInit(window);
        }
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(window, IDCANCEL);
        }
        return 0;
    default:
        return DefDlgProcA(window, message, wParam, lParam);
    }
}

std::vector<Message> Commands()
{
    std::vector<Message> out;
    for (const auto& message : g_messages) {
        if (message.message == WM_COMMAND) {
            out.push_back(message);
        }
    }
    return out;
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_messages.clear();
        g_onInit = nullptr;
    }

    // Runs the dialog; `whileOpen` runs inside its modal loop with its
    // handle, and must end it.
    INT_PTR Run(const std::function<void(HWND)>& whileOpen)
    {
        HWND dialog = nullptr;
        g_onInit = [&dialog](HWND window) { dialog = window; };
        uit::WhenModal([&] { whileOpen(dialog); });
        return DialogBoxIndirectParamA(nullptr, &kDialog, nullptr, &RecordingProc, 77);
    }
};

int MulDivRound(int value, int numerator, int denominator)
{
    return (value * numerator + denominator / 2) / denominator;
}

TEST_F(DialogTest, GeometryFollowsTemplateInBaseUnitsOfTheDialogFont)
{
    Run([](HWND dialog) {
        QWidget& widget = *dialog->widget;
        // "MS Sans Serif" is no Linux font: the system's sans font stands in,
        // at 8 points of the screen's logical resolution in whole pixels.
        const QFont font = widget.font();
        if (!QFontDatabase::families().contains(QStringLiteral("MS Sans Serif"))) {
            EXPECT_EQ(font.family(), QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
        }
        const int dpi = static_cast<int>(QGuiApplication::primaryScreen()->logicalDotsPerInchY() + 0.5);
        EXPECT_EQ(font.pixelSize(), MulDivRound(8, dpi, 72));

        const QFontMetrics metrics(font);
        const int bx = (metrics.horizontalAdvance(QStringLiteral(
                            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2;
        const int by = metrics.height();
        RECT client{};
        ASSERT_TRUE(GetClientRect(dialog, &client));
        EXPECT_EQ(client.right, MulDivRound(114, bx, 4));
        EXPECT_EQ(client.bottom, MulDivRound(85, by, 8));

        for (const DialogItem& item : kItems) {
            SCOPED_TRACE(item.id);
            HWND control = GetDlgItem(dialog, item.id);
            ASSERT_NE(control, nullptr);
            const QRect rect = control->widget->geometry();
            EXPECT_EQ(rect, QRect(MulDivRound(item.x, bx, 4), MulDivRound(item.y, by, 8),
                                  MulDivRound(item.cx, bx, 4), MulDivRound(item.cy, by, 8)));
            RECT units{item.x, item.y, item.x + item.cx, item.y + item.cy};
            ASSERT_TRUE(MapDialogRect(dialog, &units));
            EXPECT_EQ(units.left, rect.left());
            EXPECT_NEAR(units.right - units.left, rect.width(), 1);
            char text[64];
            GetWindowTextA(control, text, sizeof text);
            EXPECT_STREQ(text, std::string(item.text).c_str());
        }
        // Same left and right margin: 7 + 100 + 7 = 114 units.
        const QRect first = GetDlgItem(dialog, 10)->widget->geometry();
        EXPECT_NEAR(first.left(), client.right - first.right() - 1, 1);
        uit::PressKey(dialog, VK_ESCAPE);
    });
}

TEST_F(DialogTest, TitleBarHasCloseBoxOnlyOwnTaskBarEntryAndIsCentred)
{
    Run([](HWND dialog) {
        QWidget& widget = *dialog->widget;
        const Qt::WindowFlags flags = widget.windowFlags();
        EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Window);  // WS_EX_APPWINDOW: a window of its own
        EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
        EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
        EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
        EXPECT_FALSE(flags & Qt::WindowContextHelpButtonHint);
        EXPECT_EQ(widget.windowTitle(), QStringLiteral("Test Dialog"));
        EXPECT_EQ(widget.minimumSize(), widget.maximumSize());  // modal frame: fixed size

        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect frame = widget.frameGeometry();
        EXPECT_NEAR(frame.center().x(), area.center().x(), 1);
        EXPECT_NEAR(frame.center().y(), area.center().y(), 1);
        uit::PressKey(dialog, VK_ESCAPE);
    });
}

TEST_F(DialogTest, FocusStartsOnFirstTabStopAndTabFollowsTemplateOrder)
{
    std::vector<int> seen;
    Run([&seen](HWND dialog) {
        seen.push_back(GetDlgCtrlID(GetFocus()));
        for (int i = 0; i < 3; ++i) {
            uit::PressKey(dialog, VK_TAB);
            seen.push_back(GetDlgCtrlID(GetFocus()));
        }
        uit::PressKey(dialog, VK_ESCAPE);
    });
    // 11 is drawn between 10 and 12 but is no tab stop.
    EXPECT_EQ(seen, (std::vector<int>{10, 12, 13, 10}));
}

TEST_F(DialogTest, NextTabItemWrapsBothWays)
{
    Run([](HWND dialog) {
        HWND first = GetDlgItem(dialog, 10);
        HWND last = GetDlgItem(dialog, 13);
        EXPECT_EQ(GetNextDlgTabItem(dialog, last, FALSE), first);
        EXPECT_EQ(GetNextDlgTabItem(dialog, first, TRUE), last);
        EXPECT_EQ(GetNextDlgTabItem(dialog, GetDlgItem(dialog, 11), FALSE), first);  // not a stop
        uit::PressKey(dialog, VK_ESCAPE);
    });
}

TEST_F(DialogTest, EnterClicksTheFocusedButtonAndNoButtonIsDefault)
{
    HWND third = nullptr;
    Run([&third](HWND dialog) {
        for (const auto& child : dialog->children) {
            auto* button = qobject_cast<QPushButton*>(child->widget.data());
            ASSERT_NE(button, nullptr);
            EXPECT_FALSE(button->isDefault());
            EXPECT_FALSE(button->autoDefault());
        }
        uit::PressKey(dialog, VK_TAB);  // to 12
        third = GetFocus();
        uit::PressKey(dialog, VK_RETURN);
        uit::PressKey(dialog, VK_ESCAPE);
    });
    const auto commands = Commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].wParam, MAKEWPARAM(12, BN_CLICKED));
    EXPECT_EQ(commands[0].lParam, reinterpret_cast<LPARAM>(third));
    EXPECT_EQ(commands[1].wParam, MAKEWPARAM(IDCANCEL, BN_CLICKED));
}

TEST_F(DialogTest, EscapeCloseBoxAndEndDialogEndTheLoopWithTheirResult)
{
    EXPECT_EQ(Run([](HWND dialog) { uit::PressKey(dialog, VK_ESCAPE); }), IDCANCEL);

    g_messages.clear();
    EXPECT_EQ(Run([](HWND dialog) { uit::ClickCloseBox(dialog); }), IDCANCEL);
    ASSERT_FALSE(g_messages.empty());
    bool sawClose = false;
    for (const auto& message : g_messages) {
        sawClose = sawClose || message.message == WM_CLOSE;
    }
    EXPECT_TRUE(sawClose);  // the close box asks with WM_CLOSE; its default is IDCANCEL

    EXPECT_EQ(Run([](HWND dialog) { EndDialog(dialog, 42); }), 42);
}

TEST_F(DialogTest, InitDialogGetsUserDataAndButtonClickSendsItsId)
{
    Run([](HWND dialog) {
        EXPECT_EQ(GetWindowLongPtrA(dialog, GWLP_USERDATA), 77);
        SendMessageA(GetDlgItem(dialog, 13), BM_CLICK, 0, 0);
        EndDialog(dialog, IDOK);
    });
    ASSERT_FALSE(g_messages.empty());
    EXPECT_EQ(g_messages.front().message, WM_INITDIALOG);
    EXPECT_EQ(g_messages.front().lParam, 77);
    const auto commands = Commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].wParam, MAKEWPARAM(13, BN_CLICKED));
}

TEST_F(DialogTest, HandlesAreDeadOnceTheDialogHasEnded)
{
    HWND dialog = nullptr;
    HWND button = nullptr;
    Run([&](HWND window) {
        dialog = window;
        button = GetDlgItem(window, 10);
        EndDialog(window, IDOK);
    });
    RECT rect{1, 1, 1, 1};
    EXPECT_FALSE(GetClientRect(dialog, &rect));
    EXPECT_EQ(SendMessageA(button, BM_CLICK, 0, 0), 0);
    EXPECT_FALSE(EndDialog(dialog, IDOK));
    EXPECT_EQ(GetDlgItem(dialog, 10), nullptr);
}

TEST(DialogTemplate, OtherControlKindsOrNoTemplateCannotBeCreated)
{
    static constexpr DialogItem items[] = {{5, "EDIT", "", WS_CHILD | WS_VISIBLE, 0, 0, 1, 1, 10, 10}};
    static constexpr DialogTemplate dialog = {1, 0, 0, 0x90C800C0, 0, 0, 0, 50, 50, "", 8, 0, false, 1, "X", items};
    EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &dialog, nullptr, &RecordingProc, 0), -1);
    EXPECT_EQ(DialogBoxIndirectParamA(nullptr, nullptr, nullptr, &RecordingProc, 0), -1);
}

// ---- Icons ---------------------------------------------------------------------------
constexpr std::uint32_t kPalette[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                        0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                        0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

TEST(IconImage, DecodesNibblesHighFirstAndMaskBitsAsTransparency)
{
    // 8 x 2: row 0 = indices 9, 12, 0, 15, ...; mask makes pixel 2 of row 0 transparent.
    constexpr std::uint8_t pixels[] = {0x9C, 0x0F, 0x00, 0x00, 0xAA, 0xAA, 0xAA, 0xAA};
    constexpr std::uint8_t mask[] = {0x20, 0x00};
    const IconImage image{8, 2, std::span<const std::uint32_t, 16>(kPalette), pixels, mask};
    const QImage decoded = DecodeIconImage(image);
    ASSERT_FALSE(decoded.isNull());
    EXPECT_EQ(decoded.pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(decoded.pixel(1, 0), 0xFF0000FFu);
    EXPECT_EQ(qAlpha(decoded.pixel(2, 0)), 0);
    EXPECT_EQ(decoded.pixel(3, 0), 0xFFFFFFFFu);
    EXPECT_EQ(decoded.pixel(7, 1), 0xFF00FF00u);
}

TEST(IconImage, MalformedDataGivesNoImageAndNoIcon)
{
    constexpr std::uint8_t shortPixels[4] = {};
    constexpr std::uint8_t mask[4] = {};
    const IconImage tooShort{8, 2, std::span<const std::uint32_t, 16>(kPalette), shortPixels, mask};
    const IconImage oddWidth{7, 1, std::span<const std::uint32_t, 16>(kPalette), shortPixels, mask};
    EXPECT_TRUE(DecodeIconImage(tooShort).isNull());
    EXPECT_TRUE(DecodeIconImage(oddWidth).isNull());

    const IconImage images[] = {tooShort};
    const IconGroup groups[] = {{7, 0, images}};
    const ResourceModule module{{}, groups, nullptr};
    EXPECT_EQ(LoadIconA(&module, 7), nullptr);
    EXPECT_EQ(LoadIconA(&module, 8), nullptr);
    EXPECT_EQ(LoadIconA(nullptr, 7), nullptr);
}

std::array<std::uint8_t, 32 * 32 / 2> g_bigPixels{};
std::array<std::uint8_t, 32 * 32 / 8> g_bigMask{};
std::array<std::uint8_t, 16 * 16 / 2> g_smallPixels{};
std::array<std::uint8_t, 16 * 16 / 8> g_smallMask{};
const IconImage kImages[] = {
    {32, 32, std::span<const std::uint32_t, 16>(kPalette), g_bigPixels, g_bigMask},
    {16, 16, std::span<const std::uint32_t, 16>(kPalette), g_smallPixels, g_smallMask},
};
const IconGroup kGroups[] = {{128, 2057, kImages}};
const ResourceModule kModule{{}, kGroups, nullptr};

TEST_F(DialogTest, SetIconKeepsBothSizesAndLoadIconIsShared)
{
    HICON icon = LoadIconA(&kModule, 128);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(LoadIconA(&kModule, 128), icon);
    Run([icon](HWND dialog) {
        EXPECT_EQ(SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)), 0);
        EXPECT_EQ(SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon)), 0);
        EXPECT_EQ(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(icon));
        const QList<QSize> sizes = dialog->widget->windowIcon().availableSizes();
        EXPECT_TRUE(sizes.contains(QSize(32, 32)));
        EXPECT_TRUE(sizes.contains(QSize(16, 16)));
        EndDialog(dialog, IDOK);
    });
}

TEST_F(DialogTest, MinimizedPaintingDrawsOffscreenAndIsRecorded)
{
    HICON icon = LoadIconA(&kModule, 128);
    Run([icon](HWND dialog) {
        ShowWindow(dialog, SW_MINIMIZE);
        EXPECT_TRUE(IsIconic(dialog));
        uit::RecordDrawnIcons(true);
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(dialog, &paint);
        ASSERT_NE(dc, nullptr);
        EXPECT_EQ(paint.hdc, dc);
        EXPECT_EQ(BeginPaint(dialog, &paint), nullptr);  // one at a time
        EXPECT_TRUE(DrawIcon(dc, -15, 3, icon));
        EXPECT_FALSE(DrawIcon(dc, 0, 0, nullptr));
        EXPECT_TRUE(EndPaint(dialog, &paint));
        const auto drawn = uit::DrawnIcons();
        uit::RecordDrawnIcons(false);
        ASSERT_EQ(drawn.size(), 1u);
        EXPECT_EQ(drawn[0].window, dialog);
        EXPECT_EQ(drawn[0].x, -15);
        EXPECT_EQ(drawn[0].y, 3);
        ShowWindow(dialog, SW_RESTORE);
        EXPECT_FALSE(IsIconic(dialog));
        EndDialog(dialog, IDOK);
    });
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), 32);
    EXPECT_EQ(GetSystemMetrics(SM_CYICON), 32);
}

}  // namespace
