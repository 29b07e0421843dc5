// Misbehaving servers against the three probes and the client object. One
// table of answers (refused, silent, dripped, cut short, malformed, oversized,
// endless, reset, badly redirected); every row runs against each of the four,
// in its own process and network namespace, with the layer's time-outs
// capped. For each run: it finishes (a watchdog ends the process otherwise),
// it shows exactly the boxes that name the outcome truthfully, the server
// sent a bounded amount and the process grew by a bounded amount, and no
// handle of the internet layer is left open.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "app/probe_dlg.h"
#include "framework_probe/get_web_file.h"
#include "http_client/client_probe.h"
#include "http_client/http_client.h"
#include "platform/win32/win32.h"
#include "platform/wininet/testing.h"
#include "target_host.h"
#include "tests/support/loopback_server.h"
#include "tests/support/recording_presenter.h"

namespace {

using dravenlok::testing::HttpReply;
using dravenlok::testing::LoopbackServer;
using dravenlok::testing::RawReply;
using dravenlok::testing::RecordingPresenter;
using dravenlok::testing::Reply;
namespace seam = dravenlok::wininet::testing;
using namespace std::chrono_literals;

// Every connect, send and receive time-out of the layer is cut to this, so a
// silent server is given up on quickly; dripped bytes come faster than it.
constexpr DWORD kTimeoutCapMs = 500;
// A server that drips at this pace never lets a single wait run out; only the
// exchange's total (a few seconds under the cap) ends it.
constexpr auto kJustUnderTheCap = 350ms;
// A run that has not finished after this has hung: generous, as the suite
// also runs under the sanitizers and valgrind.
constexpr auto kWatchdog = 100s;
// Bounds of what one run may cost: what an endless server gets to send
// before the probe lets go, and how much the process may grow.
constexpr std::uint64_t kMaxBytesSent = std::uint64_t{64} << 20;
constexpr long kMaxGrowthKiB = 256L * 1024;

constexpr std::size_t kDirectRead = 8191;  // the direct probe's one read
constexpr std::size_t kClientBuffer = CHttpClient::kBufferSize;
constexpr char kAgent[] = "TALVIK(0.9/;p)";

std::string TargetUrl(const std::string& path = "/")
{
    return std::string("http://") + kTargetHost + path;
}

std::string Text(DWORD code)
{
    const char* text = SystemMessageText(code);
    return text != nullptr ? text : "";
}

// The direct probe's report of a failed send.
std::string SendReport(DWORD code, const std::string& lastLine)
{
    return "ReqID 0, HttpSendRequest - " + Text(code) + " (" + std::to_string(code) + ") - " +
           lastLine;
}

std::string UpToZero(const std::string& text)
{
    return text.substr(0, text.find('\0'));
}

// ---- Server answers -------------------------------------------------------------------

Reply Dripped(Reply reply, std::chrono::milliseconds pause, std::size_t from = 0)
{
    reply.drip = pause;
    reply.drip_from = from;
    return reply;
}

Reply Chunked(const std::string& chunks)
{
    return RawReply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n" +
               chunks);
}

Reply Redirect(const std::string& location)
{
    return HttpReply(302, "moved", {"Location: " + location});
}

std::string ManyHeaderLines(std::size_t count, std::size_t valueLength)
{
    std::string lines;
    for (std::size_t i = 0; i < count; ++i) {
        lines += "X-Filler-" + std::to_string(i) + ": " + std::string(valueLength, 'v') + "\r\n";
    }
    return lines;
}

Reply WithHeaderBlock(const std::string& lines, const std::string& body)
{
    return RawReply("HTTP/1.1 200 OK\r\n" + lines + "Content-Length: " + std::to_string(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body);
}

// ---- What each of the four should come to ------------------------------------------------

struct Expect {
    // The direct probe: its answer and its boxes.
    int direct = 0;
    std::vector<std::string> directBoxes;
    // The client object: Request's answer, then the code it kept (answer 0)
    // or the body it read (answer 1). The client probe shows the one or the
    // other's text.
    int client = 0;
    DWORD clientCode = 0;
    std::string clientBody;
    // The framework probe: its answer and its boxes.
    int framework = 0;
    std::vector<std::string> frameworkBoxes;
    // The direct probe's box and the client's body are a part of directBoxes
    // and clientBody from their start: how much came before the time ran out.
    bool partialBody = false;
};

// Every one of the four fails at the send with `code`; the direct probe's
// report ends with the server's first line.
Expect FailsAtSend(DWORD code, const std::string& lastLine = "")
{
    return {0, {SendReport(code, lastLine)}, 0, code, "", 0, {Text(code)}};
}

// A 200 answer whose body every one of the four takes whole.
Expect Body(const std::string& body)
{
    return {200, {UpToZero(body)}, 1, 0, body, 200, {UpToZero(body)}};
}

// The headers came and the body broke off with `code` after `partial`: the
// direct probe shows what its one read got, the client keeps the partial
// body (or fails with the code when there is none), the framework reports
// the failure.
Expect BodyBreaks(DWORD code, const std::string& partial)
{
    Expect e{200, {UpToZero(partial)}, 1, 0, partial, 0, {Text(code)}};
    if (partial.empty()) {
        e.client = 0;
        e.clientCode = code;
    }
    return e;
}

struct Scenario {
    const char* name;
    bool listen = true;                 // false: nothing listens on the target's port
    std::vector<Reply> replies;         // one per request, in order
    std::optional<Reply> otherwise;     // the answer to every further request
    Expect expect;
    std::size_t requests = 1;           // requests the framework probe makes
};

const std::string kLongReason(60000, 'R');
const std::string kHugeLocation = TargetUrl("/" + std::string(90000, 'a'));
const std::string kNulBody("before\0after", 12);
const std::string kInvalidUtf8 = "bad \xC3\x28 \xA0\xA1 \xF0\x28\x8C\xBC \xFF\xFE end";

std::vector<Scenario> Scenarios()
{
    std::vector<Scenario> s;
    s.push_back({"Refused", false, {}, {}, FailsAtSend(ERROR_INTERNET_CANNOT_CONNECT), 0});
    s.push_back({"Silent", true, {RawReply("", Reply::After::Hang)}, {},
                 FailsAtSend(ERROR_INTERNET_TIMEOUT)});
    s.push_back({"SilentAfterTheStatusLine", true, {RawReply("HTTP/1.1 200 OK\r\n", Reply::After::Hang)},
                 {}, FailsAtSend(ERROR_INTERNET_TIMEOUT, "HTTP/1.1 200 OK")});
    s.push_back({"SilentHalfWayThroughTheBody", true,
                 {RawReply("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nhalf", Reply::After::Hang)}, {},
                 BodyBreaks(ERROR_INTERNET_TIMEOUT, "half")});
    s.push_back({"DripOneByteAtATime", true,
                 {Dripped(HttpReply(200, "dripped, byte by byte"), 3ms)}, {},
                 Body("dripped, byte by byte")});
    s.push_back({"CloseBeforeStatusLine", true, {RawReply("")}, {},
                 FailsAtSend(ERROR_HTTP_INVALID_SERVER_RESPONSE)});
    s.push_back({"ResetBeforeStatusLine", true, {RawReply("", Reply::After::Reset)}, {},
                 FailsAtSend(ERROR_INTERNET_CONNECTION_RESET)});
    s.push_back({"CloseInTheHeaders", true, {RawReply("HTTP/1.1 200 OK\r\nContent-Type: text/pl")}, {},
                 FailsAtSend(ERROR_HTTP_INVALID_SERVER_RESPONSE, "HTTP/1.1 200 OK")});
    s.push_back({"BodyShorterThanContentLength", true,
                 {RawReply("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly ten b")}, {},
                 BodyBreaks(ERROR_INTERNET_CONNECTION_ABORTED, "only ten b")});
    s.push_back({"StatusLineNotHttp", true, {RawReply("garbage from the server\r\n\r\nbody")}, {},
                 FailsAtSend(ERROR_HTTP_INVALID_SERVER_RESPONSE, "garbage from the server")});
    // curl rejects these lines before it hands them on: no line to show.
    s.push_back({"StatusCodeNotDigits", true, {RawReply("HTTP/1.1 2x0 OK\r\nContent-Length: 2\r\n\r\nok")},
                 {}, FailsAtSend(ERROR_HTTP_INVALID_SERVER_RESPONSE)});
    s.push_back({"StatusLineWithoutCode", true, {RawReply("HTTP/1.1\r\n\r\nbody")}, {},
                 FailsAtSend(ERROR_HTTP_INVALID_SERVER_RESPONSE)});
    s.push_back({"StatusLineLong", true, {HttpReply(200, "long reason", {}, kLongReason)}, {},
                 Body("long reason")});
    s.push_back({"StatusLineOverlong", true,
                 {HttpReply(200, "never seen", {}, std::string(300000, 'R'))}, {},
                 FailsAtSend(ERROR_HTTP_INVALID_SERVER_RESPONSE)});
    {
        // Over the client's 100000-byte header buffer, within what the layer takes.
        Scenario big{"HeaderBlockOver100000Bytes", true,
                     {WithHeaderBlock(ManyHeaderLines(100, 1500), "after big headers")}, {},
                     Body("after big headers")};
        big.expect.client = 0;
        big.expect.clientCode = ERROR_INSUFFICIENT_BUFFER;
        big.expect.clientBody = "after big headers";
        s.push_back(big);
    }
    s.push_back({"HeaderBlockOverTheLayersLimit", true,
                 {WithHeaderBlock(ManyHeaderLines(700, 1500), "never seen")}, {},
                 FailsAtSend(ERROR_HTTP_INVALID_SERVER_RESPONSE, "HTTP/1.1 200 OK")});
    s.push_back({"ThousandsOfHeaderLines", true,
                 {WithHeaderBlock(ManyHeaderLines(5000, 1), "after many lines")}, {},
                 Body("after many lines")});
    {
        // A header block or a run of interim answers that never ends: the
        // layer stops taking them at its limit.
        Reply headers = RawReply("HTTP/1.1 200 OK\r\n", Reply::After::Endless);
        headers.endless_chunk = "X-Again: and again\r\n";
        Reply interim = RawReply("", Reply::After::Endless);
        interim.endless_chunk = "HTTP/1.1 100 Continue\r\n\r\n";
        s.push_back({"EndlessHeaderBlock", true, {headers}, {},
                     FailsAtSend(ERROR_HTTP_INVALID_SERVER_RESPONSE, "HTTP/1.1 200 OK")});
        s.push_back({"EndlessInterimAnswers", true, {interim}, {},
                     FailsAtSend(ERROR_HTTP_INVALID_SERVER_RESPONSE, "HTTP/1.1 100 Continue")});
    }
    // A length beyond 64 bits is no length: the body runs to the close.
    s.push_back({"ContentLengthOverflowing", true,
                 {RawReply("HTTP/1.1 200 OK\r\nContent-Length: 184467440737095516160\r\n\r\nbody")}, {},
                 Body("body")});
    s.push_back({"ContentLengthNegative", true,
                 {RawReply("HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nbody")}, {},
                 FailsAtSend(ERROR_HTTP_INVALID_SERVER_RESPONSE, "HTTP/1.1 200 OK")});
    s.push_back({"HeaderLineOverlong", true,
                 {WithHeaderBlock("X-Huge: " + std::string(300000, 'h') + "\r\n", "never seen")}, {},
                 FailsAtSend(ERROR_HTTP_INVALID_SERVER_RESPONSE, "HTTP/1.1 200 OK")});
    s.push_back({"ChunkSizeNegative", true, {Chunked("-5\r\nhello\r\n0\r\n\r\n")}, {},
                 BodyBreaks(ERROR_HTTP_INVALID_SERVER_RESPONSE, "")});
    s.push_back({"ChunkSizeOverflowing", true,
                 {Chunked("FFFFFFFFFFFFFFFFFFFFFFFF\r\nhello\r\n0\r\n\r\n")}, {},
                 BodyBreaks(ERROR_HTTP_INVALID_SERVER_RESPONSE, "")});
    s.push_back({"ChunkSizeMissing", true, {Chunked("\r\nhello\r\n0\r\n\r\n")}, {},
                 BodyBreaks(ERROR_HTTP_INVALID_SERVER_RESPONSE, "")});
    s.push_back({"ChunkedBodyCutShort", true, {Chunked("a\r\nhello")}, {},
                 BodyBreaks(ERROR_INTERNET_CONNECTION_ABORTED, "hello")});
    {
        // Each probe takes what it has room for and lets go of the rest.
        Reply endless = RawReply("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", Reply::After::Endless);
        endless.endless_chunk = std::string(4096, 'x');
        const std::string framework(dravenlok::framework_probe::kMaxBodyBytes, 'x');
        s.push_back({"EndlessBody", true, {endless}, {},
                     {200, {std::string(kDirectRead, 'x')}, 1, 0, std::string(kClientBuffer, 'x'),
                      200, {framework}}});
    }
    {
        // A byte just before each wait would run out, far longer than any
        // run may take: the exchange's total ends it. The headers fail the
        // send; a body is handed out as far as it came, then fails.
        const std::string status = "HTTP/1.1 200 OK\r\n";
        const std::string head = status + "Connection: close\r\n\r\n";
        const std::string dripped(2000, 'd');
        s.push_back({"DripEndlessHeadersJustUnderTheReceiveTimeOut", true,
                     {Dripped(RawReply(status + "X-Slow: " + dripped, Reply::After::Hang),
                              kJustUnderTheCap, status.size())},
                     {}, FailsAtSend(ERROR_INTERNET_TIMEOUT, "HTTP/1.1 200 OK")});
        Expect partial = BodyBreaks(ERROR_INTERNET_TIMEOUT, dripped);
        partial.partialBody = true;
        s.push_back({"DripEndlessBodyJustUnderTheReceiveTimeOut", true,
                     {Dripped(RawReply(head + dripped, Reply::After::Hang), kJustUnderTheCap,
                              head.size())},
                     {}, partial});
    }
    s.push_back({"NulBytesInTheBody", true, {HttpReply(200, kNulBody)}, {}, Body(kNulBody)});
    s.push_back({"InvalidUtf8InTheBody", true, {HttpReply(200, kInvalidUtf8)}, {},
                 Body(kInvalidUtf8)});
    {
        // Only the framework probe follows redirects; the others take the
        // 302 as it is.
        const Expect moved{302, {}, 1, 0, "moved", 0, {}};
        Expect huge = moved;
        huge.framework = 200;
        huge.frameworkBoxes = {"far away"};
        Expect self = moved;
        self.framework = 302;
        s.push_back({"RedirectLocationEmpty", true, {Redirect("")}, {}, moved});
        s.push_back({"RedirectLocationEnormous", true,
                     {Redirect(kHugeLocation), HttpReply(200, "far away")}, {}, huge, 2});
        s.push_back({"RedirectToItself", true, {}, Redirect(TargetUrl()), self, 2});
    }
    {
        Reply reset = RawReply("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(500, 'r'),
                          Reply::After::Reset);
        s.push_back({"ResetHalfWayThroughTheBody", true, {reset}, {},
                     BodyBreaks(ERROR_INTERNET_CONNECTION_RESET, std::string(500, 'r'))});
    }
    return s;
}

const std::vector<Scenario>& AllScenarios()
{
    static const std::vector<Scenario> scenarios = Scenarios();
    return scenarios;
}

// ---- Running one of the four --------------------------------------------------------------

enum class Subject { DirectProbe, ClientProbe, FrameworkProbe, ClientObject };

constexpr const char* SubjectName(Subject subject)
{
    switch (subject) {
    case Subject::DirectProbe: return "DirectProbe";
    case Subject::ClientProbe: return "ClientProbe";
    case Subject::FrameworkProbe: return "FrameworkProbe";
    case Subject::ClientObject: return "ClientObject";
    }
    return "";
}

void PrintTo(Subject subject, std::ostream* out)
{
    *out << SubjectName(subject);
}

// Ends the process when the guarded run has not finished in time: a probe
// that hangs cannot be stopped from outside, and a hang is the fault.
class Watchdog {
public:
    explicit Watchdog(std::string what)
        : m_thread([this, what = std::move(what)] {
              std::unique_lock lock(m_mutex);
              if (!m_done.wait_for(lock, kWatchdog, [this] { return m_finished; })) {
                  std::fprintf(stderr, "watchdog: %s did not finish\n", what.c_str());
                  std::abort();
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_one();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;  // last: starts once the rest is in place
};

long PeakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Compares box texts without printing megabytes when they differ. With
// `partial`, each text shown is a non-empty start of the expected one, short
// of its end.
void ExpectBoxes(const std::vector<std::string>& shown, const std::vector<std::string>& expected,
                 bool partial = false)
{
    ASSERT_EQ(shown.size(), expected.size()) << "boxes shown";
    for (std::size_t i = 0; i < shown.size(); ++i) {
        if (partial) {
            EXPECT_FALSE(shown[i].empty()) << "box " << i;
            EXPECT_LT(shown[i].size(), expected[i].size()) << "box " << i;
            EXPECT_TRUE(expected[i].starts_with(shown[i])) << "box " << i << ": " << shown[i];
            continue;
        }
        if (shown[i].size() < 2000 && expected[i].size() < 2000) {
            EXPECT_EQ(shown[i], expected[i]) << "box " << i;
            continue;
        }
        EXPECT_EQ(shown[i].size(), expected[i].size()) << "length of box " << i;
        EXPECT_TRUE(shown[i] == expected[i]) << "box " << i << " differs in its content";
    }
}

class HostileServerTest : public ::testing::TestWithParam<std::tuple<std::size_t, Subject>> {
protected:
    void SetUp() override { seam::CapTimeoutsForTesting(kTimeoutCapMs); }
    void TearDown() override
    {
        seam::CapTimeoutsForTesting(0);
        seam::ClearInjectedFailures();
    }
};

TEST_P(HostileServerTest, FinishesTruthfullyBoundedAndClean)
{
    const Scenario& scenario = AllScenarios().at(std::get<0>(GetParam()));
    const Subject subject = std::get<1>(GetParam());
    const Expect& expect = scenario.expect;

    std::optional<LoopbackServer> server;
    if (scenario.listen) {
        server.emplace();
        for (const Reply& reply : scenario.replies) {
            server->Push(reply);
        }
        if (scenario.otherwise) {
            server->SetDefault(*scenario.otherwise);
        }
    }
    RecordingPresenter boxes;
    CProbeDlg dialog;
    const long rssBefore = PeakRssKiB();

    int result = -1;
    DWORD code = 0;
    std::string body;
    {
        const Watchdog watchdog(std::string(scenario.name) + " against " + SubjectName(subject));
        switch (subject) {
        case Subject::DirectProbe:
            result = dialog.GetURL(kTargetHost, "", "");
            break;
        case Subject::ClientProbe:
            RunClientProbe();
            break;
        case Subject::FrameworkProbe:
            result = dialog.GetWebFile("GetWebFile", kTargetHost, INTERNET_DEFAULT_HTTP_PORT, "/");
            break;
        case Subject::ClientObject: {
            const auto client = std::make_unique<CHttpClient>();
            result = client->Request(TargetUrl().c_str(), REQUEST_GET, kAgent);
            code = client->GetLastErrorCode();
            const char* read = client->GetBody();
            body.assign(read, strnlen(read, kClientBuffer));
            break;
        }
        }
    }

    switch (subject) {
    case Subject::DirectProbe:
        EXPECT_EQ(result, expect.direct);
        ExpectBoxes(boxes.Texts(), expect.directBoxes, expect.partialBody);
        break;
    case Subject::ClientProbe:
        ExpectBoxes(boxes.Texts(), {expect.client == 1 ? UpToZero(expect.clientBody)
                                                       : Text(expect.clientCode)},
                    expect.partialBody);
        break;
    case Subject::FrameworkProbe:
        EXPECT_EQ(result, expect.framework);
        ExpectBoxes(boxes.Texts(), expect.frameworkBoxes);
        if (server) {
            EXPECT_EQ(server->Requests().size(), scenario.requests);
        }
        break;
    case Subject::ClientObject:
        EXPECT_EQ(result, expect.client);
        if (expect.client == 0) {
            EXPECT_EQ(code, expect.clientCode) << Text(code);
        }
        ExpectBoxes({body}, {UpToZero(expect.clientBody)}, expect.partialBody);
        break;
    }

    EXPECT_EQ(seam::OpenHandleCount(), 0U) << "handles left open";
    if (server) {
        EXPECT_LT(server->BytesSent(), kMaxBytesSent) << "the probe kept reading";
    }
    EXPECT_LT(PeakRssKiB() - rssBefore, kMaxGrowthKiB) << "the process grew without bound";
}

std::string CaseName(const ::testing::TestParamInfo<HostileServerTest::ParamType>& info)
{
    return std::string(AllScenarios().at(std::get<0>(info.param)).name) + "_" +
           SubjectName(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Matrix, HostileServerTest,
                         ::testing::Combine(::testing::Range<std::size_t>(0, AllScenarios().size()),
                                            ::testing::Values(Subject::DirectProbe,
                                                              Subject::ClientProbe,
                                                              Subject::FrameworkProbe,
                                                              Subject::ClientObject)),
                         CaseName);

}  // namespace
