#include "platform/log_stamp.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string stamp(long long seconds, long milliseconds = 0, long process = 1) {
    char out[64];
    std::size_t n = format_log_stamp(seconds, milliseconds, process, out, sizeof out);
    return std::string(out, n);
}

bool is_leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Every day from 1970 to the end of 2499, counted on with the calendar's
// own rules: month lengths and the leap rule of 4, 100 and 400 years.
TEST(LogStamp, EveryDayFrom1970To2499) {
    const int month_days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int year = 1970, month = 1, day = 1;
    for (long long days = 0; year < 2500; ++days) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%04d-%02d-%02dT23:59:59.999Z [4711] ", year, month, day);
        ASSERT_EQ(stamp(days * 86400 + 86399, 999, 4711), expected) << "day " << days;
        int length = month_days[month - 1] + (month == 2 && is_leap(year) ? 1 : 0);
        if (++day > length) {
            day = 1;
            if (++month > 12) {
                month = 1;
                ++year;
            }
        }
    }
}

TEST(LogStamp, TimeOfDayAndKnownDates) {
    EXPECT_EQ(stamp(0), "1970-01-01T00:00:00.000Z [1] ");
    EXPECT_EQ(stamp(951782400 + 3723, 45, 99), "2000-02-29T01:02:03.045Z [99] ");
    EXPECT_EQ(stamp(1796771756, 123, 4711), "2026-12-08T23:15:56.123Z [4711] ");
    EXPECT_EQ(stamp(4107542399), "2100-02-28T23:59:59.000Z [1] ");
    EXPECT_EQ(stamp(4107542400), "2100-03-01T00:00:00.000Z [1] ");
    EXPECT_EQ(stamp(253402300799), "9999-12-31T23:59:59.000Z [1] ");
}

TEST(LogStamp, CutToTheBuffer) {
    char out[8];
    EXPECT_EQ(format_log_stamp(0, 0, 1, out, sizeof out), 7u);
    EXPECT_STREQ(out, "1970-01");
}

}  // namespace
