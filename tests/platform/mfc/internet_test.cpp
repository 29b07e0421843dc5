// The framework's internet classes on the internet layer: URL parsing, error
// texts, the request objects' failure paths and handle ownership.
#include "platform/mfc/internet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/wininet/testing.h"
#include "tests/support/loopback_server.h"

namespace {

using dravenlok::testing::HttpReply;
using dravenlok::testing::LoopbackServer;
namespace seam = dravenlok::wininet::testing;

constexpr char kHost[] = "target.dravenlok.test";

std::string LayerText(DWORD code)
{
    const char* text = SystemMessageText(code);
    return text != nullptr ? text : "";
}

// Runs `body` and answers the error code of the CInternetException* it
// throws (freed here), or 0 when it throws none.
template <typename Body>
DWORD ThrownCode(Body body)
{
    try {
        body();
    } catch (CInternetException* exception) {
        const DWORD code = exception->m_dwError;
        exception->Delete();
        return code;
    }
    return 0;
}

class InternetClassesTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        seam::ClearInjectedFailures();
        EXPECT_EQ(seam::OpenHandleCount(), 0U);
    }
};

// ---- AfxParseURL ------------------------------------------------------------------------

struct ParseCase {
    const char* url;
    DWORD service;
    const char* server;
    const char* object;
    INTERNET_PORT port;
};

TEST(AfxParseURLTest, SplitsUrlsAsABrowserWould)
{
    const ParseCase cases[] = {
        // A Location value cut at its line feed still ends in the line's CR.
        {"http://target.dravenlok.test/next\r", AFX_INET_SERVICE_HTTP, kHost, "/next", 80},
        {"  http://target.dravenlok.test/next \r", AFX_INET_SERVICE_HTTP, kHost, "/next", 80},
        {"http://target.dravenlok.test/a/b?x=1&y=2", AFX_INET_SERVICE_HTTP, kHost, "/a/b?x=1&y=2", 80},
        {"http://target.dravenlok.test/a?x=1#part", AFX_INET_SERVICE_HTTP, kHost, "/a?x=1", 80},
        {"http://target.dravenlok.test/a#part?not-a-query", AFX_INET_SERVICE_HTTP, kHost, "/a", 80},
        {"http://target.dravenlok.test", AFX_INET_SERVICE_HTTP, kHost, "/", 80},
        {"http://target.dravenlok.test?x=1", AFX_INET_SERVICE_HTTP, kHost, "/?x=1", 80},
        {"https://target.dravenlok.test/secure", AFX_INET_SERVICE_HTTPS, kHost, "/secure", 443},
        {"http://target.dravenlok.test:8080/p", AFX_INET_SERVICE_HTTP, kHost, "/p", 8080},
        {"https://127.0.0.1:8443/", AFX_INET_SERVICE_HTTPS, "127.0.0.1", "/", 8443},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.url);
        DWORD service = 0;
        CString server;
        CString object;
        INTERNET_PORT port = 0;
        ASSERT_EQ(AfxParseURL(c.url, service, server, object, port), TRUE);
        EXPECT_EQ(service, c.service);
        EXPECT_EQ(std::string(server.View()), c.server);
        EXPECT_EQ(std::string(object.View()), c.object);
        EXPECT_EQ(port, c.port);
    }
}

TEST(AfxParseURLTest, RejectsWhatIsNoAbsoluteUrlAndLeavesTheOutputs)
{
    for (const char* url : {"", "/relative/path", "next.html", "http://target.dravenlok.test:99999/"}) {
        SCOPED_TRACE(url);
        DWORD service = 77;
        CString server("before");
        CString object("before");
        INTERNET_PORT port = 77;
        EXPECT_EQ(AfxParseURL(url, service, server, object, port), FALSE);
        EXPECT_EQ(service, 77U);
        EXPECT_EQ(server, "before");
        EXPECT_EQ(object, "before");
        EXPECT_EQ(port, 77);
    }
}

TEST(AfxParseURLTest, UrlLongerThanTheFirstBufferIsRetriedWithTheSizeAskedFor)
{
    const std::string path = "/" + std::string(3000, 'a');
    const std::string url = std::string("http://") + kHost + path;
    DWORD service = 0;
    CString server;
    CString object;
    INTERNET_PORT port = 0;
    ASSERT_EQ(AfxParseURL(url.c_str(), service, server, object, port), TRUE);
    EXPECT_EQ(std::string(object.View()), path);
    EXPECT_EQ(server, kHost);
}

// ---- CInternetException::GetErrorMessage ------------------------------------------------

TEST(InternetExceptionTest, TextsOfTheLibraryAndOfTheSystem)
{
    for (const DWORD code : {ERROR_INTERNET_CANNOT_CONNECT, ERROR_INTERNET_NAME_NOT_RESOLVED,
                             ERROR_INTERNET_TIMEOUT, ERROR_ACCESS_DENIED}) {
        SCOPED_TRACE(code);
        ASSERT_FALSE(LayerText(code).empty());
        const CInternetException exception(code);
        char text[1024];
        std::memset(text, '#', sizeof(text));
        UINT help = 99;
        ASSERT_EQ(exception.GetErrorMessage(text, sizeof(text), &help), TRUE);
        EXPECT_EQ(std::string(text), LayerText(code));
        EXPECT_EQ(help, 0U);
    }
}

TEST(InternetExceptionTest, TextIsCutToTheBufferWithItsTerminator)
{
    const CInternetException exception(ERROR_INTERNET_CANNOT_CONNECT);
    char text[16];
    std::memset(text, '#', sizeof(text));
    ASSERT_EQ(exception.GetErrorMessage(text, 8), TRUE);
    EXPECT_EQ(std::string(text), LayerText(ERROR_INTERNET_CANNOT_CONNECT).substr(0, 7));
    EXPECT_EQ(text[8], '#');  // nothing written past the size given

    EXPECT_EQ(exception.GetErrorMessage(text, 0), FALSE);
    EXPECT_EQ(text[0], LayerText(ERROR_INTERNET_CANNOT_CONNECT)[0]);  // size 0: untouched
}

TEST(InternetExceptionTest, CodeWithoutAnyTextGivesZeroAndAnEmptyText)
{
    const CInternetException exception(0x7FFF0001);
    char text[64] = "old";
    EXPECT_EQ(exception.GetErrorMessage(text, sizeof(text)), FALSE);
    EXPECT_EQ(text[0], '\0');
}

TEST_F(InternetClassesTest, ExtendedErrorGivesTheServersLastResponseText)
{
    // A response leaves its text as the thread's last response info; an
    // extended error reports that text rather than the generic one.
    LoopbackServer server;
    server.Push(HttpReply(200, "body"));
    {
        CInternetSession session("test");
        std::unique_ptr<CHttpConnection> connection(session.GetHttpConnection(kHost, 80));
        std::unique_ptr<CHttpFile> file(connection->OpenRequest("GET", "/"));
        file->SendRequest();
    }
    DWORD code = 0;
    char response[1024] = {};
    DWORD length = sizeof(response);
    ASSERT_EQ(InternetGetLastResponseInfoA(&code, response, &length), TRUE);
    ASSERT_GT(length, 0U) << "the layer keeps no response text to compare with";

    const CInternetException exception(ERROR_INTERNET_EXTENDED_ERROR);
    char text[1024];
    ASSERT_EQ(exception.GetErrorMessage(text, sizeof(text)), TRUE);
    EXPECT_EQ(std::string(text), std::string(response, length));
}

// ---- Sessions, connections, requests ------------------------------------------------------

TEST_F(InternetClassesTest, SessionThatCannotBeOpenedThrowsTheLayersCode)
{
    seam::FailNextCall(seam::Call::InternetOpen, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(ThrownCode([] { CInternetSession session("test"); }), ERROR_NOT_ENOUGH_MEMORY);
}

TEST_F(InternetClassesTest, ConnectionThatCannotBeObtainedThrows)
{
    CInternetSession session("test");
    seam::FailNextCall(seam::Call::InternetConnect, ERROR_INTERNET_OUT_OF_HANDLES);
    EXPECT_EQ(ThrownCode([&] { delete session.GetHttpConnection(kHost, 80); }),
              ERROR_INTERNET_OUT_OF_HANDLES);
}

TEST_F(InternetClassesTest, FailedOpenStillGivesARequestWhoseSendThrowsTheOpensCode)
{
    LoopbackServer server;
    CInternetSession session("test");
    std::unique_ptr<CHttpConnection> connection(session.GetHttpConnection(kHost, 80));
    seam::FailNextCall(seam::Call::HttpOpenRequest, ERROR_INTERNET_OUT_OF_HANDLES);
    std::unique_ptr<CHttpFile> file(connection->OpenRequest("GET", "/"));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->GetHandle(), nullptr);
    EXPECT_EQ(file->AddRequestHeaders("X-Test: 1\r\n"), FALSE);
    EXPECT_EQ(ThrownCode([&] { file->SendRequest(); }), ERROR_INTERNET_OUT_OF_HANDLES);
    EXPECT_EQ(server.Connections(), 0);
}

TEST_F(InternetClassesTest, SendAndReadFailuresThrow)
{
    LoopbackServer server;
    server.SetDefault(HttpReply(200, "body"));
    CInternetSession session("test");
    std::unique_ptr<CHttpConnection> connection(session.GetHttpConnection(kHost, 80));

    std::unique_ptr<CHttpFile> first(connection->OpenRequest("GET", "/"));
    seam::FailNextCall(seam::Call::HttpSendRequest, ERROR_INTERNET_CONNECTION_RESET);
    EXPECT_EQ(ThrownCode([&] { first->SendRequest(); }), ERROR_INTERNET_CONNECTION_RESET);

    std::unique_ptr<CHttpFile> second(connection->OpenRequest("GET", "/"));
    second->SendRequest();
    char buffer[16];
    seam::FailNextCall(seam::Call::InternetReadFile, ERROR_INTERNET_CONNECTION_ABORTED);
    EXPECT_EQ(ThrownCode([&] { static_cast<void>(second->Read(buffer, sizeof(buffer))); }),
              ERROR_INTERNET_CONNECTION_ABORTED);
}

TEST_F(InternetClassesTest, StatusAndHeaderQueries)
{
    LoopbackServer server;
    // A header block longer than any first guess at its size.
    const std::string big(6000, 'v');
    server.Push(HttpReply(404, "nothing", {"X-Big: " + big}));
    CInternetSession session("test");
    std::unique_ptr<CHttpConnection> connection(session.GetHttpConnection(kHost, 80));
    std::unique_ptr<CHttpFile> file(connection->OpenRequest("GET", "/"));
    file->SendRequest();

    DWORD status = 1;
    ASSERT_EQ(file->QueryInfoStatusCode(status), TRUE);
    EXPECT_EQ(status, 404U);

    CString headers;
    ASSERT_EQ(file->QueryInfo(HTTP_QUERY_RAW_HEADERS_CRLF, headers), TRUE);
    EXPECT_EQ(headers.Find("HTTP/1.1 404"), 0);
    EXPECT_GE(headers.Find(("X-Big: " + big + "\r\n").c_str()), 0);
    EXPECT_EQ(headers.View().substr(headers.View().size() - 2), "\r\n");

    // A failing query leaves the status as it was and the text empty.
    status = 12345;
    seam::FailNextCall(seam::Call::HttpQueryInfo, ERROR_HTTP_HEADER_NOT_FOUND);
    EXPECT_EQ(file->QueryInfoStatusCode(status), FALSE);
    EXPECT_EQ(status, 12345U);
    seam::FailNextCall(seam::Call::HttpQueryInfo, ERROR_HTTP_HEADER_NOT_FOUND);
    EXPECT_EQ(file->QueryInfo(HTTP_QUERY_RAW_HEADERS_CRLF, headers), FALSE);
    EXPECT_TRUE(headers.IsEmpty());
}

TEST_F(InternetClassesTest, ObjectsCloseTheirHandlesOnceWhetherClosedOrDestroyed)
{
    LoopbackServer server;
    {
        CInternetSession session("test");
        auto* connection = session.GetHttpConnection(kHost, 80);
        auto* file = connection->OpenRequest("GET", "/");
        EXPECT_EQ(seam::OpenHandleCount(), 3U);
        file->Close();
        file->Close();
        EXPECT_EQ(seam::OpenHandleCount(), 2U);
        delete file;
        delete connection;  // still open: its destructor closes it
        EXPECT_EQ(seam::OpenHandleCount(), 1U);
    }
    EXPECT_EQ(seam::OpenHandleCount(), 0U);
}

TEST_F(InternetClassesTest, SessionOptionsAreSetAndReadBack)
{
    CInternetSession session("test");
    DWORD timeout = 1234;
    EXPECT_EQ(session.SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof(timeout)), TRUE);
    EXPECT_EQ(session.SetOption(INTERNET_OPTION_CONNECT_RETRIES, DWORD{3}), TRUE);
    DWORD value = 0;
    ASSERT_EQ(session.QueryOption(INTERNET_OPTION_CONNECT_TIMEOUT, value), TRUE);
    EXPECT_EQ(value, 1234U);
    ASSERT_EQ(session.QueryOption(INTERNET_OPTION_CONNECT_RETRIES, value), TRUE);
    EXPECT_EQ(value, 3U);
}

}  // namespace
