#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "launch/launch.h"

namespace {

std::string command_line(std::vector<const char*> slots) {
    slots.resize(kSlots, nullptr);
    char* line = build_command_line(slots.data());
    std::string result = line;
    std::free(line);
    return result;
}

TEST(BuildCommandLine, JoinsSlotsUpToTheFirstEmptyOne) {
    EXPECT_EQ(command_line({"X"}), "X");
    EXPECT_EQ(command_line({"X", nullptr, "Y"}), "X");
    EXPECT_EQ(command_line({"X", "", "Y"}), "X  Y");
    EXPECT_EQ(command_line({"X", ""}), "X ");
    EXPECT_EQ(command_line({"X", "", nullptr, "Z"}), "X ");
    EXPECT_EQ(command_line({"C:\\my tools\\as.exe", "-o \"a b\"", "x\\\"y"}),
              "C:\\my tools\\as.exe -o \"a b\" x\\\"y");

    std::string long_text(kMaxChars, 't');
    std::vector<const char*> full(kSlots - 1, long_text.c_str());
    std::string line = command_line(full);
    EXPECT_EQ(line.size(), 21 * kMaxChars + 20);
}

TEST(SplitCommandTail, WindowsRuntimeRules) {
    using Words = std::vector<std::string>;
    struct Case {
        const char* tail;
        Words expected;
    } cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"-f elf64", {"-f", "elf64"}},
        {"a\tb  c", {"a", "b", "c"}},
        {"\"a b\" c", {"a b", "c"}},
        {"a\"b c\"d", {"ab cd"}},
        {"\"\"", {""}},
        {"a \"\" b", {"a", "", "b"}},
        {"\"open to the end", {"open to the end"}},
        {"a\\b\\\\c", {"a\\b\\\\c"}},
        {"a\\\"b", {"a\"b"}},
        {"a\\\\\"b c\"", {"a\\b c"}},
        {"a\\\\\\\"b", {"a\\\"b"}},
        {"\"a\"\"b\" c", {"a\"b", "c"}},
        {"a\"b\"\" c d", {"ab\" c d"}},
        {"trailing\\", {"trailing\\"}},
        {"x  ", {"x"}},
    };
    for (const Case& c : cases) EXPECT_EQ(split_command_tail(c.tail), c.expected) << c.tail;
}

TEST(SplitCommandTail, PlainWordsComeBackWhole) {
    std::vector<const char*> slots = {"tool", "alpha", "b.c", "-o", "x/y.z", "@1"};
    slots.resize(kSlots, nullptr);
    char* line = build_command_line(slots.data());
    std::vector<std::string> words = split_command_tail(line + 5);
    std::free(line);
    EXPECT_EQ(words, (std::vector<std::string>{"alpha", "b.c", "-o", "x/y.z", "@1"}));
}

}  // namespace
