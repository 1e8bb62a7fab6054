// The character tests on paths look only at the lead bytes in front of the
// byte in question, and PATH entries are copied a stretch at a time. Both
// must agree with reading the text character by character from its start.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/path.h"
#include "cp932.h"
#include "launch/launch.h"

namespace {

// The offsets at which characters begin, stepping with char_length.
std::vector<bool> character_starts(const PathSyntax& syntax, const std::string& s) {
    std::vector<bool> starts(s.size(), false);
    for (std::size_t i = 0; i < s.size(); i += char_length(syntax, std::string_view(s).substr(i)))
        starts[i] = true;
    return starts;
}

TEST(PathScan, AgreesWithReadingFromTheStart) {
    const char bytes[] = {'a', '.', '/', '\\', ':', '\x81', '\x9f', '\xe0', '\x5c', '\x2f', '\0'};
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> pick(0, sizeof bytes - 1);
    std::uniform_int_distribution<int> length(0, 12);
    const PathSyntax* syntaxes[] = {&posix_syntax(), &windows_syntax(), &cp932()};
    for (int round = 0; round < 5000; ++round) {
        std::string s;
        for (int n = length(random); n > 0; --n) s += bytes[pick(random)];
        for (const PathSyntax* syntax : syntaxes) {
            std::vector<bool> starts = character_starts(*syntax, s);
            for (std::size_t i = 0; i < s.size(); ++i)
                ASSERT_EQ(is_trail_byte(*syntax, s, i), !starts[i])
                    << i << " in " << testing::PrintToString(s);
            for (char c : {'.', '/', ':', '\\'}) {
                bool expected = false;
                for (std::size_t i = 0; i < s.size(); ++i) expected = expected || (starts[i] && s[i] == c);
                EXPECT_EQ(has_char(*syntax, s, c), expected) << c << " in " << testing::PrintToString(s);
            }
            std::size_t last = s.size();
            while (last > 0 && !starts[last - 1]) --last;
            bool ends = last > 0 && last == s.size() && is_separator(*syntax, s.back());
            EXPECT_EQ(ends_in_separator(*syntax, s), ends) << testing::PrintToString(s);
        }
    }
}

// A PATH entry read character by character: quotes dropped, the separator
// taken as text inside them, and the walk given up when the entry reaches
// limit - 1 characters.
const char* model_path_entry(char sep, const char* rest, std::string& entry, std::size_t limit) {
    while (*rest == sep) ++rest;
    const char* start = rest;
    entry.clear();
    if (limit <= 1) return nullptr;
    bool quoted = false;
    for (; *rest != '\0' && (quoted || *rest != sep); ++rest) {
        if (*rest == '"') {
            quoted = !quoted;
            continue;
        }
        entry += *rest;
        if (entry.size() == limit - 1) return nullptr;
    }
    while (*rest == sep) ++rest;
    return rest == start ? nullptr : rest;
}

TEST(PathScan, PathEntriesAgreeWithCharacterByCharacterReading) {
    const char bytes[] = {'a', 'b', ';', ':', '"', '/', '\\'};
    std::mt19937 random(11);
    std::uniform_int_distribution<std::size_t> pick(0, sizeof bytes - 1);
    std::uniform_int_distribution<int> length(0, 16);
    for (int round = 0; round < 5000; ++round) {
        std::string path;
        for (int n = length(random); n > 0; --n) path += bytes[pick(random)];
        for (const PathSyntax* syntax : {&posix_syntax(), &windows_syntax()}) {
            for (std::size_t limit : {0u, 1u, 2u, 3u, 5u, 259u}) {
                const char* rest = path.c_str();
                const char* expected_rest = rest;
                for (int entries = 0; rest != nullptr && entries < 20; ++entries) {
                    char buffer[kPathBuffer];
                    std::string expected;
                    expected_rest = model_path_entry(list_separator(*syntax), expected_rest, expected, limit);
                    rest = next_path_entry(*syntax, rest, buffer, limit);
                    ASSERT_EQ(rest, expected_rest) << limit << " " << testing::PrintToString(path);
                    ASSERT_EQ(std::string(buffer), expected) << limit << " " << testing::PrintToString(path);
                }
            }
        }
    }
}

}  // namespace
