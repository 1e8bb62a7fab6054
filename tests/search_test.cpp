#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <string>
#include <vector>

#include "cp932.h"
#include "launch/launch.h"

namespace {

// A stand-in for the file system and the process start.
constexpr int kCannotStart = -1000;

struct World {
    std::map<std::string, int> programs;    // path -> exit status, or kCannotStart
    std::map<std::string, int> unreadable;  // path -> errno of its existence test
    std::vector<std::string> calls;         // "?path" tested, "!path" started
    bool refuse = false;                    // failed starts are the driver's own refusals
    std::vector<std::string> held;          // what PATH entries that lost a character hold
};
World* world = nullptr;

bool fake_exists(const char* path) {
    world->calls.push_back(std::string("?") + path);
    if (world->programs.count(path)) return true;
    auto it = world->unreadable.find(path);
    errno = it != world->unreadable.end() ? it->second : ENOENT;
    return false;
}

int fake_launch(const char* file, const char* const*) {
    world->calls.push_back(std::string("!") + file);
    int status = world->programs[file];
    if (status == kCannotStart) {
        errno = EACCES;
        return -1;
    }
    errno = 0;
    return status;
}

bool fake_refused() { return world->refuse; }

// An entry holding "?" lost a character; what it holds is asked as
// "#entry|name|extensions".
unsigned long fake_lost(const char* begin, const char* end) {
    return std::string(begin, end).find('?') != std::string::npos ? 0x3A9 : 0;
}

bool fake_holds(const char* begin, const char* end, const char* name, bool extensions) {
    std::string asked = "#" + std::string(begin, end) + "|" + name + (extensions ? "|ext" : "");
    world->calls.push_back(asked);
    return std::find(world->held.begin(), world->held.end(), asked) != world->held.end();
}

class Search : public ::testing::Test {
protected:
    void SetUp() override { world = &w; }
    void TearDown() override { world = nullptr; }

    int run(const PathSyntax& syntax, const char* name, std::vector<std::string> env = {},
            int (*start)(const SearchOps&, const char*, const char* const*) = run_tool) {
        env_storage = std::move(env);
        env_pointers.clear();
        for (const std::string& e : env_storage) env_pointers.push_back(e.c_str());
        env_pointers.push_back(nullptr);
        const char* vector[kSlots] = {name};
        SearchOps ops = {&syntax, fake_exists,  fake_launch, env_pointers.data(),
                         nullptr, fake_refused, fake_lost,   fake_holds};
        return start(ops, name, vector);
    }

    World w;
    std::vector<std::string> env_storage;
    std::vector<const char*> env_pointers;
};

using Calls = std::vector<std::string>;

TEST_F(Search, WindowsBareNameTriesExtensionsInOrder) {
    EXPECT_EQ(run(windows_syntax(), "tool"), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(w.calls, (Calls{"?.\\tool.com", "?.\\tool.exe", "?.\\tool.bat", "?.\\tool.cmd"}));
}

TEST_F(Search, WindowsFirstExistingExtensionWins) {
    w.programs = {{".\\tool.com", 3}, {".\\tool.exe", 0}};
    EXPECT_EQ(run(windows_syntax(), "tool"), 3);
    EXPECT_EQ(w.calls, (Calls{"?.\\tool.com", "!.\\tool.com"}));
}

TEST_F(Search, WindowsNameWithExtensionTriedAsWritten) {
    EXPECT_EQ(run(windows_syntax(), "tool.exe"), -1);
    EXPECT_EQ(w.calls, (Calls{"?.\\tool.exe"}));
    w.calls.clear();
    w.programs = {{"bin\\tool.new", 0}};
    EXPECT_EQ(run(windows_syntax(), "bin\\tool.new"), 0);
    EXPECT_EQ(w.calls, (Calls{"?bin\\tool.new", "!bin\\tool.new"}));
    w.calls.clear();
    run(windows_syntax(), "bin.d\\tool");
    EXPECT_EQ(w.calls,
              (Calls{"?bin.d\\tool.com", "?bin.d\\tool.exe", "?bin.d\\tool.bat", "?bin.d\\tool.cmd"}));
}

// The run stage's program is the one file that its path names, a bare
// name in the current directory: never with an extension, nor along PATH.
TEST_F(Search, ProgramIsTheFileItsPathNames) {
    w.programs = {{"./a.out", 5}, {"/bin/b.out", 0}, {".\\demo.exe", 0}, {"C:\\bin\\demo", 0}};
    EXPECT_EQ(run(posix_syntax(), "a.out", {"PATH=/bin"}, run_program), 5);
    EXPECT_EQ(run(posix_syntax(), "b.out", {"PATH=/bin"}, run_program), -1);
    EXPECT_EQ(run(windows_syntax(), "demo", {"PATH=C:\\bin"}, run_program), -1);
    EXPECT_EQ(run(windows_syntax(), "src\\demo.exe", {}, run_program), -1);
    EXPECT_EQ(w.calls, (Calls{"?./a.out", "!./a.out", "?./b.out", "?.\\demo", "?src\\demo.exe"}));
}

TEST_F(Search, WindowsDriveColonNeedsNoPrefix) {
    run(windows_syntax(), "C:tool");
    EXPECT_EQ(w.calls, (Calls{"?C:tool.com", "?C:tool.exe", "?C:tool.bat", "?C:tool.cmd"}));
}

TEST_F(Search, ObjectThatCannotStartStopsTheSearch) {
    w.programs = {{".\\tool.com", kCannotStart}, {".\\tool.exe", 0}, {"C:\\bin\\tool.com", 0}};
    EXPECT_EQ(run(windows_syntax(), "tool", {"PATH=C:\\bin"}), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(w.calls, (Calls{"?.\\tool.com", "!.\\tool.com"}));
}

TEST_F(Search, WindowsWalksPath) {
    w.programs = {{"D:\\two\\tool.bat", 7}};
    EXPECT_EQ(run(windows_syntax(), "tool", {"PATHEXT=.COM", "Path=;;C:\\one\\;;D:\\two;E:\\three"}), 7);
    EXPECT_EQ(w.calls,
              (Calls{"?.\\tool.com", "?.\\tool.exe", "?.\\tool.bat", "?.\\tool.cmd", "?C:\\one\\tool.com",
                     "?C:\\one\\tool.exe", "?C:\\one\\tool.bat", "?C:\\one\\tool.cmd", "?D:\\two\\tool.com",
                     "?D:\\two\\tool.exe", "?D:\\two\\tool.bat", "!D:\\two\\tool.bat"}));
}

TEST_F(Search, LostPathEntryThatHoldsTheToolEndsTheSearch) {
    w.programs = {{"C:\\Obin\\asm.exe", 0}};
    const std::vector<std::string> env = {"PATH=C:\\?bin;C:\\Obin"};
    EXPECT_EQ(run(windows_syntax(), "asm", env), 0);  // it holds no asm: skipped
    EXPECT_EQ(w.calls.at(4), "#C:\\?bin;|asm|ext");
    EXPECT_EQ(w.calls.back(), "!C:\\Obin\\asm.exe");
    w.calls.clear();
    w.held = {"#C:\\?bin;|asm|ext"};
    EXPECT_EQ(run(windows_syntax(), "asm", env), -1);
    EXPECT_EQ(errno, EILSEQ);
    EXPECT_EQ(w.calls.back(), "#C:\\?bin;|asm|ext");
    w.calls.clear();
    w.held = {"#C:\\?bin;|asm.exe"};
    EXPECT_EQ(run(windows_syntax(), "asm.exe", env), -1);
    EXPECT_EQ(w.calls, (Calls{"?.\\asm.exe", "#C:\\?bin;|asm.exe"}));
    w.calls.clear();
    run(posix_syntax(), "asm", {"PATH=/?bin"});  // no extensions to try
    EXPECT_EQ(w.calls, (Calls{"#/?bin|asm"}));
}

TEST_F(Search, SlashInNameMeansNoWalkButBackslashDoesNot) {
    run(windows_syntax(), "sub/tool.exe", {"PATH=C:\\bin"});
    EXPECT_EQ(w.calls, (Calls{"?sub/tool.exe"}));
    w.calls.clear();
    run(windows_syntax(), "sub\\tool.exe", {"PATH=C:\\bin;C:"});
    EXPECT_EQ(w.calls, (Calls{"?sub\\tool.exe", "?C:\\bin\\sub\\tool.exe", "?C:\\sub\\tool.exe"}));
    w.calls.clear();
    run(posix_syntax(), "sub/tool", {"PATH=/bin"});
    EXPECT_EQ(w.calls, (Calls{"?sub/tool"}));
    // Under the Windows rules the first six name one place; a second byte is no "\" or ":".
    const char* names[] = {"C:\\n\\a.exe", "c:a.exe",   "\\n\\a.exe",    "\\\\s\\s\\a.exe", ".\\a.exe",
                           "..\\a.exe",    ".d\\a.exe", "\225\134a.exe", "\201:a.exe"};
    for (std::size_t i = 0; i < 9; ++i) {
        w.calls.clear();
        run(cp932(), names[i], {"PATH=C:\\bin"});
        EXPECT_EQ(w.calls.back() == "?C:\\bin\\" + std::string(names[i]), i >= 6) << names[i];
    }
}

// Along PATH, whether extensions are tried depends on the candidate's last
// component alone: a dot in the directory does not count, one in the name's
// own directory part does not either, and a directory ending in a lone lead
// byte takes the separator behind it as its second byte, which puts the
// directory's dot into the last component.
TEST_F(Search, WindowsExtensionsAlongPathFollowTheLastComponent) {
    auto walked = [this] {
        Calls along_path;
        for (const std::string& call : w.calls)
            if (call.rfind("?C:", 0) == 0) along_path.push_back(call);
        w.calls.clear();
        return along_path;
    };
    run(windows_syntax(), "tool", {"PATH=C:\\x.y"});
    EXPECT_EQ(walked(), (Calls{"?C:\\x.y\\tool.com", "?C:\\x.y\\tool.exe", "?C:\\x.y\\tool.bat",
                               "?C:\\x.y\\tool.cmd"}));
    run(windows_syntax(), "sub.d\\tool", {"PATH=C:\\bin"});
    EXPECT_EQ(walked(), (Calls{"?C:\\bin\\sub.d\\tool.com", "?C:\\bin\\sub.d\\tool.exe",
                               "?C:\\bin\\sub.d\\tool.bat", "?C:\\bin\\sub.d\\tool.cmd"}));
    run(cp932(), "tool", {"PATH=C:\\x.y;C:\\x.y\x81"});
    EXPECT_EQ(walked(), (Calls{"?C:\\x.y\\tool.com", "?C:\\x.y\\tool.exe", "?C:\\x.y\\tool.bat",
                               "?C:\\x.y\\tool.cmd", "?C:\\x.y\x81\\tool"}));
}

TEST_F(Search, PathEntriesQuotedOrEmpty) {
    run(windows_syntax(), "t.exe", {"PATH=\"C:\\a;b\";\"\";C:\\never"});
    EXPECT_EQ(w.calls, (Calls{"?.\\t.exe", "?C:\\a;b\\t.exe"}));
    w.calls.clear();
    run(windows_syntax(), "t.exe", {"PATH="});
    EXPECT_EQ(w.calls, (Calls{"?.\\t.exe"}));
    w.calls.clear();
    run(posix_syntax(), "t", {"PATH=\"/a:b\"::/c/:\"/d\"e"});
    EXPECT_EQ(w.calls, (Calls{"?/a:b/t", "?/c/t", "?/de/t"}));
}

TEST_F(Search, ToolEndingWithMinusOneStopsUnlessNetworkPath) {
    w.programs = {{"C:\\a\\t.exe", -1}, {"C:\\b\\t.exe", 0}};
    EXPECT_EQ(run(windows_syntax(), "t.exe", {"PATH=C:\\a;C:\\b"}), -1);
    EXPECT_EQ(errno, 0);
    EXPECT_EQ(w.calls.back(), "!C:\\a\\t.exe");
    w.calls.clear();
    w.programs = {{"\\\\srv\\a\\t.exe", -1}, {"C:\\b\\t.exe", 0}};
    EXPECT_EQ(run(windows_syntax(), "t.exe", {"PATH=\\\\srv\\a;C:\\b"}), 0);
    EXPECT_EQ(w.calls.back(), "!C:\\b\\t.exe");
    w.programs["\\\\srv\\a\\t.exe"] = kCannotStart;
    w.refuse = true;  // ends the walk there too
    EXPECT_EQ(run(windows_syntax(), "t.exe", {"PATH=\\\\srv\\a;C:\\b"}), -1);
}

TEST_F(Search, OtherExistenceErrorsStopTheWalkUnlessNetworkPath) {
    w.unreadable = {{"C:\\a\\t.exe", EACCES}, {"//srv/x\\t.exe", EIO}};
    w.programs = {{"C:\\b\\t.exe", 0}};
    EXPECT_EQ(run(windows_syntax(), "t.exe", {"PATH=C:\\a;C:\\b"}), -1);
    EXPECT_EQ(errno, EACCES);
    w.calls.clear();
    EXPECT_EQ(run(windows_syntax(), "t.exe", {"PATH=//srv/x;C:\\b"}), 0);
    EXPECT_EQ(w.calls.back(), "!C:\\b\\t.exe");
    w.calls.clear();
    w.unreadable = {{".\\t.exe", EACCES}};
    EXPECT_EQ(run(windows_syntax(), "t.exe", {"PATH=C:\\b"}), -1);
    EXPECT_EQ(w.calls, (Calls{"?.\\t.exe"}));
}

TEST_F(Search, DoubleByteEntryEndingInBackslashByte) {
    run(cp932(), "t.exe", {"PATH=C:\\\x95\x5C"});
    EXPECT_EQ(w.calls.back(), "?C:\\\x95\x5C\\t.exe");
    w.calls.clear();
    run(windows_syntax(), "t.exe", {"PATH=C:\\\x95\x5C"});
    EXPECT_EQ(w.calls.back(), "?C:\\\x95\x5Ct.exe");
}

TEST_F(Search, PosixRules) {
    // A bare name is looked for along PATH only, even when the current
    // directory holds a file of that name; "./as" names that file.
    w.programs = {{"/c/as", 0}, {"./as", 5}};
    EXPECT_EQ(run(posix_syntax(), "as", {"PATH=/a:/b/:/c"}), 0);
    EXPECT_EQ(w.calls, (Calls{"?/a/as", "?/b/as", "?/c/as", "!/c/as"}));
    w.calls.clear();
    EXPECT_EQ(run(posix_syntax(), "./as", {"PATH=/c"}), 5);
    EXPECT_EQ(w.calls, (Calls{"?./as", "!./as"}));
    w.calls.clear();
    run(posix_syntax(), "as.exe", {"PATH=/a"});
    EXPECT_EQ(w.calls, (Calls{"?/a/as.exe"}));
    w.calls.clear();
    run(posix_syntax(), "as", {"PATH=.:/c"});
    EXPECT_EQ(w.calls, (Calls{"?./as", "!./as"}));

    // Not found, with PATH missing, empty, or ended before any attempt.
    for (std::vector<std::string> env : {std::vector<std::string>{}, {"PATH="}, {"PATH=\"\":/c"}}) {
        w.calls.clear();
        errno = EINTR;
        EXPECT_EQ(run(posix_syntax(), "tool", env), -1);
        EXPECT_EQ(errno, ENOENT);
        EXPECT_EQ(w.calls, Calls{});
    }
}

TEST_F(Search, WindowsCurrentDirectorySkippedOnRequest) {
    const std::string skip = "NoDefaultCurrentDirectoryInExePath=";
    struct Case {
        std::string name;
        std::vector<std::string> env;
        int status;  // 1 from the current directory, 2 from PATH
        Calls calls;
    } cases[] = {
        {"t.exe", {"PATH=C:\\b"}, 1, {"?.\\t.exe", "!.\\t.exe"}},
        {"t.exe", {skip, "PATH=C:\\b"}, 2, {"?C:\\b\\t.exe", "!C:\\b\\t.exe"}},
        {"t",
         {"PATH=C:\\b", "nodefaultcurrentdirectoryinexepath=1"},
         2,
         {"?C:\\b\\t.com", "?C:\\b\\t.exe", "!C:\\b\\t.exe"}},
        {"t.exe", {"NoDefaultCurrentDirectoryInExePathX=1", "PATH=C:\\b"}, 1, {"?.\\t.exe", "!.\\t.exe"}},
        // A name with a directory part or a drive is still tried as written.
        {"sub\\t.exe", {skip + "1", "PATH=C:\\b"}, -1, {"?sub\\t.exe", "?C:\\b\\sub\\t.exe"}},
        {"C:t.exe", {skip + "1", "PATH=C:\\b"}, -1, {"?C:t.exe"}},
        {"t.exe", {skip + "1"}, -1, {}},
    };
    for (const Case& c : cases) {
        w.calls.clear();
        w.programs = {{".\\t.exe", 1}, {"C:\\b\\t.exe", 2}};
        errno = EINTR;
        EXPECT_EQ(run(windows_syntax(), c.name.c_str(), c.env), c.status) << c.name << " " << c.env[0];
        EXPECT_EQ(w.calls, c.calls) << c.name << " " << c.env[0];
        if (c.status == -1) {
            EXPECT_EQ(errno, ENOENT) << c.name << " " << c.env[0];
        }
    }
}

TEST_F(Search, LengthLimitsOfTheWalk) {
    std::string name = "t";
    std::string e257 = "/" + std::string(256, 'a');
    std::string e258 = "/" + std::string(257, 'a');
    run(posix_syntax(), "t", {"PATH=" + e257 + ":/next"});
    EXPECT_EQ(w.calls, (Calls{"?" + e257 + "/t", "?/next/t"}));
    w.calls.clear();
    run(posix_syntax(), "t", {"PATH=" + e258 + ":/next"});
    EXPECT_EQ(w.calls, Calls{});

    // Entry plus separator plus name: 259 characters are tried, 260 end the walk.
    std::string e250 = "/" + std::string(249, 'b');
    std::string n8(8, 'n'), n9(9, 'n');
    w.calls.clear();
    run(posix_syntax(), n8.c_str(), {"PATH=" + e250 + ":/next"});
    EXPECT_EQ(w.calls, (Calls{"?" + e250 + "/" + n8, "?/next/" + n8}));
    w.calls.clear();
    run(posix_syntax(), n9.c_str(), {"PATH=" + e250 + ":/next"});
    EXPECT_EQ(w.calls, Calls{});
}

// Windows names carry no case; POSIX names are exact.
TEST(FindEnvValue, MatchesNamesAsTheSystemDoes) {
    const char* env[] = {"PATHEXT=.COM", "PAT=x", "=C:=C:\\", "path=first", "PATH=second", nullptr};
    EXPECT_STREQ(find_env_value(windows_syntax(), env, "PATH"), "first");
    EXPECT_STREQ(find_env_value(windows_syntax(), env, "pathext"), ".COM");
    EXPECT_STREQ(find_env_value(posix_syntax(), env, "PATH"), "second");
    EXPECT_EQ(find_env_value(posix_syntax(), env, "HOME"), nullptr);
    const char* empty[] = {"PATH=", nullptr};
    EXPECT_STREQ(find_env_value(posix_syntax(), empty, "PATH"), "");
    EXPECT_TRUE(any_env_name_begins(windows_syntax(), env, "patH") &&
                !any_env_name_begins(posix_syntax(), env, "patH"));
}

TEST(NextPathEntry, SplitsLikeTheSearchNeeds) {
    struct Case {
        const char* path;
        std::vector<std::string> entries;  // until none or an empty entry
    } cases[] = {
        {"", {}},
        {";;;", {}},
        {";;C:\\bin;;", {"C:\\bin"}},
        {"a;b;c", {"a", "b", "c"}},
        {"\"a;b\";c", {"a;b", "c"}},
        {"x\"y;z\"w;v", {"xy;zw", "v"}},
        {"\"open;to end", {"open;to end"}},
        {"a;\"\";b", {"a", ""}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> got;
        char buffer[kPathBuffer];
        const char* rest = c.path;
        while ((rest = next_path_entry(windows_syntax(), rest, buffer, kMaxChars)) != nullptr) {
            got.push_back(buffer);
            if (buffer[0] == '\0') break;
        }
        EXPECT_EQ(got, c.entries) << c.path;
    }
    char buffer[kPathBuffer];
    std::string e257(257, 'a'), e258(258, 'a');
    EXPECT_NE(next_path_entry(windows_syntax(), e257.c_str(), buffer, kMaxChars), nullptr);
    EXPECT_EQ(buffer, e257);
    EXPECT_EQ(next_path_entry(windows_syntax(), e258.c_str(), buffer, kMaxChars), nullptr);
    std::string quoted = "\"" + e257 + "\"";
    EXPECT_NE(next_path_entry(windows_syntax(), quoted.c_str(), buffer, kMaxChars), nullptr);
    EXPECT_EQ(next_path_entry(windows_syntax(), "abc", buffer, 1), nullptr);
    EXPECT_STREQ(buffer, "");
}

}  // namespace
