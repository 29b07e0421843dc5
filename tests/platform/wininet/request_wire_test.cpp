// What goes on the wire: the exact request bytes the server records for the
// ways the probes and the client open, dress and send a request.
#include <cstring>

#include "tests/platform/wininet/wininet_fixture.h"

namespace dravenlok::wininet::test {
namespace {

using dravenlok::testing::HttpReply;
using dravenlok::testing::LoopbackServer;
using dravenlok::testing::Reply;

const std::string kHost = std::string("Host: ") + kTargetHost + "\r\n";

struct AddCall {
    const char* text;
    DWORD length;  // 0: the text's own length
    DWORD modifiers;
    DWORD expectedError;  // 0: the call succeeds
};

struct WireCase {
    const char* name;
    const char* agent;
    const char* object;
    const char* version;
    std::optional<std::vector<const char*>> accept;  // nullopt: no list at all
    DWORD flags;
    std::vector<AddCall> adds;
    std::string expected;
};

const char kLongAccept[] =
    "Accept: audio/x-aiff, audio/basic, audio/midi, audio/mpeg, audio/wav, image/jpeg, "
    "image/gif, image/jpg, image/png, image/mng, image/bmp, text/plain, text/html, text/htm\r\n";

std::ostream& operator<<(std::ostream& out, const WireCase& c)
{
    return out << c.name;
}

class RequestWire : public WininetTest, public ::testing::WithParamInterface<WireCase> {};

TEST_P(RequestWire, SendsExactlyTheseBytes)
{
    const WireCase& c = GetParam();
    LoopbackServer server;
    Handle session = Open(c.agent);
    Handle connection = Connect(session.get());
    std::vector<const char*> accept;
    LPCSTR* acceptList = nullptr;
    if (c.accept) {
        accept = *c.accept;
        accept.push_back(nullptr);
        acceptList = accept.data();
    }
    Handle request = OpenRequest(connection.get(), "GET", c.object, c.version, acceptList, c.flags);
    for (const AddCall& add : c.adds) {
        const DWORD length = add.length != 0 ? add.length : static_cast<DWORD>(std::strlen(add.text));
        const BOOL added = HttpAddRequestHeadersA(request.get(), add.text, length, add.modifiers);
        EXPECT_EQ(added ? 0 : GetLastError(), add.expectedError) << add.text;
    }
    ASSERT_EQ(Send(request.get()), 0u);
    EXPECT_EQ(server.LastRequest(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RequestWire,
    ::testing::Values(
        // The direct probe: empty agent, empty object name, default version,
        // no accept types, RELOAD | NO_CACHE_WRITE | PRAGMA_NOCACHE.
        WireCase{"DirectProbe", "", "", nullptr, std::nullopt, 0x84000100, {},
                 "GET / HTTP/1.1\r\n" + kHost + "Pragma: no-cache\r\n\r\n"},
        // The client: HTTP/1.0, "*/*" replaced by itself, keep-alive asked for.
        WireCase{"ClientGet", "TALVIK(0.9/;p)", "/", "HTTP/1.0", std::vector<const char*>{"*/*"},
                 0x04400000, {{"Accept: */*\r\n", 13, HTTP_ADDREQ_FLAG_REPLACE, 0}},
                 "GET / HTTP/1.0\r\n" + kHost +
                     "Accept: */*\r\nUser-Agent: TALVIK(0.9/;p)\r\nConnection: Keep-Alive\r\n\r\n"},
        // The framework probe: its own User-Agent line wins over the agent name.
        WireCase{"FrameworkProbe", "GetWebFile", "/", "HTTP/1.0", std::vector<const char*>{},
                 0x24000000,
                 {{kLongAccept, 170, HTTP_ADDREQ_FLAG_ADD_IF_NEW, 0},
                  {"User-Agent: GetWebFile/1.0\r\n", 0xFFFFFFFF, HTTP_ADDREQ_FLAG_ADD_IF_NEW, 0}},
                 "GET / HTTP/1.0\r\n" + kHost + kLongAccept +
                     "User-Agent: GetWebFile/1.0\r\n\r\n"},
        WireCase{"AcceptList", "", "/x", nullptr,
                 std::vector<const char*>{"text/html", "", "image/png"}, 0, {},
                 "GET /x HTTP/1.1\r\n" + kHost + "Accept: text/html, image/png\r\n\r\n"},
        WireCase{"AddIfNewKeepsExisting", "", "/", nullptr, std::vector<const char*>{"a/b"}, 0,
                 {{"Accept: c/d\r\n", 0, HTTP_ADDREQ_FLAG_ADD_IF_NEW,
                   ERROR_HTTP_HEADER_ALREADY_EXISTS}},
                 "GET / HTTP/1.1\r\n" + kHost + "Accept: a/b\r\n\r\n"},
        WireCase{"ReplaceWithEmptyRemoves", "", "/", nullptr, std::vector<const char*>{"*/*"}, 0,
                 {{"Accept:\r\n", 0, HTTP_ADDREQ_FLAG_REPLACE, 0}},
                 "GET / HTTP/1.1\r\n" + kHost + "\r\n"},
        WireCase{"SeveralLinesInOneCallAndAdd", "", "/", nullptr, std::nullopt, 0,
                 {{"X-A: 1\r\nX-B: 2\r\n", 0, HTTP_ADDREQ_FLAG_ADD, 0},
                  {"X-A: 3", 0, HTTP_ADDREQ_FLAG_ADD, 0}},
                 "GET / HTTP/1.1\r\n" + kHost + "X-A: 1\r\nX-B: 2\r\nX-A: 3\r\n\r\n"},
        // A line break inside the text can never smuggle a line in unchecked.
        WireCase{"MalformedLineChangesNothing", "", "/", nullptr, std::nullopt, 0,
                 {{"X-A: 1\r\nno colon here\r\n", 0, HTTP_ADDREQ_FLAG_ADD, ERROR_HTTP_INVALID_HEADER},
                  {"Bad Name: 1", 0, HTTP_ADDREQ_FLAG_ADD, ERROR_HTTP_INVALID_HEADER}},
                 "GET / HTTP/1.1\r\n" + kHost + "\r\n"},
        WireCase{"TargetIsEncodedAndLosesItsFragment", "", "a b/\xC3\xA9?q=1#frag", nullptr,
                 std::nullopt, 0, {},
                 "GET /a%20b/%C3%A9?q=1 HTTP/1.1\r\n" + kHost + "\r\n"}),
    [](const ::testing::TestParamInfo<WireCase>& param) { return std::string(param.param.name); });

class RequestBody : public WininetTest {};

// The form POST: body as optional data, Content-Type from the send call's
// headers, Content-Length from the data, no Expect line.
TEST_F(RequestBody, OptionalDataGoesWithItsLength)
{
    LoopbackServer server;
    Handle session = Open("agent");
    Handle connection = Connect(session.get());
    LPCSTR accept[] = {"*/*", nullptr};
    Handle request = OpenRequest(connection.get(), "POST", "/form", "HTTP/1.0", accept, 0x04400040);
    const char type[] = "Content-Type: application/x-www-form-urlencoded\r\n";
    char body[] = "a=1&b=2";
    ASSERT_TRUE(HttpSendRequestA(request.get(), type, 49, body, 7)) << GetLastError();
    EXPECT_EQ(server.LastRequest(),
              "POST /form HTTP/1.0\r\n" + kHost +
                  "Accept: */*\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                  "User-Agent: agent\r\nConnection: Keep-Alive\r\nContent-Length: 7\r\n\r\na=1&b=2");
}

TEST_F(RequestBody, EmptyPostAnnouncesZeroLength)
{
    LoopbackServer server;
    Exchange e;
    e.session = Open();
    e.connection = Connect(e.session.get());
    e.request = OpenRequest(e.connection.get(), "POST", "/");
    ASSERT_EQ(Send(e.request.get()), 0u);
    EXPECT_EQ(server.LastRequest(), "POST / HTTP/1.1\r\n" + kHost + "Content-Length: 0\r\n\r\n");
}

// The multipart POST: the caller announces the length itself, the body
// follows in writes, and it goes out unchunked and without Expect, also
// when it is larger than the 1 MiB at which curl would ask for 100-continue
// on HTTP/1.1.
TEST_F(RequestBody, StreamedBodyKeepsTheCallersContentLength)
{
    const std::string payload(1024 * 1024 + 5, 'p');
    const std::string length = "Content-Length: " + std::to_string(payload.size()) + "\r\n";
    for (const char* version : {"HTTP/1.0", "HTTP/1.1"}) {
        SCOPED_TRACE(version);
        LoopbackServer server;
        server.Push(HttpReply(200, "stored"));
        Exchange e;
        e.session = Open();
        e.connection = Connect(e.session.get());
        e.request = OpenRequest(e.connection.get(), "POST", "/up", version);
        ASSERT_TRUE(HttpAddRequestHeadersA(e.request.get(), length.c_str(), 0xFFFFFFFF,
                                           HTTP_ADDREQ_FLAG_ADD_IF_NEW));
        INTERNET_BUFFERSA in{};
        in.dwStructSize = sizeof in;
        ASSERT_TRUE(HttpSendRequestExA(e.request.get(), &in, nullptr, HSR_INITIATE, 0)) << GetLastError();
        DWORD written = 0;
        ASSERT_TRUE(InternetWriteFile(e.request.get(), payload.data(), 1000, &written)) << GetLastError();
        EXPECT_EQ(written, 1000u);
        ASSERT_TRUE(InternetWriteFile(e.request.get(), payload.data() + 1000,
                                      static_cast<DWORD>(payload.size() - 1000), &written));
        EXPECT_EQ(written, payload.size() - 1000);
        ASSERT_TRUE(HttpEndRequestA(e.request.get(), nullptr, HSR_INITIATE, 0)) << GetLastError();
        EXPECT_EQ(ReadAll(e.request.get()), "stored");
        EXPECT_EQ(server.LastRequest(),
                  "POST /up " + std::string(version) + "\r\n" + kHost + length + "\r\n" + payload);
    }
}

// A body shorter than announced fails at HttpEndRequestA itself, at once,
// instead of leaving the server waiting until a time-out; a write beyond
// the announced length fails without sending anything.
TEST_F(RequestBody, StreamedBodyLengthIsEnforced)
{
    LoopbackServer server;
    Exchange e;
    e.session = Open();
    e.connection = Connect(e.session.get());
    e.request = OpenRequest(e.connection.get(), "POST", "/up");
    ASSERT_TRUE(HttpAddRequestHeadersA(e.request.get(), "Content-Length: 10", 0xFFFFFFFF,
                                       HTTP_ADDREQ_FLAG_ADD));
    ASSERT_TRUE(HttpSendRequestExA(e.request.get(), nullptr, nullptr, HSR_INITIATE, 0));
    DWORD written = 0;
    EXPECT_FALSE(InternetWriteFile(e.request.get(), "0123456789AB", 12, &written));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(written, 0u);
    ASSERT_TRUE(InternetWriteFile(e.request.get(), "01234", 5, &written));
    EXPECT_FALSE(HttpEndRequestA(e.request.get(), nullptr, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    DWORD read = 0;
    char buffer[8];
    EXPECT_FALSE(InternetReadFile(e.request.get(), buffer, sizeof buffer, &read));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
}

// Port 0 stands for the service's default port, 80.
TEST_F(RequestBody, PortZeroMeansEighty)
{
    LoopbackServer server;
    Exchange e = Prepare("/", INTERNET_INVALID_PORT_NUMBER);
    ASSERT_EQ(Send(e.request.get()), 0u);
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(RequestBody, CallersContentLengthMustMatchOptionalData)
{
    LoopbackServer server;
    Exchange e = Prepare();
    char body[] = "abc";
    EXPECT_FALSE(HttpSendRequestA(e.request.get(), "Content-Length: 5\r\n", 0xFFFFFFFF, body, 3));
    EXPECT_EQ(GetLastError(), ERROR_HTTP_INVALID_HEADER);
    EXPECT_EQ(server.Connections(), 0);
}

}  // namespace
}  // namespace dravenlok::wininet::test
