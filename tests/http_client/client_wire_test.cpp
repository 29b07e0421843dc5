// CHttpClient against the scripted loopback server: reading responses into
// the fixed buffers, the requests each kind puts on the wire, and which
// handles stay open when a step fails.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "http_client/http_client.h"
#include "platform/wininet/testing.h"
#include "tests/support/loopback_server.h"

namespace {

namespace fs = std::filesystem;
using dravenlok::testing::HeaderValue;
using dravenlok::testing::HttpReply;
using dravenlok::testing::LoopbackServer;
using dravenlok::testing::Reply;
using dravenlok::testing::RequestBody;
namespace seam = dravenlok::wininet::testing;

constexpr DWORD kStartCode = ERROR_NO_DATA;  // a fresh client's code
constexpr char kUrl[] = "http://127.0.0.1/probe";

// A body whose every position can be told apart from its neighbours.
std::string Pattern(std::size_t size)
{
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        text[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
    }
    return text;
}

class ClientWireTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        seam::ClearInjectedFailures();
        EXPECT_EQ(seam::OpenHandleCount(), 0U);
    }

    // Connect, GET and ReadResponse into the caller's buffers, then Close.
    int Fetch(CHttpClient& client, char* headers, DWORD headerSize, char* body, DWORD bodySize,
              DWORD& bodyLength)
    {
        EXPECT_EQ(client.Connect("127.0.0.1", "wire-test", 80, nullptr, nullptr), 1);
        EXPECT_EQ(client.SendGet("/"), 1);
        const int result = client.ReadResponse(headers, headerSize, body, bodySize, bodyLength);
        client.Close();
        return result;
    }

    LoopbackServer m_server;  // 127.0.0.1:80 of this test's own namespace
};

// ---- reading the response ------------------------------------------------------

TEST_F(ClientWireTest, BodyFillsTheBufferAndNoMore)
{
    const std::size_t size = CHttpClient::kBufferSize;
    for (const std::size_t length : {size - 1, size, size + 1, 3 * size + 17}) {
        const std::string sent = Pattern(length);
        m_server.Push(HttpReply(200, sent));
        auto client = std::make_unique<CHttpClient>();
        std::vector<char> headers(4096);
        // One guard byte behind the body buffer shows any write past its end.
        std::vector<char> body(size + 1, '#');
        DWORD bodyLength = 12345;
        EXPECT_EQ(Fetch(*client, headers.data(), 4096, body.data(), size, bodyLength), 1) << length;
        const std::size_t kept = std::min(length, size);
        EXPECT_EQ(bodyLength, kept) << length;
        EXPECT_EQ(std::string(body.data(), kept), sent.substr(0, kept)) << length;
        if (kept < size) {
            EXPECT_EQ(body[kept], '\0') << length;  // the rest of the buffer is zero
        }
        EXPECT_EQ(body[size], '#') << length;
        EXPECT_EQ(std::string(headers.data()).rfind("HTTP/1.1 200", 0), 0U) << length;
    }
}

TEST_F(ClientWireTest, RestOfALongBodyIsNotDownloaded)
{
    // A body without end: only returning at all shows that reading stopped.
    Reply endless;
    endless.bytes = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
    endless.after = Reply::After::Endless;
    endless.send_buffer = 4096;
    m_server.Push(endless);
    auto client = std::make_unique<CHttpClient>();
    EXPECT_EQ(client->Request(kUrl, REQUEST_GET, "wire-test"), 1);
    EXPECT_EQ(strnlen(client->GetBody(), CHttpClient::kBufferSize), CHttpClient::kBufferSize);

    // Once the client has closed, the server can send no more.
    std::uint64_t sent = m_server.BytesSent();
    for (int i = 0; i < 50; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::uint64_t now = m_server.BytesSent();
        if (now == sent) {
            break;
        }
        sent = now;
    }
    EXPECT_LT(sent, std::uint64_t{16} << 20);
}

TEST_F(ClientWireTest, EmptyBodyFailsWithoutStoringACode)
{
    for (const int status : {200, 204, 500}) {
        m_server.Push(HttpReply(status, ""));
        auto client = std::make_unique<CHttpClient>();
        EXPECT_EQ(client->Request(kUrl, REQUEST_GET, "wire-test"), 0) << status;
        EXPECT_EQ(client->GetLastErrorCode(), kStartCode) << status;
        EXPECT_NE(std::string(client->GetHeaders()).find(std::to_string(status)), std::string::npos);
    }
}

TEST_F(ClientWireTest, ErrorPageIsReadAsABody)
{
    m_server.Push(HttpReply(404, "<h1>Not here</h1>"));
    auto client = std::make_unique<CHttpClient>();
    EXPECT_EQ(client->Request(kUrl, REQUEST_GET, "wire-test"), 1);
    EXPECT_STREQ(client->GetBody(), "<h1>Not here</h1>");
    EXPECT_EQ(std::string(client->GetHeaders()).rfind("HTTP/1.1 404", 0), 0U);
}

TEST_F(ClientWireTest, HeadersLargerThanTheirBufferKeepTheBody)
{
    m_server.Push(HttpReply(200, "the body", {"X-Padding: " + std::string(200, 'p')}));
    auto client = std::make_unique<CHttpClient>();
    char headers[64];
    std::vector<char> body(CHttpClient::kBufferSize);
    DWORD bodyLength = 0;
    EXPECT_EQ(Fetch(*client, headers, sizeof headers, body.data(), CHttpClient::kBufferSize,
                    bodyLength),
              0);
    EXPECT_EQ(client->GetLastErrorCode(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(bodyLength, 8U);
    EXPECT_STREQ(body.data(), "the body");
}

TEST_F(ClientWireTest, ReadFailingHalfWayKeepsThePartialBodyAndItsCode)
{
    // 3000 of 10000 announced bytes, then the connection ends.
    const std::string part = Pattern(3000);
    Reply cut;
    cut.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 10000\r\n\r\n" + part;
    m_server.Push(cut);
    auto client = std::make_unique<CHttpClient>();
    EXPECT_EQ(client->Request(kUrl, REQUEST_GET, "wire-test"), 1);
    EXPECT_EQ(std::string(client->GetBody()), part);
    EXPECT_NE(client->GetLastErrorCode(), kStartCode);
    EXPECT_NE(client->GetLastErrorCode(), ERROR_SUCCESS);

    // A read that fails at once leaves an empty body with the read's code.
    m_server.Push(HttpReply(200, "never read"));
    seam::FailNextCall(seam::Call::InternetReadFile, ERROR_INTERNET_CONNECTION_RESET);
    EXPECT_EQ(client->Request(kUrl, REQUEST_GET, "wire-test"), 0);
    EXPECT_EQ(client->GetLastErrorCode(), ERROR_INTERNET_CONNECTION_RESET);
}

TEST_F(ClientWireTest, ReadingWithoutARequestTouchesNothing)
{
    auto client = std::make_unique<CHttpClient>();
    char chunk[8] = "chunk!!";
    SetLastError(ERROR_INVALID_HANDLE);
    EXPECT_EQ(client->ReadChunk(chunk, sizeof chunk), 0U);
    EXPECT_STREQ(chunk, "chunk!!");
    DWORD bodyLength = 77;
    EXPECT_EQ(client->ReadResponse(chunk, sizeof chunk, chunk, sizeof chunk, bodyLength), 0);
    EXPECT_EQ(bodyLength, 77U);
    EXPECT_EQ(client->GetLastErrorCode(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(client->Close(), 1);
}

// ---- requests on the wire ----------------------------------------------------------

TEST_F(ClientWireTest, KindChoosesTheRequest)
{
    const struct {
        int kind;
        const char* start;
        const char* contentType;
    } cases[] = {
        {0, "GET /probe HTTP/1.0\r\n", ""},
        {REQUEST_GET, "GET /probe HTTP/1.0\r\n", ""},
        {4, "GET /probe HTTP/1.0\r\n", ""},
        {-1, "GET /probe HTTP/1.0\r\n", ""},
        {REQUEST_POST_FORM, "POST /probe HTTP/1.0\r\n", "application/x-www-form-urlencoded"},
        {REQUEST_POST_MULTIPART, "POST /probe HTTP/1.0\r\n",
         "multipart/form-data; boundary=--MULTI-PARTS-FORM-DATA-BOUNDARY"},
    };
    // One object serves one request after another.
    auto client = std::make_unique<CHttpClient>();
    client->AddField("a", "1", FIELD_TEXT);
    for (const auto& c : cases) {
        m_server.Push(HttpReply(200, "ok"));
        EXPECT_EQ(client->Request(kUrl, c.kind, "TALVIK(0.9/;p)"), 1) << c.kind;
        const std::string request = m_server.LastRequest();
        EXPECT_EQ(request.rfind(c.start, 0), 0U) << c.kind << "\n" << request;
        EXPECT_EQ(HeaderValue(request, "Accept"), "*/*") << c.kind;
        EXPECT_EQ(request.find("Accept:"), request.rfind("Accept:")) << "one Accept line";
        EXPECT_EQ(HeaderValue(request, "User-Agent"), "TALVIK(0.9/;p)") << c.kind;
        EXPECT_EQ(HeaderValue(request, "Content-Type"), c.contentType) << c.kind;
    }
}

TEST_F(ClientWireTest, UrlencodedPostCarriesTheFieldsAsTheyStand)
{
    auto client = std::make_unique<CHttpClient>();
    m_server.Push(HttpReply(200, "ok"));
    EXPECT_EQ(client->Request(kUrl, REQUEST_POST_FORM, "wire-test"), 1);
    EXPECT_EQ(HeaderValue(m_server.LastRequest(), "Content-Length"), "0");
    EXPECT_EQ(RequestBody(m_server.LastRequest()), "");

    client->AddField("a", "1", FIELD_TEXT);
    client->AddField("b", "2", FIELD_TEXT);
    m_server.Push(HttpReply(200, "ok"));
    EXPECT_EQ(client->Request(kUrl, REQUEST_POST_FORM, "wire-test"), 1);
    EXPECT_EQ(HeaderValue(m_server.LastRequest(), "Content-Length"), "7");
    EXPECT_EQ(RequestBody(m_server.LastRequest()), "a=1&b=2");
}

TEST_F(ClientWireTest, UrlencodedBodyTooLongIsNotSent)
{
    // "a=" and 1022 more characters need 1025 bytes with the zero.
    auto client = std::make_unique<CHttpClient>();
    client->AddField("a", std::string(1022, 'x').c_str(), FIELD_TEXT);
    EXPECT_EQ(client->Request(kUrl, REQUEST_POST_FORM, "wire-test"), 0);
    EXPECT_EQ(client->GetLastErrorCode(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(m_server.Connections(), 0);

    // 1023 characters fit and go out whole.
    auto fits = std::make_unique<CHttpClient>();
    fits->AddField("a", std::string(1021, 'x').c_str(), FIELD_TEXT);
    m_server.Push(HttpReply(200, "ok"));
    EXPECT_EQ(fits->Request(kUrl, REQUEST_POST_FORM, "wire-test"), 1);
    EXPECT_EQ(RequestBody(m_server.LastRequest()), "a=" + std::string(1021, 'x'));
}

TEST_F(ClientWireTest, MultipartPostAnnouncesItsExactLength)
{
    const std::string dir = (fs::temp_directory_path() / "dravenlok-wire.d").string();
    fs::create_directories(dir);
    const std::string path = dir + "/upload.txt";
    std::ofstream(path, std::ios::binary) << std::string("line 1\r\nline\0 2", 15);
    const std::string filePart =
        "----MULTI-PARTS-FORM-DATA-BOUNDARY\r\n"
        "Content-Disposition: form-data; name=\"doc\"; filename=\"" + path + "\"\r\n"
        "Content-Type: text/plain\r\n\r\n" + std::string("line 1\r\nline\0 2", 15) + "\r\n";
    const std::string closing = "----MULTI-PARTS-FORM-DATA-BOUNDARY--\r\n";
    const std::string textPart =
        "----MULTI-PARTS-FORM-DATA-BOUNDARY\r\n"
        "Content-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n";

    const struct {
        std::vector<FormField> fields;
        std::string body;
    } cases[] = {
        {{}, closing},
        {{{"a", "1", FIELD_TEXT}}, textPart + closing},
        {{{"k0", "x", 0}, {"doc", "", FIELD_FILE}, {"k3", "y", 3}}, filePart + closing},
    };
    for (const auto& c : cases) {
        auto client = std::make_unique<CHttpClient>();
        for (const FormField& field : c.fields) {
            // The file field's path is only known here.
            client->AddField(field.name, field.kind == FIELD_FILE ? path.c_str() : field.value,
                             field.kind);
        }
        m_server.Push(HttpReply(200, "ok"));
        EXPECT_EQ(client->Request(kUrl, REQUEST_POST_MULTIPART, "wire-test"), 1);
        const std::string request = m_server.LastRequest();
        EXPECT_EQ(RequestBody(request), c.body);
        EXPECT_EQ(HeaderValue(request, "Content-Length"), std::to_string(c.body.size()));
    }
    fs::remove_all(dir);
}

TEST_F(ClientWireTest, MultipartWithAMissingFileSendsNothing)
{
    const std::string missing = (fs::temp_directory_path() / "dravenlok-missing-upload.bin").string();
    auto client = std::make_unique<CHttpClient>();
    client->AddField("a", "1", FIELD_TEXT);
    client->AddField("f", missing.c_str(), FIELD_FILE);
    EXPECT_EQ(client->Request(kUrl, REQUEST_POST_MULTIPART, "wire-test"), 0);
    EXPECT_EQ(client->GetLastErrorCode(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(m_server.Connections(), 0);
}

// ---- failing steps -----------------------------------------------------------------

TEST_F(ClientWireTest, FailedConnectSendsNothingAndLeavesNothingOpen)
{
    for (const auto call : {seam::Call::InternetOpen, seam::Call::InternetConnect,
                            seam::Call::InternetAttemptConnect}) {
        auto client = std::make_unique<CHttpClient>();
        seam::FailNextCall(call, 4000 + static_cast<DWORD>(call));
        EXPECT_EQ(client->Request(kUrl, REQUEST_GET, "wire-test"), 0);
        EXPECT_EQ(client->GetLastErrorCode(), 4000 + static_cast<DWORD>(call));
        EXPECT_EQ(seam::OpenHandleCount(), 0U);
    }
    EXPECT_EQ(m_server.Connections(), 0);
}

TEST_F(ClientWireTest, FailedSendOrReadStillCloses)
{
    const struct {
        int kind;
        seam::Call call;
    } cases[] = {
        {REQUEST_GET, seam::Call::HttpOpenRequest},
        {REQUEST_GET, seam::Call::HttpAddRequestHeaders},
        {REQUEST_GET, seam::Call::HttpSendRequest},
        {REQUEST_GET, seam::Call::HttpQueryInfo},
        {REQUEST_POST_FORM, seam::Call::HttpOpenRequest},
        {REQUEST_POST_FORM, seam::Call::HttpSendRequest},
        {REQUEST_POST_MULTIPART, seam::Call::HttpAddRequestHeaders},
        {REQUEST_POST_MULTIPART, seam::Call::HttpSendRequest},
        {REQUEST_POST_MULTIPART, seam::Call::InternetWriteFile},
        {REQUEST_POST_MULTIPART, seam::Call::HttpEndRequest},
    };
    m_server.SetDefault(HttpReply(200, "ok"));
    for (const auto& c : cases) {
        auto client = std::make_unique<CHttpClient>();
        client->AddField("a", "1", FIELD_TEXT);
        const DWORD code = 5000 + static_cast<DWORD>(c.call);
        seam::FailNextCall(c.call, code);
        EXPECT_EQ(client->Request(kUrl, c.kind, "wire-test"), 0) << c.kind;
        EXPECT_EQ(client->GetLastErrorCode(), code) << c.kind;
        EXPECT_EQ(seam::OpenHandleCount(), 0U) << c.kind;
        seam::ClearInjectedFailures();
    }
}

TEST_F(ClientWireTest, UrlWhosePartsDoNotFitIsRefusedBeforeConnecting)
{
    const std::string cases[] = {
        "http://" + std::string(1024, 'h') + "/",
        "http://127.0.0.1/" + std::string(1023, 'p'),
        std::string(1024, 's') + "://127.0.0.1/",
        "http://127.0.0.1:" + std::string(1024, '0') + "80/",
        "http://127.0.0.1:65616/",  // would be port 80 once cut to 16 bits
        "http://127.0.0.1:-1/",
    };
    for (const std::string& url : cases) {
        auto client = std::make_unique<CHttpClient>();
        EXPECT_EQ(client->Request(url.c_str(), REQUEST_GET, "wire-test"), 0) << url;
        EXPECT_EQ(client->GetLastErrorCode(), ERROR_INTERNET_INVALID_URL) << url;
    }
    EXPECT_EQ(m_server.Connections(), 0);

    // The longest parts that fit still go out, and port 0 is the library's
    // default port.
    m_server.Push(HttpReply(200, "ok"));
    auto client = std::make_unique<CHttpClient>();
    const std::string path = "/" + std::string(1022, 'p');
    EXPECT_EQ(client->Request(("http://127.0.0.1:" + path).c_str(), REQUEST_GET, "wire-test"), 1);
    EXPECT_EQ(m_server.LastRequest().rfind("GET " + path + " HTTP/1.0\r\n", 0), 0U);
}

TEST_F(ClientWireTest, CloseReleasesEveryHandleOnce)
{
    auto client = std::make_unique<CHttpClient>();
    EXPECT_EQ(client->Close(), 1);  // nothing open yet
    ASSERT_EQ(client->Connect("127.0.0.1", "wire-test", 80, nullptr, nullptr), 1);
    EXPECT_EQ(seam::OpenHandleCount(), 2U);
    EXPECT_EQ(client->Close(), 1);
    EXPECT_EQ(seam::OpenHandleCount(), 0U);
    EXPECT_EQ(client->Close(), 1);  // a second Close releases nothing twice
}

}  // namespace
