// The framework: message maps chained to their base, command routing to the
// application, exceptions that leave a handler, start-up and the application
// title in message boxes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>

#include "platform/mfc/framework.h"
#include "platform/ui/resources.h"
#include "platform/ui/testing.h"
#include "tests/support/recording_presenter.h"

namespace {

namespace uit = dravenlok::ui::testing;
using dravenlok::testing::RecordingPresenter;

constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr dravenlok::ui::DialogItem kItems[] = {
    {10, "BUTTON", "Go", kButton, 0, 0, 5, 5, 60, 14},
    {11, "BUTTON", "Framework error", kButton, 0, 0, 5, 20, 60, 14},
    {12, "BUTTON", "Library error", kButton, 0, 0, 5, 35, 60, 14},
    {13, "BUTTON", "Anything", kButton, 0, 0, 5, 50, 60, 14},
};
constexpr dravenlok::ui::DialogTemplate kTemplates[] = {
    {300, 1033, 0, 0x90C800C0, WS_EX_APPWINDOW, 0, 0, 70, 70, "Framework", 8, 0, false, 1, "MS Sans Serif", kItems},
};
const dravenlok::ui::ResourceModule kResources{kTemplates, {}, nullptr};

int g_deleted = 0;

class TestException final : public CException {
public:
    explicit TestException(const char* text) : m_text(text) {}
    ~TestException() override { ++g_deleted; }
    BOOL GetErrorMessage(LPSTR error, UINT maxError, PUINT /*helpContext*/) const override
    {
        std::strncpy(error, m_text, maxError - 1);
        error[maxError - 1] = '\0';
        return TRUE;
    }

private:
    const char* m_text;
};

class BaseDlg : public CDialog {
public:
    BaseDlg() : CDialog(300) {}
    std::string log;

    void OnGo() { log += "base-go "; }
    void OnFrameworkError() { throw new TestException("The disk is on fire."); }
    void OnLibraryError() { throw std::runtime_error("bad state"); }
    void OnAnything() { throw 42; }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(BaseDlg, CDialog)
    ON_BN_CLICKED(10, OnGo)
    ON_BN_CLICKED(11, OnFrameworkError)
    ON_BN_CLICKED(12, OnLibraryError)
    ON_BN_CLICKED(13, OnAnything)
END_MESSAGE_MAP()

class DerivedDlg : public BaseDlg {
public:
    void OnDerivedGo() { log += "derived-go "; }
    BOOL OnInitDialog() override
    {
        log += "init ";
        return BaseDlg::OnInitDialog();
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(DerivedDlg, BaseDlg)
    ON_BN_CLICKED(10, OnDerivedGo)
END_MESSAGE_MAP()

class TestApp : public CWinApp {
public:
    explicit TestApp(LPCSTR name = nullptr) : CWinApp(name) {}
    int helpCommands = 0;
    std::function<BOOL()> initInstance;

    void OnHelpCommand() { ++helpCommands; }
    BOOL InitInstance() override { return initInstance ? initInstance() : FALSE; }
    int ExitInstance() override { return 7; }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestApp, CWinApp)
    ON_COMMAND(ID_HELP, OnHelpCommand)
END_MESSAGE_MAP()

class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_deleted = 0;
        AfxSetResourceHandle(&kResources);
    }
    void TearDown() override { AfxSetResourceHandle(nullptr); }

    static void Click(CDialog& dialog, int id) { ::SendMessageA(GetDlgItem(dialog.m_hWnd, id), BM_CLICK, 0, 0); }
};

TEST_F(FrameworkTest, MostDerivedEntryWinsAndUnmatchedEntriesFallThroughToTheBase)
{
    DerivedDlg dialog;
    uit::WhenModal([&dialog] {
        Click(dialog, 10);
        dialog.SendMessage(WM_COMMAND, MAKEWPARAM(99, BN_CLICKED), 0);  // nobody handles it
        dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);  // CDialog's map
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.log, "init derived-go ");
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

TEST_F(FrameworkTest, CommandsTheDialogLeavesGoToTheApplication)
{
    TestApp app;
    DerivedDlg dialog;
    uit::WhenModal([&dialog] {
        dialog.SendMessage(WM_COMMAND, MAKEWPARAM(ID_HELP, 0), 0);
        uit::PressKey(dialog.m_hWnd, VK_ESCAPE);
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(app.helpCommands, 1);
}

TEST_F(FrameworkTest, ExceptionLeavingAHandlerIsReportedOnceAndTheDialogGoesOn)
{
    struct Case {
        int button;
        const char* text;
    };
    const Case cases[] = {
        {11, "The command could not be completed:\nThe disk is on fire."},
        {12, "The command could not be completed:\nbad state"},
        {13, "The command could not be completed because of an unexpected error."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        RecordingPresenter boxes;
        DerivedDlg dialog;
        uit::WhenModal([&dialog, &c] {
            Click(dialog, c.button);
            Click(dialog, 10);  // still running, still answering
            uit::PressKey(dialog.m_hWnd, VK_ESCAPE);
        });
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        EXPECT_EQ(boxes.Texts(), std::vector<std::string>{c.text});
        EXPECT_EQ(dialog.log, "init derived-go ");
    }
    EXPECT_EQ(g_deleted, 1);  // the framework freed the thrown CException
}

TEST_F(FrameworkTest, DoModalWithoutItsTemplateAnswersMinusOne)
{
    CDialog missing(301);
    EXPECT_EQ(missing.DoModal(), -1);
    AfxSetResourceHandle(nullptr);
    DerivedDlg dialog;
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_EQ(dialog.log, "");
}

TEST_F(FrameworkTest, StartUpRunsInitInstanceWithTheInterfaceUpAndEndsWhenItAnswersFalse)
{
    TestApp app;
    EXPECT_EQ(AfxGetApp(), &app);
    CWnd* mainDuringDialog = nullptr;
    DerivedDlg dialog;
    app.initInstance = [&] {
        app.m_pMainWnd = &dialog;
        uit::WhenModal([&] {
            mainDuringDialog = AfxGetMainWnd();
            uit::PressKey(dialog.m_hWnd, VK_ESCAPE);
        });
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        return FALSE;
    };
    char name[] = "framework_test";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(AfxWinMain(1, argv, &kResources), 7);  // ExitInstance's answer
    EXPECT_EQ(mainDuringDialog, &dialog);
    EXPECT_EQ(AfxGetResourceHandle(), &kResources);
}

TEST_F(FrameworkTest, StartUpReportsAnExceptionOfInitInstance)
{
    RecordingPresenter boxes;
    TestApp app;
    app.initInstance = []() -> BOOL { throw new TestException("no session"); };
    EXPECT_NE(AfxWinMain(0, nullptr, &kResources), 0);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"The command could not be completed:\nno session"});
    EXPECT_EQ(g_deleted, 1);
}

TEST(ApplicationTitle, MessageBoxCaptionIsTheAppNameOrTheExecutableName)
{
    RecordingPresenter boxes;
    AfxMessageBox("without an application");
    {
        TestApp named("Named App");
        AfxMessageBox("named");
    }
    {
        TestApp unnamed;
        EXPECT_STREQ(unnamed.m_pszAppName, dravenlok::mfc::ApplicationTitle());
        AfxMessageBox("unnamed");
    }
    ASSERT_EQ(boxes.boxes.size(), 3u);
    EXPECT_EQ(boxes.boxes[0].caption, "framework_test");  // this executable's name
    EXPECT_EQ(boxes.boxes[1].caption, "Named App");
    EXPECT_EQ(boxes.boxes[2].caption, "framework_test");
    EXPECT_EQ(boxes.boxes[0].style, MB_ICONEXCLAMATION);  // MB_OK gets the exclamation icon
}

TEST(Exception, BaseHasNoMessageAndDeleteSparesObjectsNotOnTheHeap)
{
    static CException onStack(FALSE);
    char text[8] = "garbage";
    UINT help = 5;
    EXPECT_FALSE(onStack.GetErrorMessage(text, sizeof text, &help));
    EXPECT_STREQ(text, "");
    EXPECT_EQ(help, 0u);
    onStack.Delete();  // must not free a static object (ASan would report it)

    g_deleted = 0;
    {
        const dravenlok::mfc::ExceptionPtr owned(new TestException("x"));
        EXPECT_EQ(dravenlok::mfc::ExceptionMessage(*owned), "x");
    }
    EXPECT_EQ(g_deleted, 1);
}

}  // namespace
