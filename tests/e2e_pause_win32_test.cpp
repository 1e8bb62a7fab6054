// The pause end to end: the driver alone on a console made for it, as
// when a file is dropped on it in Explorer, with standard input the
// console, a pipe or a file.
#include <windows.h>

#include <string>
#include <vector>

#include "e2e_support.h"
#include "support/console_win32.h"

namespace {

const std::string kPrompt = "Press any key to close this window.";

class PauseTest : public DriverTest {
protected:
    // Runs the driver on a console of its own, with standard input as
    // `input` says ("console", "pipe" or "file"); with `alone` false
    // another process stays on the console, as a command prompt does.
    ConsoleRun run_on_own_console(const std::string& input, bool alone = true, bool source = true) {
        std::string stdin_file = root + "/project/input.txt";
        write_file(stdin_file, "y\r\n");
        std::string how = input == "file" ? "file:" + stdin_file : input;
        std::vector<std::string> args = {HELPER_EXE, "host", how, alone ? "leave" : "stay", driver};
        if (source) args.push_back("src.asm");
        return run_on_console(args, root + "/project", kPrompt);
    }
    void configure(const std::string& pause, bool succeeds) {
        config("ASMLIST_01=@1\n", "", "[DRIVER]\nPAUSE=" + pause + "\n");
        tool_status(asm_tool, succeeds ? "0" : "3");
    }
};

TEST_F(PauseTest, InputFromAPipeOrAFileNeverWaits) {
    for (const char* input : {"pipe", "file"}) {
        for (const char* pause : {"0", "1", "2"}) {
            for (bool succeeds : {true, false}) {
                configure(pause, succeeds);
                ConsoleRun run = run_on_own_console(input);
                EXPECT_FALSE(run.waited)
                    << input << " PAUSE=" << pause << (succeeds ? " success" : " failure");
                EXPECT_EQ(run.screen.find(kPrompt), std::string::npos) << run.screen;
                EXPECT_EQ(run.status, 0) << input << " PAUSE=" << pause;
            }
        }
    }
}

TEST_F(PauseTest, ConsoleMadeForTheDriverWaitsAsPauseSays) {
    struct Case {
        const char* pause;
        bool succeeds;
        bool alone;
        bool waits;
    } cases[] = {
        {"1", true, true, true},   {"2", false, true, true},  {"2", true, true, false},
        {"0", false, true, false}, {"1", true, false, false}, {"2", false, false, false},
    };
    for (const Case& c : cases) {
        configure(c.pause, c.succeeds);
        ConsoleRun run = run_on_own_console("console", c.alone);
        EXPECT_EQ(run.waited, c.waits) << "PAUSE=" << c.pause << (c.succeeds ? " success" : " failure")
                                       << (c.alone ? "" : ", not alone");
        EXPECT_EQ(run.screen.find(kPrompt) != std::string::npos, c.waits) << run.screen;
        // The tool's own status has spoken: the driver adds nothing.
        EXPECT_EQ(run.screen.find("tolvane:"), std::string::npos) << run.screen;
        // A key ends the wait, and the run's own status comes back.
        EXPECT_EQ(run.status, 0) << "PAUSE=" << c.pause;
    }
    // PAUSE=2 holds the window after a run stage that started its program.
    ASSERT_TRUE(copy_executable(PROBE_EXE, root + "/project/src.exe"));
    for (const char* variable : {"1", "0"}) {
        config("ASMLIST_01=@1\n", "", "[RUN]\nPROGRAM=@1.exe\n[DRIVER]\nPAUSE=2\n");
        tool_status(asm_tool, "0");
        SetEnvironmentVariableA("TOLVANE_RUN", variable);
        ConsoleRun run = run_on_own_console("console");
        SetEnvironmentVariableA("TOLVANE_RUN", nullptr);
        EXPECT_EQ(run.waited, variable[0] == '1') << run.screen;
        EXPECT_EQ(runs(root + "/project/src.exe").size(), 1u);
    }
    // Without a configuration only the environment can ask for a pause.
    remove_tree(root + "/bin/tolvane.ini");
    SetEnvironmentVariableA("TOLVANE_PAUSE", "2");
    ConsoleRun run = run_on_own_console("console");
    SetEnvironmentVariableA("TOLVANE_PAUSE", nullptr);
    EXPECT_TRUE(run.waited) << run.screen;
    // Why nothing was built stands above the prompt. The console draws
    // blanks by moving its cursor, so the screen's text holds none.
    std::size_t why = run.screen.find("tolvane:noconfiguration:");
    EXPECT_NE(why, std::string::npos) << run.screen;
    EXPECT_LT(why, run.screen.find(kPrompt)) << run.screen;
    // PAUSE alone asks to hear of a failure that no tool explained.
    configure("2", false);
    remove_tree(asm_tool);
    run = run_on_own_console("console");
    why = run.screen.find("tolvane:assembler:");
    EXPECT_NE(why, std::string::npos) << run.screen;
    EXPECT_LT(why, run.screen.find(kPrompt)) << run.screen;
}

// A console made for tolvane shows what it is when started with no
// argument, and why nothing is built without a configuration, whatever
// TOLVANE_PAUSE says, above the prompt. A command prompt hears it without
// a pause; elsewhere it stays silent.
TEST_F(PauseTest, ConsoleOfItsOwnShowsWhatTolvaneIsOrThatNoConfigurationIsThere) {
    struct Case {
        bool source, configured, alone;
        const char* variable;  // TOLVANE_ + this, or null
        const char* shown;     // above the prompt; null: nothing of tolvane's, and no wait
        const char* input = "console";
        const char* heard = nullptr;  // on a console that another process shares, with no wait
    } cases[] = {
        {false, true, true, nullptr, "(besidetheexecutable):found"},
        {false, false, true, nullptr, "(besidetheexecutable):notfound"},
        {false, true, false, nullptr, nullptr, "console",
         "tolvanerunsanassembler,thenalinker,onasourcefile,asitsconfigurationsays;tolvane--helptellsmore"},
        {false, true, true, nullptr, nullptr, "pipe"},
        {true, false, true, nullptr, "tolvane:noconfiguration:"},
        {true, false, true, "PAUSE=0", "tolvane:noconfiguration:"},
        {true, false, true, "DRYRUN=1", "noconfiguration:"},  // said once, on standard output
        {true, false, false, nullptr, nullptr, "console", "tolvane:noconfiguration:"},
        {true, true, true, "PAUSE=0", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        configure("0", true);
        if (!c.configured) remove_tree(root + "/bin/tolvane.ini");
        std::string name = "TOLVANE_" + std::string(c.variable ? c.variable : "PAUSE=");
        std::size_t is = name.find('=');
        SetEnvironmentVariableA(name.substr(0, is).c_str(), c.variable ? name.c_str() + is + 1 : nullptr);
        ConsoleRun run = run_on_own_console(c.input, c.alone, c.source);
        SetEnvironmentVariableA(name.substr(0, is).c_str(), nullptr);
        // The console breaks lines at its width, and draws a blank now as
        // one, now by moving its cursor.
        std::string screen;
        for (char ch : run.screen) screen += ch == '\r' || ch == '\n' || ch == ' ' ? "" : std::string(1, ch);
        std::size_t prompt = screen.find("Pressanykeytoclosethiswindow.");
        EXPECT_EQ(run.waited, c.shown != nullptr) << screen;
        if (c.heard)
            EXPECT_NE(screen.find(c.heard), screen.npos) << screen;
        else
            EXPECT_EQ(screen.find(c.shown ? c.shown : "tolvane") < prompt, c.shown != nullptr) << screen;
        const char* said = c.shown ? c.shown : c.heard;
        EXPECT_EQ(screen.find("tolvane:noconfiguration") != screen.npos,
                  said && std::string(said) == "tolvane:noconfiguration:")
            << screen;
        EXPECT_EQ(screen.find("dropitontolvane.exe") < prompt, c.shown && !c.source) << screen;
    }
}

}  // namespace
