#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "launch/launch.h"
#include "platform/command_split.h"

namespace {

std::string command_line(std::vector<const char*> slots, bool quote_program = false) {
    slots.resize(kSlots, nullptr);
    char* line = build_command_line(slots.data(), quote_program);
    std::string result = line;
    std::free(line);
    return result;
}

TEST(BuildCommandLine, JoinsSlotsUpToTheFirstEmptyOne) {
    EXPECT_EQ(command_line({"X"}), "X");
    EXPECT_EQ(command_line({"X", nullptr, "Y"}), "X");
    EXPECT_EQ(command_line({"X", "", "Y"}), "X  Y");
    EXPECT_EQ(command_line({"X", ""}), "X");
    EXPECT_EQ(command_line({"X", "", ""}), "X");
    EXPECT_EQ(command_line({"X", "", nullptr, "Z"}), "X");
    EXPECT_EQ(command_line({"X", "", "", "Y"}), "X   Y");
    EXPECT_EQ(command_line({"X", "Y", ""}), "X Y ");
    EXPECT_EQ(command_line({"C:\\my tools\\as.exe", "-o \"a b\"", "x\\\"y"}),
              "C:\\my tools\\as.exe -o \"a b\" x\\\"y");

    std::string long_text(kMaxChars, 't');
    std::vector<const char*> full(kSlots - 1, long_text.c_str());
    std::string line = command_line(full);
    EXPECT_EQ(line.size(), 21 * kMaxChars + 20);
    // Where the tool splits its own line: a name with a blank or a tab and no quote is quoted.
    EXPECT_EQ(command_line({"C:\\Program Files\\as.exe", "a b"}, true), "\"C:\\Program Files\\as.exe\" a b");
    EXPECT_EQ(command_line({"a\tb", ""}, true), "\"a\tb\"");
    EXPECT_EQ(command_line({"C:\\as.exe", "a b"}, true), "C:\\as.exe a b");
    EXPECT_EQ(command_line({"\"a b\"", "x"}, true), "\"a b\" x");
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
        {"\va\vb\fc\rd\ne", {"\va\vb\fc\rd\ne"}},
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

    // The program's own name: quotes toggle, nothing escapes, and a blank
    // outside quotes ends it even in a name that holds one.
    const Case whole[] = {
        {"C:\\tools\\lnk tool.exe -o x", {"C:\\tools\\lnk", "tool.exe", "-o", "x"}},
        {"C:\\tools\\lnk\ttool.exe\t-o", {"C:\\tools\\lnk", "tool.exe", "-o"}},
        {"\"a\tb\"\vc d", {"a\tb\vc", "d"}},
        {"\"C:\\Program Files\\as.exe\" \"a b\"", {"C:\\Program Files\\as.exe", "a b"}},
        {"a\\\"b c\" d", {"a\\b c", "d"}},
        {"as", {"as"}},
    };
    for (const Case& c : whole) EXPECT_EQ(split_command_line(c.tail), c.expected) << c.tail;
}

TEST(SplitCommandTail, PlainWordsComeBackWhole) {
    std::vector<const char*> slots = {"tool", "alpha", "b.c", "-o", "x/y.z", "@1"};
    slots.resize(kSlots, nullptr);
    char* line = build_command_line(slots.data(), false);
    std::vector<std::string> words = split_command_tail(line + 5);
    std::free(line);
    EXPECT_EQ(words, (std::vector<std::string>{"alpha", "b.c", "-o", "x/y.z", "@1"}));
}

// The launch splits into buffers sized from the tail alone; no tail may
// need more. Worst cases are one-character words and runs of quotes and
// backslashes.
TEST(SplitCommandWords, FitsTheRoomItPromises) {
    const char pieces[] = {'a', ' ', '\t', '"', '\\'};
    std::mt19937 random(3);
    std::uniform_int_distribution<std::size_t> pick(0, sizeof pieces - 1);
    for (int round = 0; round < 20000; ++round) {
        std::string tail;
        for (int n = static_cast<int>(random() % 12); n > 0; --n) tail += pieces[pick(random)];
        std::size_t room = tail.size() + 1;
        std::size_t slots = tail.size() / 2 + 1;
        std::vector<char> text(room + 8, '#');
        std::vector<char*> words(slots + 8, nullptr);
        std::size_t count = split_command_words(tail.c_str(), text.data(), words.data());
        ASSERT_LE(count, slots) << tail;
        EXPECT_EQ(std::string(text.data() + room, 8), "########") << tail;
    }
    char text[4];
    char* words[2];
    EXPECT_EQ(split_command_words("a b", text, words), 2u);
    EXPECT_STREQ(words[0], "a");
    EXPECT_STREQ(words[1], "b");
}

// The command interpreter acts on what an argument put in: "%" anywhere,
// ^ & | < > outside quotes as it reads the line behind /c or /k. `put`
// is the text an argument put in, at its first place in the line; `acted`
// the character refused, '\0' for none.
TEST(CommandInterpreter, ActsOnWhatArgumentsPutIn) {
    struct Row {
        const char *line, *put;
        char acted;
    } rows[] = {
        {R"(cmd.exe /c ""C:\My Tools\b.bat" "R&D.asm"")", "R&D.asm", '\0'},
        {R"(cmd.exe /c ""C:\My Tools\b.bat" "a%OS%b.asm"")", "a%OS%b.asm", '%'},
        {R"(cmd.exe /c C:\b.bat R&D.asm)", "R&D.asm", '&'},
        {R"(cmd.exe /c C:\b.bat "R&D.asm")", "R&D.asm", '\0'},
        {R"(cmd.exe /c C:\b.bat R&D.asm)", "", '\0'},  // the configuration's own text
        {R"(cmd.exe /K "C:\b.bat" "R&D.asm")", "R&D.asm", '&'},
        {R"(cmd.exe "C:\b.bat" "R&D.asm")", "R&D.asm", '\0'},
        {R"(cmd.exe x/c "C:\b.bat" "R&D.asm")", "R&D.asm", '\0'},
        {R"(cmd.exe /c "R&D.bat")", "R&D.bat", '&'},  // two quotes: they may go
        {R"(cmd.exe /c b.bat a^b)", "a^b", '^'},
        {R"(cmd.exe /c b.bat "c|d" <e)", "<e", '<'},
        {R"(cmd.exe /c b.bat "c|d" "<e")", "c|d", '\0'},
    };
    for (const Row& r : rows) {
        std::string line = r.line, marks(line.size(), ' ');
        std::size_t at = line.find(r.put), put = std::strlen(r.put);
        marks.replace(at, put, put, 'a');
        std::size_t expected = r.acted == '\0' ? std::string_view::npos : line.find(r.acted, at);
        EXPECT_EQ(interpreter_acts_at(line, marks), expected) << r.line;
    }

    struct File {
        const char* path;
        bool interpreter;
    } files[] = {{"C:\\Windows\\System32\\cmd.exe", true},
                 {"CMD.EXE", true},
                 {".\\Cmd.Exe", true},
                 {"C:cmd.exe", true},
                 {"C:\\x/cmd.exe. ", true},
                 {"C:\\x\\cmdx.exe", false},
                 {"C:\\x\\xcmd.exe", false},
                 {"C:\\x\\cmd", false},
                 {"C:\\x\\cmd.com", false}};
    for (const File& f : files)
        EXPECT_EQ(is_command_interpreter(windows_syntax(), f.path), f.interpreter) << f.path;
    EXPECT_FALSE(is_command_interpreter(posix_syntax(), "/usr/bin/cmd.exe"));
}

}  // namespace
