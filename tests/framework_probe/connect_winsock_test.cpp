// The "Connect With Winsock" button: a click goes through the dialog's
// message map to the framework probe, and the handler reports every result
// but 200. Message boxes are recorded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/probe_dlg.h"
#include "platform/wininet/testing.h"
#include "tests/support/loopback_server.h"
#include "tests/support/recording_presenter.h"

namespace {

using dravenlok::testing::HttpReply;
using dravenlok::testing::LoopbackServer;
using dravenlok::testing::RecordingPresenter;
namespace seam = dravenlok::wininet::testing;

class ConnectWinsockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        seam::CapTimeoutsForTesting(300);
        app.m_pMainWnd = &dialog;
    }

    void TearDown() override
    {
        seam::CapTimeoutsForTesting(0);
        seam::ClearInjectedFailures();
        EXPECT_EQ(seam::OpenHandleCount(), 0U);
    }

    // A click on button 1002 as the framework's window procedure runs it:
    // an exception that leaves the handler gets the framework's report.
    void Click()
    {
        try {
            ASSERT_EQ(dialog.OnCmdMsg(IDC_CONNECT_WINSOCK, BN_CLICKED), TRUE);
        } catch (...) {
            AfxReportHandlerException();
        }
    }

    CWinApp app;
    CProbeDlg dialog;
    RecordingPresenter boxes;
};

TEST_F(ConnectWinsockTest, ResultsOtherThan200AreReported)
{
    struct Case {
        const char* name;
        int status;
        std::vector<std::string> shown;
    };
    const Case cases[] = {
        {"200", 200, {"hello"}},
        {"404", 404, {"HTTP Error Code - 404"}},
        {"401", 401, {"HTTP Error Code - 401"}},
        {"304", 304, {"HTTP Error Code - 304"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.boxes.clear();
        LoopbackServer server;
        server.Push(HttpReply(c.status, c.status == 200 ? "hello" : ""));
        Click();
        EXPECT_EQ(boxes.Texts(), c.shown);
    }
}

TEST_F(ConnectWinsockTest, RefusedConnectionShowsTheLayersTextThenCodeZero)
{
    Click();  // nothing listens on the target's port 80
    const char* text = SystemMessageText(ERROR_INTERNET_CANNOT_CONNECT);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{text, "HTTP Error Code - 0"}));
}

TEST_F(ConnectWinsockTest, SessionThatCannotBeOpenedGetsTheFrameworksReportOnly)
{
    seam::FailNextCall(seam::Call::InternetOpen, ERROR_NOT_ENOUGH_MEMORY);
    Click();
    ASSERT_EQ(boxes.boxes.size(), 1U);
    const std::string& shown = boxes.boxes[0].text;
    EXPECT_EQ(shown.find("HTTP Error Code"), std::string::npos);
    EXPECT_NE(shown.find(SystemMessageText(ERROR_NOT_ENOUGH_MEMORY)), std::string::npos) << shown;
}

}  // namespace
