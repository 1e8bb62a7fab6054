// The trace and the opt-in exit status end to end: the real driver, its
// configuration beside it, probes as assembler and linker.
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

using Args = std::vector<std::string>;

constexpr const char* kTrace = "[DEBUG]\nTRACE=1\n";
constexpr const char* kExitCode = "[DRIVER]\nEXITCODE=1\n";

class TraceTest : public DriverTest {
protected:
    // A configuration in which the tools are named by `asm_name` and
    // `lnk_name`, with `head` in front (the [DEBUG] and [DRIVER] lines).
    void named(const std::string& head, const std::string& asm_name, const std::string& lnk_name) {
        ini(head + "[ASM]\nASSEMBLER=" + asm_name +
            "\nASMLIST_01=-o @1.o\nASMLIST_02=@1\n[LNK]\nLINKER=" + lnk_name + "\nLNKLIST_01=@1.o\n");
    }
    std::string missing() const { return root + "/tools/missing"; }
};

// Each scenario is run with and without the trace: standard output and the
// exit status are the same, and only the traced run writes to standard
// error, every line of it marked as the driver's.
TEST_F(TraceTest, TraceChangesNothingButStandardError) {
    struct Case {
        const char* what;
        std::string asm_status;
        bool asm_missing;
        Args args;
    } cases[] = {
        {"both tools succeed", "0", false, {"src.s"}},
        {"assembler fails", "2", false, {"src.s", "x"}},
        {"assembler not found", "0", true, {"src.s"}},
        {"no argument", "0", false, {}},
    };
    for (const Case& c : cases) {
        tool_status(asm_tool, c.asm_status);
        auto run_with = [&](const std::string& head) {
            named(head, c.asm_missing ? missing() : asm_tool, lnk_tool);
            return run(c.args, {"TOLVANE_PROBE_SAY=tool output"});
        };
        ProcessResult plain = run_with("[DEBUG]\nVIEW=1\n");
        ProcessResult traced = run_with("[DEBUG]\nVIEW=1\nTRACE=1\n");
        EXPECT_EQ(traced.out, plain.out) << c.what;
        EXPECT_EQ(traced.status, plain.status) << c.what;
        EXPECT_EQ(plain.err, "") << c.what;
        if (c.args.empty()) {
            EXPECT_EQ(traced.err, "") << c.what;
            continue;
        }
        EXPECT_NE(traced.err, "") << c.what;
        std::size_t pos = 0;
        while (pos < traced.err.size()) {
            EXPECT_EQ(traced.err.compare(pos, 9, "tolvane: "), 0) << c.what << "\n" << traced.err;
            pos = traced.err.find('\n', pos) + 1;
            if (pos == 0) break;
        }
        EXPECT_EQ(traced.err.back(), '\n') << c.what;
    }
}

TEST_F(TraceTest, TraceTellsWhatWasReadTriedAndRun) {
    std::string found = root + "/p2/mytool";
    make_dir(root + "/p2");
    ASSERT_TRUE(copy_executable(PROBE_EXE, found));
    named(kTrace, "mytool", lnk_tool);
    ProcessResult r = run({"src.s"}, {"PATH=" + root + "/p1:" + root + "/p2"});
    EXPECT_EQ(r.err, "tolvane: configuration " + root + "/bin/tolvane.ini: found\n" +
                         "tolvane: assembler: ASSEMBLER=mytool\n"
                         "tolvane: assembler: command line: mytool -o src.o src.s\n"
                         "tolvane: trying ./mytool: not found\n"
                         "tolvane: trying " +
                         root + "/p1/mytool: not found\n" + "tolvane: trying " + root +
                         "/p2/mytool: found, starting it\n" + "tolvane: assembler: exit status 0\n" +
                         "tolvane: linker: LINKER=" + lnk_tool + "\n" + "tolvane: linker: command line: " +
                         lnk_tool + " src.o\n" + "tolvane: trying " + lnk_tool + ": found, starting it\n" +
                         "tolvane: linker: exit status 0\n" + "tolvane: run ends: done\n" +
                         "tolvane: exit status 0 (EXITCODE in [DRIVER] is not set)\n");
    EXPECT_EQ(runs(found).size(), 1u);
}

// The lines that tell why a run ended, for the ways a run can end.
TEST_F(TraceTest, TraceTellsWhyTheRunEnded) {
    std::string locked = root + "/tools/locked";
    write_file(locked, "not a program\n");
    struct Case {
        const char* what;
        std::string asm_name, lnk_name, asm_status, lnk_status;
        std::vector<std::string> lines;
    } cases[] = {
        {"assembler fails",
         asm_tool,
         lnk_tool,
         "2",
         "0",
         {"tolvane: assembler: exit status 2\n", "tolvane: run ends: the assembler failed (status 2)\n"}},
        {"assembler killed",
         asm_tool,
         lnk_tool,
         "signal 9",
         "0",
         {"tolvane: assembler: exit status 137\n", "tolvane: run ends: the assembler failed (status 137)\n"}},
        {"linker fails",
         asm_tool,
         lnk_tool,
         "0",
         "4",
         {"tolvane: linker: exit status 4\n", "tolvane: run ends: the linker failed (status 4)\n"}},
        {"assembler not found",
         missing(),
         lnk_tool,
         "0",
         "0",
         {"tolvane: trying " + missing() + ": not found\n",
          "tolvane: assembler: not started: ENOENT (No such file or directory)\n",
          "tolvane: run ends: the assembler failed (status -1)\n"}},
        {"linker cannot be started",
         asm_tool,
         locked,
         "0",
         "0",
         {"tolvane: trying " + locked + ": found, starting it\n",
          "tolvane: trying " + locked + ": could not be started: EACCES (Permission denied)\n",
          "tolvane: linker: not started: EACCES (Permission denied)\n",
          "tolvane: run ends: the linker failed (status -1)\n"}},
        {"no assembler",
         "",
         lnk_tool,
         "0",
         "0",
         {"tolvane: assembler: no ASSEMBLER in [ASM]\n",
          "tolvane: run ends: no program for the assembler\n"}},
        {"no linker",
         asm_tool,
         "",
         "0",
         "0",
         {"tolvane: linker: no LINKER in [LNK]\n", "tolvane: run ends: no link step, done\n"}},
    };
    for (const Case& c : cases) {
        tool_status(asm_tool, c.asm_status);
        tool_status(lnk_tool, c.lnk_status);
        named(kTrace, c.asm_name, c.lnk_name);
        ProcessResult r = run({"src.s"}, {"PATH="});
        std::size_t pos = 0;
        for (const std::string& line : c.lines) {
            std::size_t at = r.err.find(line, pos);
            EXPECT_NE(at, std::string::npos) << c.what << ": " << line << "in\n" << r.err;
            if (at != std::string::npos) pos = at + line.size();
        }
    }
}

TEST_F(TraceTest, ExitStatusFollowsTheStageThatEndedTheRun) {
    std::string locked = root + "/tools/locked";
    write_file(locked, "not a program\n");
    struct Case {
        const char* what;
        std::string asm_name, lnk_name, asm_status, lnk_status;
        int without, with;  // exit status without and with EXITCODE
    } cases[] = {
        {"both succeed", asm_tool, lnk_tool, "0", "0", 0, 0},
        {"assembler fails", asm_tool, lnk_tool, "3", "0", 0, 3},
        {"assembler ends with 255", asm_tool, lnk_tool, "255", "0", 0, 255},
        {"assembler killed by signal 9", asm_tool, lnk_tool, "signal 9", "0", 0, 137},
        {"linker fails", asm_tool, lnk_tool, "0", "4", 0, 4},
        {"assembler not found", missing(), lnk_tool, "0", "0", 0, 255},
        {"linker not found", asm_tool, missing(), "0", "0", 0, 255},
        {"linker cannot be started", asm_tool, locked, "0", "0", 0, 255},
        {"no assembler", "", lnk_tool, "0", "0", 0, 255},
        {"no linker", asm_tool, "", "0", "0", 0, 0},
    };
    for (const Case& c : cases) {
        tool_status(asm_tool, c.asm_status);
        tool_status(lnk_tool, c.lnk_status);
        named("", c.asm_name, c.lnk_name);
        EXPECT_EQ(run({"src.s"}).status, c.without) << c.what;
        named("[DRIVER]\nEXITCODE=0\n", c.asm_name, c.lnk_name);
        EXPECT_EQ(run({"src.s"}).status, c.without) << c.what << ", EXITCODE=0";
        named(kExitCode, c.asm_name, c.lnk_name);
        ProcessResult r = run({"src.s"});
        EXPECT_EQ(r.status, c.with) << c.what << ", EXITCODE=1";
        EXPECT_EQ(r.out + r.err, "") << c.what;
    }
}

TEST_F(TraceTest, ExitCodeNeedsAnArgumentAndTheConfiguration) {
    tool_status(asm_tool, "3");
    named(kExitCode, asm_tool, lnk_tool);
    EXPECT_EQ(run({}).status, 0);
    EXPECT_TRUE(runs(asm_tool).empty());
    EXPECT_EQ(run({"src.s"}).status, 3);
    remove_tree(root + "/bin/tolvane.ini");
    EXPECT_EQ(run({"src.s"}).status, 0);
}

}  // namespace
