// Diagnostics end to end: switches from the environment, a configuration
// named by TOLVANE_INI, the dry run, the log and the trace that explains.
// The real driver, its configuration beside it, probes as assembler and
// linker.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "e2e_support.h"
#include "utf16.h"

namespace {

using Lines = std::vector<std::string>;
using Env = std::vector<std::string>;
using Args = std::vector<std::string>;

// The separator of PATH entries.
#ifdef _WIN32
constexpr const char* kPathSep = ";";
#else
constexpr const char* kPathSep = ":";
#endif

const std::string kVersion = std::string("tolvane ") + TOLVANE_VERSION;

// What the trace says of a file that looks like UTF-16 without its mark.
const std::string kUnmarked =
    "found, but it looks like UTF-16 without a byte order mark, which reads as no keys at all: save it as "
    "UTF-16 with a byte order mark, or as ANSI or UTF-8 without one";

// How the trace and the dry run introduce the words a tool receives.
#ifdef _WIN32
const std::string kWords = "words, as a C runtime splits the command line:";
#else
const std::string kWords = "words:";
#endif

// The Windows driver names files with backslashes where the tests write
// slashes; any other text of these tests holds no backslash.
std::string slashed(std::string text) {
#ifdef _WIN32
    for (char& c : text)
        if (c == '\\') c = '/';
#endif
    return text;
}

// The lines of `text`, without their ends (LF, or CRLF on Windows).
Lines split_lines(const std::string& text) {
    Lines lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        std::string line = text.substr(pos, nl - pos);
#ifdef _WIN32
        if (!line.empty() && line.back() == '\r') line.pop_back();
#endif
        lines.push_back(line);
        pos = nl + 1;
    }
    return lines;
}

// The trace lines of a run without "tolvane: ", which every line must
// begin with; the code page line of Windows included.
Lines raw_trace(const ProcessResult& r) {
    Lines lines;
    for (const std::string& line : split_lines(slashed(timeless(r.err)))) {
        bool prefixed = line.compare(0, 9, "tolvane: ") == 0;
        EXPECT_TRUE(prefixed) << line;
        lines.push_back(prefixed ? line.substr(9) : line);
    }
    return lines;
}

// `lines` of one run without the second, which on Windows must name the
// code page (and does not exist on POSIX).
Lines without_code_page(Lines lines) {
#ifdef _WIN32
    bool named = lines.size() >= 2 && lines[1].compare(0, 11, "code page: ") == 0;
    EXPECT_TRUE(named) << (lines.empty() ? "(no lines)" : lines[0]);
    if (named) lines.erase(lines.begin() + 1);
#endif
    return lines;
}

Lines trace_of(const ProcessResult& r) { return r.err.empty() ? Lines() : without_code_page(raw_trace(r)); }

std::string config_line(const std::string& path, const char* whence, const std::string& state) {
    return kVersion + ": configuration " + path + " (" + whence + "): " + state;
}

// The trace's last line for the status the caller sees.
std::string last_line(int status, bool exit_code) {
    if (!exit_code) return "exit status 0 (EXITCODE is off), T s in all";
    return "exit status " + std::to_string(status) + (status == kNotStarted ? ": no tool was started" : "") +
           ", T s in all";
}

std::string error_text(const char* name, int error) {
    return std::string(name) + " (" + std::strerror(error) + ")";
}

std::string cannot_read(const char* name, int error) { return "cannot be read: " + error_text(name, error); }

// Each of `expected` in `lines`, in that order.
void expect_in_order(const Lines& lines, const Lines& expected, const std::string& what) {
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    std::size_t at = 0;
    for (const std::string& line : expected) {
        std::size_t found = at;
        while (found < lines.size() && lines[found] != line) ++found;
        EXPECT_LT(found, lines.size()) << what << ": " << line << " in\n" << all;
        if (found < lines.size()) at = found + 1;
    }
}

std::string joined(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + kEol;
    return text;
}

struct LogLine {
    std::string stamp;  // "2026-12-08T23:15:56.123Z"
    std::string pid;
    std::string text;
};

// One log line "YYYY-MM-DDTHH:MM:SS.mmmZ [PID] text" taken apart; false
// when it has another shape.
bool parse_log_line(const std::string& line, LogLine& out) {
    const std::string shape = "dddd-dd-ddTdd:dd:dd.dddZ [";
    if (line.size() < shape.size()) return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        bool digit = std::isdigit(static_cast<unsigned char>(line[i])) != 0;
        if (shape[i] == 'd' ? !digit : line[i] != shape[i]) return false;
    }
    std::size_t close = line.find("] ", shape.size());
    if (close == std::string::npos || close == shape.size()) return false;
    for (std::size_t i = shape.size(); i < close; ++i)
        if (!std::isdigit(static_cast<unsigned char>(line[i]))) return false;
    out = {line.substr(0, 24), line.substr(shape.size(), close - shape.size()), line.substr(close + 2)};
    return true;
}

// The log at `path`, every line of which must be whole and stamped, ended
// by "\n" alone.
std::vector<LogLine> read_log(const std::string& path) {
    std::string log = slashed(read_file(path));
    EXPECT_EQ(log.find('\r'), std::string::npos) << path;
    EXPECT_TRUE(log.empty() || log.back() == '\n') << path;
    std::vector<LogLine> lines;
    for (const std::string& line : split_lines(log)) {
        LogLine parsed;
        EXPECT_TRUE(parse_log_line(line, parsed)) << path << ": " << line;
        lines.push_back(parsed);
    }
    return lines;
}

Lines log_texts(const std::string& path) {
    Lines texts;
    for (const LogLine& line : read_log(path)) texts.push_back(timeless(line.text));
    return texts;
}

// Now in UTC, as the log's stamps begin.
std::string utc_now() {
    std::time_t now = std::time(nullptr);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", std::gmtime(&now));
    return text;
}

class DiagTest : public DriverTest {
protected:
    std::string beside() const { return root + "/bin/tolvane.ini"; }

    // Tools named by `asm_name` and `lnk_name` (an empty name leaves its
    // key out), behind `head`.
    void named(const std::string& head, const std::string& asm_name, const std::string& lnk_name,
               const std::string& asm_more = "", const std::string& lnk_more = "") {
        std::string text = head + "[ASM]\n" + (asm_name.empty() ? "" : "ASSEMBLER=" + asm_name + "\n");
        text += "ASMLIST_01=-o @1.o\nASMLIST_02=@1\n" + asm_more + "[LNK]\n";
        ini(text + (lnk_name.empty() ? "" : "LINKER=" + lnk_name + "\n") + "LNKLIST_01=@1.o\n" + lnk_more);
    }

    // A run with the one argument "src.s".
    ProcessResult run_src(const Env& env = {}) {
        return run_process(driver, {driver, "src.s"}, root + "/project", env);
    }

    void forget_runs() {
        remove_tree(asm_tool + ".log");
        remove_tree(lnk_tool + ".log");
    }
};

// Each switch, from [DEBUG] or [DRIVER] and from its variable: a variable
// set and not empty decides, both ways; an empty one counts as unset; a
// value is read as the file's integers are. The other switches stay off.
TEST_F(DiagTest, EachSwitchFollowsTheFileUnlessTheEnvironmentSetsIt) {
    struct Switch {
        std::string key, section;
    } switches[] = {{"TRACE", "DEBUG"}, {"VIEW", "DEBUG"}, {"DRYRUN", "DEBUG"}, {"EXITCODE", "DRIVER"}};
    struct Row {
        const char* file;  // the key's value; null: no key
        const char* env;   // the variable's value; null: unset
        bool on;
    } rows[] = {{nullptr, nullptr, false}, {"1", nullptr, true}, {"0", nullptr, false}, {nullptr, "1", true},
                {"0", "1", true},          {"1", "0", false},    {"1", "", true},       {"0", "", false},
                {nullptr, "", false},      {"1", "yes", false},  {nullptr, "2x", true}, {nullptr, "-1", true},
                {nullptr, "0x10", true},   {"1", " 0", false},   {"-1", "0", false}};
    tool_status(asm_tool, "3");
    for (const Switch& s : switches) {
        for (const Row& row : rows) {
            std::string what = s.key + " file " + (row.file ? row.file : "(none)") + " env " +
                               (row.env ? "'" + std::string(row.env) + "'" : "(unset)");
            config("ASMLIST_01=@1\n", "",
                   row.file ? "[" + s.section + "]\n" + s.key + "=" + row.file + "\n" : "");
            Env env;
            if (row.env) env.push_back("TOLVANE_" + s.key + "=" + row.env);
            forget_runs();
            ProcessResult r = run_src(env);
            bool seen[] = {!r.err.empty(), r.out.compare(0, 2, "0:") == 0, runs(asm_tool).empty(),
                           r.status == 3};
            for (std::size_t i = 0; i < 4; ++i)
                EXPECT_EQ(seen[i], &switches[i] == &s && row.on) << what << ": " << switches[i].key;
        }
    }
    // A UTF-16 file sets them as well.
    std::string wide = "[DRIVER]\nEXITCODE=1\n[ASM]\nASSEMBLER=" + asm_tool + "\nASMLIST_01=@1\n";
    ini(utf16_file(std::u16string(wide.begin(), wide.end())));
    EXPECT_EQ(run_src().status, 3);
    // Windows names carry no case; POSIX names are exact.
    config("ASMLIST_01=@1\n", "");
#ifdef _WIN32
    EXPECT_NE(run_src({"tolvane_trace=1"}).err, "");
#else
    EXPECT_EQ(run_src({"tolvane_trace=1"}).err, "");
#endif
}

// The log from LOG in [DEBUG] or TOLVANE_LOG, written with the trace off: a
// relative LOG taken from the configuration's directory, a relative
// TOLVANE_LOG from the current directory.
TEST_F(DiagTest, LogFollowsTheFileUnlessTheEnvironmentSetsIt) {
    make_dir(root + "/bin/sub");
    std::string c_log = root + "/c.log";
    struct Row {
        const char* file;  // LOG's value; null: no key
        const char* env;   // TOLVANE_LOG; null: unset
        std::string written;
    } rows[] = {{nullptr, nullptr, ""},
                {"", nullptr, ""},
                {"a.log", nullptr, root + "/bin/a.log"},
                {"a.log", "b.log", root + "/project/b.log"},
                {"a.log", "", root + "/bin/a.log"},
                {nullptr, "b.log", root + "/project/b.log"},
                {nullptr, c_log.c_str(), c_log},
                {c_log.c_str(), nullptr, c_log},
                {"sub/d.log", nullptr, root + "/bin/sub/d.log"}};
    std::string candidates[] = {root + "/bin/a.log",     root + "/bin/b.log",     c_log,
                                root + "/bin/sub/d.log", root + "/project/a.log", root + "/project/b.log"};
    for (const Row& row : rows) {
        std::string what = std::string("file ") + (row.file ? row.file : "(none)") + " env " +
                           (row.env ? row.env : "(unset)");
        for (const std::string& c : candidates) remove_tree(c);
        config("ASMLIST_01=@1\n", "", row.file ? "[DEBUG]\nLOG=" + std::string(row.file) + "\n" : "");
        Env env;
        if (row.env) env.push_back("TOLVANE_LOG=" + std::string(row.env));
        ProcessResult r = run_src(env);
        EXPECT_EQ(r.status, 0) << what;
        EXPECT_EQ(r.out + r.err, "") << what;
        for (const std::string& c : candidates)
            EXPECT_EQ(read_file(c).empty(), c != row.written) << what << ": " << c;
        if (row.written.empty()) continue;
        Lines texts = without_code_page(log_texts(row.written));
        ASSERT_FALSE(texts.empty()) << what;
        EXPECT_EQ(texts.front(), config_line(beside(), "beside the executable", "found")) << what;
        EXPECT_EQ(texts.back(), last_line(0, false)) << what;
    }
}

// A run that has no argument (and then does not read the file) or no
// configuration: the variables still work, and the log says the same as
// the trace. Each line that says so names a tolvane.ini not read.
TEST_F(DiagTest, NoArgumentOrNoConfiguration) {
    enum Ini { present, absent, directory };
    std::string log = root + "/run.log";
    std::string no_argument = kVersion + ": no argument, nothing to build";
    std::string not_found = config_line(beside(), "beside the executable", "not found");
    std::string is_dir = cannot_read("EISDIR", EISDIR);
    std::string unreadable = config_line(beside(), "beside the executable", is_dir);
    std::string no_config = "run ends: no configuration";
    std::string dry = "no configuration: " + beside() + " (beside the executable) ",
                off = last_line(0, false);
    std::string reads =
        " is not read: tolvane reads the tolvane.ini beside its executable, or the file that ";
    std::string here = "; " + root + "/project/tolvane.ini" + reads + "TOLVANE_INI names";
    std::string sub = "; " + root + "/project/sub/tolvane.ini" + reads + "TOLVANE_INI names";
    Env tr = {"TOLVANE_TRACE=1"}, ec = {"TOLVANE_EXITCODE=1"}, dr = {"TOLVANE_DRYRUN=1"};
    std::string ended = last_line(kNotStarted, true), in_sub = "sub/tolvane.ini", nf = dry + "not found";
    std::string is_sub = dry + is_dir + sub;
    int ns = kNotStarted;
    std::string long_ini = "no configuration: TOLVANE_INI made absolute is longer than 259 characters";
    struct Case {
        bool argument;
        Ini ini;
        Env env;
        int status;
        Lines lines;
        std::string out = "";    // the dry run's line
        std::string said = "";   // the line on standard error without the trace
        bool logged = true;      // with TOLVANE_LOG, which the lines are compared with
        std::string stray = "";  // a tolvane.ini made there in the project (a directory: "/" behind it)
        const char* source = "src.s";
    } cases[] = {
        {false, present, {"TOLVANE_DRYRUN=1"}, 0, {no_argument, off}, "no argument, nothing to build"},
        {true, directory, {"TOLVANE_DRYRUN=1"}, 0, {unreadable, no_config, off}, dry + is_dir},
        {false, present, {}, 0, {no_argument, last_line(0, false)}},
        {false, present, {"TOLVANE_TRACE=1"}, 0, {no_argument, last_line(0, false)}},
        {false, present, {"TOLVANE_EXITCODE=1"}, kNotStarted, {no_argument, last_line(kNotStarted, true)}},
        {false,
         present,
         {"TOLVANE_TRACE=1", "TOLVANE_EXITCODE=1"},
         kNotStarted,
         {no_argument, last_line(kNotStarted, true)}},
        {true, absent, {"TOLVANE_TRACE=1"}, 0, {not_found, no_config, last_line(0, false)}},
        {true,
         absent,
         {"TOLVANE_EXITCODE=1"},
         kNotStarted,
         {not_found, no_config, last_line(kNotStarted, true)},
         "",
         dry + "not found"},
        {true,
         absent,
         {"TOLVANE_DRYRUN=1", "TOLVANE_EXITCODE=1"},
         kNotStarted,
         {not_found, no_config, last_line(kNotStarted, true)},
         dry + "not found"},
        {true,
         directory,
         {"TOLVANE_TRACE=1", "TOLVANE_EXITCODE=1"},
         kNotStarted,
         {unreadable, no_config, last_line(kNotStarted, true)}},
        // Without a log nothing asks whether the file is there until the
        // assembler's key is missing.
        {true, absent, {"TOLVANE_EXITCODE=1"}, kNotStarted, {}, "", dry + "not found", false},
        {true, directory, {"TOLVANE_EXITCODE=1"}, kNotStarted, {}, "", dry + is_dir, false},
        {true, absent, tr, 0, {not_found + here, no_config, off}, "", "", true, "tolvane.ini"},
        {true, absent, ec, ns, {not_found + here, no_config, ended}, "", nf + here, true, "tolvane.ini"},
        {true, directory, dr, 0, {unreadable + sub, no_config, off}, is_sub, "", true, in_sub, "sub/s"},
        {true, absent, {}, 0, {not_found + here, no_config, off}, "", "", true, "tolvane.ini"},
        {true, absent, ec, ns, {not_found, no_config, ended}, "", nf, true, "tolvane.ini/"},
        {true,
         absent,
         {"TOLVANE_DRYRUN=1", "TOLVANE_INI=" + std::string(260, 'i')},
         0,
         {},
         long_ini + here,
         "",
         false,
         "tolvane.ini"},
    };
    tool_status(asm_tool, "3");
    for (const Case& c : cases) {
        std::string what = std::string(c.argument ? "argument" : "no argument") + ", ini " +
                           std::to_string(static_cast<int>(c.ini)) + ", " +
                           (c.env.empty() ? "" : c.env.back());
        remove_tree(beside());
        remove_tree(log);
        for (const char* at : {"/project/tolvane.ini", "/project/sub"}) remove_tree(root + at);
        forget_runs();
        make_dir(root + "/project/sub");
        if (!c.stray.empty() && c.stray.back() == '/') make_dir(root + "/project/" + c.stray);
        if (!c.stray.empty() && c.stray.back() != '/') write_file(root + "/project/" + c.stray, "[ASM]\n");
        // Switches in the file that must not count where it is not read.
        if (c.ini == present) config("", "", "[DEBUG]\nTRACE=1\nVIEW=1\n[DRIVER]\nEXITCODE=1\n");
        if (c.ini == directory) make_dir(beside());
        Env env = c.env;
        if (c.logged) env.push_back("TOLVANE_LOG=" + log);
        ProcessResult r = run(c.argument ? Args{c.source} : Args{}, env);
        bool traced = !c.env.empty() && c.env.front() == "TOLVANE_TRACE=1";
        EXPECT_EQ(r.status, c.status) << what;
        EXPECT_EQ(slashed(r.out), c.out.empty() ? "" : c.out + kEol) << what;
        // A tolvane.ini not read is named once, by the failure line.
        Lines said = c.said.empty() ? Lines() : Lines{c.said};
        if (traced)
            EXPECT_EQ(trace_of(r), c.lines) << what;
        else
            EXPECT_EQ(raw_trace(r), said) << what;
        if (c.logged) {
            EXPECT_EQ(without_code_page(log_texts(log)), c.lines) << what;
        }
        EXPECT_TRUE(runs(asm_tool).empty()) << what;
    }
}

// TOLVANE_INI: absolute, or relative to the current directory; no other
// file is read instead, and a path longer than 259 characters once absolute
// means no configuration. A relative TOLVANE_LOG is taken from the current
// directory, a relative LOG from the directory of the file used.
TEST_F(DiagTest, TolvaneIniNamesTheConfiguration) {
    config("ASMLIST_01=beside\n", "");
    std::string alt = "[DEBUG]\nLOG=alt.log\n[ASM]\nASSEMBLER=" + asm_tool + "\nASMLIST_01=alt\n";
    make_dir(root + "/alt");
    write_file(root + "/alt/x.ini", alt);
    write_file(root + "/alt/wide.ini", utf16_file(std::u16string(alt.begin(), alt.end())));
    write_file(root + "/alt/marked.ini", "\xEF\xBB\xBF; tolvane.ini\n" + alt);
    // Blank lines, then UTF-16 without its mark: only in 64 bytes do units with a NUL outnumber the others.
    std::string bare = root + "/alt/bare.ini";
    write_file(bare, std::string(30, '\n') + utf16_file(std::u16string(alt.begin(), alt.end())).substr(2));
    make_dir(root + "/project/conf");
    write_file(root + "/project/conf/x.ini", alt);
    std::string cwd = root + "/project/";
    std::string edge(259 - cwd.size(), 'c');  // 259 characters once absolute
    write_file(cwd + edge, alt);
    const char* from = "from TOLVANE_INI";
    // The file to edit is named beside a link, where the platform tells.
    // A FIFO that holds FF FE is no file, of no encoding.
    std::string fifo = root + "/alt/fifo.ini";
#ifdef _WIN32
    write_file(root + "/alt/link.ini", alt);
    std::string linked = from;
    make_dir(fifo);
    std::string fifo_state = cannot_read("EISDIR", EISDIR);
#else
    std::string fifo_state = "cannot be read: it is not a regular file";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    int fed = open(fifo.c_str(), O_RDWR);
    ASSERT_GE(fed, 0);
    ASSERT_EQ(write(fed, "\xFF\xFE", 2), 2);
    ASSERT_EQ(symlink("x.ini", (root + "/alt/link.ini").c_str()), 0);
    std::string linked = std::string(from) + ", a link to " + root + "/alt/x.ini";
#endif
#ifdef _WIN32
    std::string marked =
        "found, UTF-8 with a byte order mark, which Windows does not read: a section header on the first "
        "line "
        "is not seen";
#else
    std::string marked = "found, UTF-8 with a byte order mark";
#endif
    struct Row {
        std::string ini;
        std::string first;     // the trace's first line
        const char* argument;  // what the assembler gets; null: nothing runs
        Env more;
        std::string log;  // the log written, if any
        const char* end = "run ends: no configuration";
    } rows[] = {
        {root + "/alt/x.ini",
         config_line(root + "/alt/x.ini", from, "found"),
         "alt",
         {"TOLVANE_LOG=env.log"},
         cwd + "env.log"},
        {"conf/x.ini", config_line(cwd + "conf/x.ini", from, "found"), "alt", {}, cwd + "conf/alt.log"},
        {edge, config_line(cwd + edge, from, "found"), "alt", {}, cwd + "alt.log"},
        {edge + "c",
         kVersion + ": configuration: none (TOLVANE_INI made absolute is longer than 259 characters)",
         nullptr,
         {"TOLVANE_LOG=none.log"},
         cwd + "none.log"},
        {"nothere.ini", config_line(cwd + "nothere.ini", from, "not found"), nullptr, {}, ""},
        {root + "/alt", config_line(root + "/alt", from, cannot_read("EISDIR", EISDIR)), nullptr, {}, ""},
        {root + "/alt/x.ini/y", config_line(root + "/alt/x.ini/y", from, "not found"), nullptr, {}, ""},
        {root + "/alt/wide.ini", config_line(root + "/alt/wide.ini", from, "found, UTF-16LE"), "alt", {}, ""},
        {root + "/alt/marked.ini", config_line(root + "/alt/marked.ini", from, marked), "alt", {}, ""},
        {bare, config_line(bare, from, kUnmarked), nullptr, {}, "", "run ends: no program for the assembler"},
        {"", config_line(beside(), "beside the executable", "found"), "beside", {}, ""},
        {root + "/alt/link.ini", config_line(root + "/alt/link.ini", linked.c_str(), "found"), "alt", {}, ""},
        {fifo, config_line(fifo, from, fifo_state), nullptr, {}, ""},
    };
    for (const Row& row : rows) {
        forget_runs();
        Env env = row.more;
        env.push_back("TOLVANE_TRACE=1");
        env.push_back("TOLVANE_INI=" + row.ini);
        ProcessResult r = run_src(env);
        Lines trace = trace_of(r);
        ASSERT_FALSE(trace.empty()) << row.ini;
        EXPECT_EQ(trace.front(), row.first);
        if (row.argument) {
            ASSERT_EQ(runs(asm_tool).size(), 1u) << row.ini;
            EXPECT_EQ(runs(asm_tool)[0].argv, (Args{asm_tool, row.argument})) << row.ini;
        } else {
            EXPECT_TRUE(runs(asm_tool).empty()) << row.ini;
            expect_in_order(trace, {row.first, row.end}, row.ini);
        }
        if (!row.log.empty()) {
            EXPECT_EQ(without_code_page(log_texts(row.log)), trace) << row.ini;
        }
    }
#ifndef _WIN32
    close(fed);
#endif
}

// A toolchain folder whose tolvane.ini names its tools by <CONFIG_DIR>
// runs from anywhere, and again once the folder is renamed; the token
// follows a file that TOLVANE_INI names, and a value too long once
// expanded stops its stage.
TEST_F(DiagTest, ToolchainFolderRunsWhereverItIsMoved) {
    std::string kit = root + "/asm kit", moved = root + "/moved kit",
                far = root + "/" + std::string(200, 'f');
    for (const std::string& dir : {kit, kit + "/tools", far}) make_dir(dir);
    ASSERT_TRUE(copy_executable(TOLVANE_EXE, kit + "/tolvane" + kExe) &&
                copy_executable(PROBE_EXE, kit + "/tools/asm" + kExe));
    write_file(kit + "/tolvane.ini",
               "[ASM]\nASSEMBLER=<CONFIG_DIR>/tools/asm\nASMLIST_01=-I\"<CONFIG_DIR>/inc\"\nASMLIST_02=@1\n");
    write_file(far + "/x.ini", "[ASM]\nASSEMBLER=<CONFIG_DIR>/" + std::string(60, 't') + "\n");
    for (const std::string& place : {kit, moved}) {
        ASSERT_TRUE(place == kit || std::rename(kit.c_str(), moved.c_str()) == 0);
        std::string exe = place + "/tolvane" + kExe;
        ProcessResult r = run_process(exe, {exe, "src.s"}, root + "/project", {"TOLVANE_TRACE=1"});
        expect_in_order(trace_of(r), {"assembler: ASSEMBLER=" + place + "/tools/asm"}, place);
        Args argv = runs(place + "/tools/asm" + kExe).at(place == kit ? 0 : 1).argv;
        for (std::string& word : argv) word = slashed(word);
        EXPECT_EQ(argv, (Args{place + "/tools/asm", "-I" + place + "/inc", "src.s"}));
    }
    std::string exe = moved + "/tolvane" + kExe;
    ProcessResult other =
        run_process(exe, {exe, "src.s"}, root + "/project",
                    {"TOLVANE_INI=" + far + "/x.ini", "TOLVANE_EXITCODE=1", "TOLVANE_TRACE=1"});
    EXPECT_EQ(other.status, kNotStarted);
    expect_in_order(
        trace_of(other),
        {"assembler: ASSEMBLER cannot be expanded: the result would be longer than 259 characters"},
        "too long");
}

// The dry run starts nothing and shows both stages on standard output, the
// same with and without the trace; with EXITCODE it fails when a stage
// could not run.
TEST_F(DiagTest, DryRunStartsNothingAndShowsEachStage) {
    make_dir(root + "/p1");
    make_dir(root + "/p2");
    std::string mytool = root + "/p2/mytool" + kExe;
    ASSERT_TRUE(copy_executable(PROBE_EXE, mytool));
    std::string missing = root + "/tools/missing";
    std::string assembler = "assembler: runs " + asm_tool + ", command line: " + asm_tool + " -o src.o src.s";
    std::string linker = "linker: runs " + lnk_tool + ", command line: " + lnk_tool + " src.o";
    std::string blocked =
        "linker: not run (the assembler would not run), command line: " + lnk_tool + " src.o";
    std::string asm_words = "assembler: " + kWords + " [" + asm_tool + "] [-o] [src.o] [src.s]";
    std::string lnk_words = "linker: " + kWords + " [" + lnk_tool + "] [src.o]";
    // With "@1" 258 characters, expanded 261.
    std::string too_long = "ASMLIST_03=" + std::string(256, 'x') + "@1\n";
    std::string program = "[RUN]\nPROGRAM=@1.exe\n", product = "program: " + kWords + " [src.exe]";
    Lines with_program = {assembler,
                          asm_words,
                          linker,
                          lnk_words,
                          "program: runs ./src.exe once the linker has written it, command line: src.exe",
                          product};
    Lines blocked_program = {assembler,
                             asm_words,
                             "linker: nolink not found (ENOENT), command line: nolink src.o",
                             "linker: " + kWords + " [nolink] [src.o]",
                             "program: not run (the linker would not run), command line: src.exe",
                             product};
    struct Case {
        const char* what;
        std::string asm_name, lnk_name, asm_more;
        Lines out;
        int status;  // with EXITCODE
    } cases[] = {
        {"both found", asm_tool, lnk_tool, "", {assembler, asm_words, linker, lnk_words}, 0},
        {"found along PATH",
         "mytool",
         lnk_tool,
         "",
         {"assembler: runs " + mytool + ", command line: mytool -o src.o src.s",
          "assembler: " + kWords + " [mytool] [-o] [src.o] [src.s]", linker, lnk_words},
         0},
        {"assembler not found",
         missing,
         lnk_tool,
         "",
         {"assembler: " + missing + " not found (ENOENT), command line: " + missing + " -o src.o src.s",
          "assembler: " + kWords + " [" + missing + "] [-o] [src.o] [src.s]", blocked, lnk_words},
         kNotStarted},
        {"linker not found",
         asm_tool,
         "nolink",
         "",
         {assembler, asm_words, "linker: nolink not found (ENOENT), command line: nolink src.o",
          "linker: " + kWords + " [nolink] [src.o]"},
         kNotStarted},
        {"no assembler",
         "",
         lnk_tool,
         "",
         {"assembler: not run: no ASSEMBLER in [ASM]", blocked, lnk_words},
         kNotStarted},
        {"no linker", asm_tool, "", "", {assembler, asm_words, "linker: not run: no LINKER in [LNK]"}, 0},
        {"assembler not found, no linker",
         missing,
         "",
         "",
         {"assembler: " + missing + " not found (ENOENT), command line: " + missing + " -o src.o src.s",
          "assembler: " + kWords + " [" + missing + "] [-o] [src.o] [src.s]",
          "linker: not run: no LINKER in [LNK]"},
         kNotStarted},
        {"entry too long",
         asm_tool,
         lnk_tool,
         too_long,
         {"assembler: not run: ASMLIST_03 cannot be expanded", blocked, lnk_words},
         kNotStarted},
        {"program", asm_tool, lnk_tool, program, with_program, 0},
        {"program, linker not found", asm_tool, "nolink", program, blocked_program, kNotStarted},
    };
    Env env = {"PATH=" + root + "/p1" + kPathSep + root + "/p2"};
    for (const Case& c : cases) {
        named("[DEBUG]\nDRYRUN=1\n", c.asm_name, c.lnk_name, c.asm_more);
        ProcessResult plain = run_src(env);
        Env more = env;
        more.push_back("TOLVANE_EXITCODE=1");
        ProcessResult coded = run_src(more);
        more.push_back("TOLVANE_TRACE=1");
        ProcessResult traced = run_src(more);

        EXPECT_EQ(slashed(plain.out), joined(c.out)) << c.what;
        EXPECT_EQ(coded.out, plain.out) << c.what;
        EXPECT_EQ(traced.out, plain.out) << c.what;
        EXPECT_EQ(plain.status, 0) << c.what;
        EXPECT_EQ(coded.status, c.status) << c.what;
        EXPECT_EQ(traced.status, c.status) << c.what;
        EXPECT_EQ(plain.err + coded.err, "") << c.what;
        Lines trace = trace_of(traced);
        ASSERT_FALSE(trace.empty()) << c.what;
        EXPECT_EQ(trace.back(), last_line(c.status, true)) << c.what;
        EXPECT_TRUE(runs(asm_tool).empty() && runs(lnk_tool).empty() && runs(mytool).empty()) << c.what;
        // The search says what it found, never that it starts it.
        bool found_line = false;
        for (const std::string& line : trace) {
            EXPECT_EQ(line.find("starting it"), std::string::npos) << c.what;
            found_line = found_line || (line.compare(0, 7, "trying ") == 0 && line.size() > 7 &&
                                        line.compare(line.size() - 7, 7, ": found") == 0);
        }
        EXPECT_EQ(found_line, joined(c.out).find(": runs ") != std::string::npos) << c.what;
    }

    named("[DEBUG]\nDRYRUN=1\n", asm_tool, lnk_tool, program);
    EXPECT_EQ(slashed(run_src({"TOLVANE_RUN=0"}).out),
              joined({assembler, asm_words, linker, lnk_words, "program: not run: TOLVANE_RUN=0"}));
    named("[DEBUG]\nDRYRUN=1\nVIEW=1\n", asm_tool, lnk_tool);
    EXPECT_EQ(slashed(run_src().out),
              joined({"0:" + driver, "1:src.s", assembler, asm_words, linker, lnk_words}));
    // Its trace names, before the stages, each argument that no entry of either names.
    // An entry too long once expanded names its argument all the same.
    config("ASMLIST_01=@1\nASMLIST_02=" + std::string(256, 'x') + "@4\n", "LNKLIST_01=-o @03.o\n",
           "[DEBUG]\nDRYRUN=1\n");
    Lines trace = trace_of(run({"src.s", "two.s", "zeta.s", "four.s"}, {"TOLVANE_TRACE=1"}));
    EXPECT_EQ(Lines(trace.begin() + 1, trace.begin() + 3),
              (Lines{"argument 2 (two.s): no entry names @2, so it is not built",
                     "assembler: ASSEMBLER=" + asm_tool}));
}

// Lines of the log: stamped with UTC and the process id, the trace's text,
// appended run after run, the same whether the trace is on or off.
TEST_F(DiagTest, LogLinesAreStampedAndSayWhatTheTraceSays) {
    config("ASMLIST_01=@1\n", "LNKLIST_01=@1.o\n", "[DEBUG]\nVIEW=1\nLOG=run.log\n");
    std::string before = utc_now();
    // A local time five hours ahead of UTC, which the stamps must not use.
    ProcessResult quiet = run_src({"TZ=XYZ-5"});
    ProcessResult traced = run_src({"TZ=XYZ-5", "TOLVANE_TRACE=1"});
    std::string after = utc_now();
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.out, traced.out);
    EXPECT_EQ(runs(lnk_tool).size(), 2u);

    Lines trace = raw_trace(traced);
    std::vector<LogLine> log = read_log(root + "/bin/run.log");
    std::size_t n = trace.size();
    ASSERT_GE(n, 2u);
    ASSERT_EQ(log.size(), 2 * n);
    for (std::size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(timeless(log[i].text), trace[i % n]) << i;
        EXPECT_EQ(log[i].pid, log[i < n ? 0 : n].pid) << i;
        EXPECT_LE(before, log[i].stamp.substr(0, 19)) << i;
        EXPECT_GE(after, log[i].stamp.substr(0, 19)) << i;
    }
    EXPECT_NE(log[0].pid, log[n].pid);
    Lines texts = without_code_page(trace);
    EXPECT_EQ(texts.front(), config_line(beside(), "beside the executable", "found"));
    EXPECT_EQ(texts.back(), last_line(0, false));
}

// A log that cannot be opened changes nothing but one line on it: on
// standard error, or in the trace when that is on.
TEST_F(DiagTest, LogThatCannotBeOpenedCostsNothing) {
    std::string long_log = root + "/" + std::string(259 - root.size(), 'l');
    std::string too_long = error_text("ENAMETOOLONG", ENAMETOOLONG);
    struct Case {
        std::string debug;  // more of [DEBUG]
        Env env;
        std::string line;  // on Windows the error's words are not compared for a directory
    } cases[] = {
        {"",
         {"TOLVANE_LOG=" + root + "/project"},
#ifdef _WIN32
         "log " + root + "/project: cannot be opened: "
#else
         "log " + root + "/project: cannot be opened: " + error_text("EISDIR", EISDIR)
#endif
        },
        {"LOG=missing/x.log\n",
         {},
         "log " + root + "/bin/missing/x.log: cannot be opened: " + error_text("ENOENT", ENOENT)},
        {"",
         {"TOLVANE_LOG=missing/y.log"},
         "log " + root + "/project/missing/y.log: cannot be opened: " + error_text("ENOENT", ENOENT)},
        {"LOG=" + std::string(250, 'q') + "\n",
         {},
         "log " + std::string(250, 'q') + ": cannot be opened: " + too_long},
        // Too long to be named whole: no log, rather than one cut to another name.
        {"",
         {"TOLVANE_LOG=" + long_log},
         "log " + long_log.substr(0, 256) + "...: cannot be opened: " + too_long},
        {"LOG=" + long_log + "\n",
         {},
         "log " + long_log.substr(0, 256) + "...: cannot be opened: " + too_long},
    };
    config("ASMLIST_01=@1\n", "LNKLIST_01=@1.o\n", "[DEBUG]\nVIEW=1\n");
    ProcessResult plain = run_src();
    for (const Case& c : cases) {
        config("ASMLIST_01=@1\n", "LNKLIST_01=@1.o\n", "[DEBUG]\nVIEW=1\n" + c.debug);
        forget_runs();
        Env env = c.env;
        env.push_back("TOLVANE_EXITCODE=1");
        ProcessResult quiet = run_src(env);
        env.push_back("TOLVANE_TRACE=1");
        ProcessResult traced = run_src(env);
        EXPECT_EQ(quiet.status, 0) << c.line;
        EXPECT_EQ(traced.status, 0) << c.line;
        EXPECT_EQ(quiet.out, plain.out) << c.line;
        EXPECT_EQ(traced.out, plain.out) << c.line;
        EXPECT_EQ(runs(lnk_tool).size(), 2u) << c.line;
        Lines said = raw_trace(quiet);
        Lines trace = trace_of(traced);
        ASSERT_EQ(said.size(), 1u) << quiet.err;
        ASSERT_GE(trace.size(), 2u) << c.line;
        EXPECT_EQ(std::count(trace.begin(), trace.end(), said[0]), 1) << traced.err;
#ifdef _WIN32
        EXPECT_EQ(trace[1].compare(0, c.line.size(), c.line), 0) << trace[1];
        EXPECT_EQ(said[0], trace[1]);
#else
        EXPECT_EQ(trace[1], c.line);
        EXPECT_EQ(said[0], c.line);
#endif
        EXPECT_EQ(trace.back(), last_line(0, true)) << c.line;
    }
}

// Drivers started at once, as make -j starts them, append to one log: each
// line whole, none lost, each driver's lines in the order of its trace.
TEST_F(DiagTest, DriversRunningAtOnceAppendWholeLines) {
    constexpr int kDrivers = 24;
    std::string keys;
    for (int k = 10; k < 40; ++k) keys += "STRAY_" + std::to_string(k) + "=x\n";
    ini("[DEBUG]\nDRYRUN=1\nLOG=shared.log\n" + keys + "[ASM]\nASSEMBLER=" + asm_tool +
        "\nASMLIST_01=@1\n[LNK]\nLINKER=" + lnk_tool + "\nLNKLIST_01=@1.o\n");

    ProcessResult alone = run_src({"TOLVANE_TRACE=1", "TOLVANE_LOG=" + root + "/alone.log"});
    Lines expected = raw_trace(alone);
    Lines known = without_code_page(expected);
    ASSERT_GE(known.size(), 32u);
    EXPECT_EQ(known[1], "STRAY_10 in [DEBUG] is not read: [DEBUG] holds VIEW, TRACE, DRYRUN and LOG");
    EXPECT_EQ(known.back(), last_line(0, false));
    EXPECT_EQ(log_texts(root + "/alone.log"), expected);

    std::vector<ProcessResult> results(kDrivers);
    std::atomic<int> waiting{kDrivers};
    std::vector<std::thread> threads;
    for (int i = 0; i < kDrivers; ++i) {
        threads.emplace_back([&, i] {
            --waiting;
            while (waiting.load() > 0) std::this_thread::yield();
            results[i] = run_src();
        });
    }
    for (std::thread& t : threads) t.join();
    for (const ProcessResult& r : results) {
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, alone.out);
        EXPECT_EQ(r.err, "");
    }

    // A process id can come back once its driver has ended, so a driver's
    // lines are a whole run's lines in order, as often as its id served.
    std::map<std::string, Lines> by_pid;
    std::vector<LogLine> log = read_log(root + "/bin/shared.log");
    EXPECT_EQ(log.size(), kDrivers * expected.size());
    for (const LogLine& line : log) by_pid[line.pid].push_back(timeless(line.text));
    std::size_t runs_seen = 0;
    for (const auto& entry : by_pid) {
        const Lines& lines = entry.second;
        EXPECT_EQ(lines.size() % expected.size(), 0u) << entry.first;
        for (std::size_t at = 0; at + expected.size() <= lines.size(); at += expected.size(), ++runs_seen)
            EXPECT_EQ(Lines(lines.begin() + at, lines.begin() + at + expected.size()), expected)
                << entry.first;
    }
    EXPECT_EQ(runs_seen, static_cast<std::size_t>(kDrivers));
    EXPECT_TRUE(runs(asm_tool).empty());
}

// Keys tolvane never reads, with a hint each: in the first section of each
// name of the four, sections in a fixed order, keys in file order, then each key of a later one once. Keys
// that are read, in other sections, in a second section of another name or
// before any header are not named.
TEST_F(DiagTest, TraceNamesKeysThatAreNotRead) {
    ini("TOP=1\n[ASM]\nASSEMBLER=" + asm_tool +
        "\nASMLIST_1=--64\nasmlist_21=x\nASMLIST_00=z\nLNKLIST_01=y\nLINKER=z\nStray=1\nLNKLIST_1=q\n"
        "ASMLIST_01=a\nASMLIST_05=" +
        std::string(300, 'x') + "\n[LNK]\nLINKER=" + lnk_tool + "\nlnklist_1=q\nASMLIST_02=w\nLNKLIST_20='" +
        std::string(300, 'y') +
        "'\n"
        "[DRIVER]\nVIEW=0\nEXITCODE=no\npause=0\n"
        "[DEBUG]\nTRACE=1\nexitcode=1\nLOGFILE=x\nview=0\nDryRun=0\nLOG=\n"
        "[DEBUG]\nSTRAY2=1\n[OTHER]\nStray=1\n[asm]\nASMLIST_04=-g\n[Asm]\nasmlist_04=-O\n"
        "[LINK]\nLINKER=x\nLNKLIST_01=y\nOTHER=1\n[ams]\nASSEMBLER=z\n[Lnk]\nLINKER=w\n[link]\nLINKER=v\n");
    ProcessResult r = run_src();
    const std::string asm_hint = "[ASM] holds ASSEMBLER and ASMLIST_01 to ASMLIST_20";
    EXPECT_EQ(trace_of(r),
              (Lines{config_line(beside(), "beside the executable", "found"),
                     "EXITCODE=no in [DRIVER] reads as 0",
                     "exitcode in [DEBUG] is not read: it belongs in [DRIVER]",
                     "LOGFILE in [DEBUG] is not read: [DEBUG] holds VIEW, TRACE, DRYRUN and LOG",
                     "STRAY2 in a later [DEBUG] is not read: only the first [DEBUG] counts",
                     "VIEW in [DRIVER] is not read: it belongs in [DEBUG]",
                     "ASMLIST_1 in [ASM] is not read: entry keys run from ASMLIST_01 to ASMLIST_20",
                     "asmlist_21 in [ASM] is not read: entry keys run from ASMLIST_01 to ASMLIST_20",
                     "ASMLIST_00 in [ASM] is not read: entry keys run from ASMLIST_01 to ASMLIST_20",
                     "LNKLIST_01 in [ASM] is not read: it belongs in [LNK]",
                     "LINKER in [ASM] is not read: it belongs in [LNK]",
                     "Stray in [ASM] is not read: " + asm_hint,
                     "LNKLIST_1 in [ASM] is not read: " + asm_hint,
                     "ASMLIST_04 in a later [ASM] is not read: only the first [ASM] counts",
                     "lnklist_1 in [LNK] is not read: entry keys run from LNKLIST_01 to LNKLIST_20",
                     "ASMLIST_02 in [LNK] is not read: it belongs in [ASM]",
                     "LINKER in a later [LNK] is not read: only the first [LNK] counts",
                     "LINKER in [LINK] is not read: it belongs in [LNK]",
                     "LNKLIST_01 in [LINK] is not read: it belongs in [LNK]",
                     "ASSEMBLER in [ams] is not read: it belongs in [ASM]",
                     "argument 1 (src.s): no entry names @1, so it is not built",
                     "assembler: ASSEMBLER=" + asm_tool,
                     "assembler: ASMLIST_05 is longer than 259 characters and was cut there",
                     "assembler: ASMLIST_05 is not passed: ASMLIST_02 is absent or empty",
                     "assembler: command line: " + asm_tool + " a",
                     "assembler: " + kWords + " [" + asm_tool + "] [a]",
                     "trying " + asm_tool + ": found, starting it",
                     "assembler: exit status 0 after T s",
                     "linker: LINKER=" + lnk_tool,
                     "linker: LNKLIST_20 is longer than 259 characters and was cut there",
                     "linker: LNKLIST_20 is not passed: LNKLIST_01 is absent or empty",
                     "linker: command line: " + lnk_tool,
                     "linker: " + kWords + " [" + lnk_tool + "]",
                     "trying " + lnk_tool + ": found, starting it",
                     "linker: exit status 0 after T s",
                     "run ends: done",
                     last_line(0, false)}));
}

// Placeholders left as written and entries behind a gap, named per stage;
// the tools get what the trace says.
TEST_F(DiagTest, TraceNamesPlaceholdersLeftAndEntriesNotPassed) {
    config(
        "ASMLIST_01=@1\nASMLIST_02=@2\nASMLIST_03=user@host\nASMLIST_04=@0\nASMLIST_05=\"\"\n"
        "ASMLIST_06=late\nASMLIST_20=last\n",
        "LNKLIST_01=\nLNKLIST_02=-o @1.out\nLNKLIST_03=x\n", "[DEBUG]\nTRACE=1\n");
    ProcessResult r = run_src();
    EXPECT_EQ(trace_of(r),
              (Lines{config_line(beside(), "beside the executable", "found"),
                     "assembler: ASSEMBLER=" + asm_tool,
                     "assembler: @2 in ASMLIST_02: there is no argument 2",
                     "assembler: @h in ASMLIST_03: not a placeholder, left as written",
                     "assembler: @0 in ASMLIST_04: not a placeholder, left as written",
                     "assembler: ASMLIST_06 is not passed: ASMLIST_05 is absent or empty",
                     "assembler: ASMLIST_20 is not passed: ASMLIST_05 is absent or empty",
                     "assembler: command line: " + asm_tool + " src.s @2 user@host @0",
                     "assembler: " + kWords + " [" + asm_tool + "] [src.s] [@2] [user@host] [@0]",
                     "trying " + asm_tool + ": found, starting it",
                     "assembler: exit status 0 after T s",
                     "linker: LINKER=" + lnk_tool,
                     "linker: LNKLIST_02 is not passed: LNKLIST_01 is absent or empty",
                     "linker: LNKLIST_03 is not passed: LNKLIST_01 is absent or empty",
                     "linker: command line: " + lnk_tool,
                     "linker: " + kWords + " [" + lnk_tool + "]",
                     "trying " + lnk_tool + ": found, starting it",
                     "linker: exit status 0 after T s",
                     "run ends: done",
                     last_line(0, false)}));
    ASSERT_EQ(runs(asm_tool).size(), 1u);
    EXPECT_EQ(runs(asm_tool)[0].argv, (Args{asm_tool, "src.s", "@2", "user@host", "@0"}));
    ASSERT_EQ(runs(lnk_tool).size(), 1u);
    EXPECT_EQ(runs(lnk_tool)[0].argv, (Args{lnk_tool}));
}

// A switch value that is not wholly a number is named with what it reads
// as, and a value cut, only where it decides; whole numbers are not named.
TEST_F(DiagTest, TraceNamesSwitchValuesThatAreNotNumbers) {
    std::string log259 = root + "/" + std::string(258 - root.size(), 'l');
    struct Case {
        std::string head;
        Env env;
        const char* line;      // null: none
        std::size_t more = 0;  // lines behind it that name a value
    } cases[] = {
        {"[DEBUG]\nTRACE=1\n[DRIVER]\nEXITCODE=yes\n", {}, "EXITCODE=yes in [DRIVER] reads as 0"},
        {"[DEBUG]\nTRACE=1\nVIEW=\"2x\"\n", {}, "VIEW=2x in [DEBUG] reads as 2"},
        {"[DEBUG]\nTRACE=1x\n", {}, "TRACE=1x in [DEBUG] reads as 1"},
        {"[DRIVER]\nEXITCODE=yes\n",
         {"TOLVANE_TRACE=1", "TOLVANE_EXITCODE=on"},
         "TOLVANE_EXITCODE=on reads as 0"},
        {"[DEBUG]\nDRYRUN=2x\n", {"TOLVANE_TRACE=2x", "TOLVANE_DRYRUN=0"}, "TOLVANE_TRACE=2x reads as 2"},
        {"[DEBUG]\nTRACE=1\nVIEW=0x10\n[DRIVER]\nEXITCODE=-1\n", {"TOLVANE_DRYRUN=0"}, nullptr},
        {"[DEBUG]\nTRACE=1\n[DRIVER]\nPAUSE=0\n", {"TOLVANE_PAUSE=2x"}, "TOLVANE_PAUSE=2x reads as 2"},
        {"[DEBUG]\nTRACE=1\nVIEW=2" + std::string(300, 'x'),
         {},
         "VIEW in [DEBUG] is longer than 259 characters and was cut there",
         1},
        {"[DEBUG]\nTRACE=1\nLOG=" + std::string(300, 'l'), {"TOLVANE_LOG=" + log259}, nullptr},
    };
    for (const Case& c : cases) {
        config("", "", c.head);
        Lines trace = trace_of(run_src(c.env));
        ASSERT_GE(trace.size(), 2u) << c.head;
        std::size_t named = 0;
        for (const std::string& line : trace)
            named +=
                line.find(" reads as ") != std::string::npos || line.find(" cut there") != std::string::npos;
        EXPECT_EQ(named, (c.line ? 1u : 0u) + c.more) << c.head;
        if (c.line) {
            EXPECT_EQ(trace[1], c.line);
        }
    }
    // 259 characters name a log whole.
    EXPECT_NE(read_file(log259).find("run ends: "), std::string::npos);
}

// How a stage ended, in words and with the status the caller sees; and
// without the trace, the one line on standard error where no tool said
// why.
TEST_F(DiagTest, TraceTellsHowAStageEnded) {
    std::string too_long = error_text("ENAMETOOLONG", ENAMETOOLONG);
    std::string look = "; TOLVANE_TRACE=1 shows where it was looked for";
    std::string dll = "0xC0000135 (a DLL it needs was not found)";
#ifndef _WIN32
    std::string script = root + "/tools/script";
    write_file(root + "/script", "#!/nonexistent/interp\n");
    ASSERT_TRUE(copy_executable(root + "/script", script));
    // The probe with the name of its program loader spoilt.
    std::string elf = read_file(PROBE_EXE);
    std::size_t loader = elf.find("/ld-linux");
    ASSERT_NE(loader, std::string::npos);
    elf[elf.find('\0', loader) - 1] = '9';
    std::string no_loader = root + "/tools/noloader";
    write_file(root + "/noloader", elf);
    ASSERT_TRUE(copy_executable(root + "/noloader", no_loader));
#endif
    struct Case {
        const char* what;
        std::string asm_name, asm_more, argument;
        const char* asm_status;
        int status;
        std::size_t asm_runs;
        Lines lines;  // the last one ends the trace
        std::string said;
        std::string lnk_more = "";
    } cases[] = {
        {"linker refused after the assembler ran",
         asm_tool,
         "",
         "src.s",
         "0",
         kNotStarted,
         1,
         {"linker: LNKLIST_02 cannot be expanded: the result would be longer than 259 characters",
          "linker: not started: " + too_long, last_line(kNotStarted, true)},
         "linker: not run: LNKLIST_02 cannot be expanded: the result would be longer than 259 characters",
         "LNKLIST_02=" + std::string(256, 'r') + "@1\n"},
        {"argument too long",
         asm_tool,
         "",
         std::string(260, 'a') + ".s",
         "0",
         kNotStarted,
         0,
         {"assembler: ASMLIST_01 cannot be expanded: argument 1 is longer than 259 characters",
          "assembler: not started: " + too_long, last_line(kNotStarted, true)},
         "assembler: not run: ASMLIST_01 cannot be expanded: the result would be longer than 259 characters"},
        {"result too long",
         asm_tool,
         "ASMLIST_03=" + std::string(256, 'r') + "@1\n",
         "src.s",
         "0",
         kNotStarted,
         0,
         {"assembler: ASMLIST_03 cannot be expanded: the result would be longer than 259 characters",
          "assembler: not started: " + too_long, last_line(kNotStarted, true)},
         "assembler: not run: ASMLIST_03 cannot be expanded: the result would be longer than 259 characters"},
        {"tool not found",
         root + "/tools/missing",
         "",
         "src.s",
         "0",
         kNotStarted,
         0,
         {"assembler: not started: " + error_text("ENOENT", ENOENT), last_line(kNotStarted, true)},
         "assembler: " + root + "/tools/missing was not found" + look},
        {"tool fails", asm_tool, "", "src.s", "7", 7, 1, {last_line(7, true)}, ""},
#ifdef _WIN32
        {"ended by an exception",
         asm_tool,
         "",
         "src.s",
         "-1073741515",
         -1073741515,
         1,
         {"assembler: exit status " + dll + " after T s",
          "run ends: the assembler was ended by exception " + dll, "exit status " + dll + ", T s in all"},
         "assembler: " + asm_tool + " was ended by exception " + dll},
        {"tool exits with -1",
         asm_tool,
         "",
         "src.s",
         "-1",
         -1,
         1,
         {"assembler: exit status -1 after T s", "run ends: the assembler failed (status -1)",
          "exit status -1, T s in all"},
         ""},
#else
        {"tool exits with 255",
         asm_tool,
         "",
         "src.s",
         "255",
         255,
         1,
         {"assembler: exit status 255 after T s", "exit status 255, T s in all"},
         ""},
        {"killed",
         asm_tool,
         "",
         "src.s",
         "signal 15",
         143,
         1,
         {"assembler: killed by SIGTERM (status 143) after T s",
          "run ends: the assembler failed (status 143)", "exit status 143, T s in all"},
         "assembler: " + asm_tool + " was killed by SIGTERM"},
        {"interpreter missing",
         script,
         "",
         "src.s",
         "0",
         255,
         0,
         {"trying " + script + ": found, starting it",
          "trying " + script + ": could not be started: its interpreter is missing (ENOEXEC)",
          "assembler: not started: " + error_text("ENOEXEC", ENOEXEC), last_line(255, true)},
         "assembler: " + script + " could not be started: its interpreter is missing (ENOEXEC)" + look},
        {"loader missing",
         no_loader,
         "",
         "src.s",
         "0",
         255,
         0,
         {"trying " + no_loader + ": found, starting it",
          "trying " + no_loader + ": could not be started: its program loader is missing (ENOEXEC)",
          "assembler: not started: " + error_text("ENOEXEC", ENOEXEC), last_line(255, true)},
         "assembler: " + no_loader + " could not be started: its program loader is missing (ENOEXEC)" + look},
#endif
    };
    for (const Case& c : cases) {
        tool_status(asm_tool, c.asm_status);
        named("", c.asm_name, lnk_tool, c.asm_more, c.lnk_more);
        forget_runs();
        ProcessResult r = run({c.argument}, {"TOLVANE_TRACE=1", "TOLVANE_EXITCODE=1"});
        EXPECT_EQ(r.status, c.status) << c.what;
        Lines trace = trace_of(r);
        expect_in_order(trace, c.lines, c.what);
        ASSERT_FALSE(trace.empty()) << c.what;
        EXPECT_EQ(trace.back(), c.lines.back()) << c.what;
        EXPECT_EQ(runs(asm_tool).size(), c.asm_runs) << c.what;
        EXPECT_TRUE(runs(lnk_tool).empty()) << c.what;
        ProcessResult quiet = run({c.argument}, {"TOLVANE_EXITCODE=1"});
        EXPECT_EQ(quiet.status, c.status) << c.what;
        EXPECT_EQ(quiet.out, r.out) << c.what;
        EXPECT_EQ(raw_trace(quiet), c.said.empty() ? Lines() : Lines{c.said}) << c.what;
        // A pause that does not happen (no console of its own) asks for nothing.
        EXPECT_EQ(run({c.argument}, {"TOLVANE_PAUSE=1"}).err, "") << c.what;
    }
}

// With EXITCODE on and the trace off, each mistake that the trace names
// is a warning on standard error in the trace's words, at most five and a
// line for the rest, the linker's too where it never runs; the tools run
// as without them. None by default, nor without a pause that happens.
TEST_F(DiagTest, WarningsNameTheMistakesWhereTheUserAsked) {
    std::string a = "[ASM]\nASSEMBLER=" + asm_tool + "\nASMLIST_01=@1\n",
                l = "[LNK]\nLINKER=" + lnk_tool + "\n";
    std::string k = " in [ASM] is not read: [ASM] holds ASSEMBLER and ASMLIST_01 to ASMLIST_20",
                w = "warning: ";
    std::string g = " is absent or empty", u = ", so it is not built", K5 = "K1=1\nK2=1\nK3=1\nK4=1\nK5=1\n";
    std::string alike =
        " is not read: tolvane reads [ASM], and [ASM.EXT] for the sources of the extension .EXT";
    Lines five = {w + "K1" + k, w + "K2" + k, w + "K3" + k, w + "K4" + k, w + "K5" + k}, six = five;
    six.push_back(w + "1 more warning; TOLVANE_TRACE=1 shows them all");
    Lines utf16 = {w + "configuration " + beside() + " (beside the executable): " + kUnmarked,
                   "assembler: no ASSEMBLER in [ASM] of " + beside()};
    // A POSIX file name may hold quotes.
    Lines quoted = {
        w + "linker: LINKER holds double quotes, which no file name holds: write the path without them, " +
        "since tolvane puts a program name with a blank in quotes itself"};
    if (kExe[0] == '\0') quoted.clear();
    std::string twenty = a;  // twenty entries name @1 before the linker's @2
    for (int i = 2; i <= 20; ++i)
        twenty += "ASMLIST_" + std::to_string(i / 10) + std::to_string(i % 10) + "=@1\n";
    struct Row {
        std::string ini;  // empty: UTF-16 without its mark
        Args args;
        Lines said;  // on standard error
        const char* asm_status = "0";
    } rows[] = {
        {a + "ASMLIST_03=-g\n" + l, {"s"}, {w + "assembler: ASMLIST_03 is not passed: ASMLIST_02" + g}},
        {a + l + "LNKLIST_02=-g\n", {"s"}, {w + "linker: LNKLIST_02 is not passed: LNKLIST_01" + g}, "3"},
        {"[LINK]\nLINKER=x\n" + a + l, {"s"}, {w + "LINKER in [LINK] is not read: it belongs in [LNK]"}},
        {"[RUNS]\nPROGRAM=x\n" + a + l,
         {"s"},
         {w +
          "[RUNS] is not read: tolvane reads [RUN], and [RUN.EXT] for the sources of the extension .EXT"}},
        {a + l + "[RUN]\nRUNLIST_2=x\n",
         {"s"},
         {w + "RUNLIST_2 in [RUN] is not read: entry keys run from RUNLIST_01 to RUNLIST_20"}},
        {a + l + "[RUN]\nPROGRAM=x\nRUNLIST_20=-g\n",
         {"s"},
         {w + "program: RUNLIST_20 is not passed: RUNLIST_01" + g},
         "3"},
        {a + l + "[RUN]\nPROGRAM=x\nRUNLIST_01=-g\n", {"s"}, {}, "3"},
        {"", {"s"}, utf16},
        {a + l, {"a", "b"}, {w + "argument 2 (b): no entry names @2" + u}},
        {"[ASM]\nASSEMBLER=" + asm_tool + "\nASMLIST_01=-v\n", {"a", "b"}, {}},
        {a + "ASMLIST_02=@3\n" + l, {"a", "b", "c", "d"}, {w + "argument 4 (d): no entry names @4" + u}},
        {twenty + l + "LNKLIST_01=@2\n", {"a", "b"}, {}},
        {a + "ASMLIST_02=@2" + std::string(257, 'x') + "\n" + l, {"a", "b"}, {}},  // 259 characters
        {a + "[LNK]\nLINKER='\"" + lnk_tool + "\"'\n", {"s"}, quoted, "3"},
        {a + K5 + l, {"s"}, five},
        {a + K5 + "K6=1\n" + l, {"s"}, six},
        {a + l +
             "[DEBUG.c]\nTRACE=1\n[ASM .c]\nASSEMBLER=x\n[ASM:c]\n[asm "
             ".C]\n[ASM.c]\nASMLIST_01=@1\n[asm.C]\nASSEMBLER=x\n"
             "[LNK.s]\nASMLIST_01=x\n[ASM.]\n[ASMc]\n",
         {"s"},
         {w + "TRACE in [DEBUG.c] is not read: it belongs in [DEBUG]", w + "[ASM .c]" + alike,
          w + "[ASM:c]" + alike,
          w + "ASSEMBLER in a later [ASM.c] is not read: only the first [ASM.c] counts",
          w + "ASMLIST_01 in [LNK.s] is not read: it belongs in [ASM.s]",
          w + "2 more warnings; TOLVANE_TRACE=1 shows them all"}},
        // An argument not given, in front of the first gap of a stage that runs.
        {a + "ASMLIST_02=@2\n" + l, {"s"}, {w + "assembler: @2 in ASMLIST_02: there is no argument 2"}},
        {a + "ASMLIST_02=@2\n" + l, {"a", "b"}, {}},
        {a + "ASMLIST_03=@2\n" + l, {"s"}, {w + "assembler: ASMLIST_03 is not passed: ASMLIST_02" + g}},
        {a + "[LNK]\nLNKLIST_02=@2\n", {"s"}, {}},
        {a + "ASMLIST_03=-a\nASMLIST_05=-b\n" + l,
         {"s"},
         {w + "assembler: ASMLIST_03 is not passed: ASMLIST_02" + g,
          w + "assembler: ASMLIST_05 is not passed: ASMLIST_02" + g}},
        {a + l + "LNKLIST_02=@2\n", {"a", "b"}, {w + "linker: LNKLIST_02 is not passed: LNKLIST_01" + g}},
        {a + l + "LNKLIST_01=@2", {"a", "b"}, {}},  // no line end behind the last value
    };
    for (const Row& row : rows) {
        ini(row.ini.empty() ? utf16_file(std::u16string(a.begin(), a.end())).substr(2) : row.ini);
        tool_status(asm_tool, row.asm_status);
        forget_runs();
        ProcessResult plain = run(row.args);
        std::string handed = read_file(asm_tool + ".log") + read_file(lnk_tool + ".log");
        forget_runs();
        EXPECT_EQ(raw_trace(run(row.args, {"TOLVANE_EXITCODE=1"})), row.said) << row.ini;
        EXPECT_EQ(read_file(asm_tool + ".log") + read_file(lnk_tool + ".log"), handed) << row.ini;
        EXPECT_EQ(plain.err + run(row.args, {"TOLVANE_PAUSE=1"}).err, "") << row.ini;
        // The trace says each warning once, where it reaches the stage.
        std::string trace = slashed(run(row.args, {"TOLVANE_EXITCODE=1", "TOLVANE_TRACE=1"}).err);
        for (std::size_t i = 0; i < row.said.size() && i < 5 && row.asm_status[0] == '0'; ++i) {
            std::size_t at = trace.find(row.said[i].substr(w.size()));
            EXPECT_TRUE(row.said[i].find(w) != 0 ||
                        (at != std::string::npos && at == trace.rfind(row.said[i].substr(w.size()))))
                << row.said[i];
        }
    }
#ifndef _WIN32
    // The linker's keys come from the file as the assembler left it.
    std::string rewrites = root + "/tools/rewrites";
    write_file(root + "/tools/new.ini", "[LNK]\nLINKER=" + lnk_tool + "\n");
    write_file(root + "/rewrites", "#!/bin/sh\ncp '" + root + "/tools/new.ini' '" + beside() + "'\n");
    ASSERT_TRUE(copy_executable(root + "/rewrites", rewrites));
    ini("[ASM]\nASSEMBLER=" + rewrites + "\n[LNK]\nLINKER=" + root + "/tools/old\n");
    forget_runs();
    EXPECT_EQ(run({"s"}, {"TOLVANE_EXITCODE=1"}).status, 0);
    EXPECT_EQ(runs(lnk_tool).size(), 1u);
#endif
}

#ifndef _WIN32
// Standard error on a terminal hears what EXITCODE makes the driver say,
// with the exit status as the switches say; to a file it hears nothing.
TEST_F(DiagTest, APersonAtATerminalHearsWhatAScriptDoesNot) {
    std::string hint =
        "tolvane runs an assembler, then a linker, on a source file, as its configuration says; tolvane "
        "--help tells more\n";
    std::string w = "tolvane: warning: ", a = "[ASM]\nASSEMBLER=" + asm_tool + "\nASMLIST_01=@1\n";
    struct Row {
        std::string ini;  // empty: none
        Args args;
        Env env;
        std::string said;  // on the terminal
        std::size_t runs = 0;
        bool link = false;  // the configuration a link to ROOT/etc.ini
    } rows[] = {
        {a, {}, {}, hint},
        {a, {}, {"TOLVANE_DRYRUN=1"}, ""},
        {"", {"s"}, {}, "tolvane: no configuration: " + beside() + " (beside the executable) not found\n"},
        {a + "ASMLIST_2=-g\n",
         {"s"},
         {},
         w + "ASMLIST_2 in [ASM] is not read: entry keys run from ASMLIST_01 to ASMLIST_20\n",
         1},
        {a + "[DRIVER]\nEXITCOD=1\n",
         {"s"},
         {},
         w + "EXITCOD in [DRIVER] is not read: [DRIVER] holds EXITCODE and PAUSE\n",
         1},
        {"[ASM]\nASSEMBLER=nothere\n",
         {"s"},
         {},
         "tolvane: assembler: nothere was not found; TOLVANE_TRACE=1 shows where it was looked for\n"},
        {a, {"s"}, {}, "", 1},
        {"[ASM]\n",
         {"s"},
         {},
         "tolvane: assembler: no ASSEMBLER in [ASM] of " + beside() + " (a link to " + root + "/etc.ini)\n",
         0,
         true},
        {"",
         {"s"},
         {},
         "tolvane: no configuration: " + beside() + " (beside the executable, a link to " + root +
             "/etc.ini) not found\n",
         0,
         true},
    };
    for (const Row& row : rows) {
        remove_tree(beside());
        remove_tree(root + "/etc.ini");
        if (!row.ini.empty()) write_file(row.link ? root + "/etc.ini" : beside(), row.ini);
        if (row.link) {
            ASSERT_EQ(symlink((root + "/etc.ini").c_str(), beside().c_str()), 0);
        }
        Args args = row.args;
        args.insert(args.begin(), driver);
        forget_runs();
        ProcessResult filed = run_process(driver, args, root + "/project", row.env);
        ProcessResult heard = run_process_on_terminal(driver, args, root + "/project", row.env);
        EXPECT_EQ(heard.err, row.said) << row.ini;
        EXPECT_EQ(filed.err + std::to_string(filed.status) + std::to_string(heard.status), "00") << row.ini;
        EXPECT_EQ(runs(asm_tool).size(), 2 * row.runs) << row.ini;
    }
}
#endif

// --help and --version (and /? on Windows) alone answer on standard output
// with status 0, start nothing and need no configuration, whatever the
// switches say; beside another argument they are sources.
TEST_F(DiagTest, HelpAndVersionAloneAnswerOnStandardOutput) {
#ifdef TOLVANE_UTF8
    std::string build = "Windows UTF-8 build, UTF-8 \\(code page 65001\\)";
#else
    std::string build = kExe[0] != '\0' ? "Windows build, ANSI code page [0-9]+" : "Linux build";
#endif
    std::string manual = kExe[0] != '\0' ? "tolvane.html beside tolvane.exe" : "man tolvane";
    struct Row {
        Args args;
        bool configured;
        char answer;  // 'v' the version, 'h' the help, 0: the arguments are built
    } rows[] = {{{"--version"}, false, 'v'},        {{"--help"}, true, 'h'},
                {{"--help"}, false, 'h'},           {{"/?"}, true, std::string(kExe).empty() ? '\0' : 'h'},
                {{"--version", "x.s"}, true, '\0'}, {{"--helpx"}, true, '\0'}};
    // Named only where no configuration is found.
    write_file(root + "/project/tolvane.ini", "[ASM]\n");
    for (const Row& row : rows) {
        remove_tree(beside());
        if (row.configured) config("ASMLIST_01=@1\nASMLIST_02=@2\n", "");
        forget_runs();
        ProcessResult r = run(row.args, {"TOLVANE_EXITCODE=1", "TOLVANE_VIEW=1"});
        std::string out = slashed(r.out), state = row.configured ? "found" : "not found";
        Args handed = row.args;
        handed.insert(handed.begin(), asm_tool);
        if (handed.size() == 2) handed.push_back("@2");
        std::string warned =
            row.answer == 0 && handed.back() == "@2"
                ? "tolvane: warning: assembler: @2 in ASMLIST_02: there is no argument 2" + std::string(kEol)
                : "";
        EXPECT_EQ(r.err + std::to_string(r.status), warned + "0") << row.args[0];
        EXPECT_EQ(runs(asm_tool).size(), row.answer ? 0u : 1u) << row.args[0];
        for (const ProbeRun& tool : runs(asm_tool)) EXPECT_EQ(tool.argv, handed);
        EXPECT_TRUE(row.answer != 'v' || std::regex_match(out, std::regex(kVersion + ", " + build + kEol)))
            << out;
        if (row.answer != 'h') continue;
        std::string config =
            config_line(beside(), "beside the executable", state).substr(kVersion.size() + 2);
        EXPECT_NE(out.find(config + (row.configured ? kEol : "; ")), std::string::npos) << out;
        EXPECT_EQ(out.substr(out.size() - manual.size() - std::strlen(kEol)), manual + kEol) << out;
        std::string usage = kExe[0] != '\0' ? "tolvane --help, /?" : "tolvane --help    ";
        std::string source = kExe[0] != '\0' ? "is built as .\\--help." : "is built as ./--help.";
        EXPECT_NE(r.out.find("       " + usage + "  this text"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(source), std::string::npos) << r.out;
    }
}

}  // namespace
