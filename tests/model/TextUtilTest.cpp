#include "model/TextUtil.h"

#include <gtest/gtest.h>

using namespace vantrel;

TEST(TextUtil, AtoiReadsLikeTheCFunction) {
    EXPECT_EQ(text::atoiLike("60"), 60);
    EXPECT_EQ(text::atoiLike("  -7x"), -7);
    EXPECT_EQ(text::atoiLike("+12abc"), 12);
    EXPECT_EQ(text::atoiLike("abc"), 0);
    EXPECT_EQ(text::atoiLike(""), 0);
    EXPECT_EQ(text::atoiLike("- 5"), 0);
    EXPECT_GT(text::atoiLike("99999999999999999999999999"), 0); // saturates, no overflow
}

TEST(TextUtil, NormalizeCrLfEndsEveryLineWithOneCrLf) {
    EXPECT_EQ(text::normalizeCrLf("a\nb\r\nc"), "a\r\nb\r\nc");
    EXPECT_EQ(text::normalizeCrLf("\n\r\n"), "\r\n\r\n");
    EXPECT_EQ(text::normalizeCrLf("lone\rcr"), "lone\rcr");
}

TEST(TextUtil, RemoveAllAndCaseInsensitivePrefix) {
    EXPECT_EQ(text::removeAll("http://h/POST", "http://"), "h/POST");
    EXPECT_EQ(text::removeAll("a b  c", " "), "abc");
    EXPECT_TRUE(text::startsWithNoCase("250 ok", "250 "));
    EXPECT_TRUE(text::startsWithNoCase("EHLO", "ehlo"));
    EXPECT_FALSE(text::startsWithNoCase("25", "250 "));
}
