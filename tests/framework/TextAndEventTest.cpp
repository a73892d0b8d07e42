#include "framework/CvClock.h"
#include "framework/CvEvent.h"
#include "framework/CvFormat.h"
#include "framework/CvText.h"

#include <gtest/gtest.h>

TEST(CvText, TrimAndCase)
{
    EXPECT_EQ(CvTrim(std::string(" \t\r\n\x01 abc d \x7F\x20\x1F")), "abc d \x7F");
    EXPECT_EQ(CvTrim("    "), "");
    EXPECT_EQ(CvTrimLeft("  a "), "a ");
    EXPECT_EQ(CvTrimRight("  a "), "  a");
    // Only ASCII letters change case; UTF-8 bytes pass through.
    EXPECT_EQ(CvUpperCase("abz\xC3\xA9-1"), "ABZ\xC3\xA9-1");
    EXPECT_EQ(CvLowerCase("ABZ\xC3\x89"), "abz\xC3\x89");
    EXPECT_TRUE(CvSameText("Min", "mIN"));
    EXPECT_FALSE(CvSameText("Min", "Mi"));
    EXPECT_EQ(CvIndexText("NONE", {"fcNone", "none", "x"}), 1);
    EXPECT_EQ(CvIndexText("y", {"x"}), -1);
}

TEST(CvFormat, SystemFormats)
{
    EXPECT_EQ(CvFormat("%s (0x%0.2X)", std::string("SYS_INFO"), 2), "SYS_INFO (0x02)");
    EXPECT_EQ(CvFormat("0x%0.*X (%u)", 4, 0x1Fu, 0x1Fu), "0x001F (31)");
    EXPECT_EQ(CvFormat("%.5d", 42), "00042");
    EXPECT_EQ(CvFormat("%.1f%%", 33.333), "33.3%");
    EXPECT_EQ(CvFormat("%0.*g", 15, 0.1f), "0.100000001490116");
}

TEST(CvClock, PinnedNowAndText)
{
    CvSetNowFunction([] { return TCvDateTime{2026, 3, 4, 5, 6, 7, 8}; });
    EXPECT_EQ(CvDateTimeText(CvNow()), "2026-03-04 05:06:07.008");
    EXPECT_EQ(CvDateText(CvNow()), "2026-03-04");
    CvSetNowFunction({});
    EXPECT_GE(CvNow().Year, 2024);
}

namespace {
struct Params {
    int Value = 0;
};
struct Listener {
    int Sum = 0;
    void OnA(Params& p) { Sum += p.Value; }
    void OnB(Params& p) { Sum += 100 * p.Value; }
};
} // namespace

TEST(CvEvent, CallsAndCompares)
{
    Listener one;
    Listener two;
    TCvEvent<Params> a1(&one, &Listener::OnA);
    TCvEvent<Params> a1again(&one, &Listener::OnA);
    TCvEvent<Params> b1(&one, &Listener::OnB);
    TCvEvent<Params> a2(&two, &Listener::OnA);
    TCvEvent<Params> empty;

    EXPECT_TRUE(a1 == a1again);
    EXPECT_FALSE(a1 == b1);
    EXPECT_FALSE(a1 == a2);
    EXPECT_FALSE(a1 == empty);
    EXPECT_FALSE(static_cast<bool>(empty));

    Params p{2};
    a1(p);
    b1(p);
    empty(p); // an unassigned event does nothing
    EXPECT_EQ(one.Sum, 202);

    int seen = 0;
    auto f = TCvEvent<Params>::FromFunction([&seen](Params& q) { seen = q.Value; });
    auto g = TCvEvent<Params>::FromFunction([&seen](Params& q) { seen = q.Value; });
    auto fCopy = f;
    EXPECT_TRUE(f == fCopy);
    EXPECT_FALSE(f == g);
    fCopy(p);
    EXPECT_EQ(seen, 2);
}
