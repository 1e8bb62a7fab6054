#include <gtest/gtest.h>

#include "driver/driver.h"

namespace {

// The run waits for a key only where the console was made for it and the
// key can come from that console; PAUSE then says when.
TEST(ShouldPause, OnlyInAConsoleOfItsOwn) {
    struct Row {
        int pause;
        bool succeeded, owns_console, input_is_console;
        bool expected;
    } rows[] = {
        {0, false, true, true, false},  {1, true, true, true, true},    {1, false, true, true, true},
        {2, true, true, true, false},   {2, false, true, true, true},   {-1, true, true, true, true},
        {3, true, true, true, true},    {1, false, false, true, false}, {2, false, false, true, false},
        {1, false, true, false, false}, {2, false, true, false, false}, {1, true, false, false, false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(should_pause(r.pause, r.succeeded, r.owns_console, r.input_is_console), r.expected)
            << r.pause << r.succeeded << r.owns_console << r.input_is_console;
}

}  // namespace
