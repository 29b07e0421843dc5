// The form bodies the client composes from its field list, off the wire:
// urlencoded text, multipart bytes (read back by a parser of the test's own),
// the size estimate and the content-type lookup.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "http_client/http_client.h"
#include "platform/win32/registry.h"
#include "platform/win32/testing.h"

namespace {

namespace fs = std::filesystem;
using dravenlok::win32::LocalBlock;

constexpr char kBoundary[] = "--MULTI-PARTS-FORM-DATA-BOUNDARY";

// A directory of its own for the files a test uploads, and a small
// extension table instead of the system's.
class FormBodyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "dravenlok-form-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        WriteFile("mime.types",
                  "# test table\n"
                  "text/plain\t\ttxt text\n"
                  "image/png\t\tpng\n"
                  "application/vnd.dravenlok.a-rather-long-registered-type+xml\tlong\n");
        dravenlok::win32::SetMimeTypesPathForTesting((m_dir / "mime.types").c_str());
    }

    void TearDown() override
    {
        dravenlok::win32::SetMimeTypesPathForTesting("");
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    std::string WriteFile(const std::string& name, const std::string& bytes)
    {
        const fs::path path = m_dir / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    // A sparse file of `size` bytes: sized without taking the space.
    std::string SparseFile(const std::string& name, off_t size)
    {
        const std::string path = (m_dir / name).string();
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::ftruncate(fd, size), 0);
        ::close(fd);
        return path;
    }

    fs::path m_dir;
};

// ---- urlencoded --------------------------------------------------------------

std::string FormBody(const CHttpClient& client)
{
    char buffer[1024];
    const int length = client.BuildFormBody(buffer, sizeof buffer);
    EXPECT_EQ(static_cast<std::size_t>(length), strnlen(buffer, sizeof buffer));
    return std::string(buffer, static_cast<std::size_t>(length));
}

TEST_F(FormBodyTest, UrlencodedBodyJoinsFieldsAsTheyStand)
{
    CHttpClient empty;
    EXPECT_EQ(FormBody(empty), "");

    CHttpClient two;
    two.AddField("a", "1", FIELD_TEXT);
    two.AddField("b", "2", FIELD_TEXT);
    EXPECT_EQ(FormBody(two), "a=1&b=2");

    // No encoding of any kind; a file field gives its path and nothing is read;
    // the kind does not matter.
    CHttpClient raw;
    raw.AddField("q", "x&y=z w\xE9", FIELD_TEXT);
    raw.AddField("f", "/no/such/file.txt", FIELD_FILE);
    raw.AddField("k", "v", 7);
    EXPECT_EQ(FormBody(raw), "q=x&y=z w\xE9&f=/no/such/file.txt&k=v");
}

TEST_F(FormBodyTest, UrlencodedBodyNeverOverrunsItsBuffer)
{
    CHttpClient client;
    client.AddField(std::string(255, 'n').c_str(), std::string(1023, 'v').c_str(), FIELD_TEXT);
    char buffer[40];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(client.BuildFormBody(buffer, 32), 31);
    EXPECT_EQ(std::string(buffer, 32), std::string(31, 'n') + '\0');
    EXPECT_EQ(std::string(buffer + 32, 8), std::string(8, '#'));
}

TEST_F(FormBodyTest, AddFieldRefusesTextsThatDoNotFit)
{
    CHttpClient client;
    EXPECT_EQ(client.AddField(std::string(255, 'n').c_str(), std::string(1023, 'v').c_str(), 1), 1);
    EXPECT_EQ(client.AddField(std::string(256, 'n').c_str(), "v", FIELD_TEXT), 0);
    EXPECT_EQ(client.GetLastErrorCode(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(client.AddField("n", std::string(1024, 'v').c_str(), FIELD_FILE), 0);
    EXPECT_EQ(client.GetLastErrorCode(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(client.AddField(nullptr, "v", FIELD_TEXT), 0);
    EXPECT_EQ(client.GetLastErrorCode(), ERROR_INVALID_PARAMETER);
    ASSERT_EQ(client.Fields().size(), 1U);
    EXPECT_EQ(std::string(client.Fields()[0].value), std::string(1023, 'v'));
}

// ---- multipart -----------------------------------------------------------------

struct Part {
    std::string name;
    std::optional<std::string> filename;
    std::optional<std::string> contentType;
    std::string content;
    bool operator==(const Part&) const = default;
};

// Reads a multipart/form-data body back into its parts (RFC 2046 delimiter
// lines, RFC 7578 dispositions); nullopt when it is not well formed.
std::optional<std::vector<Part>> ParseMultipart(const std::string& body, const std::string& boundary)
{
    const std::string delimiter = "--" + boundary;
    const auto quoted = [](const std::string& line, const std::string& key) -> std::optional<std::string> {
        const std::string marker = "; " + key + "=\"";
        const auto at = line.find(marker);
        if (at == std::string::npos) {
            return std::nullopt;
        }
        const auto from = at + marker.size();
        const auto end = line.find('"', from);
        return end == std::string::npos ? std::nullopt : std::optional(line.substr(from, end - from));
    };
    if (body.compare(0, delimiter.size(), delimiter) != 0) {
        return std::nullopt;
    }
    std::vector<Part> parts;
    std::size_t pos = delimiter.size();
    for (;;) {
        if (body.compare(pos, 4, "--\r\n") == 0 && pos + 4 == body.size()) {
            return parts;
        }
        if (body.compare(pos, 2, "\r\n") != 0) {
            return std::nullopt;
        }
        pos += 2;
        const auto headersEnd = body.find("\r\n\r\n", pos);
        const auto next = body.find("\r\n" + delimiter, pos);
        if (headersEnd == std::string::npos || next == std::string::npos || headersEnd > next) {
            return std::nullopt;
        }
        Part part;
        std::size_t line = pos;
        while (line < headersEnd + 2) {
            const auto lineEnd = body.find("\r\n", line);
            const std::string header = body.substr(line, lineEnd - line);
            if (header.rfind("Content-Disposition: form-data", 0) == 0) {
                const auto name = quoted(header, "name");
                if (!name) {
                    return std::nullopt;
                }
                part.name = *name;
                part.filename = quoted(header, "filename");
            } else if (header.rfind("Content-Type: ", 0) == 0) {
                part.contentType = header.substr(14);
            } else {
                return std::nullopt;
            }
            line = lineEnd + 2;
        }
        // The content may hold CR LF itself; the parts here never hold a
        // delimiter line.
        part.content = body.substr(headersEnd + 4, next - headersEnd - 4);
        parts.push_back(std::move(part));
        pos = next + 2 + delimiter.size();
    }
}

std::string MultipartBody(CHttpClient& client)
{
    LocalBlock holder;
    const int length = client.BuildMultipartBody(holder, kBoundary);
    EXPECT_GE(length, 0) << "code " << client.GetLastErrorCode();
    if (length < 0 || !holder) {
        return {};
    }
    return std::string(holder.get(), static_cast<std::size_t>(length));
}

TEST_F(FormBodyTest, MultipartBodyHasExactBytes)
{
    CHttpClient empty;
    EXPECT_EQ(MultipartBody(empty), "----MULTI-PARTS-FORM-DATA-BOUNDARY--\r\n");  // 38 bytes

    CHttpClient one;
    one.AddField("a", "1", FIELD_TEXT);
    const std::string body = MultipartBody(one);
    EXPECT_EQ(body.size(), 121U);
    EXPECT_EQ(body,
              "----MULTI-PARTS-FORM-DATA-BOUNDARY\r\n"
              "Content-Disposition: form-data; name=\"a\"\r\n"
              "\r\n"
              "1\r\n"
              "----MULTI-PARTS-FORM-DATA-BOUNDARY--\r\n");

    const std::string path = WriteFile("docs.d/notes.txt", "hello");
    CHttpClient file;
    file.AddField("up", path.c_str(), FIELD_FILE);
    EXPECT_EQ(MultipartBody(file),
              "----MULTI-PARTS-FORM-DATA-BOUNDARY\r\n"
              "Content-Disposition: form-data; name=\"up\"; filename=\"" + path + "\"\r\n"
              "Content-Type: text/plain\r\n"
              "\r\n"
              "hello\r\n"
              "----MULTI-PARTS-FORM-DATA-BOUNDARY--\r\n");
}

TEST_F(FormBodyTest, MultipartBodyParsesBackToTheFieldsThatWentIn)
{
    std::string binary;
    for (int i = 0; i < 5000; ++i) {
        binary += static_cast<char>(i * 7 % 256);  // zero bytes and CR LF included
    }
    const std::string big = WriteFile("image.PNG", binary);
    const std::string none = WriteFile("empty.bin", "");
    const std::string odd = WriteFile("v1.2/README", "plain\r\ntext");

    CHttpClient client;
    client.AddField("title", "a value with \"quotes\" & = signs", FIELD_TEXT);
    client.AddField("skipped0", "x", 0);
    client.AddField("picture", big.c_str(), FIELD_FILE);
    client.AddField("skipped3", "y", 3);
    client.AddField("nothing", none.c_str(), FIELD_FILE);
    client.AddField("readme", odd.c_str(), FIELD_FILE);
    client.AddField("", "", FIELD_TEXT);

    const auto parts = ParseMultipart(MultipartBody(client), kBoundary);
    ASSERT_TRUE(parts.has_value());
    const std::vector<Part> expected = {
        {"title", std::nullopt, std::nullopt, "a value with \"quotes\" & = signs"},
        {"picture", big, "image/png", binary},
        {"nothing", none, "application/octet-stream", ""},
        // The '.' of a directory name makes the key when the file name has none.
        {"readme", odd, "application/octet-stream", "plain\r\ntext"},
        {"", std::nullopt, std::nullopt, ""},
    };
    EXPECT_EQ(*parts, expected);
}

TEST_F(FormBodyTest, FileGrowingWhileReadGivesAtMostOneChunkMore)
{
    // A character device reports size 0 and never ends.
    CHttpClient client;
    client.AddField("z", "/dev/zero", FIELD_FILE);
    const auto parts = ParseMultipart(MultipartBody(client), kBoundary);
    ASSERT_TRUE(parts.has_value());
    ASSERT_EQ(parts->size(), 1U);
    EXPECT_EQ((*parts)[0].content, std::string(1024, '\0'));
}

TEST_F(FormBodyTest, EstimateCountsTextAndFileFieldsOnly)
{
    const std::string file = WriteFile("f.txt", std::string(1000, 'f'));
    CHttpClient client;
    EXPECT_EQ(client.EstimateMultipartSize(), 0U);
    client.AddField("t", "v", FIELD_TEXT);
    client.AddField("f", file.c_str(), FIELD_FILE);
    client.AddField("k0", "x", 0);
    client.AddField("k3", file.c_str(), 3);
    EXPECT_EQ(client.EstimateMultipartSize(), 8192U + 1000U + 6144U);
    client.AddField("gone", (m_dir / "missing").c_str(), FIELD_FILE);
    EXPECT_EQ(client.EstimateMultipartSize(), 8192U + 1000U + 6144U + 6144U);
}

TEST_F(FormBodyTest, FileThatCannotBeUploadedFailsTheBody)
{
    struct Case {
        const char* what;
        std::string path;
        DWORD code;  // 0: any failure code
    };
    const Case cases[] = {
        {"missing file", (m_dir / "missing.txt").string(), ERROR_FILE_NOT_FOUND},
        {"directory", m_dir.string(), 0},
        {"4 GiB or more", SparseFile("huge.bin", (off_t{1} << 32) + 10), ERROR_FILE_TOO_LARGE},
        {"body over 2 GiB", SparseFile("large.bin", off_t{3} << 30), ERROR_FILE_TOO_LARGE},
    };
    for (const Case& c : cases) {
        CHttpClient client;
        client.AddField("t", "v", FIELD_TEXT);
        client.AddField("f", c.path.c_str(), FIELD_FILE);
        LocalBlock holder = dravenlok::win32::AllocateZeroed(16);  // an earlier body
        EXPECT_EQ(client.BuildMultipartBody(holder, kBoundary), -1) << c.what;
        EXPECT_FALSE(holder) << c.what;
        if (c.code != 0) {
            EXPECT_EQ(client.GetLastErrorCode(), c.code) << c.what;
        } else {
            EXPECT_NE(client.GetLastErrorCode(), ERROR_SUCCESS) << c.what;
        }
    }
}

TEST_F(FormBodyTest, FailedAllocationFailsTheBodyCleanly)
{
    const std::string file = WriteFile("a.txt", "abc");
    // The body, then the text part's scratch, then the file part's scratch.
    for (const long failing : {0L, 1L, 2L, 3L}) {
        CHttpClient client;
        client.AddField("t", "v", FIELD_TEXT);
        client.AddField("f", file.c_str(), FIELD_FILE);
        LocalBlock holder;
        dravenlok::win32::FailLocalAllocForTesting(failing);
        const int length = client.BuildMultipartBody(holder, kBoundary);
        dravenlok::win32::FailLocalAllocForTesting(-1);
        if (failing < 3) {
            EXPECT_EQ(length, -1) << failing;
            EXPECT_FALSE(holder) << failing;
            EXPECT_EQ(client.GetLastErrorCode(), ERROR_NOT_ENOUGH_MEMORY) << failing;
        } else {
            EXPECT_GT(length, 0);  // three blocks are all it takes
        }
    }
}

TEST_F(FormBodyTest, ContentTypeComesFromTheExtensionTable)
{
    CHttpClient client;
    const struct {
        const char* path;
        const char* type;
    } cases[] = {
        {"/srv/a.txt", "text/plain"},
        {"b.TxT", "text/plain"},  // keys match case-insensitively
        {"archive.tar.png", "image/png"},
        {".txt", "text/plain"},    // only '.' first: the key is the whole path
        {"txt", "application/octet-stream"},
        {"/etc.d/passwd", "application/octet-stream"},
        {"a.unknown", "application/octet-stream"},
        {"", "application/octet-stream"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(client.ContentTypeFor(c.path), c.type) << c.path;
    }
    // The fallback after a longer type is exact, nothing of the old one left.
    EXPECT_STREQ(client.ContentTypeFor("x.long"),
                 "application/vnd.dravenlok.a-rather-long-registered-type+xml");
    const char* fallback = client.ContentTypeFor("x.none");
    EXPECT_STREQ(fallback, "application/octet-stream");
    EXPECT_EQ(fallback[sizeof "application/octet-stream"], '\0');
}

}  // namespace
