// A driver installed in a temporary tree, with two copies of the probe as
// assembler and linker:
//   ROOT/bin/tolvane[.exe]  ROOT/bin/tolvane.ini
//   ROOT/tools/asm[.exe]    ROOT/tools/lnk[.exe]
//   ROOT/project           (the current directory of every run)
#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "support/process.h"

// Executable suffix, and the line end of text written to standard output.
// The exit status a caller sees when the driver, with EXITCODE on, started
// no tool.
#ifdef _WIN32
constexpr const char* kExe = ".exe";
constexpr const char* kEol = "\r\n";
constexpr int kNotStarted = -1;
#else
constexpr const char* kExe = "";
constexpr const char* kEol = "\n";
constexpr int kNotStarted = 255;
#endif

// One run of a probe: its argv (argv[0] first), current directory and the
// value of TOLVANE_PROBE_VAR; on Windows also its raw command line, the
// descriptor table block it received (hex) and its standard handles (hex).
struct ProbeRun {
    std::vector<std::string> argv;
    std::string cwd;
    std::string env;
    std::string command_line;
    std::string block;
    std::string std_handles;
};

// The trace with each duration ("0.031 s") written "T s": it must be
// there, its value varies.
inline std::string timeless(const std::string& trace) {
    return std::regex_replace(trace, std::regex(" [0-9]+\\.[0-9]{3} s"), " T s");
}

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = make_temp_dir();
        for (const char* d : {"/bin", "/tools", "/project"}) make_dir(root + d);
        driver = root + "/bin/tolvane" + kExe;
        asm_tool = root + "/tools/asm" + kExe;
        lnk_tool = root + "/tools/lnk" + kExe;
        ASSERT_TRUE(copy_executable(TOLVANE_EXE, driver));
        ASSERT_TRUE(copy_executable(PROBE_EXE, asm_tool));
        ASSERT_TRUE(copy_executable(PROBE_EXE, lnk_tool));
    }
    void TearDown() override { remove_tree(root); }

    void ini(const std::string& text) { write_file(root + "/bin/tolvane.ini", text); }

    // The usual configuration: both probes by full path, with the given
    // entry lines ("ASMLIST_01=..." and so on) in each section.
    void config(const std::string& asm_lines, const std::string& lnk_lines, const std::string& extra = "") {
        ini(extra + "[ASM]\nASSEMBLER=" + asm_tool + "\n" + asm_lines + "[LNK]\nLINKER=" + lnk_tool + "\n" +
            lnk_lines);
    }

    ProcessResult run(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
        args.insert(args.begin(), driver);
        return run_process(driver, args, root + "/project", env);
    }

    void tool_status(const std::string& tool, const std::string& status) {
        write_file(tool + ".status", status);
    }

    static std::vector<ProbeRun> runs(const std::string& tool) {
        std::vector<ProbeRun> result;
        ProbeRun current;
        std::string log = read_file(tool + ".log");
        std::size_t pos = 0;
        while (pos < log.size()) {
            std::size_t nl = log.find('\n', pos);
            if (nl == std::string::npos) nl = log.size();
            std::string line = log.substr(pos, nl - pos);
            pos = nl + 1;
            if (line.compare(0, 4, "arg:") == 0) current.argv.push_back(line.substr(4));
            if (line.compare(0, 4, "cwd:") == 0) current.cwd = line.substr(4);
            if (line.compare(0, 4, "env:") == 0) current.env = line.substr(4);
            if (line.compare(0, 4, "cmd:") == 0) current.command_line = line.substr(4);
            if (line.compare(0, 6, "block:") == 0) current.block = line.substr(6);
            if (line.compare(0, 4, "std:") == 0) current.std_handles = line.substr(4);
            if (line == "end") {
                result.push_back(current);
                current = ProbeRun();
            }
        }
        return result;
    }

    std::string root, driver, asm_tool, lnk_tool;
};
