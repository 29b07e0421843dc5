// Code-page-aware byte tests and copies, in a single-byte locale and in UTF-8.
#include "platform/win32/mbcs.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

using dravenlok::win32::CharLength;
using dravenlok::win32::CopyChars;
using dravenlok::win32::IsCharAt;

// Switches the C library's character classification for one test.
class LocaleScope {
public:
    explicit LocaleScope(const char* name) : m_previous(std::setlocale(LC_CTYPE, nullptr))
    {
        m_active = std::setlocale(LC_CTYPE, name) != nullptr;
    }
    ~LocaleScope() { std::setlocale(LC_CTYPE, m_previous.c_str()); }
    LocaleScope(const LocaleScope&) = delete;
    LocaleScope& operator=(const LocaleScope&) = delete;
    [[nodiscard]] bool Active() const { return m_active; }

private:
    std::string m_previous;
    bool m_active = false;
};

// "é" is C3 A9 in UTF-8, "€" E2 82 AC; A9 and AC are trail bytes.
const std::string kText = "a\xC3\xA9:\xE2\x82\xAC/";  // a é : € /

TEST(Mbcs, SingleByteLocaleTreatsEveryByteAsACharacter)
{
    LocaleScope locale("C");
    ASSERT_TRUE(locale.Active());
    EXPECT_EQ(CharLength(kText.data() + 1, kText.size() - 1), 1U);
    EXPECT_TRUE(IsCharAt(kText.data(), kText.size(), 3, ':'));
    EXPECT_FALSE(IsCharAt(kText.data(), kText.size(), 3, '/'));
    EXPECT_FALSE(IsCharAt(kText.data(), kText.size(), kText.size(), '\0'));  // past the end never matches

    char out[8];
    EXPECT_EQ(CopyChars(out, sizeof out, kText.data(), 0, 2), 2U);
    EXPECT_EQ(std::string(out), "a\xC3");  // a lead byte is a byte like any other here
}

TEST(Mbcs, Utf8CharactersAreWholeUnits)
{
    LocaleScope locale("C.UTF-8");
    ASSERT_TRUE(locale.Active());
    const char* const text = kText.data();
    const std::size_t length = kText.size();

    EXPECT_EQ(CharLength(text, length), 1U);
    EXPECT_EQ(CharLength(text + 1, length - 1), 2U);
    EXPECT_EQ(CharLength(text + 4, length - 4), 3U);
    EXPECT_EQ(CharLength(text + 4, 2), 1U) << "a character cut by the end counts as one byte";
    EXPECT_EQ(CharLength("\xFF", 1), 1U) << "an invalid byte counts as one";
    EXPECT_EQ(CharLength(text, 0), 0U);

    EXPECT_TRUE(IsCharAt(text, length, 3, ':'));
    EXPECT_TRUE(IsCharAt(text, length, 7, '/'));
    EXPECT_FALSE(IsCharAt(text, length, 2, '\xA9')) << "a trail byte is no character of its own";
    EXPECT_FALSE(IsCharAt(text, length, 1, '\xC3')) << "nor is a lead byte";
}

TEST(Mbcs, CopyNeverEndsInsideACharacter)
{
    LocaleScope locale("C.UTF-8");
    ASSERT_TRUE(locale.Active());
    struct Case {
        std::size_t first;
        std::size_t count;
        std::size_t outSize;
        std::string expected;
    };
    const Case cases[] = {
        {0, 8, 16, kText},                 // everything
        {0, 2, 16, "a"},                   // count ends after the lead byte of é
        {0, 3, 16, "a\xC3\xA9"},           // count ends after é
        {4, 2, 16, ""},                    // only part of €
        {0, 8, 6, "a\xC3\xA9:"},           // the buffer, not the count, cuts € (5 bytes fit)
        {0, 8, 1, ""},                     // room for the terminator only
        {3, 5, 16, ":\xE2\x82\xAC/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "first " << c.first << " count " << c.count << " size " << c.outSize);
        std::string out(c.outSize + 4, '#');
        const std::size_t copied = CopyChars(out.data(), c.outSize, kText.data(), c.first, c.count);
        EXPECT_EQ(copied, c.expected.size());
        EXPECT_EQ(out.substr(0, copied + 1), c.expected + '\0');
        EXPECT_EQ(out.substr(c.outSize), "####") << "nothing written past the buffer";
    }
}

}  // namespace
