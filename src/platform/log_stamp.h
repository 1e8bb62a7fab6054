// The stamp in front of every log line, made by arithmetic alone. The C
// library's calendar functions (gmtime_r) bring its whole time zone
// machinery into a statically linked driver, some 140 KB of code that the
// system then keeps resident for every run; the date of a UTC second count
// needs none of it.
#pragma once

#include <cstddef>

// "2026-12-08T23:15:56.123Z [4711] " for `seconds` since 1970-01-01 UTC
// (not negative), `milliseconds` (0 to 999) and the process id, into `out`
// (`size` bytes, terminated). Returns its length, cut to size - 1.
std::size_t format_log_stamp(long long seconds, long milliseconds, long process, char* out, std::size_t size);
