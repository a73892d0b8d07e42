// Number rules of the factory configuration: typed values, file values, real number text.
#include "protocol/QvConfigText.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(ConfigText, RealToTextWritesFifteenDigitsWithoutTrailingZeros)
{
    const struct {
        double Value;
        const char* Text;
    } cases[] = {
        {0.0, "0"},
        {1.0, "1"},
        {-10.0, "-10"},
        {100.0, "100"},
        {0.5, "0.5"},
        {1.0 / 3.0, "0.333333333333333"},
        {2.0 / 3.0, "0.666666666666667"},
        {static_cast<double>(0.1f), "0.100000001490116"},
        {0.00001, "0.00001"},
        {-0.0000123, "-0.0000123"},
        {0.000001, "1E-6"},
        {1.5e-7, "1.5E-7"},
        {123456789012345.0, "123456789012345"},
        {1e15, "1E15"},
        {2.5e20, "2.5E20"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TQvConfigText::RealToText(c.Value), c.Text) << c.Text;
}

TEST(ConfigText, RealTextReadsEitherSeparatorAndRejectsWhatIsNoNumber)
{
    const struct {
        const char* Text;
        bool Ok;
        double Value;
    } cases[] = {
        {"1.5", true, 1.5},    {"1,5", true, 1.5},     {"-2", true, -2},       {"+3", true, 3},
        {"1E-6", true, 1e-6},  {"2.5e3", true, 2500},  {".25", true, 0.25},    {"", false, 0},
        {"abc", false, 0},     {"1.2.3", false, 0},    {"inf", false, 0},      {"nan", false, 0},
        {"--1", false, 0},     {"1e999", false, 0},    {"0x10", false, 0},     {"1 ", false, 0},
    };
    for (const auto& c : cases) {
        double v = -123;
        EXPECT_EQ(TQvConfigText::TextToReal(c.Text, v), c.Ok) << c.Text;
        if (c.Ok) {
            EXPECT_DOUBLE_EQ(v, c.Value) << c.Text;
        }
    }
}

TEST(ConfigText, EveryFloatSurvivesItsTextForm)
{
    const float values[] = {0.1f, -9.87654f, 1.5e-7f, 3.4028235e38f, -1.17549435e-38f, 7.0f, 1.0f / 3.0f};
    for (float f : values) {
        double back = 0;
        ASSERT_TRUE(TQvConfigText::TextToReal(TQvConfigText::RealToText(f), back)) << f;
        const float g = static_cast<float>(back);
        EXPECT_EQ(std::memcmp(&f, &g, sizeof f), 0) << TQvConfigText::RealToText(f);
    }
}

TEST(ConfigText, IntegerTextTakesDecimalAndPrefixedHexWithinThirtyTwoBits)
{
    const struct {
        const char* Text;
        bool Ok;
        int64_t Value;
    } cases[] = {
        {"42", true, 42},
        {"-7", true, -7},
        {"+7", true, 7},
        {"0x1F", true, 31},
        {"0X1f", true, 31},
        {"$FF", true, 255},
        {"4294967295", true, 4294967295LL},
        {"-2147483648", true, -2147483648LL},
        {"4294967296", false, 0},
        {"-2147483649", false, 0},
        {"", false, 0},
        {"12a", false, 0},
        {"0x", false, 0},
        {"1 2", false, 0},
        {"ff", false, 0},
    };
    for (const auto& c : cases) {
        int64_t v = -1;
        EXPECT_EQ(TQvConfigText::TextToInt(c.Text, v), c.Ok) << c.Text;
        if (c.Ok) {
            EXPECT_EQ(v, c.Value) << c.Text;
        }
    }
}

TEST(ConfigText, ExitRulesLimitAndDefaultTypedValues)
{
    EXPECT_EQ(TQvConfigText::PartNumberFromText("65537"), 50000);
    EXPECT_EQ(TQvConfigText::PartNumberFromText("50000"), 50000);
    EXPECT_EQ(TQvConfigText::PartNumberFromText(" 123 "), 123);
    EXPECT_EQ(TQvConfigText::PartNumberFromText("20300 - QB-300 USBL Beacon"), 20300);
    EXPECT_EQ(TQvConfigText::PartNumberFromText("-5"), 50000);
    EXPECT_EQ(TQvConfigText::PartNumberFromText("abc"), 0);

    EXPECT_EQ(TQvConfigText::RevisionFromText("300"), 250);
    EXPECT_EQ(TQvConfigText::RevisionFromText("7"), 7);
    EXPECT_EQ(TQvConfigText::RevisionFromText(""), 0);

    EXPECT_EQ(TQvConfigText::SerialNumberFromText("1000000"), 999999u);
    EXPECT_EQ(TQvConfigText::SerialNumberFromText("000042"), 42u);

    for (const char* t : {"ff", "FF", "0x00ff", " 0X00FF ", "0x 00 ff"})
        EXPECT_EQ(TQvConfigText::FlagsFromText(t), 255) << t;
    EXPECT_EQ(TQvConfigText::FlagsFromText("zz"), 0);
    EXPECT_EQ(TQvConfigText::FlagsFromText(""), 0);
    EXPECT_EQ(TQvConfigText::FlagsFromText("123456"), 0x3456);

    const struct {
        const char* Text;
        float Value;
    } baselines[] = {{"12.5", 10.0f}, {"10", 10.0f},    {"-10", -10.0f}, {"-12", -10.0f}, {"abc", 0.0f},
                     {"1,25", 1.25f}, {"9.999", 9.999f}, {"1e30", 10.0f}, {"-1e300", -10.0f}};
    for (const auto& b : baselines)
        EXPECT_EQ(TQvConfigText::BaselineFromText(b.Text), b.Value) << b.Text;
}
