// The trace and the opt-in exit status end to end: the real driver, its
// configuration beside it, probes as assembler and linker.
#include <cstdlib>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

class TraceTest : public DriverTest {
protected:
    // Tools named by `asm_name` and `lnk_name` (an empty name leaves its
    // key out), behind `head` (the [DEBUG] and [DRIVER] sections).
    void named(const std::string& head, const std::string& asm_name, const std::string& lnk_name) {
        std::string text = head + "[ASM]\nASSEMBLER=" + asm_name + "\nASMLIST_01=-o @1.o\nASMLIST_02=@1\n";
        ini(text + "[LNK]\nLINKER=" + lnk_name + "\nLNKLIST_01=@1.o\n");
    }
    ProcessResult run_src() { return run({"src.s"}, {"PATH=", "TOLVANE_PROBE_SAY=tool output"}); }
};

TEST_F(TraceTest, TraceTellsWhatWasReadTriedAndRun) {
    std::string found = root + "/p2/mytool";
    make_dir(root + "/p2");
    ASSERT_TRUE(copy_executable(PROBE_EXE, found));
    tool_status(found, "sleep 1500");
    named("[DEBUG]\nTRACE=1\n", "mytool", lnk_tool);
    ProcessResult r = run({"src.s"}, {"PATH=" + root + "/p1:" + root + "/p2"});
    EXPECT_EQ(
        timeless(r.err),
        "tolvane: tolvane " TOLVANE_VERSION ": configuration " + root +
            "/bin/tolvane.ini (beside the executable): found\n" + "tolvane: assembler: ASSEMBLER=mytool\n" +
            "tolvane: assembler: command line: mytool -o src.o src.s\n" +
            "tolvane: assembler: words: [mytool] [-o] [src.o] [src.s]\n" + "tolvane: trying " + root +
            "/p1/mytool: not found\n" + "tolvane: trying " + root + "/p2/mytool: found, starting it\n" +
            "tolvane: assembler: exit status 0 after T s\n" +  //
            "tolvane: linker: LINKER=" + lnk_tool + "\n" + "tolvane: linker: command line: " + lnk_tool +
            " src.o\n" + "tolvane: linker: words: [" + lnk_tool + "] [src.o]\n" + "tolvane: trying " +
            lnk_tool + ": found, starting it\n" + "tolvane: linker: exit status 0 after T s\n" +
            "tolvane: run ends: done\n" + "tolvane: exit status 0 (EXITCODE is off), T s in all\n");
    EXPECT_EQ(runs(found).size(), 1u);
    // Each stage's time is its own: the linker's leaves out the assembler's.
    auto seconds = [&r](const std::string& stage) {
        std::size_t at = r.err.find(stage + ": exit status 0 after ");
        return at == std::string::npos ? -1 : std::atof(r.err.c_str() + at + stage.size() + 22);
    };
    EXPECT_GE(seconds("assembler"), 1.5);
    EXPECT_LT(seconds("linker"), seconds("assembler"));
    // A line longer than 8 KiB is cut, with no NUL in it: 20 entries of 130
    // words make one of 10 400 characters.
    std::string words = "a", text = "[DEBUG]\nTRACE=1\n[ASM]\nASSEMBLER=" + asm_tool + "\n";
    for (int i = 1; i < 130; ++i) words += " a";
    for (int k = 1; k <= 20; ++k)
        text += "ASMLIST_" + std::to_string(k / 10) + std::to_string(k % 10) + "=" + words + "\n";
    ini(text);
    std::string err = run({"src.s"}).err;
    EXPECT_EQ(err.find('\0'), std::string::npos);
    EXPECT_NE(err.find("words: [" + asm_tool + "] [a] [a]"), std::string::npos);
}

// Every way a run can end, each run three times: without the keys (status
// 0, nothing on standard error), with EXITCODE (the stage's status, and one
// line on standard error where no tool said why), and with EXITCODE and
// TRACE (the same status and standard output, and a trace that tells the
// cause).
TEST_F(TraceTest, ExitStatusAndTraceForEveryWayARunEnds) {
    std::string locked = root + "/tools/locked";
    write_file(locked, "not a program\n");
    std::string missing = root + "/tools/missing";
    struct Case {
        const char* what;
        std::string asm_name, lnk_name, asm_status, lnk_status;
        int status;  // with EXITCODE
        std::vector<std::string> lines;
        std::string said = "";  // with EXITCODE, on standard error
    } cases[] = {
        {"both succeed", asm_tool, lnk_tool, "0", "0", 0, {"run ends: done"}},
        {"assembler fails",
         asm_tool,
         lnk_tool,
         "3",
         "0",
         3,
         {"assembler: exit status 3 after T s", "run ends: the assembler failed (status 3)"}},
        {"assembler killed",
         asm_tool,
         lnk_tool,
         "signal 9",
         "0",
         137,
         {"assembler: killed by SIGKILL (status 137) after T s",
          "run ends: the assembler failed (status 137)"},
         "assembler: " + asm_tool + " was killed by SIGKILL"},
        {"assembler fails with a status above 127",
         asm_tool,
         lnk_tool,
         "200",
         "0",
         200,
         {"assembler: exit status 200 after T s", "run ends: the assembler failed (status 200)"}},
        {"linker fails",
         asm_tool,
         lnk_tool,
         "0",
         "4",
         4,
         {"linker: exit status 4 after T s", "run ends: the linker failed (status 4)"}},
        {"assembler not found",
         missing,
         lnk_tool,
         "0",
         "0",
         255,
         {"trying " + missing + ": not found", "assembler: not started: ENOENT (No such file or directory)",
          "run ends: the assembler was not started"},
         "assembler: " + missing + " was not found; TOLVANE_TRACE=1 shows where it was looked for"},
        {"linker cannot be started",
         asm_tool,
         locked,
         "0",
         "0",
         255,
         {"trying " + locked + ": found, starting it",
          "trying " + locked + ": could not be started: EACCES (Permission denied)",
          "linker: not started: EACCES (Permission denied)", "run ends: the linker was not started"},
         "linker: " + locked +
             " could not be started: EACCES (Permission denied); TOLVANE_TRACE=1 shows where it was looked "
             "for"},
        {"no assembler",
         "",
         lnk_tool,
         "0",
         "0",
         255,
         {"assembler: no ASSEMBLER in [ASM]", "run ends: no program for the assembler"},
         "assembler: no ASSEMBLER in [ASM] of " + root + "/bin/tolvane.ini"},
        {"no linker",
         asm_tool,
         "",
         "0",
         "0",
         0,
         {"linker: no LINKER in [LNK]", "run ends: no link step, done"}},
        // Quotes are part of a POSIX file name: no word on them here.
        {"program in quotes",
         "'\"" + missing + "\"'",
         lnk_tool,
         "0",
         "0",
         255,
         {"assembler: ASSEMBLER=\"" + missing + "\"", "run ends: the assembler was not started"},
         "assembler: \"" + missing + "\" was not found; TOLVANE_TRACE=1 shows where it was looked for"},
    };
    for (const Case& c : cases) {
        tool_status(asm_tool, c.asm_status);
        tool_status(lnk_tool, c.lnk_status);
        named("[DEBUG]\nVIEW=1\n", c.asm_name, c.lnk_name);
        ProcessResult plain = run_src();
        named("[DEBUG]\nVIEW=1\nTRACE=0\n[DRIVER]\nEXITCODE=1\n", c.asm_name, c.lnk_name);
        ProcessResult coded = run_src();
        named("[DEBUG]\nVIEW=1\nTRACE=1\n[DRIVER]\nEXITCODE=1\n", c.asm_name, c.lnk_name);
        ProcessResult traced = run_src();
        traced.err = timeless(traced.err);

        EXPECT_EQ(plain.status, 0) << c.what;
        EXPECT_EQ(coded.status, c.status) << c.what;
        EXPECT_EQ(traced.status, c.status) << c.what;
        EXPECT_EQ(plain.err, "") << c.what;
        EXPECT_EQ(coded.err, c.said.empty() ? "" : "tolvane: " + c.said + "\n") << c.what;
        EXPECT_EQ(coded.out, plain.out) << c.what;
        EXPECT_EQ(traced.out, plain.out) << c.what;

        std::string expected_end = "tolvane: exit status " + std::to_string(c.status) +
                                   (c.status == 255 ? ": no tool was started" : "") + ", T s in all\n";
        ASSERT_GE(traced.err.size(), expected_end.size()) << c.what;
        EXPECT_EQ(traced.err.substr(traced.err.size() - expected_end.size()), expected_end) << c.what;
        std::size_t pos = 0;
        for (const std::string& line : c.lines) {
            std::size_t at = traced.err.find("\ntolvane: " + line + "\n", pos);
            EXPECT_NE(at, std::string::npos) << c.what << ": " << line << " in\n" << traced.err;
            if (at != std::string::npos) pos = at + 1;
        }
        for (std::size_t at = 0; at < traced.err.size(); at = traced.err.find('\n', at) + 1)
            EXPECT_EQ(traced.err.compare(at, 9, "tolvane: "), 0) << c.what << "\n" << traced.err;
        EXPECT_EQ(traced.err.find("holds double quotes"), std::string::npos) << c.what;
        if (c.said.empty()) continue;
        // The listing comes before the line, also into one file.
        named("[DEBUG]\nVIEW=1\n[DRIVER]\nEXITCODE=1\n", c.asm_name, c.lnk_name);
        ProcessResult both = run_process("/bin/sh", {"sh", "-c", "exec \"$0\" src.s 2>&1", driver},
                                         root + "/project", {"PATH=", "TOLVANE_PROBE_SAY=tool output"});
        EXPECT_EQ(both.out, plain.out + coded.err) << c.what;
    }
}

// Without the variables, a run that never reads the file (no argument, no
// file) ends with 0 and writes nothing, whatever the file says.
TEST_F(TraceTest, RunsThatNeverReadTheFileStaySilent) {
    tool_status(asm_tool, "3");
    named("[DEBUG]\nTRACE=1\n[DRIVER]\nEXITCODE=1\n", asm_tool, lnk_tool);
    ProcessResult none = run({});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out + none.err, "");
    EXPECT_TRUE(runs(asm_tool).empty());
    EXPECT_EQ(run({"src.s"}).status, 3);
    remove_tree(root + "/bin/tolvane.ini");
    ProcessResult absent = run({"src.s"});
    EXPECT_EQ(absent.status, 0);
    EXPECT_EQ(absent.out + absent.err, "");
}

}  // namespace
