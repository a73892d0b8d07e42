#include "framework/CvClock.h"

#include <gtest/gtest.h>

TEST(CvClock, SerialDateTimes)
{
    // Serial numbers counted by hand: days since 1899-12-30, the fraction the time of day.
    struct Case {
        TCvDateTime t;
        double serial;
    };
    const Case cases[] = {
        {{1899, 12, 30, 0, 0, 0, 0}, 0.0},
        {{1900, 1, 1, 0, 0, 0, 0}, 2.0},
        {{2000, 1, 1, 12, 0, 0, 0}, 36526.5},
        {{2000, 12, 1, 6, 0, 0, 0}, 36861.25},
        {{1899, 12, 29, 6, 0, 0, 0}, -1.25}, // before the epoch the time still counts forward
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(CvDateTimeToSerial(c.t), c.serial) << c.serial;
        EXPECT_EQ(CvDateTimeText(CvSerialToDateTime(c.serial)), CvDateTimeText(c.t)) << c.serial;
    }
    const TCvDateTime late{2024, 2, 29, 23, 59, 59, 999};
    EXPECT_EQ(CvDateTimeText(CvSerialToDateTime(CvDateTimeToSerial(late))), "2024-02-29 23:59:59.999");
    EXPECT_EQ(CvDateTimeText(CvSerialToDateTime(45351.99999999999)), "2024-03-01 00:00:00.000"); // rounds up

    EXPECT_EQ(CvDaysInMonth(2023, 2), 28);
    EXPECT_EQ(CvDaysInMonth(2024, 2), 29);
    EXPECT_EQ(CvDaysInMonth(1900, 2), 28);
    EXPECT_EQ(CvDaysInMonth(2000, 2), 29);
    EXPECT_EQ(CvDaysInMonth(2023, 4), 30);
    EXPECT_EQ(CvDaysInMonth(2023, 13), 0);
}
