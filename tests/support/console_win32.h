// A console made for one program, as Windows makes one for a program
// started from Explorer: a pseudoconsole whose screen the test reads and
// whose keyboard it types on.
#pragma once

#include <string>
#include <vector>

struct ConsoleRun {
    int status = -1;      // exit status; -1 when it had to be ended
    bool waited = false;  // it was still running after showing the prompt, or hung
    std::string screen;   // what it wrote, without the terminal's control sequences
};

// Runs `args` (argv[0] included, the program's path) in `cwd` on a console
// of its own, typing `early_keys` as soon as it started. When `prompt`
// appears on the screen while the program runs, and it still runs a moment
// later, it counts as waiting and a key is typed; a program that neither
// ends nor shows the prompt within ten minutes (a hang) counts as waiting
// too, and is ended.
ConsoleRun run_on_console(const std::vector<std::string>& args, const std::string& cwd,
                          const std::string& prompt, const std::string& early_keys = "");
