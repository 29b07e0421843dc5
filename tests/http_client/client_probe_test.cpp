// The client probe of the "Connect WinInet 2" button: one GET of the target
// host's root and one message box, recorded instead of shown. The test
// namespace names the target host 127.0.0.1.
#include <gtest/gtest.h>

#include <string>

#include "http_client/client_probe.h"
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"
#include "platform/wininet/testing.h"
#include "tests/support/loopback_server.h"
#include "tests/support/recording_presenter.h"

namespace {

using dravenlok::testing::HttpReply;
using dravenlok::testing::LoopbackServer;
using dravenlok::testing::RecordingPresenter;
namespace seam = dravenlok::wininet::testing;

// What the system's formatter says for `code`, as the probe asks for it.
std::string SystemText(DWORD code)
{
    char text[2048] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                                        LANG_USER_DEFAULT, text, sizeof text, nullptr);
    return std::string(text, length);
}

class ClientProbeTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        seam::ClearInjectedFailures();
        EXPECT_EQ(seam::OpenHandleCount(), 0U);
    }

    // Runs the probe and answers the one box it showed.
    std::string Probe()
    {
        RunClientProbe();
        EXPECT_EQ(m_boxes.boxes.size(), 1U);
        return m_boxes.boxes.empty() ? std::string() : m_boxes.boxes.back().text;
    }

    RecordingPresenter m_boxes;
};

TEST_F(ClientProbeTest, ShowsTheBodyAsText)
{
    LoopbackServer server;
    const struct {
        std::string sent;
        std::string shown;
    } cases[] = {
        {"Hello from the target", "Hello from the target"},
        {std::string("before\0after", 12), "before"},
        {std::string(150000, 'b'), std::string(100000, 'b')},  // never past the buffer
    };
    for (const auto& c : cases) {
        server.Push(HttpReply(200, c.sent));
        m_boxes.boxes.clear();
        // The handles are closed before the box is shown.
        m_boxes.OnPresent([](const RecordingPresenter::Box&) {
            EXPECT_EQ(seam::OpenHandleCount(), 0U);
        });
        EXPECT_EQ(Probe(), c.shown);
    }
    const std::string request = server.LastRequest();
    EXPECT_EQ(request.rfind("GET / HTTP/1.0\r\n", 0), 0U) << request;
    EXPECT_EQ(dravenlok::testing::HeaderValue(request, "User-Agent"), "TALVIK(0.9/;p)");
    EXPECT_EQ(dravenlok::testing::HeaderValue(request, "Host"), "target.dravenlok.test");
}

TEST_F(ClientProbeTest, RefusedConnectionShowsTheSystemsText)
{
    // Nothing listens on port 80.
    const std::string text = Probe();
    EXPECT_EQ(text, SystemText(ERROR_INTERNET_CANNOT_CONNECT));
    EXPECT_FALSE(text.empty());
}

TEST_F(ClientProbeTest, EmptyBodyIsNotReportedAsSuccess)
{
    LoopbackServer server;
    server.Push(HttpReply(200, ""));
    const std::string text = Probe();
    EXPECT_EQ(text, SystemText(ERROR_NO_DATA));
    EXPECT_NE(text, SystemText(ERROR_SUCCESS));
}

TEST_F(ClientProbeTest, CodeWithoutTextIsShownInDecimal)
{
    ASSERT_EQ(SystemText(4242), "");
    seam::FailNextCall(seam::Call::InternetConnect, 4242);
    EXPECT_EQ(Probe(), "Error 4242");

    // A text that cannot be allocated is no text either.
    m_boxes.boxes.clear();
    dravenlok::win32::FailLocalAllocForTesting(0);
    const std::string text = Probe();
    dravenlok::win32::FailLocalAllocForTesting(-1);
    EXPECT_EQ(text, "Error " + std::to_string(ERROR_INTERNET_CANNOT_CONNECT));
}

}  // namespace
