// The content type of a file extension, read as the registry value
// HKEY_CLASSES_ROOT\.ext "Content Type" from mime.types.
#include "platform/win32/registry.h"

#include "tests/platform/win32/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using dravenlok::testing::TempDir;
using dravenlok::win32::SetMimeTypesPathForTesting;

// The value of "Content Type" for `key`, or the failing status as text.
std::string ContentType(const char* key)
{
    HKEY handle = nullptr;
    const LSTATUS opened = RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_QUERY_VALUE, &handle);
    if (opened != static_cast<LSTATUS>(ERROR_SUCCESS)) {
        EXPECT_EQ(handle, nullptr);
        return "open failed " + std::to_string(opened);
    }
    char buffer[1024] = {};
    DWORD size = sizeof buffer;
    DWORD type = 0;
    const LSTATUS queried =
        RegQueryValueExA(handle, "Content Type", nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size);
    EXPECT_EQ(RegCloseKey(handle), static_cast<LSTATUS>(ERROR_SUCCESS));
    if (queried != static_cast<LSTATUS>(ERROR_SUCCESS)) {
        return "query failed " + std::to_string(queried);
    }
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, std::string(buffer).size() + 1) << "size counts the terminating zero";
    return buffer;
}

const std::string kNotFound = "open failed " + std::to_string(ERROR_FILE_NOT_FOUND);

TEST(Registry, SystemMimeTypesGiveExtensionsTheirType)
{
    SetMimeTypesPathForTesting(nullptr);
    EXPECT_EQ(ContentType(".txt"), "text/plain");
    EXPECT_EQ(ContentType(".TXT"), "text/plain");  // keys match case-insensitively
    EXPECT_EQ(ContentType(".html"), "text/html");
    EXPECT_EQ(ContentType(".no-such-extension"), kNotFound);
}

TEST(Registry, TestTableAndKeysOfOtherShapes)
{
    TempDir dir;
    const auto table = dir.Write("mime.types",
                                 "# comment line text/x-comment cmt\n"
                                 "\n"
                                 "application/x-first\tdup one\n"
                                 "application/x-second dup   two # trailing comment\n"
                                 "text/x-bare\n"
                                 "Image/X-Mixed MiXeD\n");
    SetMimeTypesPathForTesting(table.c_str());

    struct Case {
        const char* key;
        std::string expected;
    };
    const Case cases[] = {
        {".one", "application/x-first"},
        {".dup", "application/x-first"},  // the first line to claim it keeps it
        {".two", "application/x-second"},
        {".mixed", "Image/X-Mixed"},
        {".cmt", kNotFound},       // inside a comment
        {".comment", kNotFound},   // likewise
        {".txt", kNotFound},       // the system table is not consulted
        {"one", kNotFound},        // no leading dot
        {".", kNotFound},
        {"", kNotFound},
        {".one\\sub", kNotFound},  // nested keys do not exist
        {"/tmp/a.one", kNotFound},
        {".d/file.one", kNotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(ContentType(c.key), c.expected);
    }
    SetMimeTypesPathForTesting(nullptr);
    EXPECT_EQ(ContentType(".txt"), "text/plain");
}

TEST(Registry, MissingTableMeansNoKeys)
{
    TempDir dir;
    SetMimeTypesPathForTesting(dir.Path("absent").c_str());
    EXPECT_EQ(ContentType(".txt"), kNotFound);
    SetMimeTypesPathForTesting(nullptr);
}

TEST(Registry, ValueQueryNeverOverrunsAndReportsTheSizeNeeded)
{
    SetMimeTypesPathForTesting(nullptr);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, ".txt", 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    const DWORD needed = sizeof "text/plain";

    // Size only.
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "content type", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, needed);

    // One byte short: nothing written, the needed size reported.
    char buffer[32];
    std::fill(std::begin(buffer), std::end(buffer), '#');
    size = needed - 1;
    EXPECT_EQ(RegQueryValueExA(key, "Content Type", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, needed);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#'));

    // Exactly enough.
    size = needed;
    EXPECT_EQ(RegQueryValueExA(key, "Content Type", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(buffer, needed), std::string("text/plain", needed));

    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "Extension", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size),
              ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "Content Type", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, ".txt", 0, KEY_QUERY_VALUE, nullptr), ERROR_INVALID_PARAMETER);
}

}  // namespace
