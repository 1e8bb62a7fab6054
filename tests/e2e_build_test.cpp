// The build sequence end to end: the real driver, the real configuration
// file beside it, and probes as assembler and linker.
#include <string>
#include <utility>
#include <vector>

#include "e2e_support.h"

namespace {

using Args = std::vector<std::string>;

TEST_F(DriverTest, NoArgumentDoesNothing) {
    config("ASMLIST_01=a\n", "", "[DEBUG]\nVIEW=1\n");
    ProcessResult r = run({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(runs(asm_tool).empty());
}

TEST_F(DriverTest, RunsAssemblerThenLinker) {
    config("ASMLIST_01=-f elf64\nASMLIST_02=x\n", "LNKLIST_01=y\n");
    ProcessResult r = run({"src.asm"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(runs(asm_tool).size(), 1u);
    EXPECT_EQ(runs(asm_tool)[0].argv, (Args{asm_tool, "-f", "elf64", "x"}));
    ASSERT_EQ(runs(lnk_tool).size(), 1u);
    EXPECT_EQ(runs(lnk_tool)[0].argv, (Args{lnk_tool, "y"}));
}

// Each stage reads its section for the first argument's extension where
// the file holds one, empty or not, and its plain section otherwise; the
// dry run and the trace name the section chosen.
TEST_F(DriverTest, ExtensionChoosesEachStagesSection) {
    config("ASMLIST_01=plain\n", "LNKLIST_01=plain\n",
           "[asm.C]\nASSEMBLER=" + asm_tool +
               "\nASMLIST_01=c\n[LNK.c]\nLINKER=\n[ASM .cc]\n[ASM.]\nASSEMBLER=x\n[run.CC]\nPROGRAM=" +
               lnk_tool + "\nRUNLIST_01=ran\n");
    std::pair<const char*, const char*> cases[] = {{"x.asm", "plain"}, {"X.ASM", "plain"}, {"d/x.c", "c"},
                                                   {"x.tar.C", "c"},   {"x.cc", "plain"},  {"x", "plain"},
                                                   {"c.d/x", "plain"}, {"x.", "plain"}};
    for (auto [arg, words] : cases) {
        std::size_t links = runs(lnk_tool).size();
        run({arg});
        EXPECT_EQ(runs(asm_tool).back().argv, (Args{asm_tool, words})) << arg;
        // The run step of [RUN.cc] starts the probe once more, for x.cc alone.
        EXPECT_EQ(runs(lnk_tool).size() - links, (words[0] == 'p' ? 1u : 0u) + (arg == std::string("x.cc")))
            << arg;
        EXPECT_EQ(runs(lnk_tool).back().argv.back(), arg == std::string("x.cc") ? "ran" : "plain") << arg;
    }
    std::string eol = kEol, section = "section [LNK.c], for the extension .c";
    EXPECT_NE(run({"x.c"}, {"TOLVANE_DRYRUN=1"})
                  .out.find("linker: " + section + eol + "linker: not run: no LINKER in [LNK.c]"),
              std::string::npos);
    EXPECT_NE(run({"x.c"}, {"TOLVANE_TRACE=1"})
                  .err.find("tolvane: assembler: section [ASM.c], for the extension .c"),
              std::string::npos);
    EXPECT_EQ(run({"x.asm"}, {"TOLVANE_TRACE=1", "TOLVANE_DRYRUN=1"}).out.find("section ["),
              std::string::npos);
}

TEST_F(DriverTest, ListingComesFirstAndNumbersEveryArgument) {
    config("", "", "[DEBUG]\nVIEW=1\n");
    ProcessResult r = run({"a", "b c", ""}, {"TOLVANE_PROBE_SAY=from the tool"});
    std::string eol = kEol;
    EXPECT_EQ(r.out, "0:" + driver + eol + "1:a" + eol + "2:b c" + eol + "3:" + eol + "from the tool" + eol +
                         "from the tool" + eol);
    EXPECT_EQ(r.status, 0);
}

TEST_F(DriverTest, ListingFollowsTheIntegerValue) {
    struct Case {
        std::string view;
        bool listed;
    } cases[] = {{"VIEW=0\n", false},  {"", false},          {"VIEW=2\n", true},  {"VIEW=-1\n", true},
                 {"VIEW=B1\n", false}, {"VIEW=0x1\n", true}, {"view = 1\n", true}};
    for (const Case& c : cases) {
        config("", "", "[DEBUG]\n" + c.view);
        ProcessResult r = run({"s"});
        EXPECT_EQ(r.out.empty(), !c.listed) << c.view;
    }
}

TEST_F(DriverTest, ConfigurationComesFromBesideTheExecutable) {
    write_file(root + "/project/tolvane.ini", "[DEBUG]\nVIEW=1\n[ASM]\nASSEMBLER=" + lnk_tool + "\n");
    config("ASMLIST_01=beside\n", "");
    ProcessResult r = run({"s"});
    EXPECT_EQ(r.out, "");
    ASSERT_EQ(runs(asm_tool).size(), 1u);
    EXPECT_EQ(runs(asm_tool)[0].argv, (Args{asm_tool, "beside"}));
    EXPECT_EQ(runs(lnk_tool).size(), 1u);
}

TEST_F(DriverTest, LinkerRunsOnlyAfterAssemblerSucceeded) {
    struct Case {
        std::string asm_status;
        std::size_t linker_runs;
    } cases[] = {{"0", 1},
                 {"2", 0},
                 {"255", 0},
                 {"1", 0},
#ifdef _WIN32
                 // All bits set looks like a failed start; a crash code comes back negative.
                 {"-1", 0},
                 {"3221225477", 0}};
#else
                 {"signal 9", 0}, {"signal 15", 0}};
#endif
    for (const Case& c : cases) {
        remove_tree(lnk_tool + ".log");
        tool_status(asm_tool, c.asm_status);
        config("", "");
        ProcessResult r = run({"s"});
        EXPECT_EQ(r.status, 0) << c.asm_status;
        EXPECT_EQ(runs(lnk_tool).size(), c.linker_runs) << c.asm_status;
    }
}

TEST_F(DriverTest, FailingLinkerStillExitsZero) {
    tool_status(lnk_tool, "3");
    config("", "");
    EXPECT_EQ(run({"s"}).status, 0);
    EXPECT_EQ(runs(lnk_tool).size(), 1u);
}

TEST_F(DriverTest, MissingProgramKeysEndTheRun) {
    ini("[LNK]\nLINKER=" + lnk_tool + "\n");
    EXPECT_EQ(run({"s"}).status, 0);
    EXPECT_TRUE(runs(lnk_tool).empty());

    ini("[ASM]\nASSEMBLER=\n[LNK]\nLINKER=" + lnk_tool + "\n");
    EXPECT_EQ(run({"s"}).status, 0);
    EXPECT_TRUE(runs(lnk_tool).empty());

    ini("[ASM]\nASSEMBLER=" + asm_tool + "\n");
    EXPECT_EQ(run({"s"}).status, 0);
    EXPECT_EQ(runs(asm_tool).size(), 1u);
}

TEST_F(DriverTest, MissingConfigurationDoesNothing) {
    ProcessResult r = run({"s"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
}

TEST_F(DriverTest, FirstAbsentOrEmptyEntryEndsTheVector) {
    config("ASMLIST_01=one\nASMLIST_02=two\nASMLIST_04=four\n", "LNKLIST_01=a\nLNKLIST_02=\nLNKLIST_03=c\n");
    run({"s"});
    EXPECT_EQ(runs(asm_tool).at(0).argv, (Args{asm_tool, "one", "two"}));
    EXPECT_EQ(runs(lnk_tool).at(0).argv, (Args{lnk_tool, "a"}));

    config("ASMLIST_02=two\n", "");
    remove_tree(asm_tool + ".log");
    run({"s"});
    EXPECT_EQ(runs(asm_tool).at(0).argv, (Args{asm_tool}));
}

TEST_F(DriverTest, OnlyTwoDigitKeysUpToTwentyAreRead) {
    std::string lines = "ASMLIST_1=short\n";
    for (int k = 1; k <= 21; ++k) {
        char line[32];
        std::snprintf(line, sizeof line, "ASMLIST_%02d=e%d\n", k, k);
        lines += line;
    }
    config(lines, "");
    run({"s"});
    Args expected = {asm_tool};
    for (int k = 1; k <= 20; ++k) expected.push_back("e" + std::to_string(k));
    EXPECT_EQ(runs(asm_tool).at(0).argv, expected);
}

TEST_F(DriverTest, LongValueReachesTheToolCut) {
    std::string value(300, 'v');
    config("ASMLIST_01=" + value + "\n", "");
    run({"s"});
    EXPECT_EQ(runs(asm_tool).at(0).argv, (Args{asm_tool, value.substr(0, 259)}));
}

TEST_F(DriverTest, ProgramValueIsNotExpanded) {
    std::string odd = root + "/tools/asm@1" + kExe;
    ASSERT_TRUE(copy_executable(PROBE_EXE, odd));
    ini("[ASM]\nASSEMBLER=" + odd + "\nASMLIST_01=@1\n");
    run({"src.s"});
    EXPECT_EQ(runs(odd).at(0).argv, (Args{odd, "src.s"}));
}

TEST_F(DriverTest, ProgramThatDoesNotExist) {
    ini("[ASM]\nASSEMBLER=" + root + "/tools/nothing\n[LNK]\nLINKER=" + lnk_tool + "\n");
    ProcessResult r = run({"s"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_TRUE(runs(lnk_tool).empty());
}

TEST_F(DriverTest, ToolInheritsDirectoryAndEnvironment) {
    config("", "");
    run({"s"}, {"TOLVANE_PROBE_VAR=inherited value"});
    ProbeRun r = runs(asm_tool).at(0);
    EXPECT_EQ(r.env, "inherited value");
    EXPECT_NE(r.cwd.find("project"), std::string::npos) << r.cwd;
}

TEST_F(DriverTest, PlaceholdersReachTheTools) {
    config("ASMLIST_01=@1\nASMLIST_02=-o @1.o\nASMLIST_03=@2\n",
           "LNKLIST_01=@1.o\nLNKLIST_02=-o\nLNKLIST_03=@1.out\n");
    run({"src/demo.s", "extra"});
    EXPECT_EQ(runs(asm_tool).at(0).argv, (Args{asm_tool, "src/demo.s", "-o", "src/demo.o", "extra"}));
    EXPECT_EQ(runs(lnk_tool).at(0).argv, (Args{lnk_tool, "src/demo.o", "-o", "src/demo.out"}));
}

TEST_F(DriverTest, EmptyArgumentGivesAnEmptySlot) {
    config("ASMLIST_01=a\nASMLIST_02=@1\nASMLIST_03=b\n", "", "[DEBUG]\nVIEW=1\n");
    run({""});
    // The command line is "asm a  b": the empty slot shows as two blanks,
    // which the tool's splitting reads as one separator.
    EXPECT_EQ(runs(asm_tool).at(0).argv, (Args{asm_tool, "a", "b"}));
}

// The run stage starts the file that the linker (with no LINKER, the
// assembler) wrote, after that stage's 0 only, from the current directory,
// never along PATH, with standard input; under EXITCODE its status is the run's.
TEST_F(DriverTest, RunStageStartsTheBuiltFileAfterItsBuilderEndedWithZero) {
    std::string product = root + "/project/s.exe",
                lost = std::string(kExe[0] ? ".\\" : "./") + "s.exe is not";
    write_file(root + "/input", "typed\n");
    ASSERT_TRUE(copy_executable(PROBE_EXE, root + "/tools/s.exe"));
    struct Row {
        std::string asm_status, lnk_status, program_status, run;  // no LINKER without lnk_status; TOLVANE_RUN
        int ran, status;                                          // ran -1: the product is missing
        std::string end, said = "";
    } rows[] = {
        {"0", "0", "0", "1", 1, 0, "done"},
        {"0", "4", "0", "", 0, 4, "the linker failed (status 4)"},
        {"0", "", "0", "", 1, 0, "done"},
        {"3", "", "0", "", 0, 3, "the assembler failed (status 3)"},
        {"0", "0", "7", "", 1, 7, "the program ended with status 7"},
        {"0", "0", "0", "0", 0, 0, "done"},
        {"0", "0", "0", "", -1, kNotStarted, lost + " there: the linker ended with 0 but wrote no such file"},
        {"0", "", "0", "", -1, kNotStarted,
         lost + " there: the assembler ended with 0 but wrote no such file"},
#ifdef _WIN32
        {"0", "0", "3221225477", "", 1, -1073741819,
         "the program was ended by exception 0xC0000005 (access violation)",
         "program: s.exe was ended by exception 0xC0000005 (access violation)"},
#else
        // SIGABRT, which a sanitizer's runtime lets through as it stands.
        {"0", "0", "signal 6", "", 1, 134, "the program ended with status 134",
         "program: s.exe was killed by SIGABRT"},
#endif
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.end + row.run);
        remove_tree(product + ".log");
        remove_tree(product);
        if (row.ran >= 0) copy_executable(PROBE_EXE, product);
        tool_status(asm_tool, row.asm_status);
        tool_status(lnk_tool, row.lnk_status);
        tool_status(product, row.program_status);
        ini("[DRIVER]\nEXITCODE=1\n[ASM]\nASSEMBLER=" + asm_tool +
            "\n[RUN]\nPROGRAM=@1.exe\nRUNLIST_01=@1\n" +
            (row.lnk_status.empty() ? "" : "[LNK]\nLINKER=" + lnk_tool + "\n"));
        Args env = {"PATH=" + root + "/tools", "TOLVANE_PROBE_ECHO=s.exe", "TOLVANE_RUN=" + row.run, ""};
        auto go = [&](const char* also) {
            env.back() = also;
            return run_process(driver, {driver, "s.asm"}, root + "/project", env, root + "/input");
        };
        ProcessResult r = go("TOLVANE_TRACE=");
        EXPECT_EQ(r.status, row.status);
        EXPECT_EQ(r.out, row.ran == 1 ? std::string("typed") + kEol : "");
        std::string said = row.ran < 0 ? "program: " + row.end : row.said;
        EXPECT_EQ(r.err, said.empty() ? "" : "tolvane: " + said + kEol);
        std::vector<ProbeRun> seen = runs(product);
        EXPECT_EQ(seen.size(), row.ran == 1 ? 1u : 0u);
        EXPECT_EQ(seen.empty() ? Args() : seen[0].argv, (row.ran == 1 ? Args{"s.exe", "s.asm"} : Args()));
        EXPECT_TRUE(runs(root + "/tools/s.exe").empty());
        std::string trace = timeless(go("TOLVANE_TRACE=1").err);
        EXPECT_NE(trace.find("run ends: " + row.end + kEol + "tolvane: exit status "), std::string::npos);
        EXPECT_EQ(trace.find("no tool was started"), std::string::npos);
        EXPECT_EQ(go("TOLVANE_EXITCODE=0").status, 0);
    }
}

// An entry that cannot be expanded because the argument or the result
// would exceed 259 characters stops its stage: nothing is started rather
// than a tool handed "@1.out" as a file name. With EXITCODE the run says
// which entry stopped it.
TEST_F(DriverTest, OverlongExpansionStopsItsStage) {
    struct Case {
        const char* what;
        std::string arg, asm_lines, lnk_lines;
        std::size_t asm_runs, lnk_runs;
        std::string stopped = "";  // the stage and its entry
        std::string warned = "";   // a warning in front
    } cases[] = {
        {"argument of 260", std::string(258, 'a') + ".s", "ASMLIST_01=@1\n", "LNKLIST_01=@1\n", 0, 0,
         "assembler: not run: ASMLIST_01"},
        {"argument of 259", std::string(257, 'a') + ".s", "ASMLIST_01=@1\n", "LNKLIST_01=@1\n", 1, 1},
        {"linker result of 260", std::string(254, 'b') + ".s", "ASMLIST_01=-o @1.o\nASMLIST_02=@1\n",
         "LNKLIST_01=-o @1.out\nLNKLIST_02=@1.o\n", 1, 0, "linker: not run: LNKLIST_01"},
        {"result of 259", std::string(254, 'b') + ".s", "ASMLIST_01=-o @1.o\n", "", 1, 1},
        {"a later entry", std::string(254, 'b') + ".s", "ASMLIST_01=@1\nASMLIST_02=xx@1.obj\n", "", 0, 0,
         "assembler: not run: ASMLIST_02"},
        {"an entry never passed", std::string(254, 'b') + ".s", "ASMLIST_01=@1\nASMLIST_03=xx@1.obj\n", "", 1,
         1, "", "assembler: ASMLIST_03 is not passed: ASMLIST_02 is absent or empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Runs are counted by what each run adds to the probes' logs.
        std::size_t asm_before = runs(asm_tool).size(), lnk_before = runs(lnk_tool).size();
        config(c.asm_lines, c.lnk_lines, "[DRIVER]\nEXITCODE=1\n");
        ProcessResult r = run({c.arg});
        EXPECT_EQ(runs(asm_tool).size() - asm_before, c.asm_runs);
        EXPECT_EQ(runs(lnk_tool).size() - lnk_before, c.lnk_runs);
        EXPECT_EQ(r.status, c.lnk_runs == 1 ? 0 : kNotStarted);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err,
                  (c.warned.empty() ? "" : "tolvane: warning: " + c.warned + kEol) +
                      (c.stopped.empty() ? ""
                                         : "tolvane: " + c.stopped +
                                               " cannot be expanded: the result would be longer than 259 "
                                               "characters" +
                                               kEol));
    }
}

}  // namespace
