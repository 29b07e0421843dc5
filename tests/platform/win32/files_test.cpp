// Read-only file services on POSIX descriptors, with Win32 error codes.
#include "platform/win32/files.h"

#include "tests/platform/win32/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

using dravenlok::testing::TempDir;

HANDLE OpenForReading(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(Files, OpenFailuresCarryTheMatchingCode)
{
    TempDir dir;
    const auto file = dir.Write("file.txt", "x");
    std::filesystem::create_directory(dir.Path("sub"));
    std::filesystem::create_symlink("loop", dir.Path("loop"));

    struct Case {
        const char* what;
        std::string path;
        DWORD access;
        DWORD creation;
        DWORD error;
    };
    const Case cases[] = {
        {"missing file", dir.Path("missing.txt"), GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"missing directory", dir.Path("nowhere/file.txt"), GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"file used as a directory", file + "/inner", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"directory", dir.Path("sub"), GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"name too long", dir.Path(std::string(300, 'n')), GENERIC_READ, OPEN_EXISTING,
         ERROR_FILENAME_EXCED_RANGE},
        {"symbolic link loop", dir.Path("loop"), GENERIC_READ, OPEN_EXISTING, ERROR_CANT_RESOLVE_FILENAME},
        {"writing", file, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, ERROR_NOT_SUPPORTED},
        {"creating", dir.Path("new.txt"), GENERIC_READ, CREATE_NEW, ERROR_NOT_SUPPORTED},
        {"no disposition", file, GENERIC_READ, 0, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetLastError(ERROR_SUCCESS);
        const HANDLE handle = CreateFileA(c.path.c_str(), c.access, FILE_SHARE_READ, nullptr, c.creation,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(std::filesystem::exists(dir.Path("new.txt")), false);
}

TEST(Files, ReadsToTheEndInChunks)
{
    TempDir dir;
    std::string contents;
    for (int i = 0; i < 3000; ++i) {
        contents += static_cast<char>(i % 251);
    }
    const HANDLE file = OpenForReading(dir.Write("data.bin", contents));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);

    DWORD high = 77;
    EXPECT_EQ(GetFileSize(file, &high), 3000U);
    EXPECT_EQ(high, 0U);

    std::string got;
    char chunk[1025] = {};
    DWORD read = 0;
    while (ReadFile(file, chunk, 1024, &read, nullptr) != FALSE && read > 0) {
        ASSERT_LE(read, 1024U);
        got.append(chunk, read);
    }
    EXPECT_EQ(read, 0U);
    EXPECT_EQ(got, contents);
    // At the end a read still succeeds, with nothing.
    EXPECT_NE(ReadFile(file, chunk, 1024, &read, nullptr), FALSE);
    EXPECT_EQ(read, 0U);
    EXPECT_NE(CloseHandle(file), FALSE);
}

TEST(Files, EmptyFileHasSizeZero)
{
    TempDir dir;
    const HANDLE file = OpenForReading(dir.Write("empty", ""));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(file, nullptr), 0U);
    char byte = 0;
    DWORD read = 5;
    EXPECT_NE(ReadFile(file, &byte, 1, &read, nullptr), FALSE);
    EXPECT_EQ(read, 0U);
    CloseHandle(file);
}

// Files of 4 GiB and more: the low 32 bits come back, the rest in sizeHigh.
// A sparse file keeps the test cheap.
TEST(Files, SizeAboveFourGigabytesSplitsIntoHighAndLow)
{
    TempDir dir;
    const auto path = dir.Write("big", "");
    std::filesystem::resize_file(path, (std::uintmax_t{1} << 32) + 5);
    const HANDLE file = OpenForReading(path);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 0;
    EXPECT_EQ(GetFileSize(file, &high), 5U);
    EXPECT_EQ(high, 1U);
    EXPECT_EQ(GetFileSize(file, nullptr), 5U);
    CloseHandle(file);

    // A low part of exactly 0xFFFFFFFF is a size, told from failure by the last error.
    std::filesystem::resize_file(path, 0xFFFFFFFFU);
    const HANDLE again = OpenForReading(path);
    SetLastError(ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetFileSize(again, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    CloseHandle(again);
}

TEST(Files, ClosedOrForeignHandlesAreInvalid)
{
    TempDir dir;
    const HANDLE file = OpenForReading(dir.Write("f", "abc"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_NE(CloseHandle(file), FALSE);

    char buffer[4];
    DWORD read = 9;
    for (const HANDLE handle : {file, INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr),
                                static_cast<HANDLE>(buffer)}) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(ReadFile(handle, buffer, sizeof buffer, &read, nullptr), FALSE);
        EXPECT_EQ(read, 0U);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_EQ(GetFileSize(handle, nullptr), INVALID_FILE_SIZE);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_EQ(CloseHandle(handle), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
    // A file opened later never answers to the closed handle's value.
    const HANDLE next = OpenForReading(dir.Path("f"));
    EXPECT_NE(next, file);
    CloseHandle(next);
}

}  // namespace
