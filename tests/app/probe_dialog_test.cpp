// The application's dialog on the offscreen platform, its resources, its
// start-up, and the caption of its message boxes under another file name.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/probe_app.h"
#include "app/probe_dlg.h"
#include "app/resources.h"
#include "dravenlok_version.h"
#include "platform/ui/testing.h"
#include "platform/wininet/testing.h"
#include "tests/support/recording_presenter.h"

namespace {

namespace uit = dravenlok::ui::testing;
using dravenlok::testing::RecordingPresenter;
namespace seam = dravenlok::wininet::testing;

// ---- Resources ---------------------------------------------------------------------------
TEST(ProbeResources, DialogTemplateIsExactlyTheDesignedOne)
{
    const auto* dialog = dravenlok::app::Resources().FindDialog(IDD_PROBE_DIALOG);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->style, 0x90C800C0u);
    EXPECT_EQ(dialog->exStyle, 0x00040000u);
    EXPECT_EQ(dialog->helpId, 0u);
    EXPECT_EQ(dialog->language, 1033);
    EXPECT_EQ((std::array<int, 4>{dialog->x, dialog->y, dialog->cx, dialog->cy}), (std::array<int, 4>{0, 0, 139, 67}));
    EXPECT_EQ(dialog->caption, "Dravenlok");
    EXPECT_EQ(dialog->pointSize, 8);
    EXPECT_EQ(dialog->typeface, "MS Sans Serif");
    EXPECT_EQ(dialog->weight, 0);
    EXPECT_FALSE(dialog->italic);
    EXPECT_EQ(dialog->charset, 1);

    struct Expected {
        int id;
        const char* text;
        int x, y, cx, cy;
    };
    const Expected expected[] = {
        {1000, "Connect With WinInet", 7, 7, 125, 17},
        {1002, "Connect With Winsock", 7, 46, 125, 14},
        {1003, "Connect WinInet 2", 7, 27, 125, 14},
    };
    ASSERT_EQ(dialog->items.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const auto& item = dialog->items[i];
        SCOPED_TRACE(item.id);
        EXPECT_EQ(item.id, expected[i].id);
        EXPECT_EQ(item.text, expected[i].text);
        EXPECT_EQ(item.windowClass, "BUTTON");
        EXPECT_EQ((std::array<int, 4>{item.x, item.y, item.cx, item.cy}),
                  (std::array<int, 4>{expected[i].x, expected[i].y, expected[i].cx, expected[i].cy}));
        EXPECT_EQ(item.style, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON);
        EXPECT_EQ(item.exStyle, 0u);
        EXPECT_EQ(item.helpId, 0u);
    }
}

TEST(ProbeResources, IconGroupHasA32AndA16ImageOf16Colours)
{
    const auto* group = dravenlok::app::Resources().FindIcon(IDR_MAINFRAME);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->language, 2057);
    ASSERT_EQ(group->images.size(), 2u);
    EXPECT_EQ(group->images[0].width, 32);
    EXPECT_EQ(group->images[1].width, 16);
    for (const auto& image : group->images) {
        EXPECT_EQ(image.height, image.width);
        EXPECT_EQ(image.pixels.size(), static_cast<std::size_t>(image.width * image.height / 2));
        EXPECT_EQ(image.mask.size(), static_cast<std::size_t>(image.width * image.height / 8));
    }
    EXPECT_NE(LoadIconA(&dravenlok::app::Resources(), IDR_MAINFRAME), nullptr);
}

TEST(ProbeResources, VersionBlockTakesTheProjectVersion)
{
    const auto* version = dravenlok::app::Resources().version;
    ASSERT_NE(version, nullptr);
    const std::array<WORD, 4> project = {DRAVENLOK_TEST_VERSION_MAJOR, DRAVENLOK_TEST_VERSION_MINOR,
                                         DRAVENLOK_TEST_VERSION_PATCH, DRAVENLOK_TEST_VERSION_TWEAK};
    EXPECT_EQ(std::to_array(version->fileVersion), project);
    EXPECT_EQ(std::to_array(version->productVersion), project);
    EXPECT_EQ(version->fileFlagsMask, 0x3Fu);
    EXPECT_EQ(version->fileFlags, 0u);
    EXPECT_EQ(version->fileOS, 4u);
    EXPECT_EQ(version->fileType, 1u);
    EXPECT_EQ(version->fileSubtype, 0u);
    EXPECT_EQ(version->language, 0x0409);
    EXPECT_EQ(version->codePage, 1200);

    const std::string commas = std::to_string(project[0]) + ", " + std::to_string(project[1]) + ", " +
                               std::to_string(project[2]) + ", " + std::to_string(project[3]);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"CompanyName", ""},
        {"FileDescription", "Dravenlok MFC Application"},
        {"FileVersion", commas},
        {"InternalName", "Dravenlok"},
        {"LegalCopyright", "Copyright (C) 2026 The Dravenlok developers"},
        {"LegalTrademarks", ""},
        {"OriginalFilename", "Dravenlok.EXE"},
        {"ProductName", "Dravenlok Application"},
        {"ProductVersion", commas},
    };
    std::vector<std::pair<std::string, std::string>> actual;
    for (const auto& entry : version->strings) {
        actual.emplace_back(entry.key, entry.value);
    }
    EXPECT_EQ(actual, expected);
}

// ---- The running dialog ------------------------------------------------------------------
class ProbeDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AfxSetResourceHandle(&dravenlok::app::Resources());
        seam::ClearInjectedFailures();
    }
    void TearDown() override
    {
        seam::ClearInjectedFailures();
        AfxSetResourceHandle(nullptr);
    }

    // Runs the dialog modally; `whileOpen` runs inside its loop.
    INT_PTR Run(CProbeDlg& dialog, const std::function<void()>& whileOpen)
    {
        uit::WhenModal(whileOpen);
        return dialog.DoModal();
    }

    RecordingPresenter m_boxes;
};

TEST_F(ProbeDialogTest, GeometryFollowsTheTemplateInDialogUnits)
{
    CProbeDlg dialog;
    Run(dialog, [&dialog] {
        HWND window = dialog.m_hWnd;
        RECT client{};
        dialog.GetClientRect(&client);
        RECT size{0, 0, 139, 67};
        MapDialogRect(window, &size);
        EXPECT_EQ(client.right, size.right);
        EXPECT_EQ(client.bottom, size.bottom);

        RECT origin{};
        GetWindowRect(window, &origin);
        auto place = [&](int id) {
            RECT rect{};
            GetWindowRect(GetDlgItem(window, id), &rect);
            return RECT{rect.left - origin.left, rect.top - origin.top, rect.right - origin.left,
                        rect.bottom - origin.top};
        };
        const RECT b1000 = place(1000);
        const RECT b1002 = place(1002);
        const RECT b1003 = place(1003);
        RECT units{7, 7, 7 + 125, 7 + 17};
        MapDialogRect(window, &units);
        EXPECT_EQ(b1000.left, units.left);
        EXPECT_EQ(b1000.top, units.top);
        EXPECT_NEAR(b1000.right, units.right, 1);
        EXPECT_NEAR(b1000.bottom, units.bottom, 1);
        // On screen 1000, 1003, 1002 from the top; the first is the tallest;
        // all three are centred left to right (7 + 125 + 7 = 139).
        EXPECT_LT(b1000.bottom, b1003.top);
        EXPECT_LT(b1003.bottom, b1002.top);
        EXPECT_GT(b1000.bottom - b1000.top, b1003.bottom - b1003.top);
        EXPECT_EQ(b1003.bottom - b1003.top, b1002.bottom - b1002.top);
        EXPECT_NEAR(b1000.left, client.right - b1000.right, 1);

        char caption[32];
        GetWindowTextA(window, caption, sizeof caption);
        EXPECT_STREQ(caption, "Dravenlok");
        uit::PressKey(window, VK_ESCAPE);
    });
}

TEST_F(ProbeDialogTest, FocusStartsOn1000AndTabGoesInTemplateOrder)
{
    CProbeDlg dialog;
    std::vector<int> focus;
    const INT_PTR result = Run(dialog, [&] {
        focus.push_back(GetDlgCtrlID(GetFocus()));
        for (int i = 0; i < 3; ++i) {
            uit::PressKey(dialog.m_hWnd, VK_TAB);
            focus.push_back(GetDlgCtrlID(GetFocus()));
        }
        uit::PressKey(dialog.m_hWnd, VK_ESCAPE);
    });
    EXPECT_EQ(focus, (std::vector<int>{1000, 1002, 1003, 1000}));
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(ProbeDialogTest, EnterOnTheFocusedButtonRunsItsCommand)
{
    CProbeDlg dialog;
    Run(dialog, [&] {
        // Button 1000 runs the direct probe; a failed session makes its one
        // report, which shows that it ran.
        seam::FailNextCall(seam::Call::InternetOpen, ERROR_NOT_ENOUGH_MEMORY);
        uit::PressKey(dialog.m_hWnd, VK_RETURN);
        uit::PressKey(dialog.m_hWnd, VK_ESCAPE);
    });
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].text.rfind("ReqID 0, InternetOpen - ", 0), 0u) << m_boxes.boxes[0].text;
}

TEST_F(ProbeDialogTest, CloseBoxEndsWithCancel)
{
    CProbeDlg dialog;
    EXPECT_EQ(Run(dialog, [&] { uit::ClickCloseBox(dialog.m_hWnd); }), IDCANCEL);
    EXPECT_TRUE(m_boxes.boxes.empty());
}

TEST_F(ProbeDialogTest, IconIsSetBigAndSmallAndIsTheDragImage)
{
    CProbeDlg dialog;
    HICON expected = LoadIconA(&dravenlok::app::Resources(), IDR_MAINFRAME);
    ASSERT_NE(expected, nullptr);
    Run(dialog, [&] {
        EXPECT_EQ(dialog.GetIcon(TRUE), expected);
        EXPECT_EQ(dialog.GetIcon(FALSE), expected);
        EXPECT_EQ(dialog.SendMessage(WM_QUERYDRAGICON), reinterpret_cast<LRESULT>(expected));
        uit::PressKey(dialog.m_hWnd, VK_ESCAPE);
    });
}

TEST_F(ProbeDialogTest, MinimizedPaintingCentresTheIconTruncatingTowardZero)
{
    struct Case {
        int width, height;
        int x, y;
    };
    // (width - 32 + 1) / 2: 36 -> 2; 0 -> -31 / 2 = -15 (not -16).
    const Case cases[] = {{36, 36, 2, 2}, {0, 0, -15, -15}, {33, 100, 1, 34}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        CProbeDlg dialog;
        std::vector<uit::DrawnIcon> drawn;
        Run(dialog, [&] {
            HWND window = dialog.m_hWnd;
            uit::SetClientSize(window, c.width, c.height);
            uit::RecordDrawnIcons(true);
            dialog.SendMessage(WM_PAINT);  // not minimized: default painting, no icon
            ShowWindow(window, SW_MINIMIZE);
            dialog.SendMessage(WM_PAINT);
            drawn = uit::DrawnIcons();
            uit::RecordDrawnIcons(false);
            ShowWindow(window, SW_RESTORE);
            uit::PressKey(window, VK_ESCAPE);
        });
        ASSERT_EQ(drawn.size(), 1u);
        EXPECT_EQ(drawn[0].x, c.x);
        EXPECT_EQ(drawn[0].y, c.y);
    }
}

TEST_F(ProbeDialogTest, InitInstanceRunsTheDialogAsMainWindowAndAnswersFalse)
{
    CProbeApp app;
    CWnd* mainWindow = nullptr;
    char title[32] = {};
    uit::WhenModal([&] {
        mainWindow = AfxGetMainWnd();
        GetWindowTextA(mainWindow->m_hWnd, title, sizeof title);
        uit::PressKey(mainWindow->m_hWnd, VK_ESCAPE);
    });
    EXPECT_EQ(app.InitInstance(), FALSE);
    EXPECT_NE(mainWindow, nullptr);
    EXPECT_STREQ(title, "Dravenlok");
    EXPECT_EQ(AfxGetMainWnd(), nullptr);  // the dialog is gone with InitInstance
}

// ---- The executable's name -------------------------------------------------------------
// The child half of the test below: runs in a renamed copy of this binary
// and prints the caption of a message box and the dialog's own caption.
TEST_F(ProbeDialogTest, ChildPrintsCaptions)
{
    if (std::getenv("DRAVENLOK_CAPTION_CHILD") == nullptr) {
        GTEST_SKIP() << "runs only as the child of MessageBoxCaptionFollowsTheExecutableName";
    }
    CProbeDlg dialog;
    char title[32] = {};
    Run(dialog, [&] {
        GetWindowTextA(dialog.m_hWnd, title, sizeof title);
        seam::FailNextCall(seam::Call::InternetOpen, ERROR_NOT_ENOUGH_MEMORY);
        SendMessageA(GetDlgItem(dialog.m_hWnd, IDC_CONNECT_WININET), BM_CLICK, 0, 0);
        uit::PressKey(dialog.m_hWnd, VK_ESCAPE);
    });
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    std::printf("box-caption=[%s]\ndialog-caption=[%s]\n", m_boxes.boxes[0].caption.c_str(), title);
}

TEST(ExecutableName, MessageBoxCaptionFollowsTheExecutableName)
{
    namespace fs = std::filesystem;
    const fs::path self = fs::read_symlink("/proc/self/exe");
    const fs::path dir = fs::temp_directory_path() / ("dravenlok-caption-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path renamed = dir / "Renamed Probe.exe";
    fs::copy_file(self, renamed, fs::copy_options::overwrite_existing);

    const fs::path output = dir / "out.txt";
    const std::string command = "DRAVENLOK_CAPTION_CHILD=1 QT_QPA_PLATFORM=offscreen '" + renamed.string() +
                                "' --gtest_filter=ProbeDialogTest.ChildPrintsCaptions > '" + output.string() +
                                "' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(output);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fs::remove_all(dir);

    EXPECT_EQ(status, 0) << text;
    EXPECT_NE(text.find("box-caption=[Renamed Probe]"), std::string::npos) << text;
    EXPECT_NE(text.find("dialog-caption=[Dravenlok]"), std::string::npos) << text;
}

}  // namespace
