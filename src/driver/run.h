// What a run goes by, shared by the build sequence (build.cpp) and its
// diagnostics (diagnose.cpp): the switches, the configuration's path and
// what the environment said.
#pragma once

#include "base/limits.h"
#include "base/path.h"

// The integer switches. Each is read from its environment variable when
// that is set and not empty, else from its key; "not 0" means on.
enum SwitchId { kTrace, kView, kDryRun, kExitCode, kPause, kSwitchCount };

struct Switch {
    const char* section;
    const char* key;
    const char* variable;
};

inline constexpr Switch kSwitches[kSwitchCount] = {
    {"DEBUG", "TRACE", "TOLVANE_TRACE"},   {"DEBUG", "VIEW", "TOLVANE_VIEW"},
    {"DEBUG", "DRYRUN", "TOLVANE_DRYRUN"}, {"DRIVER", "EXITCODE", "TOLVANE_EXITCODE"},
    {"DRIVER", "PAUSE", "TOLVANE_PAUSE"},
};
inline constexpr Switch kLog = {"DEBUG", "LOG", "TOLVANE_LOG"};

// The switch of the run stage, read from the environment only: set, not
// empty and reading as 0, it skips the program that [RUN] names. The
// section is its key.
inline constexpr const char* kRunVariable = "TOLVANE_RUN";

// The stages whose entries name arguments: assembler, linker, program.
inline constexpr int kStageCount = 3;

// What the run goes by: the switches, where the configuration is, and
// what the environment said.
struct Run {
    int argc;
    char** argv;
    const char* variables[kSwitchCount];  // set and not empty, else null
    const char* log_variable;
    const char* run_variable;  // TOLVANE_RUN, set and not empty, else null
    const char* ini_variable;
    int switches[kSwitchCount];
    char log[kPathBuffer];  // LOG's value, from the variable or the file
    char config[kPathBuffer];
    bool have_config;
    const char* whence;            // where the configuration's name came from
    const char* no_config;         // why there is none, when there is none
    char lost_name[256];           // no_config's words for a name that lost a character
    char config_dir[kPathBuffer];  // what "<CONFIG_DIR>" stands for, with a configuration
    // The first argument's extension, its dot included, as path_extension
    // takes it; empty without an argument.
    char extension[kComponentMax + 1];
    double started;        // when the trace began, in os_seconds()
    bool log_too_long;     // LOG's value is longer than kMaxChars: no log is opened
    bool tool_ran;         // the last stage's tool was started, whatever its status
    int terminal;          // standard error: 0 not asked yet, 1 no terminal, 2 a terminal
    bool program_ran;      // the run stage started its program, whatever its status
    bool at_program;       // the run stage is the last stage that was tried
    const char* built_by;  // the stage whose 0 let the run stage start
    // The run pauses whatever PAUSE says: alone on a console made for it,
    // with no argument or with no configuration to read.
    bool must_pause;
    // The line that a run which failed without a tool's own word writes on
    // standard error when the user asked to hear of failures (EXITCODE on,
    // or a pause about to keep the window open) and the trace is not on to
    // say it: why no tool ran, or what ended the tool. Empty while there is
    // none.
    char failure[3 * kPathBuffer + 512];
};

// The section that takes the place of the stage's `section` for the
// sources of the run's extension, where the file holds it: "ASM.c" into
// `out` (kPathBuffer bytes). False, with `out` empty, where the first
// argument's extension is none or the dot alone.
bool extension_section(const Run& run, const char* section, char* out);

// Opens the log when the run names one; the error number when it cannot be
// opened, else 0. `path` (kPathBuffer bytes) receives its full name: a
// relative TOLVANE_LOG is taken from the current directory, as any name
// given on a command line, a relative LOG in the file from the
// configuration's directory. A value longer than kMaxChars is a log that
// cannot be opened (ENAMETOOLONG), never one cut to another name.
int open_log(const Run& run, char* path);

// The trace's opening: version, configuration and its encoding where that
// is not plain bytes, code page, the log that could not be opened, switches
// that are no numbers, values cut, keys never read, keys of a later section
// of a name that is read, keys that stand in a section never read, and
// arguments that no entry names.
// Returns false when the configuration cannot be read (or there is none).
bool open_trace(const Run& run, int log_error, const char* log);

// Says in the trace that the value of `key` was longer than kMaxChars
// characters and was cut there: "assembler: ASMLIST_03 is longer than 259
// characters and was cut there", or with a null `stage_name` "VIEW in
// [DEBUG] is longer ...".
void note_cut_value(const char* stage_name, const char* section, const char* key);

// The configuration's path as the words that name the file to edit give
// it: "PATH (WHENCE)", with ", a link to TARGET" inside the brackets where
// it is a symbolic link; a null `whence` gives "PATH" or "PATH (a link to
// TARGET)".
void name_config(const Run& run, const char* whence, char* out, std::size_t size);

// Room for name_config's words: two paths and the words around them.
constexpr std::size_t kConfigName = 2 * kPathBuffer + 64;

// "no configuration: " and why into `out`: where it was looked for and
// why it cannot be read, or why there is no path for it.
void describe_no_config(const Run& run, char* out, std::size_t size);

// The dry run's line on standard output for a run with nothing to build:
// "no argument, nothing to build", or that there is no configuration,
// where it was looked for and why it cannot be read.
void say_nothing_to_build(const Run& run);

// Warns, while warnings are on (warnings_begin), of the mistakes the
// opening of the trace names in the configuration: UTF-16 without a byte
// order mark, keys never read, keys of a later section, keys in a section
// never read, and arguments behind the highest that one of the `count`
// argument entries names (as read, empty where absent).
void warn_of_file(const Run& run, const char* const* entries, int count);

// Warns of a tolvane.ini in the current directory or beside the first
// source, which is not read, for a run that has no configuration to read.
void warn_of_stray_config(const Run& run);

// True for an argument that asks about tolvane rather than naming a
// source, when it is the only one: "--help", "--version", and on Windows
// "/?".
bool is_about_option(const PathSyntax& syntax, const char* argument);

// Answers such an argument on standard output: the version and the build,
// or a short usage with the configuration's path and whether it was found.
void say_about(const Run& run, const char* option);

// The line that a person at a terminal reads on standard error when
// tolvane was started with no argument: what it is, and where to learn
// more.
void say_what_it_is();

// The few lines that a console made for tolvane shows when it was started
// with no argument (a double-click): what it is, its configuration and
// whether that was found, and how to use it.
void say_welcome(const Run& run);
