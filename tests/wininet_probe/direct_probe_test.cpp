// The direct probe against the loopback server on port 80: what a 200 shows,
// what other statuses show, and one report per failing step, shown before
// any handle is closed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/probe_dlg.h"
#include "platform/wininet/testing.h"
#include "target_host.h"
#include "tests/support/loopback_server.h"
#include "tests/support/recording_presenter.h"

namespace {

using dravenlok::testing::HttpReply;
using dravenlok::testing::LoopbackServer;
using dravenlok::testing::RecordingPresenter;
namespace seam = dravenlok::wininet::testing;

// The internet library's last response text, as the report's last field shows it.
std::string LastResponseText()
{
    char text[1024] = {};
    DWORD error = 0;
    DWORD length = sizeof text;
    static_cast<void>(InternetGetLastResponseInfoA(&error, text, &length));
    text[sizeof text - 1] = '\0';
    return text;
}

class DirectProbeTest : public ::testing::Test {
protected:
    void SetUp() override { seam::ClearInjectedFailures(); }
    void TearDown() override
    {
        seam::ClearInjectedFailures();
        EXPECT_EQ(seam::OpenHandleCount(), 0u);  // every handle closed when GetURL returns
    }

    int Probe() { return m_dialog.GetURL(kTargetHost, "", ""); }

    CProbeDlg m_dialog;
    RecordingPresenter m_boxes;
};

TEST_F(DirectProbeTest, OkShowsWhatTheFirstReadDelivered)
{
    struct Case {
        const char* name;
        std::string body;
        std::string shown;
    };
    const std::string big = std::string(8191, 'a') + "Z" + std::string(100, 'b');
    const std::vector<Case> cases = {
        {"short", "hello, probe", "hello, probe"},
        {"zero byte ends the text", std::string("abc\0def", 7), "abc"},
        {"empty body", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackServer server;
        server.Push(HttpReply(200, c.body));
        RecordingPresenter boxes;
        EXPECT_EQ(Probe(), 200);
        EXPECT_EQ(boxes.Texts(), std::vector<std::string>{c.shown});
    }

    // Over 8191 bytes: one read of at most 8191, so the 8192nd byte never shows.
    LoopbackServer server;
    server.Push(HttpReply(200, big));
    RecordingPresenter boxes;
    EXPECT_EQ(Probe(), 200);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    const std::string& shown = boxes.boxes[0].text;
    EXPECT_FALSE(shown.empty());
    EXPECT_LE(shown.size(), 8191u);
    EXPECT_EQ(big.compare(0, shown.size(), shown), 0);
    EXPECT_EQ(shown.find('Z'), std::string::npos);
}

TEST_F(DirectProbeTest, SendsOneGetForTheRootToTheTargetHost)
{
    LoopbackServer server;
    server.Push(HttpReply(200, "ok"));
    EXPECT_EQ(Probe(), 200);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rfind("GET / HTTP/1.1\r\n", 0), 0u) << requests[0];
    EXPECT_EQ(dravenlok::testing::HeaderValue(requests[0], "Host"), kTargetHost);
}

TEST_F(DirectProbeTest, OtherStatusShowsNothingAndAnswersTheStatus)
{
    for (const int status : {404, 500, 301}) {
        SCOPED_TRACE(status);
        LoopbackServer server;
        server.Push(HttpReply(status, "not for the box"));
        RecordingPresenter boxes;
        EXPECT_EQ(Probe(), status);
        EXPECT_TRUE(boxes.boxes.empty());
    }
}

TEST_F(DirectProbeTest, FailingStepGivesOneReportWhileItsParentsAreStillOpen)
{
    struct Case {
        seam::Call call;
        const char* step;
        DWORD code;
        std::size_t openDuringReport;
    };
    const Case cases[] = {
        {seam::Call::InternetOpen, "InternetOpen", ERROR_NOT_ENOUGH_MEMORY, 0},
        {seam::Call::InternetConnect, "InternetConnect", ERROR_INTERNET_INVALID_URL, 1},
        {seam::Call::HttpOpenRequest, "HttpOpenRequest", ERROR_INTERNET_INCORRECT_HANDLE_STATE, 2},
        {seam::Call::HttpSendRequest, "HttpSendRequest", ERROR_INTERNET_TIMEOUT, 3},
    };
    LoopbackServer server;
    server.SetDefault(HttpReply(200, "ok"));
    EXPECT_EQ(Probe(), 200);  // leaves a last response text behind for the reports' last field
    m_boxes.boxes.clear();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        RecordingPresenter boxes;
        std::size_t openDuringReport = 99;
        boxes.OnPresent([&](const RecordingPresenter::Box&) { openDuringReport = seam::OpenHandleCount(); });
        seam::FailNextCall(c.call, c.code);
        EXPECT_EQ(Probe(), 0);
        ASSERT_NE(SystemMessageText(c.code), nullptr);
        const std::string expected = "ReqID 0, " + std::string(c.step) + " - " + SystemMessageText(c.code) + " (" +
                                     std::to_string(c.code) + ") - " + LastResponseText();
        EXPECT_EQ(boxes.Texts(), std::vector<std::string>{expected});
        EXPECT_EQ(openDuringReport, c.openDuringReport);
        EXPECT_EQ(seam::OpenHandleCount(), 0u);
    }
}

TEST_F(DirectProbeTest, UnreachableServerIsReportedAtTheSend)
{
    // Nothing listens on 127.0.0.1:80 in this namespace.
    std::size_t openDuringReport = 0;
    m_boxes.OnPresent([&](const RecordingPresenter::Box&) { openDuringReport = seam::OpenHandleCount(); });
    EXPECT_EQ(Probe(), 0);
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    const std::string expected = "ReqID 0, HttpSendRequest - " + std::string(SystemMessageText(ERROR_INTERNET_CANNOT_CONNECT)) +
                                 " (" + std::to_string(ERROR_INTERNET_CANNOT_CONNECT) + ") - " + LastResponseText();
    EXPECT_EQ(m_boxes.boxes[0].text, expected);
    EXPECT_EQ(openDuringReport, 3u);
}

TEST_F(DirectProbeTest, CodeWithoutSystemTextReadsNull)
{
    constexpr DWORD kUnknown = 0xBEEF;
    ASSERT_EQ(SystemMessageText(kUnknown), nullptr);
    seam::FailNextCall(seam::Call::InternetOpen, kUnknown);
    EXPECT_EQ(Probe(), 0);
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{"ReqID 0, InternetOpen - (null) (48879) - " + LastResponseText()});
}

TEST_F(DirectProbeTest, FailedStatusQueryShowsNothingAndFailedReadShowsAnEmptyBox)
{
    LoopbackServer server;
    server.SetDefault(HttpReply(200, "body"));

    seam::FailNextCall(seam::Call::HttpQueryInfo, ERROR_HTTP_HEADER_NOT_FOUND);
    EXPECT_EQ(Probe(), 0);
    EXPECT_TRUE(m_boxes.boxes.empty());

    seam::FailNextCall(seam::Call::InternetReadFile, ERROR_INTERNET_CONNECTION_RESET);
    EXPECT_EQ(Probe(), 200);
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{""});
}

}  // namespace
