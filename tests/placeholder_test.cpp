#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cp932.h"
#include "driver/driver.h"

namespace {

std::string expand(const PathSyntax& syntax, const std::string& entry, std::vector<std::string> args,
                   const char* config_dir = nullptr) {
    args.insert(args.begin(), "tolvane");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    char buffer[kPathBuffer];
    EXPECT_LE(entry.size(), kMaxChars);
    std::memcpy(buffer, entry.c_str(), entry.size() + 1);
    expand_placeholder(syntax, buffer, static_cast<int>(args.size()), argv.data(), config_dir);
    return buffer;
}

struct Case {
    const char* entry;
    const char* expected;
};

TEST(ExpandPlaceholder, WindowsExamples) {
    const std::vector<std::string> args = {"src\\demo.asm", "C:\\out"};
    const Case cases[] = {
        {"@1", "src\\demo.asm"},
        {"-o @1.obj", "-o src\\demo.obj"},
        {"@1.", "src\\demo."},
        {"-I@2\\inc", "-IC:\\out\\inc"},
        {"@2\\@1.lst", "C:\\out\\@1.lst"},
        {"@3", "@3"},
        {"user@host", "user@host"},
        {"@0", "@0"},
        {"no placeholder", "no placeholder"},
        {"@", "@"},
        {"x@", "x@"},
        {"@1 @2", "src\\demo.asm @2"},
        {"@x @1", "@x @1"},
        {"@-1", "@-1"},
        {"@+1", "src\\demo.asm"},
        {"@ 1", "src\\demo.asm"},
        {"@01", "src\\demo.asm"},
        {"@012", "src\\demo.asm2"},
        {"@2.bak", "C:\\out.bak"},
    };
    for (const Case& c : cases) EXPECT_EQ(expand(windows_syntax(), c.entry, args), c.expected) << c.entry;
}

// The result tells the caller what became of the entry, so that a
// placeholder left as written can be named and an entry too long to
// expand is never passed on.
TEST(ExpandPlaceholder, ResultSaysWhatBecameOfTheEntry) {
    std::string arg259(255, 'a'), arg260(256, 'a');
    arg259 += ".asm";
    arg260 += ".asm";
    struct Row {
        const char* entry;
        std::vector<std::string> args;
        Expansion what;
        int number;
        std::size_t at, taken;
    } rows[] = {
        {"plain", {"x.s"}, Expansion::none, 0, 0, 0},
        {"-o @1.o", {"x.s"}, Expansion::expanded, 1, 3, 1},
        {"@2", {"x.s"}, Expansion::no_argument, 2, 0, 1},
        {"a@19", {"x.s"}, Expansion::no_argument, 19, 1, 2},
        {"user@host", {"x.s"}, Expansion::not_placeholder, 0, 4, 1},
        {"@-1", {"x.s"}, Expansion::not_placeholder, -1, 0, 2},
        {"@1", {arg259}, Expansion::expanded, 1, 0, 1},
        {"@1", {arg260}, Expansion::argument_too_long, 1, 0, 1},
        {"@1.o", {arg260}, Expansion::argument_too_long, 1, 0, 1},
        {"x@1.asm", {arg259}, Expansion::result_too_long, 1, 1, 1},
        {"x@1", {arg259}, Expansion::result_too_long, 1, 1, 1},
        {"@1.", {arg259}, Expansion::expanded, 1, 0, 1},
    };
    for (const Row& r : rows) {
        std::vector<std::string> args = r.args;
        args.insert(args.begin(), "tolvane");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(&a[0]);
        char buffer[kPathBuffer];
        std::strcpy(buffer, r.entry);
        PlaceholderResult got =
            expand_placeholder(posix_syntax(), buffer, static_cast<int>(argv.size()), argv.data());
        EXPECT_EQ(got.what, r.what) << r.entry;
        EXPECT_EQ(got.number, r.number) << r.entry;
        EXPECT_EQ(got.at, r.at) << r.entry;
        EXPECT_EQ(got.taken, r.taken) << r.entry;
        if (got.what != Expansion::expanded) {
            EXPECT_STREQ(buffer, r.entry);
        }
    }
}

TEST(ExpandPlaceholder, PosixExamples) {
    const std::vector<std::string> args = {"src/demo.asm", "/out"};
    const Case cases[] = {
        {"@1", "src/demo.asm"},     {"-o @1.o", "-o src/demo.o"}, {"@1.", "src/demo."},
        {"-I@2/inc", "-I/out/inc"}, {"@2/@1.lst", "/out/@1.lst"}, {"@3", "@3"},
        {"@1.out", "src/demo.out"},
    };
    for (const Case& c : cases) EXPECT_EQ(expand(posix_syntax(), c.entry, args), c.expected) << c.entry;
}

TEST(ExpandPlaceholder, TwoDigitNumbers) {
    std::vector<std::string> five = {"a", "b", "c", "d", "e"};
    EXPECT_EQ(expand(posix_syntax(), "@12", five), "@12");
    EXPECT_EQ(expand(posix_syntax(), "@19", five), "@19");
    EXPECT_EQ(expand(posix_syntax(), "@5", five), "e");
    std::vector<std::string> twenty(20, "x");
    twenty[8] = "ninth";
    twenty[11] = "twelfth";
    twenty[18] = "nineteenth";
    EXPECT_EQ(expand(posix_syntax(), "@12", twenty), "twelfth");
    EXPECT_EQ(expand(posix_syntax(), "@123", twenty), "twelfth3");
    EXPECT_EQ(expand(posix_syntax(), "@19", twenty), "nineteenth");
    EXPECT_EQ(expand(posix_syntax(), "@09.o", twenty), "ninth.o");
    EXPECT_EQ(expand(posix_syntax(), "@10", twenty), "x");
}

TEST(ExpandPlaceholder, Stems) {
    struct StemCase {
        const PathSyntax& syntax;
        std::string arg, expected;
    } cases[] = {
        {windows_syntax(), ".hidden", ".obj"},
        {windows_syntax(), "demo.tar.gz", "demo.tar.obj"},
        {windows_syntax(), "dir.old\\demo", "dir.old\\demo.obj"},
        {posix_syntax(), "dir.old/demo", "dir.old/demo.obj"},
        {posix_syntax(), "src/demo.asm", "src/demo.obj"},
        {windows_syntax(), "src/demo.asm", "src/demo.obj"},
        {posix_syntax(), "a\\b.c", "a\\b.obj"},
        {cp932(), "x.\x95\x5C", "x.obj"},
        {cp932(), "d\x95\x5C.s", "d\x95\x5C.obj"},
        {windows_syntax(), "d\x95\x5C.s", "d\x95\x5C.obj"},
        {cp932(), "x\x95", "x\x95.obj"},
        {windows_syntax(), "C:demo.asm", "C:demo.obj"},
        {windows_syntax(), "", ".obj"},
    };
    for (const StemCase& c : cases) EXPECT_EQ(expand(c.syntax, "@1.obj", {c.arg}), c.expected) << c.arg;
}

TEST(ExpandPlaceholder, ArgumentsInsertedAsTheyStand) {
    EXPECT_EQ(expand(posix_syntax(), "[@1]", {"has a blank"}), "[has a blank]");
    EXPECT_EQ(expand(posix_syntax(), "@1", {"@1"}), "@1");
    EXPECT_EQ(expand(posix_syntax(), "@2 x", {"y", "@1"}), "@1 x");
    EXPECT_EQ(expand(posix_syntax(), "a @1 b", {""}), "a  b");
}

TEST(ExpandPlaceholder, RefusesWhatWouldNotFit) {
    std::string arg259(kMaxChars, 'a');
    std::string arg260(kMaxChars + 1, 'a');
    EXPECT_EQ(expand(posix_syntax(), "@1", {arg259}), arg259);
    EXPECT_EQ(expand(posix_syntax(), "@1", {arg260}), "@1");
    EXPECT_EQ(expand(posix_syntax(), "x@1", {arg259}), "x@1");
    EXPECT_EQ(expand(posix_syntax(), "@1.", {arg260 + ".s"}), "@1.");
    // The result, not the argument, is what must fit.
    std::string arg = std::string(250, 'b') + ".s";
    EXPECT_EQ(expand(posix_syntax(), "@1.objxxxxxx", {arg}), "@1.objxxxxxx");
    EXPECT_EQ(expand(posix_syntax(), "@1.objxxxxx", {arg}), std::string(250, 'b') + ".objxxxxx");
}

// "<CONFIG_DIR>" at every place of the entry as written; what an
// expansion puts in is never looked at again.
TEST(ExpandPlaceholder, ConfigDirToken) {
    const std::string far(250, 'd');
    struct Row {
        const char* dir;
        std::string entry, arg, expected;
    } rows[] = {
        {"/kit", "<CONFIG_DIR>", "a.s", "/kit"},
        {"/kit", "-I<CONFIG_DIR>/inc:<CONFIG_DIR>/lib", "a.s", "-I/kit/inc:/kit/lib"},
        {"/kit", "<CONFIG_DIR>/out/@1.o", "src/a.s", "/kit/out/src/a.o"},
        {"/kit", "@1 <CONFIG_DIR>", "a.s", "a.s /kit"},
        {"/kit", "@<CONFIG_DIR>", "a.s", "@/kit"},
        {"/", "<CONFIG_DIR>tools/as", "a.s", "/tools/as"},
        {"/x@1/kit", "<CONFIG_DIR>/as @1", "a.s", "/x@1/kit/as a.s"},
        {"/kit", "@1", "<CONFIG_DIR>", "<CONFIG_DIR>"},
        {"/kit", "<config_dir> <CONFIG_DIR", "a.s", "<config_dir> <CONFIG_DIR"},
        {nullptr, "<CONFIG_DIR>/as", "a.s", "<CONFIG_DIR>/as"},
        {far.c_str(), "<CONFIG_DIR>/123456789", "a.s", "<CONFIG_DIR>/123456789"},
        {far.c_str(), "<CONFIG_DIR>/12345678", "a.s", far + "/12345678"},
        {far.c_str(), "<CONFIG_DIR>/@1", "abcdefghij.s", "<CONFIG_DIR>/@1"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(expand(posix_syntax(), r.entry, {r.arg}, r.dir), r.expected) << r.entry;

    char program[kPathBuffer] = "<CONFIG_DIR>/@1/as";
    EXPECT_EQ(expand_config_dir(program, "/kit"), 1);
    EXPECT_STREQ(program, "/kit/@1/as");
    std::strcpy(program, "<CONFIG_DIR>/123456789");
    EXPECT_EQ(expand_config_dir(program, far.c_str()), -1);
    EXPECT_STREQ(program, "<CONFIG_DIR>/123456789");

    // The directory it stands for: the file's, a root with its separator.
    const std::pair<const char*, const char*> windows[] = {
        {"C:\\tolvane.ini", "C:\\"},      {"E:\\kit\\tolvane.ini", "E:\\kit"},
        {"D:tolvane.ini", "D:"},          {"\\\\srv\\share\\tolvane.ini", "\\\\srv\\share"},
        {"C:\\d\\\x95\x5C.ini", "C:\\d"},  // the last 0x5C is a second byte
    };
    char dir[kPathBuffer];
    for (const auto& w : windows) {
        config_dir_of(cp932(), w.first, dir);
        EXPECT_STREQ(dir, w.second) << w.first;
    }
    config_dir_of(posix_syntax(), "/tolvane.ini", dir);
    EXPECT_STREQ(dir, "/");
}

// What an expansion put in where: "a" under the argument, "d" under the
// directory, "." under the value as written.
TEST(ExpandPlaceholder, SaysWhereEachCharacterCameFrom) {
    struct Row {
        const char* dir;
        std::string entry, arg, marks;
    } rows[] = {
        {"/kit", "-I<CONFIG_DIR>/inc @1.o", "x.s", "..dddd.....a.."},
        {"/kit", "<CONFIG_DIR><CONFIG_DIR>@1", "s", "dddddddda"},
        {"/kit", "plain", "x.s", "....."},
        {"/kit", "@2", "x.s", ".."},
        {"/kit", "<CONFIG_DIR>/@1", std::string(255, 'x'), "..............."},  // does not fit
    };
    for (const Row& r : rows) {
        std::vector<std::string> args = {"tolvane", r.arg};
        std::vector<char*> argv = {&args[0][0], &args[1][0], nullptr};
        char buffer[kPathBuffer];
        std::strcpy(buffer, r.entry.c_str());
        Origins origins = {{{0, kPathBuffer, Origin::argument}}, 1, 1};  // what an entry before left
        expand_placeholder(posix_syntax(), buffer, 2, argv.data(), r.dir, &origins);
        std::string marks;
        for (std::size_t i = 0; buffer[i] != '\0'; ++i)
            marks += ".ad"[static_cast<int>(origin_at(origins, i))];
        EXPECT_EQ(marks, r.marks) << r.entry;
        EXPECT_EQ(origins.argument, marks.find('a') != std::string::npos ? 1 : 0) << r.entry;
    }
    char program[kPathBuffer] = "<CONFIG_DIR>/as";
    Origins origins = {};
    EXPECT_EQ(expand_config_dir(program, "/kit", &origins), 1);
    EXPECT_EQ(origin_at(origins, 3), Origin::config_dir);
    EXPECT_EQ(origin_at(origins, 4), Origin::written);
}

}  // namespace
