#include <gtest/gtest.h>

#include "batch/Script.h"

namespace zelvo {

TEST(LexLine, SplitsOnBlanksAndKeepsQuotedWordsWhole) {
    auto r = LexLine("  text 10 20   \"Hello world\"\tsize=12 ");
    ASSERT_TRUE(r.error.empty());
    EXPECT_EQ(r.words, (std::vector<std::string>{"text", "10", "20", "Hello world", "size=12"}));
}

TEST(LexLine, QuotesEscapesAndEmptyWords) {
    auto r = LexLine(R"(expect "say \"hi\" \\ now\n" "")");
    ASSERT_TRUE(r.error.empty());
    ASSERT_EQ(r.words.size(), 3u);
    EXPECT_EQ(r.words[1], R"(say "hi" \ now\n)");  // \n stays two characters for the command
    EXPECT_EQ(r.words[2], "");
}

TEST(LexLine, MalformedQuotingIsAnError) {
    EXPECT_FALSE(LexLine("expect \"open").error.empty());
    EXPECT_FALSE(LexLine("expect \"a\"b").error.empty());
}

TEST(LexLine, HashInsideALineIsOrdinary) {
    auto r = LexLine("edit border 3 #FF0000 50");
    EXPECT_EQ(r.words[3], "#FF0000");
}

TEST(Parsers, RejectMalformedNumbersColoursAndPoints) {
    EXPECT_EQ(ParseInt("-42"), -42);
    EXPECT_FALSE(ParseInt("4x"));
    EXPECT_FALSE(ParseInt(""));
    EXPECT_FALSE(ParseInt("99999999999"));
    // Held to the coordinate range; seeds take any 32-bit number.
    EXPECT_EQ(ParseInt("16777216"), 16777216);
    EXPECT_EQ(ParseInt("-16777216"), -16777216);
    EXPECT_FALSE(ParseInt("16777217"));
    EXPECT_FALSE(ParseInt("-2147483648"));
    EXPECT_EQ(ParseWideInt("-2147483648"), -2147483648LL);
    EXPECT_FALSE(ParseWideInt("2147483648"));
    EXPECT_EQ(ParseUnsigned32("4294967295"), 4294967295u);
    for (const char* bad : {"4294967296", "-1", "+1", " 1", "1e3", ""})
        EXPECT_FALSE(ParseUnsigned32(bad)) << bad;
    EXPECT_EQ(ParseColor("#FF8000"), 0x0080FFu);  // 0x00BBGGRR
    EXPECT_FALSE(ParseColor("FF8000"));
    EXPECT_FALSE(ParseColor("#FF80G0"));
    EXPECT_EQ(ParsePoint("3,-4"), std::make_pair(3, -4));
    EXPECT_FALSE(ParsePoint("3;4"));
    EXPECT_FALSE(ParsePoint("3,"));
    EXPECT_EQ(OptionValue("quality=12", "quality"), "12");
    EXPECT_FALSE(OptionValue("qualityx=12", "quality"));
    EXPECT_EQ(ParseNumber("8.9"), 8.9);
    EXPECT_FALSE(ParseNumber("nan"));
    EXPECT_FALSE(ParseNumber("inf"));
    EXPECT_FALSE(ParseNumber("1e300"));
    EXPECT_EQ(ParseNumber("-16777216"), -16777216.0);
    EXPECT_EQ(ParseNumber(".5"), 0.5);
    EXPECT_EQ(ParseNumber("+3."), 3.0);
    for (const char* other : {"1e3", "0x10", " 5", "5 ", ".", "-", "1.2.3", ""})
        EXPECT_FALSE(ParseNumber(other)) << other;
}

TEST(EscapeForOutput, WritesLineBreaksAsBackslashN) {
    EXPECT_EQ(EscapeForOutput("a\nb\n"), "a\\nb\\n");
}

}  // namespace zelvo
