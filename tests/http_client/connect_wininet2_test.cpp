// The dialog's "Connect WinInet 2" button runs the client probe against the
// target host (127.0.0.1 in the test namespace).
#include <gtest/gtest.h>

#include "app/probe_dlg.h"
#include "app/resources.h"
#include "platform/ui/testing.h"
#include "tests/support/loopback_server.h"
#include "tests/support/recording_presenter.h"

namespace {

namespace uit = dravenlok::ui::testing;

TEST(ConnectWinInet2, ClickShowsTheTargetsBody)
{
    dravenlok::testing::LoopbackServer server;
    server.Push(dravenlok::testing::HttpReply(200, "served by the target"));
    dravenlok::testing::RecordingPresenter boxes;
    AfxSetResourceHandle(&dravenlok::app::Resources());
    CProbeDlg dialog;
    uit::WhenModal([&dialog] {
        SendMessageA(GetDlgItem(dialog.m_hWnd, IDC_CONNECT_WININET2), BM_CLICK, 0, 0);
        uit::PressKey(dialog.m_hWnd, VK_ESCAPE);
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    AfxSetResourceHandle(nullptr);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"served by the target"});
    EXPECT_EQ(server.LastRequest().rfind("GET / HTTP/1.0\r\n", 0), 0U);
}

}  // namespace
