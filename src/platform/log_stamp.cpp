#include "platform/log_stamp.h"

#include <cstdio>

std::size_t format_log_stamp(long long seconds, long milliseconds, long process, char* out,
                             std::size_t size) {
    long long days = seconds / 86400;
    long long second_of_day = seconds % 86400;
    // The Gregorian calendar in eras of 400 years (146,097 days), counted
    // from 0000-03-01 so that the leap day ends each year: the year of era,
    // the day of that year, and the month from March on.
    days += 719468;  // 1970-01-01 counted from 0000-03-01
    long long era = days / 146097;
    long long day_of_era = days - era * 146097;
    long long year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    long long day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    long long month_from_march = (5 * day_of_year + 2) / 153;
    long long day = day_of_year - (153 * month_from_march + 2) / 5 + 1;
    long long month = month_from_march < 10 ? month_from_march + 3 : month_from_march - 9;
    long long year = era * 400 + year_of_era + (month <= 2 ? 1 : 0);
    int n = std::snprintf(out, size, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03ldZ [%ld] ", year, month,
                          day, second_of_day / 3600, second_of_day / 60 % 60, second_of_day % 60,
                          milliseconds, process);
    if (n < 0 || size == 0) return 0;
    return static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1;
}
