// The Windows platform layer through the real system calls.
#include "platform/os_win32.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/os.h"
#include "support/console_win32.h"
#include "support/process.h"
#include "utf16.h"

namespace {

TEST(SystemErrors, OnlyTheNotThereCodesGiveEnoent) {
    const unsigned long not_there[] = {2, 3, 15, 18, 53, 67, 161, 206};
    for (unsigned long code = 0; code < 20000; ++code) {
        bool listed = std::find(std::begin(not_there), std::end(not_there), code) != std::end(not_there);
        EXPECT_EQ(errno_from_system_error(code) == ENOENT, listed) << code;
    }
    struct Case {
        unsigned long code;
        int number;
    } cases[] = {{5, EACCES},  {8, ENOMEM},   {11, ENOEXEC}, {193, ENOEXEC}, {19, EACCES},
                 {32, EACCES}, {123, EINVAL}, {87, EINVAL},  {999, EINVAL},  {6, EBADF}};
    for (const Case& c : cases) EXPECT_EQ(errno_from_system_error(c.code), c.number) << c.code;
}

class OsTest : public ::testing::Test {
protected:
    void SetUp() override { dir = make_temp_dir(); }
    void TearDown() override { remove_tree(dir); }
    std::string dir;
};

TEST_F(OsTest, ExistenceTest) {
    write_file(dir + "/file", "x");
    make_dir(dir + "/sub");
    struct Case {
        std::string path;
        bool exists;
        int number;
    } cases[] = {
        {dir + "/file", true, 0},
        {dir + "/sub", true, 0},
        {dir + "\\sub\\", true, 0},
        {dir + "/missing", false, ENOENT},
        {dir + "/missing/file", false, ENOENT},
        {dir + "/file/below", false, ENOENT},
        {dir + "/" + std::string(300, 'n'), false, ENOENT},
        {dir + "/wild*", false, EINVAL},
    };
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_EQ(os_file_exists(c.path.c_str()), c.exists) << c.path;
        EXPECT_EQ(errno, c.exists ? errno : c.number) << c.path;
    }
}

TEST_F(OsTest, FailedStartsSayWhy) {
    write_file(dir + "/text.exe", "not a program");
    make_dir(dir + "/folder.exe");
    write_file(dir + "/s.bat", "@echo off\r\n");
    struct Case {
        std::string file;
        const char* command_line;
        int number;         // 0: any but ENOENT
        const char* words;  // the start of os_start_failure's words, or null
    } cases[] = {
        {dir + "/text.exe", "text", ENOEXEC, "it is not a Windows program"},
        {dir + "/folder.exe", "folder", 0, "it is a folder"},
        {dir + "/missing.exe", "missing", ENOENT, nullptr},
        {dir + "/s.bat", "s R&D.asm", EINVAL, "it is a command script"},
    };
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_EQ(os_start_and_wait(c.file.c_str(), "x", c.command_line), -1) << c.file;
        int number = errno;
        EXPECT_EQ(number, c.number != 0 ? c.number : number) << c.file;
        EXPECT_NE(number, c.number == 0 ? ENOENT : 0) << c.file;
        const char* words = os_start_failure(c.file.c_str(), number);
        EXPECT_EQ(errno, number) << "the words leave errno alone";
        if (c.words == nullptr)
            EXPECT_EQ(words, nullptr) << c.file;
        else
            EXPECT_EQ(std::string(words ? words : "").rfind(c.words, 0), 0u) << c.file;
        // Words only for the failure they explain.
        EXPECT_EQ(os_start_failure(c.file.c_str(), ENOMEM), nullptr) << c.file;
    }
}

TEST_F(OsTest, CommandScriptsWithInterpreterCharactersAreRefused) {
    std::string marker = dir + "\\ran";
    write_file(dir + "/s.bat", "@echo off\r\necho x> \"" + marker + "\"\r\n");
    std::string script = dir + "/s.bat";
    errno = 0;
    EXPECT_EQ(os_start_and_wait(script.c_str(), "s", "s R&D.asm"), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES);
    // A refusal ends a walk along PATH, network entries included: a blank
    // in the program's name is one as well; a start that fails is none.
    EXPECT_TRUE(os_start_refused());
    EXPECT_EQ(os_start_and_wait(script.c_str(), "my s", "my s x"), -1);
    EXPECT_TRUE(os_start_refused());
    EXPECT_EQ(os_start_and_wait((dir + "/missing.exe").c_str(), "m", "m"), -1);
    EXPECT_FALSE(os_start_refused());
    EXPECT_EQ(GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES);

    struct Case {
        const char* file;
        const char* command_line;
        bool refused;
    } cases[] = {
        {"a.bat", "a src.asm", false}, {"a.bat", "a R&D.asm", true}, {"A.CMD", "a 100%", true},
        {"a.Bat", "a x|y", true},      {"a.cmd", "a <in", true},     {"a.cmd", "a >out", true},
        {"a.bat", "a ^x", true},       {"a.bat. .", "a &", true},    {"a.exe", "a R&D.asm", false},
        {"a.batch", "a &", false},     {"a.com", "a %PATH%", false}, {"x.bat\\a.exe", "a &", false},
        {"bat", "a &", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(is_unsafe_script_launch(c.file, "a", c.command_line), c.refused) << c.file;
    EXPECT_TRUE(is_unsafe_script_launch("C:\\a\tb\\c.bat", "C:\\a\tb\\c", "x"));
    EXPECT_FALSE(is_unsafe_script_launch("a b.exe", "a b", "a b x"));
}

// Flag byte and handle of descriptor `fd` in a block.
unsigned flag_of(const unsigned char* block, int fd) { return block[4 + fd]; }

std::intptr_t handle_of(const unsigned char* block, int count, int fd) {
    std::intptr_t h;
    std::memcpy(&h, block + 4 + count + fd * sizeof h, sizeof h);
    return h;
}

TEST_F(OsTest, DescriptorBlockDescribesInheritableDescriptors) {
    std::string file = dir + "/f";
    int text = _open(file.c_str(), _O_CREAT | _O_WRONLY | _O_TEXT, _S_IREAD | _S_IWRITE);
    int binary = _open(file.c_str(), _O_WRONLY | _O_BINARY);
    int closed = _open(file.c_str(), _O_WRONLY | _O_BINARY);
    int pipe[2];
    ASSERT_EQ(_pipe(pipe, 256, _O_BINARY), 0);
    int private_fd = _open(file.c_str(), _O_WRONLY | _O_NOINHERIT);
    ASSERT_GE(text, 3);
    ASSERT_GT(private_fd, pipe[1]);
    _close(closed);

    std::size_t size = 0;
    unsigned char* block = descriptor_block(size);
    ASSERT_NE(block, nullptr);
    std::int32_t count;
    std::memcpy(&count, block, 4);
    // The descriptor that is not inherited was opened last, so it is not counted.
    EXPECT_EQ(count, private_fd);
    EXPECT_EQ(size, 4 + static_cast<std::size_t>(count) * (1 + sizeof(std::intptr_t)));
    for (int fd = 0; fd < 3; ++fd) EXPECT_EQ(flag_of(block, fd) & 0x81u, 0x81u) << fd;

    struct Case {
        int fd;
        unsigned flags;
    } cases[] = {{text, 0x81}, {binary, 0x01}, {closed, 0}, {pipe[0], 0x09}, {pipe[1], 0x09}};
    for (const Case& c : cases) {
        EXPECT_EQ(flag_of(block, c.fd), c.flags) << c.fd;
        EXPECT_EQ(handle_of(block, count, c.fd), c.flags ? _get_osfhandle(c.fd) : -1) << c.fd;
    }
    std::free(block);
    // The descriptors keep their modes.
    EXPECT_EQ(_setmode(text, _O_TEXT), _O_TEXT);
    EXPECT_EQ(_setmode(binary, _O_BINARY), _O_BINARY);

    _close(private_fd);
    _close(private_fd - 1);
    for (int fd : {text, binary, pipe[0], pipe[1]}) _close(fd);
}

TEST_F(OsTest, BatchedLookupsAnswerAsSingleOnes) {
    std::string file = dir + "\\t.ini";
    write_file(file, "[S]\nA=alpha\nN=42\nE=\n[DEBUG]\nVIEW=0x10\n");
    char a[kPathBuffer], n[kProfileIntBuffer] = "junk", e[kPathBuffer] = "junk",
                         missing[kPathBuffer] = "junk";
    char view[kProfileIntBuffer] = "junk", absent[kProfileIntBuffer], cut[4];
    int n_value = 7, view_value = 0, absent_value = 5;
    ProfileQuery queries[] = {
        {"S", "A", a, sizeof a, 99, nullptr},
        {"S", "N", n, sizeof n, 99, &n_value},
        {"S", "E", e, sizeof e, 99, nullptr},
        {"S", "missing", missing, sizeof missing, 99, nullptr},
        {"debug", "view", view, sizeof view, 99, &view_value},
        {"S", "absent", absent, sizeof absent, 99, &absent_value},
        {"S", "A", cut, sizeof cut, 99, nullptr},
    };
    os_profile_lookup(file.c_str(), queries, std::size(queries));
    EXPECT_STREQ(a, "alpha");
    EXPECT_EQ(queries[0].length, 5u);
    EXPECT_EQ(n_value, 42);
    EXPECT_EQ(view_value, 16);
    EXPECT_EQ(absent_value, 5);
    for (const char* empty : {n, e, missing, view}) EXPECT_STREQ(empty, "");
    for (std::size_t i : {1, 2, 3, 4, 5}) EXPECT_EQ(queries[i].length, 0u) << i;
    EXPECT_STREQ(cut, "alp");
    EXPECT_EQ(queries[6].length, 3u);
}

// A key list as names, checked to be well formed: `n` bytes of names, each
// ended by a NUL, and one more NUL.
std::vector<std::string> names_of(const char* list, std::size_t n) {
    std::vector<std::string> names;
    for (std::size_t at = 0; at < n; at += names.back().size() + 1) names.push_back(list + at);
    EXPECT_EQ(list[n], '\0');
    EXPECT_TRUE(n == 0 || list[n - 1] == '\0');
    return names;
}

TEST_F(OsTest, KeyListsHoldWholeNamesInFileOrder) {
    using Names = std::vector<std::string>;
    const std::string mixed =
        "[S]\nA=1\nB\nC=3\n;D=4\n#E=5\n\"Q\"=7\n'R'=8\n A = 9\na=dup\n[T]\nX=1\n[s]\nF=2\n";
    const std::string three = "[S]\nAB=1\nCDE=2\nF=3\n";
    std::string ten = "[S]\n";
    for (int i = 0; i < 10; ++i) ten += "KEY" + std::to_string(i) + "=v\n";
    struct Case {
        std::string text;
        const char* section;
        std::size_t size;
        Names names;
        bool later = false;  // the keys of the sections behind the first of the name
    } cases[] = {
        // Duplicates stay; lines without "=" and ";" lines do not count; a
        // second section of the name is not read.
        {mixed, "S", 200, {"A", "C", "#E", "\"Q\"", "'R'", "A", "a"}},
        {mixed, "t", 200, {"X"}},
        {mixed, "X", 200, {}},
        // An empty name ends the list.
        {"[S]\nK=1\n=2\nL=3\n", "S", 200, {"K"}},
        {"[S]\n=1\nK=3\n", "S", 200, {}},
        {"[S]\nK=\nL=\"\"\nM\n", "S", 200, {"K", "L"}},
        {"[T]\n[S]\n[S]\nK=1\n", "S", 200, {}},
        {"\xEF\xBB\xBF[S]\r\nK=1\r\n", "S", 200, {"K"}},
        // A list that does not fit ends at the last whole name that does,
        // with its NUL and the list's.
        {three, "S", 1, {}},
        {three, "S", 3, {}},
        {three, "S", 4, {"AB"}},
        {three, "S", 7, {"AB"}},
        {three, "S", 8, {"AB", "CDE"}},
        {three, "S", 9, {"AB", "CDE"}},
        {three, "S", 10, {"AB", "CDE", "F"}},
        {ten, "S", 30, {"KEY0", "KEY1", "KEY2", "KEY3", "KEY4"}},
        {ten, "S", 31, {"KEY0", "KEY1", "KEY2", "KEY3", "KEY4", "KEY5"}},
        {"\xEF\xBB\xBF[S]\r\nK=1\r\n[S]\r\nL=2\r\n", "S", 200, {}, true},
        {utf16_file(u"[S]\r\nK=1\r\n[s]\r\nL=\r\n"), "S", 200, {"L"}, true},
    };
    int files = 0;
    for (const Case& c : cases) {
        // The system caches profile files by name, so each text gets a new one.
        std::string file = dir + "\\k" + std::to_string(++files) + ".ini";
        write_file(file, c.text);
        std::vector<char> out(c.size + 8, '#');
        std::size_t n = c.later ? os_profile_later_keys(c.section, out.data(), c.size, file.c_str())
                                : os_profile_keys(c.section, out.data(), c.size, file.c_str());
        std::size_t expected = 0;
        for (const std::string& name : c.names) expected += name.size() + 1;
        EXPECT_EQ(n, expected) << c.text << " [" << c.section << "] size " << c.size;
        EXPECT_EQ(names_of(out.data(), n), c.names) << c.text << " [" << c.section << "] size " << c.size;
        EXPECT_EQ(out[c.size], '#') << "written past the buffer: size " << c.size;
    }
}

TEST_F(OsTest, FileStates) {
    write_file(dir + "/file", "x");
    write_file(dir + "/locked", "x");
    make_dir(dir + "/sub");
    HANDLE locked =
        CreateFileA((dir + "/locked").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    struct Case {
        std::string path;
        FileState state;
        int error;
    } cases[] = {
        {dir + "/file", FileState::readable, 0},          {dir + "\\FILE", FileState::readable, 0},
        {dir + "/sub", FileState::unreadable, EISDIR},    {dir + "/locked", FileState::unreadable, EACCES},
        {dir + "/missing", FileState::absent, ENOENT},    {dir + "/missing/file", FileState::absent, ENOENT},
        {dir + "/file/below", FileState::absent, ENOENT}, {"", FileState::absent, ENOENT},
        {dir + "/wild*", FileState::absent, ENOENT},  // no file can have that name
    };
    for (const Case& c : cases) {
        int error = -1;
        EXPECT_EQ(os_file_state(c.path.c_str(), error), c.state) << c.path;
        EXPECT_EQ(error, c.error) << c.path;
    }
    CloseHandle(locked);
}

TEST_F(OsTest, AbsolutePaths) {
    char cwd[MAX_PATH];
    ASSERT_NE(GetCurrentDirectoryA(MAX_PATH, cwd), 0u);
    std::string here = cwd;
    if (here.back() != '\\') here += '\\';
    struct Case {
        std::string path;
        bool ok;
        std::string absolute;
    } cases[] = {
        {"src\\demo.asm", true, here + "src\\demo.asm"},
        {"src/../demo.asm", true, here + "demo.asm"},
        {"C:\\x\\..\\y.asm", true, "C:\\y.asm"},
        {"C:\\" + std::string(256, 'd'), true, "C:\\" + std::string(256, 'd')},
        {"C:\\" + std::string(257, 'd'), false, ""},
        {"C:\\" + std::string(400, 'd'), false, ""},
    };
    for (const Case& c : cases) {
        char out[kPathBuffer + 8];
        std::memset(out, '#', sizeof out);
        EXPECT_EQ(os_absolute_path(c.path.c_str(), out), c.ok) << c.path;
        EXPECT_EQ(std::string(out), c.absolute) << c.path;
        EXPECT_EQ(out[kPathBuffer], '#') << c.path;
    }
}

TEST_F(OsTest, LogAppendsAndKeepsWhatWasThere) {
    std::string file = dir + "/log.txt";
    write_file(file, "before\r\n");
    ASSERT_TRUE(os_log_open(file.c_str()));
    os_log_line("one\r\n", 5);
    os_log_line("two\r\n", 5);
    // Reading the file while the driver holds it open works.
    EXPECT_EQ(read_file(file), "before\r\none\r\ntwo\r\n");

    errno = 0;
    EXPECT_FALSE(os_log_open((dir + "/missing/log.txt").c_str()));
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_FALSE(os_log_open(dir.c_str()));
    EXPECT_NE(errno, 0);
    EXPECT_NE(errno, ENOENT);
    // A failed open keeps the log that was open.
    os_log_line("three\r\n", 7);
    EXPECT_EQ(read_file(file), "before\r\none\r\ntwo\r\nthree\r\n");
    // Lets go of the file, so that it can be removed.
    os_log_open("NUL");
}

TEST_F(OsTest, LinesOfDriversAppendingAtOnceStayWhole) {
    const int kProcesses = 24, kLines = 250;
    std::string file = dir + "/log.txt";
    std::string event_name = "tolvane-log-test-" + std::to_string(GetCurrentProcessId());
    HANDLE start = CreateEventA(nullptr, TRUE, FALSE, event_name.c_str());
    HANDLE ready = CreateSemaphoreA(nullptr, 0, kProcesses, (event_name + "-ready").c_str());
    ASSERT_NE(start, nullptr);
    ASSERT_NE(ready, nullptr);
    std::vector<PROCESS_INFORMATION> started;
    for (int i = 0; i < kProcesses; ++i) {
        std::string command_line =
            command_line_of({HELPER_EXE, "log", file, std::to_string(kLines), event_name});
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process;
        ASSERT_TRUE(CreateProcessA(HELPER_EXE, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &process));
        started.push_back(process);
    }
    // Only a hang takes ten minutes.
    for (int i = 0; i < kProcesses; ++i) ASSERT_EQ(WaitForSingleObject(ready, 600000), WAIT_OBJECT_0) << i;
    SetEvent(start);
    for (PROCESS_INFORMATION& p : started) {
        EXPECT_EQ(WaitForSingleObject(p.hProcess, 600000), WAIT_OBJECT_0);
        DWORD code = 1;
        GetExitCodeProcess(p.hProcess, &code);
        EXPECT_EQ(code, 0u);
        CloseHandle(p.hProcess);
        CloseHandle(p.hThread);
    }
    CloseHandle(start);
    CloseHandle(ready);
    std::string log = read_file(file);
    std::map<unsigned long, int> lines_of;
    std::size_t lines = 0, pos = 0;
    const std::string tail = " " + std::string(200, 'x') + " end\r\n";
    while (pos < log.size()) {
        std::size_t end = log.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos) << "a cut line at the end";
        std::string line = log.substr(pos, end + 2 - pos);
        pos = end + 2;
        unsigned long pid = 0;
        int number = -1, stamp = 0;
        bool whole = std::sscanf(line.c_str(), "%*4u-%*2u-%*2uT%*2u:%*2u:%*2u.%*3uZ [%lu] %nline %d", &pid,
                                 &stamp, &number) == 2 &&
                     line.size() > tail.size() &&
                     line.compare(line.size() - tail.size(), tail.size(), tail) == 0 &&
                     line == line.substr(0, stamp) + "line " + std::to_string(number) + tail;
        EXPECT_TRUE(whole) << line;
        // Each driver's lines come in its own order.
        if (whole) {
            EXPECT_EQ(number, lines_of[pid]++) << line;
        }
        ++lines;
    }
    EXPECT_EQ(lines, static_cast<std::size_t>(kProcesses * kLines));
    EXPECT_EQ(lines_of.size(), static_cast<std::size_t>(kProcesses));
}

TEST(OsLog, StampIsUtcTimeAndProcessId) {
    SYSTEMTIME before;
    GetSystemTime(&before);
    char out[64];
    std::size_t n = os_log_stamp(out, sizeof out);
    SYSTEMTIME t = {};
    unsigned long pid = 0;
    ASSERT_EQ(std::sscanf(out, "%4hu-%2hu-%2huT%2hu:%2hu:%2hu.%3huZ [%lu] ", &t.wYear, &t.wMonth, &t.wDay,
                          &t.wHour, &t.wMinute, &t.wSecond, &t.wMilliseconds, &pid),
              8)
        << out;
    EXPECT_EQ(pid, GetCurrentProcessId());
    // Every field at its full width: "2026-12-08T23:15:56.123Z [pid] ".
    EXPECT_EQ(n, std::strlen("2026-12-08T23:15:56.123Z [] ") + std::to_string(pid).size()) << out;
    EXPECT_EQ(n, std::strlen(out));
    FILETIME a, b;
    ASSERT_TRUE(SystemTimeToFileTime(&before, &a));
    ASSERT_TRUE(SystemTimeToFileTime(&t, &b));
    auto ticks = [](const FILETIME& f) {
        return static_cast<long long>(f.dwHighDateTime) << 32 | f.dwLowDateTime;
    };
    EXPECT_GE(ticks(b) - ticks(a), 0);
    EXPECT_LT(ticks(b) - ticks(a), 600000000LL) << "within a minute";

    char small[10];
    EXPECT_EQ(os_log_stamp(small, sizeof small), 9u);
    EXPECT_EQ(std::string(small), std::string(out, 9));
}

TEST(OsCodePage, DescriptionNamesTheCodePageAndTheBuild) {
    // Test programs carry no manifest, so even the UTF-8 build's tests run
    // in the ANSI code page, as the driver does where Windows ignores it.
    char out[128];
    os_describe_code_page(out, sizeof out);
    std::string page = std::to_string(GetACP());
    if (GetACP() == CP_UTF8)
        EXPECT_STREQ(out, "UTF-8 (code page 65001)");
    else if (kUtf8Build)
        EXPECT_EQ(std::string(out), "UTF-8 build, but Windows ignored its manifest: ANSI code page " + page);
    else
        EXPECT_EQ(std::string(out), "ANSI code page " + page);
}

TEST(OsConsole, OwnershipInputAndPauseOnAConsoleMadeForTheProgram) {
    // The helper reports os_owns_console() as 1 and os_input_is_console()
    // as 2 in its exit status.
    struct Case {
        const char* input;  // "console", "pipe", "file" (a text file) or "file:NUL"
        const char* host;   // "leave": the program is alone on the console
        const char* role;
        int status;
        bool waited;
    } cases[] = {
        {"console", "leave", "", 3, false},
        {"console", "stay", "", 2, false},
        {"pipe", "leave", "", 1, false},
        {"file", "leave", "", 1, false},
        {"file:NUL", "leave", "", 1, false},
        {"pipe", "nowindow", "", 0, false},
        {"console", "leave", "pause", 3, true},
        // Keys typed before the pause do not end it.
        {"console", "leave", "late-pause", 3, true},
    };
    std::string dir = make_temp_dir();
    std::string input_file = dir + "/input.txt";
    write_file(input_file, "x\r\n");
    const std::string prompt = "Press any key to close this window.";
    for (const Case& c : cases) {
        std::string input = std::strcmp(c.input, "file") == 0 ? "file:" + input_file : std::string(c.input);
        std::vector<std::string> args = {HELPER_EXE, "host", input, c.host, HELPER_EXE, "console"};
        if (*c.role) args.push_back(c.role);
        ConsoleRun run =
            run_on_console(args, dir, prompt, std::strcmp(c.role, "late-pause") == 0 ? "ab" : "");
        EXPECT_EQ(run.status, c.status) << c.input << " " << c.host << " " << c.role;
        EXPECT_EQ(run.waited, c.waited) << c.input << " " << c.host << " " << c.role;
        EXPECT_EQ(run.screen.find(prompt) != std::string::npos, c.waited) << run.screen;
    }
    remove_tree(dir);
}

TEST(OsPath, ExecutablePathIsTheModulesOwn) {
    char path[kPathBuffer];
    ASSERT_TRUE(os_executable_path(path));
    char expected[MAX_PATH];
    GetModuleFileNameA(nullptr, expected, MAX_PATH);
    EXPECT_STREQ(path, expected);
}

}  // namespace
