// libkelstdc: bit texts, time-of-day parsing, differences and lifetimes.
#include "station_libs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace tq;

namespace {

std::string text_of(const tms *t)
{
    if (t == nullptr)
        return "null";
    return std::to_string(t->hour) + ":" + std::to_string(t->minute) + ":" + std::to_string(t->second);
}

}  // namespace

TEST(Itoab, WritesMostSignificantDigitFirst)
{
    EXPECT_STREQ(itoab(0, 16), "0000000000000000");
    EXPECT_STREQ(itoab(1, 16), "0000000000000001");
    EXPECT_STREQ(itoab(0xA5C3, 16), "1010010111000011");
    EXPECT_STREQ(itoab(6, 3), "110");
    // Negative values show their low bits, as tqstest prints a poll result.
    EXPECT_STREQ(itoab(-3, 16), "1111111111111101");
    EXPECT_STREQ(itoab(0x12345, 16), "0010001101000101");
}

TEST(Itoab, AbtoiReversesItForEverySixteenBitValue)
{
    for (int v = 0; v <= 0xFFFF; v += 7) {
        const char *bits = itoab(v, 16);
        ASSERT_EQ(std::strlen(bits), 16u);
        ASSERT_EQ(abtoi(bits, 16), std::uint32_t(v)) << bits;
    }
    EXPECT_EQ(abtoi(itoab(int(0xDEADBEEF), 32), 32), 0xDEADBEEFu);
}

TEST(Itoab, EarlierTextsStayUnchangedAfterLaterCalls)
{
    const char *a = itoab(0x00FF, 16);
    const char *b = itoab(0xFF00, 16);
    for (int v = 0; v < 2000; ++v)
        itoab(v, 16);
    EXPECT_STREQ(a, "0000000011111111");
    EXPECT_STREQ(b, "1111111100000000");
}

TEST(Abtoi, ReadsOnlyTheGivenDigits)
{
    EXPECT_EQ(abtoi("1010", 4), 10u);
    EXPECT_EQ(abtoi("1010xxxx", 4), 10u);
    EXPECT_EQ(abtoi("11", 0), 0u);
    EXPECT_EQ(abtoi("0000000000000011", 16), 3u);
    // The terminal passes the text after "input:" and its length.
    const char *line = "1111000011110000";
    EXPECT_EQ(abtoi(line, int(std::strlen(line))), 0xF0F0u);
}

TEST(Atotms, RejectsTextsThatAreNoTime)
{
    for (const char *bad : {"24:00:00", "1:2", "12:10:20x", "", "a:b:c", "12:60:00", "12:00:60", "123:0:0",
                            "1:2:3:4", " 1:2:3", "1::3", "-1:2:3", "12:10:"}) {
        EXPECT_EQ(atotms(bad), nullptr) << '"' << bad << '"';
        tms out{7, 8, 9};
        atotms2(bad, &out);
        EXPECT_EQ(text_of(&out), "7:8:9") << '"' << bad << '"';
    }
    EXPECT_EQ(atotms(nullptr), nullptr);
}

TEST(Atotms, AcceptsOneOrTwoDigitFields)
{
    struct {
        const char *text;
        const char *parsed;
    } cases[] = {{"0:0:10", "0:0:10"},     {"12:10:20", "12:10:20"}, {"00:00:00", "0:0:0"},
                 {"23:59:59", "23:59:59"}, {"1:50:23", "1:50:23"},  {"09:05:07", "9:5:7"}};
    for (auto &c : cases) {
        EXPECT_EQ(text_of(atotms(c.text)), c.parsed) << c.text;
        tms out{};
        EXPECT_EQ(atotms2(c.text, &out), 0) << c.text;
        EXPECT_EQ(text_of(&out), c.parsed) << c.text;
    }
}

TEST(Difftms, GivesTheAbsoluteDifferenceWithoutWrapping)
{
    struct {
        const char *a, *b, *diff;
    } cases[] = {
        {"12:10:20", "12:10:30", "0:0:10"},  {"12:10:30", "12:10:20", "0:0:10"},
        {"12:10:20", "1:50:23", "10:19:57"}, {"1:50:23", "12:10:20", "10:19:57"},
        {"23:59:59", "0:0:1", "23:59:58"},   {"0:0:0", "23:59:59", "23:59:59"},
        {"8:0:0", "8:0:0", "0:0:0"},         {"10:00:59", "9:59:00", "0:1:59"},
    };
    for (auto &c : cases) {
        tms a{}, b{};
        ASSERT_EQ(atotms2(c.a, &a), 0);
        ASSERT_EQ(atotms2(c.b, &b), 0);
        EXPECT_EQ(text_of(difftms(&a, &b)), c.diff) << c.a << " - " << c.b;
    }
}

TEST(Difftms, ReturnedRecordsSurviveLaterCalls)
{
    // The time self-check holds two records at once.
    tms time{12, 10, 20};
    const tms *expected = atotms("0:0:10");
    const tms *diff = difftms(&time, atotms("12:10:30"));
    const tms *other = difftms(&time, atotms("1:50:23"));
    for (int s = 0; s < 60; ++s)
        atotms(("3:4:" + std::to_string(s)).c_str());
    EXPECT_EQ(text_of(expected), "0:0:10");
    EXPECT_EQ(text_of(diff), "0:0:10");
    EXPECT_EQ(text_of(other), "10:19:57");
    EXPECT_TRUE(tms_equal(diff, expected));
}

TEST(TmsToSec, CountsSecondsSinceMidnight)
{
    EXPECT_EQ(tms_to_sec(atotms("10:19:57")), 37197);
    EXPECT_EQ(tms_to_sec(atotms("0:0:0")), 0);
    EXPECT_EQ(tms_to_sec(atotms("23:59:59")), 86399);
}

TEST(TmsEqual, ComparesEveryField)
{
    tms t{12, 10, 20};
    EXPECT_TRUE(tms_equal(&t, &t));
    EXPECT_TRUE(tms_equal(&t, atotms("12:10:20")));
    for (const char *other : {"13:10:20", "12:11:20", "12:10:21"})
        EXPECT_FALSE(tms_equal(&t, atotms(other))) << other;
    EXPECT_FALSE(tms_equal(&t, nullptr));
}

TEST(Strcatch, EndsTheTextWithTheCharacterOnce)
{
    char dir[16] = "C:\\tq";
    strcatch(dir, '\\');
    EXPECT_STREQ(dir, "C:\\tq\\");
    strcatch(dir, '\\');
    EXPECT_STREQ(dir, "C:\\tq\\");
    char empty[4] = "";
    strcatch(empty, '/');
    EXPECT_STREQ(empty, "/");
}
