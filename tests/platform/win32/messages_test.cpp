// Last error, the message table behind FormatMessageA, and local memory.
#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Every error code that win32.h declares, read from the header itself, so a
// code added there without a text fails here.
std::vector<std::pair<std::string, DWORD>> DeclaredErrorCodes()
{
    std::ifstream header(DRAVENLOK_WIN32_HEADER);
    const std::regex declaration(R"(inline constexpr DWORD ((ERROR_)\w+) = (\d+);)");
    std::vector<std::pair<std::string, DWORD>> codes;
    std::string line;
    while (std::getline(header, line)) {
        std::smatch match;
        if (std::regex_search(line, match, declaration)) {
            codes.emplace_back(match[1], static_cast<DWORD>(std::stoul(match[3])));
        }
    }
    return codes;
}

TEST(MessageTable, EveryDeclaredCodeHasATextEndingLikeASystemText)
{
    const auto codes = DeclaredErrorCodes();
    ASSERT_FALSE(codes.empty()) << "no codes read from " << DRAVENLOK_WIN32_HEADER;
    bool sawInternetCode = false;
    for (const auto& [name, code] : codes) {
        SCOPED_TRACE(name);
        const char* const text = SystemMessageText(code);
        ASSERT_NE(text, nullptr);
        const std::string message(text);
        EXPECT_GT(message.size(), 4U);
        EXPECT_TRUE(message.ends_with(".\r\n"));
        EXPECT_EQ(message.find_first_of("\r\n"), message.size() - 2) << "one line only";
        sawInternetCode = sawInternetCode || code == ERROR_INTERNET_NAME_NOT_RESOLVED;
    }
    EXPECT_TRUE(sawInternetCode);
    EXPECT_EQ(SystemMessageText(99999), nullptr);
}

TEST(MessageTable, TextsSayWhatWentWrong)
{
    EXPECT_STREQ(SystemMessageText(ERROR_INTERNET_NAME_NOT_RESOLVED),
                 "The server name or address could not be resolved.\r\n");
    EXPECT_STREQ(SystemMessageText(ERROR_INTERNET_CANNOT_CONNECT),
                 "A connection with the server could not be established.\r\n");
    EXPECT_STREQ(SystemMessageText(ERROR_INTERNET_TIMEOUT), "The operation timed out.\r\n");
    EXPECT_STREQ(SystemMessageText(ERROR_FILE_NOT_FOUND), "The file could not be found.\r\n");
}

TEST(LastError, IsKeptPerThread)
{
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD seenByOther = 1;
    std::thread other([&] {
        seenByOther = GetLastError();
        SetLastError(ERROR_INVALID_HANDLE);
    });
    other.join();
    EXPECT_EQ(seenByOther, ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

constexpr DWORD kSystemAllocate =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

TEST(FormatMessage, AllocatesTheTextForTheCaller)
{
    for (const DWORD flags : {kSystemAllocate, FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM}) {
        LPSTR text = nullptr;
        const DWORD length = FormatMessageA(flags, nullptr, ERROR_INTERNET_TIMEOUT, LANG_USER_DEFAULT,
                                            reinterpret_cast<LPSTR>(&text), 0, nullptr);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::string(text), "The operation timed out.\r\n");
        EXPECT_EQ(length, std::string(text).size());
        EXPECT_EQ(LocalFree(text), nullptr);
    }
}

TEST(FormatMessage, CopiesIntoTheCallersBufferOnlyWhenItFits)
{
    const std::string expected = SystemMessageText(ERROR_FILE_NOT_FOUND);
    const auto exact = static_cast<DWORD>(expected.size() + 1);

    std::string buffer(exact + 8, '#');
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_FILE_NOT_FOUND, LANG_NEUTRAL,
                             buffer.data(), exact, nullptr),
              expected.size());
    EXPECT_EQ(buffer.substr(0, exact), expected + '\0');

    // One byte short: a failure, and not a byte written past the size.
    std::string small(exact + 8, '#');
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_FILE_NOT_FOUND, LANG_NEUTRAL,
                             small.data(), exact - 1, nullptr),
              0U);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(small.substr(exact - 1), std::string(9, '#'));
}

TEST(FormatMessage, FailsWithoutAllocatingForWhatItCannotServe)
{
    struct Case {
        const char* what;
        DWORD flags;
        DWORD code;
        DWORD language;
        DWORD error;
    };
    const Case cases[] = {
        {"unknown code", kSystemAllocate, 424242, LANG_USER_DEFAULT, ERROR_MR_MID_NOT_FOUND},
        {"message from a string", kSystemAllocate | FORMAT_MESSAGE_FROM_STRING, ERROR_FILE_NOT_FOUND,
         LANG_USER_DEFAULT, ERROR_INVALID_PARAMETER},
        {"message from a module", FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE,
         ERROR_FILE_NOT_FOUND, LANG_USER_DEFAULT, ERROR_INVALID_PARAMETER},
        {"no source", FORMAT_MESSAGE_ALLOCATE_BUFFER, ERROR_FILE_NOT_FOUND, LANG_USER_DEFAULT,
         ERROR_INVALID_PARAMETER},
        {"German", kSystemAllocate, ERROR_FILE_NOT_FOUND, 0x0407, ERROR_RESOURCE_LANG_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto* text = reinterpret_cast<LPSTR>(0x1);  // must come back null
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(FormatMessageA(c.flags, nullptr, c.code, c.language, reinterpret_cast<LPSTR>(&text), 0, nullptr),
                  0U);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(text, nullptr);
    }
}

TEST(FormatMessage, AnAllocationFailureLeavesNoText)
{
    dravenlok::win32::FailLocalAllocForTesting(0);
    LPSTR text = nullptr;
    EXPECT_EQ(FormatMessageA(kSystemAllocate, nullptr, ERROR_FILE_NOT_FOUND, LANG_USER_DEFAULT,
                             reinterpret_cast<LPSTR>(&text), 0, nullptr),
              0U);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(text, nullptr);
    dravenlok::win32::FailLocalAllocForTesting(-1);
}

TEST(LocalMemory, ZeroesOnRequestAndFailsCleanly)
{
    auto* const block = static_cast<unsigned char*>(LocalAlloc(LMEM_ZEROINIT, 4096));
    ASSERT_NE(block, nullptr);
    for (std::size_t i = 0; i < 4096; ++i) {
        ASSERT_EQ(block[i], 0) << "at " << i;
    }
    EXPECT_EQ(LocalFree(block), nullptr);

    void* const empty = LocalAlloc(LPTR, 0);
    EXPECT_NE(empty, nullptr);
    LocalFree(empty);
    EXPECT_EQ(LocalFree(nullptr), nullptr);

    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LocalAlloc(LPTR, SIZE_MAX), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
}

TEST(LocalMemory, InjectedFailureHitsExactlyTheChosenCall)
{
    dravenlok::win32::FailLocalAllocForTesting(1);
    void* const first = LocalAlloc(LPTR, 16);
    SetLastError(ERROR_SUCCESS);
    void* const second = LocalAlloc(LPTR, 16);
    const DWORD error = GetLastError();
    void* const third = LocalAlloc(LPTR, 16);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(error, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_NE(third, nullptr);
    LocalFree(first);
    LocalFree(third);
}

}  // namespace
