// Bad input end to end on POSIX: whatever the configuration file, the
// driver's arguments, PATH, the tools and the process's surroundings hold,
// the driver exits 0, writes nothing of its own and starts only the
// programs the configuration names. Under the sanitizer build the same
// cases also show that no sanitizer reports anything.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "e2e_support.h"

extern char** environ;

namespace {

using Args = std::vector<std::string>;
using namespace std::string_literals;

// Deterministic bytes of every value, NUL included.
std::string garbage(std::size_t size, std::uint32_t seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        c = static_cast<char>(seed >> 24);
    }
    return bytes;
}

// How a run's standard output or error is connected.
enum class Stream { file, closed, broken_pipe, full_device };

struct Surroundings {
    Stream out = Stream::file;
    Stream err = Stream::file;
    bool cwd_removed = false;  // the current directory is removed before the start
    std::vector<std::string> env;
};

// Connects descriptor `fd` of the child as `how` says.
void connect(int fd, Stream how, const std::string& file) {
    if (how == Stream::closed) {
        close(fd);
    } else if (how == Stream::full_device) {
        int f = open("/dev/full", O_WRONLY);
        if (f < 0) _exit(120);
        dup2(f, fd);
        close(f);
    } else if (how == Stream::broken_pipe) {
        int ends[2];
        if (pipe(ends) != 0) _exit(120);
        close(ends[0]);
        dup2(ends[1], fd);
        close(ends[1]);
    } else {
        int f = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (f < 0) _exit(120);
        dup2(f, fd);
        close(f);
    }
}

// Starts `args[0]` in `cwd` with its streams connected as `how` says.
ProcessResult run_in(const Args& args, const std::string& cwd, const Surroundings& how) {
    std::string out_file = cwd + ".out", err_file = cwd + ".err";
    std::vector<std::string> environment(how.env);
    for (char** e = environ; *e != nullptr; ++e) environment.push_back(*e);
    std::vector<char*> envp, argv;
    std::vector<std::string> arg_copy = args;
    for (std::string& e : environment) envp.push_back(&e[0]);
    for (std::string& a : arg_copy) argv.push_back(&a[0]);
    envp.push_back(nullptr);
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        if (in < 0 || chdir(cwd.c_str()) != 0) _exit(121);
        if (how.cwd_removed && rmdir(cwd.c_str()) != 0) _exit(121);
        dup2(in, 0);
        connect(1, how.out, out_file);
        connect(2, how.err, err_file);
        execve(argv[0], argv.data(), envp.data());
        _exit(122);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ProcessResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = read_file(out_file);
    result.err = read_file(err_file);
    return result;
}

class BadInputTest : public DriverTest {
protected:
    void expect_silent(const ProcessResult& r, const std::string& what) {
        EXPECT_EQ(r.status, 0) << what;
        EXPECT_EQ(r.out, "") << what;
        EXPECT_EQ(r.err, "") << what;
    }

    // The argv of every run of `tool`, in order.
    static std::vector<Args> argvs(const std::string& tool) {
        std::vector<Args> result;
        for (const ProbeRun& r : runs(tool)) result.push_back(r.argv);
        return result;
    }

    void forget_runs() {
        remove_tree(asm_tool + ".log");
        remove_tree(lnk_tool + ".log");
    }

    std::string ini_path() const { return root + "/bin/tolvane.ini"; }
    std::string valid_config() const {
        return "[ASM]\nASSEMBLER=" + asm_tool + "\nASMLIST_01=a\n[LNK]\nLINKER=" + lnk_tool + "\n";
    }

    // A directory under the root whose path is exactly `length` characters.
    std::string dir_of_length(std::size_t length) {
        std::string path = root + "/p";
        make_dir(path);
        while (path.size() < length) {
            std::size_t rest = length - path.size();
            path += "/" + std::string(rest > 201 ? 150 : rest - 1, 'd');
            make_dir(path);
        }
        return path;
    }

    std::string probe_in(const std::string& dir, const std::string& name) {
        make_dir(dir);
        std::string path = dir + "/" + name;
        EXPECT_TRUE(copy_executable(PROBE_EXE, path));
        return path;
    }
};

TEST_F(BadInputTest, ConfigurationFileContents) {
    const std::string valid = valid_config();
    std::string big = "[PAD]\n";
    while (big.size() < 4 * 1024 * 1024)
        big += "KEY_" + std::to_string(big.size()) + "=" + std::string(60, 'v') + "\n";
    struct Case {
        std::string name;
        std::string text;
        std::vector<Args> asm_runs;
        std::size_t lnk_runs;
    } cases[] = {
        {"binary garbage", garbage(64 * 1024, 1), {}, 0},
        {"garbage around a configuration",
         garbage(20000, 2) + "\n" + valid + garbage(20000, 3),
         {{asm_tool, "a"}},
         1},
        {"NUL bytes end names and values",
         "[ASM]\nASSEMBLER=" + asm_tool + "\0junk\nASMLIST_01=a\0b c\nASMLIST\0_02=x\n[LNK\0junk]\nLINKER="s +
             lnk_tool + "\n",
         {{asm_tool, "a"}},
         1},
        {"several megabytes", big + valid, {{asm_tool, "a"}}, 1},
        {"a 100,000-character value",
         "[ASM]\nASSEMBLER=" + asm_tool + "\nASMLIST_01=" + std::string(100000, 'v') + "\nASMLIST_02=b\n",
         {{asm_tool, std::string(259, 'v'), "b"}},
         0},
        {"a 100,000-character section name and line",
         "[" + std::string(100000, 'S') + "]\n" + std::string(100000, 'x') + "\n" + valid,
         {{asm_tool, "a"}},
         1},
        {"a 100,000-character program path", "[ASM]\nASSEMBLER=" + std::string(100000, '/') + "\n", {}, 0},
        {"only line ends and blanks", std::string(5000, '\r') + std::string(5000, ' ') + "\n\t\v\f", {}, 0},
        {"empty file", "", {}, 0},
    };
    for (const Case& c : cases) {
        forget_runs();
        ini(c.text);
        expect_silent(run({"src.s"}), c.name);
        EXPECT_EQ(argvs(asm_tool), c.asm_runs) << c.name;
        EXPECT_EQ(runs(lnk_tool).size(), c.lnk_runs) << c.name;
    }
}

TEST_F(BadInputTest, ConfigurationThatIsNoReadableFile) {
    const std::string valid = root + "/valid.ini";
    write_file(valid, valid_config());
    struct Case {
        std::string name;
        std::function<void(const std::string&)> make;
    } cases[] = {
        {"a directory", [](const std::string& p) { make_dir(p); }},
        {"a dangling symbolic link",
         [&](const std::string& p) { ASSERT_EQ(symlink((root + "/none").c_str(), p.c_str()), 0); }},
        {"a symbolic link to itself",
         [](const std::string& p) { ASSERT_EQ(symlink(p.c_str(), p.c_str()), 0); }},
        {"a FIFO without writer", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }},
        {"an endless device", [](const std::string& p) { ASSERT_EQ(symlink("/dev/zero", p.c_str()), 0); }},
    };
    for (const Case& c : cases) {
        forget_runs();
        remove_tree(ini_path());
        c.make(ini_path());
        expect_silent(run({"src.s"}), c.name);
        EXPECT_TRUE(runs(asm_tool).empty()) << c.name;
    }

    // Without read permission the file counts as absent; a user who may
    // read it anyway (root) gets it read.
    remove_tree(ini_path());
    write_file(ini_path(), valid_config());
    chmod(ini_path().c_str(), 0);
    forget_runs();
    expect_silent(run({"src.s"}), "unreadable");
    EXPECT_EQ(runs(asm_tool).size(), access(ini_path().c_str(), R_OK) == 0 ? 1u : 0u);
}

TEST_F(BadInputTest, HugeArgumentStartsNothing) {
    config("ASMLIST_01=@1\nASMLIST_02=-o @1.o\n", "LNKLIST_01=@1.\n");
    std::string huge = std::string(10000, 'a') + ".s";
    expect_silent(run({huge}), "10,000 characters");
    EXPECT_EQ(argvs(asm_tool), (std::vector<Args>{}));
    EXPECT_EQ(argvs(lnk_tool), (std::vector<Args>{}));
}

TEST_F(BadInputTest, ArgumentBytesReachTheToolUnchanged) {
    config("ASMLIST_01=@1\nASMLIST_02=@2.o\n", "");
    // Line ends aside: the probe's log holds one argument a line.
    std::string odd = "a\x01\x7f\xff\xfe\x1b%s%n";
    std::string stem = std::string("d\xe9j\xe0/\x81\\") + "x";
    expect_silent(run({odd, stem + ".s"}), "odd bytes");
    EXPECT_EQ(argvs(asm_tool), (std::vector<Args>{{asm_tool, odd, stem + ".o"}}));
}

TEST_F(BadInputTest, ThousandArgumentsListedWholeAndFirst) {
    config("", "", "[DEBUG]\nVIEW=1\n");
    Args args;
    std::string listing = "0:" + driver + "\n";
    for (int i = 1; i <= 1000; ++i) {
        args.push_back("argument-" + std::to_string(i));
        listing += std::to_string(i) + ":" + args.back() + "\n";
    }
    ASSERT_GT(listing.size(), 4096u);
    ProcessResult r = run(args, {"TOLVANE_PROBE_SAY=tool output"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, listing + "tool output\ntool output\n");
    EXPECT_EQ(runs(asm_tool).at(0).argv.size(), 1u);
}

TEST_F(BadInputTest, PathValues) {
    std::string found = probe_in(root + "/found", "t");
    std::string at257 = dir_of_length(257), at258 = dir_of_length(258);
    std::string in257 = probe_in(at257, "t");
    probe_in(at258, "t");
    std::string many;
    while (many.size() < 100000) many += "/nonexistent/" + std::to_string(many.size()) + ":";
    struct Case {
        std::string name;
        std::string path;
        std::string started;  // the probe that must run, or "" for none
    } cases[] = {
        {"100,000 characters of entries", many + root + "/found", found},
        {"one entry of 100,000 characters", "/" + std::string(99999, 'x') + ":" + root + "/found", ""},
        {"an entry of 257 characters", at257 + ":" + root + "/found", in257},
        {"an entry of 258 characters ends the walk", at258 + ":" + root + "/found", ""},
        {"an entry that is a regular file", driver + ":" + root + "/found", found},
        {"a quote left open", "\"" + root + "/found", found},
        {"quotes and separators only", "\"\"\"::::\"\"", ""},
        {"empty", "", ""},
    };
    ini("[ASM]\nASSEMBLER=t\nASMLIST_01=x\n");
    for (const Case& c : cases) {
        remove_tree(found + ".log");
        remove_tree(in257 + ".log");
        expect_silent(run({"src.s"}, {"PATH=" + c.path}), c.name);
        for (const std::string& probe : {found, in257}) {
            std::vector<Args> expected;
            if (probe == c.started) expected.push_back({"t", "x"});
            EXPECT_EQ(argvs(probe), expected) << c.name << ": " << probe;
        }
    }
}

TEST_F(BadInputTest, ToolsThatCannotBeStarted) {
    const std::string marker = root + "/project/ran";
    auto script = [&](const std::string& text) {
        return [&, text](const std::string& p) {
            write_file(p, text);
            chmod(p.c_str(), 0755);
        };
    };
    struct Case {
        std::string name;
        std::function<void(const std::string&)> make;
        bool missing;  // counts as not there, so a bare name is looked for along PATH
    } cases[] = {
        {"a directory", [](const std::string& p) { make_dir(p); }, false},
        {"no execute permission",
         [](const std::string& p) {
             ASSERT_TRUE(copy_executable(PROBE_EXE, p));
             chmod(p.c_str(), 0644);
         },
         false},
        {"a dangling symbolic link", [](const std::string& p) { ASSERT_EQ(symlink("none", p.c_str()), 0); },
         true},
        {"a symbolic link loop", [](const std::string& p) { ASSERT_EQ(symlink(p.c_str(), p.c_str()), 0); },
         true},
        {"a script without interpreter line", script("touch " + marker + "\n"), false},
        {"a missing interpreter", script("#!/nonexistent/sh\ntouch " + marker + "\n"), false},
        {"an empty executable file", script(""), false},
        {"a program whose loader is missing",
         [](const std::string& p) {
             // The probe with the name of its dynamic loader changed.
             std::string program = read_file(PROBE_EXE);
             std::size_t loader = program.find("/ld-linux");
             ASSERT_NE(loader, std::string::npos);
             program[loader + 1] = 'X';
             write_file(p, program);
             chmod(p.c_str(), 0755);
         },
         false},
    };
    std::string later = probe_in(root + "/later", "bad");
    for (const Case& c : cases) {
        for (const std::string& name : {root + "/tools/bad", "bad"s}) {
            std::string what = c.name + " as " + name;
            forget_runs();
            remove_tree(root + "/first/bad");
            remove_tree(root + "/tools/bad");
            remove_tree(later + ".log");
            make_dir(root + "/first");
            c.make(name[0] == '/' ? name : root + "/first/bad");
            ini("[ASM]\nASSEMBLER=" + name + "\n[LNK]\nLINKER=" + lnk_tool + "\n");
            expect_silent(run({"src.s"}, {"PATH=" + root + "/first:" + root + "/later"}), what);
            EXPECT_EQ(access(marker.c_str(), F_OK), -1) << what << ": something ran the script";
            // Only a bare name that is not there is looked for further
            // along PATH; the linker runs only behind an assembler that ran.
            std::size_t found = c.missing && name == "bad" ? 1 : 0;
            EXPECT_EQ(runs(later).size(), found) << what;
            EXPECT_EQ(runs(lnk_tool).size(), found) << what;
        }
    }
}

TEST_F(BadInputTest, ToolsKilledBySignals) {
    for (const char* signal : {"signal 9", "signal 15", "signal 6"}) {
        forget_runs();
        tool_status(asm_tool, signal);
        config("", "");
        expect_silent(run({"src.s"}), signal);
        EXPECT_TRUE(runs(lnk_tool).empty()) << signal;
    }
    forget_runs();
    tool_status(asm_tool, "0");
    tool_status(lnk_tool, "signal 9");
    expect_silent(run({"src.s"}), "linker killed");
}

TEST_F(BadInputTest, ClosedAndBrokenStandardStreams) {
    std::string closer = root + "/tools/closer";
    write_file(closer, "#!/bin/sh\nexec >&- 2>&-\necho lost\nexit 0\n");
    chmod(closer.c_str(), 0755);
    ini("[DEBUG]\nVIEW=1\n[ASM]\nASSEMBLER=" + closer + "\n[LNK]\nLINKER=" + lnk_tool + "\n");
    ProcessResult r = run({"src.s"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "0:" + driver + "\n1:src.s\n") << "a tool that closes its output";
    EXPECT_EQ(runs(lnk_tool).size(), 1u);

    config("", "", "[DEBUG]\nVIEW=1\n");
    struct Case {
        std::string name;
        Stream out, err;
    } cases[] = {
        {"standard output closed", Stream::closed, Stream::file},
        {"both closed", Stream::closed, Stream::closed},
        {"standard output a pipe nobody reads", Stream::broken_pipe, Stream::file},
        {"standard output a full device", Stream::full_device, Stream::file},
    };
    for (const Case& c : cases) {
        forget_runs();
        Surroundings how;
        how.out = c.out;
        how.err = c.err;
        ProcessResult closed = run_in({driver, "src.s"}, root + "/project", how);
        EXPECT_EQ(closed.status, 0) << c.name;
        EXPECT_EQ(closed.err, "") << c.name;
        EXPECT_EQ(runs(asm_tool).size(), 1u) << c.name;
        EXPECT_EQ(runs(lnk_tool).size(), 1u) << c.name;
    }

    // The tools get the default action for a broken pipe back: one that
    // writes there ends by the signal, so the linker does not run.
    forget_runs();
    Surroundings how;
    how.out = Stream::broken_pipe;
    how.env = {"TOLVANE_PROBE_SAY=into a broken pipe"};
    EXPECT_EQ(run_in({driver, "src.s"}, root + "/project", how).status, 0);
    EXPECT_EQ(runs(asm_tool).size(), 1u);
    EXPECT_TRUE(runs(lnk_tool).empty());
}

TEST_F(BadInputTest, StartedFromARemovedDirectory) {
    std::string bare = probe_in(root + "/path", "bare");
    ini("[ASM]\nASSEMBLER=" + asm_tool + "\n[LNK]\nLINKER=bare\nLNKLIST_01=@1\n");
    make_dir(root + "/gone");
    Surroundings how;
    how.cwd_removed = true;
    how.env = {"PATH=" + root + "/path"};
    expect_silent(run_in({driver, "src.s"}, root + "/gone", how), "removed directory");
    EXPECT_EQ(runs(asm_tool).size(), 1u);
    EXPECT_EQ(argvs(bare), (std::vector<Args>{{"bare", "src.s"}}));
}

TEST_F(BadInputTest, ExecutableReachedThroughSymbolicLinks) {
    // The configuration beside the real file counts, not the one beside
    // the link; the listing shows the name the driver was started by.
    make_dir(root + "/links");
    std::string link = root + "/links/tolvane", chain = root + "/links/again";
    ASSERT_EQ(symlink(driver.c_str(), link.c_str()), 0);
    ASSERT_EQ(symlink(link.c_str(), chain.c_str()), 0);
    write_file(root + "/links/tolvane.ini", "[ASM]\nASSEMBLER=" + lnk_tool + "\n");
    config("ASMLIST_01=real\n", "", "[DEBUG]\nVIEW=1\n");
    for (const std::string& started : {link, chain}) {
        forget_runs();
        ProcessResult r = run_process(started, {started, "src.s"}, root + "/project");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "0:" + started + "\n1:src.s\n");
        EXPECT_EQ(argvs(asm_tool), (std::vector<Args>{{asm_tool, "real"}})) << started;
        EXPECT_EQ(runs(lnk_tool).size(), 1u) << started;
    }
}

TEST_F(BadInputTest, ExecutableOrConfigurationPathTooLong) {
    // A real path of more than 259 characters, also where a long file name
    // in a short directory leaves room for the configuration path, and one
    // of 259 whose configuration path would not fit: the configuration
    // counts as absent.
    struct Case {
        std::size_t dir_length;
        std::string name;
    } cases[] = {{256, "tolvane"},
                 {257, "t"},
                 {200, "tolvane"},
                 {100, std::string(158, 'n')},
                 {100, std::string(159, 'n')}};
    // Never read instead of the one whose path is unknown.
    write_file(root + "/project/tolvane.ini", valid_config());
    for (const Case& c : cases) {
        forget_runs();
        std::string dir = dir_of_length(c.dir_length);
        std::string exe = dir + "/" + c.name;
        ASSERT_TRUE(copy_executable(TOLVANE_EXE, exe));
        write_file(dir + "/tolvane.ini", valid_config());
        expect_silent(run_process(exe, {exe, "src.s"}, root + "/project"), exe);
        // The driver sees its path with every link resolved.
        char* real = realpath(exe.c_str(), nullptr);
        ASSERT_NE(real, nullptr);
        std::size_t length = std::strlen(real);
        std::free(real);
        bool fits = length <= 259 && length - c.name.size() + 11 <= 259;
        EXPECT_EQ(runs(asm_tool).size(), fits ? 1u : 0u) << length;
        remove_tree(root + "/p");
    }
}

}  // namespace
