#include <gtest/gtest.h>

#include "utf8_to_utf16.h"

namespace {

TEST(Utf8ToUtf16, DecodesEveryLengthAndSurrogatePairs)
{
    std::u16string wide;
    ASSERT_TRUE(Utf8ToUtf16("a\xC3\xBC\xE6\xBC\xA2\xF0\x9F\x98\x80", &wide));
    EXPECT_EQ(wide, (std::u16string{u'a', u'\u00FC', u'\u6F22', 0xD83D, 0xDE00}));
    ASSERT_TRUE(Utf8ToUtf16("", &wide));
    EXPECT_TRUE(wide.empty());
}

TEST(Utf8ToUtf16, RefusesWhatIsNotUtf8)
{
    const char* invalid[] = {
        "\x80",              // stray continuation
        "\xC3",              // truncated
        "\xC3(",             // bad continuation
        "\xC0\xAF",          // overlong '/'
        "\xE0\x80\xAF",      // overlong
        "\xED\xA0\x80",      // encoded surrogate
        "\xF4\x90\x80\x80",  // past U+10FFFF
        "\xFF",
    };
    std::u16string wide;
    for (const char* text : invalid) {
        EXPECT_FALSE(Utf8ToUtf16(text, &wide)) << ::testing::PrintToString(text);
    }
}

}  // namespace
