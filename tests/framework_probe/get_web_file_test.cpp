// The framework probe against the scripted loopback server: redirects, the
// request bytes, the body, the internet layer's failures and what is still
// held while a box is shown. Message boxes are recorded.
#include "framework_probe/get_web_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "framework_probe/probe_session.h"
#include "platform/mfc/internet.h"
#include "platform/wininet/testing.h"
#include "target_host.h"
#include "tests/support/loopback_server.h"
#include "tests/support/recording_presenter.h"

namespace {

using dravenlok::framework_probe::GetWebFile;
using dravenlok::framework_probe::kMaxBodyBytes;
using dravenlok::testing::HttpReply;
using dravenlok::testing::LoopbackServer;
using dravenlok::testing::RecordingPresenter;
using dravenlok::testing::Reply;
namespace seam = dravenlok::wininet::testing;
using namespace std::chrono_literals;

constexpr char kAcceptLine[] =
    "Accept: audio/x-aiff, audio/basic, audio/midi, audio/mpeg, audio/wav, image/jpeg, "
    "image/gif, image/jpg, image/png, image/mng, image/bmp, text/plain, text/html, text/htm\r\n";
constexpr char kUserAgentLine[] = "User-Agent: GetWebFile/1.0\r\n";

std::string Url(const std::string& path)
{
    return std::string("http://") + kTargetHost + path;
}

Reply Redirect(int status, const std::string& location)
{
    return HttpReply(status, "moved", {"Location: " + location});
}

std::string LayerText(DWORD code)
{
    const char* text = SystemMessageText(code);
    return text != nullptr ? text : "";
}

std::string RequestLine(const std::string& request)
{
    return request.substr(0, request.find("\r\n"));
}

class GetWebFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The probe's own 30 s / 1 s settings, run quickly.
        seam::CapTimeoutsForTesting(300);
    }

    void TearDown() override
    {
        seam::CapTimeoutsForTesting(0);
        seam::ClearInjectedFailures();
        EXPECT_EQ(seam::OpenHandleCount(), 0U);
    }

    int Probe(const char* server = kTargetHost, INTERNET_PORT port = 80)
    {
        return GetWebFile("GetWebFile", server, port, "/");
    }

    RecordingPresenter boxes;
};

// ---- Redirects ----------------------------------------------------------------------------

struct RedirectCase {
    const char* name;
    Reply first;
    std::optional<Reply> second;   // what the redirect target answers, if it is asked
    int result;
    std::vector<std::string> shown;
    std::string secondPath;        // request target of the redirect request
};

TEST_F(GetWebFileTest, RedirectTable)
{
    const std::vector<RedirectCase> cases = {
        {"301", Redirect(301, Url("/next")), HttpReply(200, "moved here"), 200, {"moved here"}, "/next"},
        {"302", Redirect(302, Url("/next")), HttpReply(200, "found"), 200, {"found"}, "/next"},
        {"303", Redirect(303, Url("/next?q=1#top")), HttpReply(200, "see other"), 200, {"see other"},
         "/next?q=1"},
        {"second redirect", Redirect(302, Url("/a")), Redirect(302, Url("/b")), 302, {}, "/a"},
        {"redirect to 404", Redirect(301, Url("/gone")), HttpReply(404, "no"), 404, {}, "/gone"},
        {"300", Redirect(300, Url("/next")), std::nullopt, 300, {}, ""},
        {"304", Redirect(304, Url("/next")), std::nullopt, 304, {}, ""},
        {"305", Redirect(305, Url("/next")), std::nullopt, 305, {}, ""},
        {"307", Redirect(307, Url("/next")), std::nullopt, 307, {}, ""},
        {"401", Redirect(401, Url("/next")), std::nullopt, 401, {}, ""},
        {"lower-case name", HttpReply(302, "", {"location: " + Url("/next")}), std::nullopt, 0, {}, ""},
        {"no Location", HttpReply(301, ""), std::nullopt, 0, {}, ""},
        {"relative target", Redirect(302, "/next"), std::nullopt, 0, {}, ""},
        // The marker search runs over the whole block: a header name that
        // ends in "Location" and comes first wins.
        {"Content-Location first",
         HttpReply(302, "", {"Content-Location: " + Url("/content"), "Location: " + Url("/next")}),
         HttpReply(200, "content"), 200, {"content"}, "/content"},
    };
    for (const RedirectCase& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.boxes.clear();
        LoopbackServer server;
        server.Push(c.first);
        if (c.second) {
            server.Push(*c.second);
        }
        EXPECT_EQ(Probe(), c.result);
        EXPECT_EQ(boxes.Texts(), c.shown);
        const std::vector<std::string> requests = server.Requests();
        ASSERT_EQ(requests.size(), c.second ? 2U : 1U);
        if (c.second) {
            EXPECT_EQ(RequestLine(requests[1]), "GET " + c.secondPath + " HTTP/1.0");
        }
        EXPECT_EQ(seam::OpenHandleCount(), 0U);
    }
}

TEST_F(GetWebFileTest, SecureTargetIsFetchedAsPlainHttpAtItsPort)
{
    LoopbackServer first;
    LoopbackServer secure("127.0.0.1", 443);
    first.Push(Redirect(302, std::string("https://") + kTargetHost + "/secure\r"));
    secure.Push(HttpReply(200, "plain on 443"));
    EXPECT_EQ(Probe(), 200);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"plain on 443"});
    ASSERT_EQ(secure.Requests().size(), 1U);
    EXPECT_EQ(RequestLine(secure.LastRequest()), "GET /secure HTTP/1.0");
}

TEST_F(GetWebFileTest, RequestBytesOfTheFirstAndTheRedirectRequest)
{
    LoopbackServer server;
    server.Push(Redirect(302, Url("/next")));
    server.Push(HttpReply(200, "ok"));
    ASSERT_EQ(Probe(), 200);
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2U);
    const std::string host = std::string("Host: ") + kTargetHost + "\r\n";
    // The User-Agent line of the request wins over the session's agent name,
    // which the layer uses only where a request has none.
    EXPECT_EQ(requests[0], std::string("GET / HTTP/1.0\r\n") + host + kAcceptLine + kUserAgentLine + "\r\n");
    EXPECT_EQ(requests[1], std::string("GET /next HTTP/1.0\r\n") + host + kAcceptLine +
                               "User-Agent: GetWebFile\r\n\r\n");
}

TEST_F(GetWebFileTest, RedirectReleasesTheFirstPairBeforeItConnectsAgain)
{
    // The redirect's connection cannot be obtained: its error box shows that
    // only the session is held, the first request and connection being gone.
    LoopbackServer server;
    Reply moved = Redirect(302, Url("/next"));
    moved.drip = 3ms;  // time to arm the failure once the first request is in
    server.Push(moved);
    std::thread arm([&server] {
        if (server.WaitForRequests(1, 10s)) {
            seam::FailNextCall(seam::Call::InternetConnect, ERROR_INTERNET_OUT_OF_HANDLES);
        }
    });
    std::size_t heldAtBox = 0;
    boxes.OnPresent([&](const RecordingPresenter::Box&) { heldAtBox = seam::OpenHandleCount(); });
    EXPECT_EQ(Probe(), 0);
    arm.join();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{LayerText(ERROR_INTERNET_OUT_OF_HANDLES)});
    EXPECT_EQ(heldAtBox, 1U);
    EXPECT_EQ(server.Requests().size(), 1U);
}

// ---- The body ---------------------------------------------------------------------------------

TEST_F(GetWebFileTest, BodyIsShownWholeOnceWhileTheRequestIsStillOpen)
{
    struct BodyCase {
        const char* name;
        std::string body;
        std::string shown;
    };
    const std::string longBody = [] {
        std::string text;
        for (int i = 0; text.size() < 5000; ++i) {
            text += std::to_string(i) + ",";
        }
        return text;
    }();
    // A zero byte ends its own piece of 1999 bytes; the next piece counts again.
    const std::string withZero = "A" + std::string(1, '\0') + std::string(1997, 'b') + "tail";
    const BodyCase cases[] = {
        {"empty", "", ""},
        {"over one read", longBody, longBody},
        {"zero byte in a piece", withZero, "Atail"},
    };
    for (const BodyCase& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.boxes.clear();
        LoopbackServer server;
        server.Push(HttpReply(200, c.body));
        std::size_t heldAtBox = 0;
        boxes.OnPresent([&](const RecordingPresenter::Box&) { heldAtBox = seam::OpenHandleCount(); });
        EXPECT_EQ(Probe(), 200);
        EXPECT_EQ(boxes.Texts(), std::vector<std::string>{c.shown});
        EXPECT_EQ(heldAtBox, 3U);
    }
}

TEST_F(GetWebFileTest, EndlessBodyStopsAtTheLimitAndShowsWhatWasRead)
{
    LoopbackServer server;
    Reply endless;
    endless.bytes = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
    endless.after = Reply::After::Endless;
    server.Push(endless);
    EXPECT_EQ(Probe(), 200);
    ASSERT_EQ(boxes.boxes.size(), 1U);
    EXPECT_EQ(boxes.boxes[0].text, std::string(kMaxBodyBytes, 'x'));
}

// ---- Failures ---------------------------------------------------------------------------------

TEST_F(GetWebFileTest, LayerFailuresShowTheLayersTextAndAnswerZero)
{
    struct FailureCase {
        const char* name;
        const char* server;
        DWORD code;
    };
    const FailureCase cases[] = {
        {"refused", kTargetHost, ERROR_INTERNET_CANNOT_CONNECT},  // nothing listens on port 80
        {"unresolvable", "nowhere.invalid", ERROR_INTERNET_NAME_NOT_RESOLVED},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.boxes.clear();
        EXPECT_EQ(Probe(c.server), 0);
        EXPECT_EQ(boxes.Texts(), std::vector<std::string>{LayerText(c.code)});
    }
}

TEST_F(GetWebFileTest, RefusedConnectionIsTriedExactlyTwice)
{
    // The layer makes no retry of its own; the probe's session asks for one.
    const std::size_t before = seam::FailedConnectAttempts();
    EXPECT_EQ(Probe(), 0);
    EXPECT_EQ(seam::FailedConnectAttempts() - before, 2U);
}

TEST_F(GetWebFileTest, SilentServerTimesOut)
{
    LoopbackServer server;
    Reply silent;
    silent.after = Reply::After::Hang;
    server.Push(silent);
    EXPECT_EQ(Probe(), 0);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{LayerText(ERROR_INTERNET_TIMEOUT)});
}

TEST_F(GetWebFileTest, InjectedFailures)
{
    struct InjectedCase {
        const char* name;
        seam::Call call;
        DWORD code;
        std::vector<std::string> shown;
        std::size_t heldAtBox;
    };
    const InjectedCase cases[] = {
        {"connection", seam::Call::InternetConnect, ERROR_INTERNET_OUT_OF_HANDLES,
         {LayerText(ERROR_INTERNET_OUT_OF_HANDLES)}, 1},
        // The request object without a handle fails at its send, with the
        // open's own code.
        {"open", seam::Call::HttpOpenRequest, ERROR_INTERNET_OUT_OF_HANDLES,
         {LayerText(ERROR_INTERNET_OUT_OF_HANDLES)}, 2},
        {"send", seam::Call::HttpSendRequest, ERROR_INTERNET_CONNECTION_RESET,
         {LayerText(ERROR_INTERNET_CONNECTION_RESET)}, 3},
        {"code without text", seam::Call::HttpSendRequest, 0x7FFF0001, {"Some crazy unknown error"}, 3},
        {"read", seam::Call::InternetReadFile, ERROR_INTERNET_CONNECTION_ABORTED,
         {LayerText(ERROR_INTERNET_CONNECTION_ABORTED)}, 3},
        // The status cannot be read after a send that worked: 0, no body.
        {"status query", seam::Call::HttpQueryInfo, ERROR_HTTP_HEADER_NOT_FOUND, {}, 0},
    };
    for (const InjectedCase& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.boxes.clear();
        LoopbackServer server;
        server.SetDefault(HttpReply(200, "body"));
        std::size_t heldAtBox = 0;
        boxes.OnPresent([&](const RecordingPresenter::Box&) { heldAtBox = seam::OpenHandleCount(); });
        seam::FailNextCall(c.call, c.code);
        EXPECT_EQ(Probe(), 0);
        EXPECT_EQ(boxes.Texts(), c.shown);
        EXPECT_EQ(heldAtBox, c.heldAtBox);
        EXPECT_EQ(seam::OpenHandleCount(), 0U);
        seam::ClearInjectedFailures();
    }
}

TEST_F(GetWebFileTest, SessionThatCannotBeOpenedEscapes)
{
    seam::FailNextCall(seam::Call::InternetOpen, ERROR_NOT_ENOUGH_MEMORY);
    DWORD code = 0;
    try {
        static_cast<void>(Probe());
    } catch (CInternetException* exception) {
        code = exception->m_dwError;
        exception->Delete();
    }
    EXPECT_EQ(code, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_TRUE(boxes.boxes.empty());
}

// ---- The session ----------------------------------------------------------------------------

TEST_F(GetWebFileTest, SessionOptionsAreTheProbes)
{
    CProbeSession session("GetWebFile");
    dravenlok::framework_probe::ConfigureSession(session);
    const std::pair<DWORD, DWORD> expected[] = {
        {INTERNET_OPTION_CONNECT_TIMEOUT, 30000},
        {INTERNET_OPTION_CONNECT_BACKOFF, 1000},
        {INTERNET_OPTION_CONNECT_RETRIES, 1},
    };
    for (const auto& [option, value] : expected) {
        DWORD actual = 0;
        ASSERT_EQ(session.QueryOption(option, actual), TRUE) << option;
        EXPECT_EQ(actual, value) << option;
    }
}

TEST_F(GetWebFileTest, TwoCallsShareNothing)
{
    LoopbackServer server;
    server.SetDefault(HttpReply(200, "same"));
    EXPECT_EQ(Probe(), 200);
    EXPECT_EQ(seam::OpenHandleCount(), 0U);
    EXPECT_EQ(Probe(), 200);
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2U);
    EXPECT_EQ(requests[0], requests[1]);  // the second again with its User-Agent line
    EXPECT_EQ(server.Connections(), 2);    // no connection carried over
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"same", "same"}));
}

}  // namespace
