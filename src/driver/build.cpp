#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/trace.h"
#include "driver/driver.h"
#include "driver/run.h"
#include "launch/launch.h"
#include "platform/command_split.h"
#include "platform/os.h"

namespace {

struct Stage {
    const char* name;  // as the trace calls it
    const char* section;
    const char* program_key;
    const char* entry_prefix;  // entry keys are this and the number in two digits
    // The program is the file an earlier stage built: expanded as an entry
    // is, and started where it stands, never searched for.
    bool built_file;
};

constexpr Stage kAssembler = {"assembler", "ASM", "ASSEMBLER", "ASMLIST_", false};
constexpr Stage kLinker = {"linker", "LNK", "LINKER", "LNKLIST_", false};
constexpr Stage kProgram = {"program", "RUN", "PROGRAM", "RUNLIST_", true};

constexpr const char* kIniVariable = "TOLVANE_INI";
constexpr const char* kPausePrompt = "Press any key to close this window.";

// The keys of one stage as one reading of the configuration gave them.
struct StageValues {
    char program[kPathBuffer];
    char entries[kArgEntries][kPathBuffer];
    char keys[kArgEntries][16];
    std::size_t lengths[kArgEntries + 1];  // [0] the program's
    bool cut[kArgEntries + 1];             // longer than kMaxChars and cut there
    char alternate[kPathBuffer];           // the stage's section for the run's extension
    const char* section;                   // the section read: the stage's or `alternate`
    Origins origins[kArgEntries + 1];      // what the expansions put in, [0] the program's
};

// Whether a person reads standard error at a terminal or a command
// prompt, so that it hears what a script is not told; a window made for
// the driver goes by PAUSE instead. Asked once per run, and only by a run
// that would otherwise keep silent.
bool at_terminal(Run& run) {
    if (run.terminal == 0) run.terminal = os_error_is_terminal() && !os_owns_console() ? 2 : 1;
    return run.terminal == 2;
}

// Whether this run has said that a character reaches a tool as "?".
bool g_said_no_form = false;

bool warns(Run& run);

// Whether the run keeps its failure's words for the line on standard
// error. The trace says it in its own lines, and a dry run on standard
// output.
bool tells_failure(Run& run) {
    return run.switches[kTrace] == 0 && run.switches[kDryRun] == 0 &&
           (run.switches[kExitCode] != 0 || run.switches[kPause] != 0 || at_terminal(run));
}

void remember_failure(Run& run, const char* format, ...) TOLVANE_PRINTF_AT(2, 3);
void remember_failure(Run& run, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(run.failure, sizeof run.failure, format, args);
    va_end(args);
}

// The value of an environment variable when it is set and not empty.
const char* variable(const char* name) {
    const char* value = find_env_value(os_path_syntax(), os_environment(), name);
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

// True when some environment variable's name begins with "TOLVANE_": one
// pass over the environment, instead of one per variable, where there is
// none.
bool any_variable_named_tolvane() {
    return any_env_name_begins(os_path_syntax(), os_environment(), "TOLVANE_");
}

// A text read as the configuration's integer values are read.
int integer_of(const char* text) {
    std::size_t n = std::strlen(text);
    return profile_parse_int(std::string_view(text, n < kProfileIntBuffer - 1 ? n : kProfileIntBuffer - 1));
}

// The key of entry `k` (1 to 20): the stage's prefix and `k` in two digits
// with a leading zero, "ASMLIST_01". Formed by hand: snprintf took a
// seventh of all the instructions of a run.
void entry_key(const Stage& stage, int k, char* key) {
    std::size_t n = std::strlen(stage.entry_prefix);
    std::memcpy(key, stage.entry_prefix, n);
    key[n] = static_cast<char>('0' + k / 10);
    key[n + 1] = static_cast<char>('0' + k % 10);
    key[n + 2] = '\0';
}

// Adds the queries for a stage's program and entries to `queries`, in its
// section for the run's extension where the file holds that; returns how
// many.
std::size_t stage_queries(const Run& run, const Stage& stage, StageValues& values, ProfileQuery* queries) {
    const char* alternate =
        extension_section(run, stage.section, values.alternate) ? values.alternate : nullptr;
    queries[0] = ProfileQuery{stage.section, stage.program_key, values.program, kPathBuffer, 0, nullptr};
    queries[0].alternate = alternate;
    for (int k = 1; k <= kArgEntries; ++k) {
        entry_key(stage, k, values.keys[k - 1]);
        queries[k] =
            ProfileQuery{stage.section, values.keys[k - 1], values.entries[k - 1], kPathBuffer, 0, nullptr};
        queries[k].alternate = alternate;
    }
    return kArgEntries + 1;
}

void take_lengths(const Stage& stage, StageValues& values, const ProfileQuery* queries) {
    values.section = queries[0].from_alternate ? values.alternate : stage.section;
    for (int k = 0; k <= kArgEntries; ++k) {
        values.lengths[k] = queries[k].length;
        values.cut[k] = queries[k].cut;
    }
}

// One reading of the configuration for the linker's keys and the run
// stage's.
void read_later_stages(const Run& run, StageValues& linker, StageValues& program) {
    ProfileQuery queries[2 * (kArgEntries + 1)];
    std::size_t count = stage_queries(run, kLinker, linker, queries);
    count += stage_queries(run, kProgram, program, queries + count);
    if (run.have_config) os_profile_lookup(run.config, queries, count);
    take_lengths(kLinker, linker, queries);
    take_lengths(kProgram, program, queries + kArgEntries + 1);
}

// One reading of the configuration for the switches and the assembler's
// keys. Switches whose variable is set keep the variable's value.
void read_first(Run& run, StageValues& values) {
    ProfileQuery queries[kSwitchCount + 2 + kArgEntries];
    char texts[kSwitchCount][kProfileIntBuffer];
    for (int i = 0; i < kSwitchCount; ++i) {
        run.switches[i] = 0;
        queries[i] = ProfileQuery{kSwitches[i].section, kSwitches[i].key, texts[i], kProfileIntBuffer, 0,
                                  &run.switches[i]};
    }
    queries[kSwitchCount] = ProfileQuery{kLog.section, kLog.key, run.log, kPathBuffer, 0, nullptr};
    std::size_t count = kSwitchCount + 1 + stage_queries(run, kAssembler, values, queries + kSwitchCount + 1);
    run.log[0] = '\0';
    if (run.have_config && run.argc >= 2) os_profile_lookup(run.config, queries, count);
    take_lengths(kAssembler, values, queries + kSwitchCount + 1);
    run.log_too_long = queries[kSwitchCount].cut;
    for (int i = 0; i < kSwitchCount; ++i)
        if (run.variables[i] != nullptr) run.switches[i] = integer_of(run.variables[i]);
    if (run.log_variable != nullptr) {
        std::size_t n = std::strlen(run.log_variable);
        run.log_too_long = n > kMaxChars;
        if (n > kMaxChars) n = kMaxChars;
        std::memcpy(run.log, run.log_variable, n);
        run.log[n] = '\0';
    }
}

// True when the name (`what`: TOLVANE_INI, the executable's path) lost
// the character `lost` on its way from the system: then run.no_config
// says so, as no configuration is read rather than a look-alike's.
bool lost_config_name(Run& run, const char* what, const char* remedy, unsigned long lost) {
    if (lost == 0) return false;
    char why[160];
    const char* other = nullptr;
    os_lost_words(lost, why, sizeof why, other);
    std::snprintf(run.lost_name, sizeof run.lost_name, "%s: %s: %s; %s", what, why, remedy, other);
    run.no_config = run.lost_name;
    return true;
}

// Where the configuration is: TOLVANE_INI made absolute, or tolvane.ini
// beside the executable.
void locate_config(Run& run) {
    const char* named = run.ini_variable;
    run.whence = named != nullptr ? "from TOLVANE_INI" : "beside the executable";
    if (named != nullptr) {
        if (lost_config_name(run, kIniVariable, "name another file",
                             os_lost_character(named, named + std::strlen(named))))
            return;
        run.have_config = os_absolute_path(named, run.config);
        run.no_config = "TOLVANE_INI made absolute is longer than 259 characters";
        return;
    }
    char exe[kPathBuffer];
    run.no_config = "the executable's path is unknown or longer than 259 characters";
    bool known = os_executable_path(exe);
    if (lost_config_name(run, "the executable's path", "move the folder", os_executable_lost()) || !known)
        return;
    run.no_config = "its path would be longer than 259 characters";
    run.have_config = config_path_from(os_path_syntax(), exe, run.config);
}

// What "<CONFIG_DIR>" stands for: null, so that it stays as written,
// without a configuration.
const char* token_dir(const Run& run) { return run.have_config ? run.config_dir : nullptr; }

// --- the stages ------------------------------------------------------------

char* copy_block(const char* text) {
    char* block = static_cast<char*>(std::malloc(kPathBuffer));
    if (block != nullptr) std::memcpy(block, text, std::strlen(text) + 1);
    return block;
}

void release_vector(char** vector) {
    for (int k = 0; k < kSlots; ++k) {
        std::free(vector[k]);
        vector[k] = nullptr;
    }
}

// An entry whose placeholder names an argument not given passes it on as
// written: a mistake, or a configuration made for more sources than came.
void note_no_argument(const Stage& stage, const char* key, const char* entry, const PlaceholderResult& r) {
    warn("%s: %.*s in %s: there is no argument %d", stage.name, static_cast<int>(r.taken + 1), entry + r.at,
         key, r.number);
}

// Tells what became of an entry's placeholder where it is not replaced.
void trace_expansion(const Stage& stage, const char* key, const char* entry, const PlaceholderResult& r) {
    int shown = static_cast<int>(r.taken + 1);
    switch (r.what) {
        case Expansion::not_placeholder:
            trace("%s: %.*s in %s: not a placeholder, left as written", stage.name, shown, entry + r.at, key);
            break;
        case Expansion::no_argument:
            note_no_argument(stage, key, entry, r);
            break;
        case Expansion::argument_too_long:
            trace("%s: %s cannot be expanded: argument %d is longer than %d characters", stage.name, key,
                  r.number, static_cast<int>(kMaxChars));
            break;
        case Expansion::result_too_long:
            trace("%s: %s cannot be expanded: the result would be longer than %d characters", stage.name, key,
                  static_cast<int>(kMaxChars));
            break;
        case Expansion::none:
        case Expansion::expanded:
            break;
    }
}

// Quotes written around a program value, which the file's reader strips
// only once, make a name that no Windows file has.
void note_quoted_program(const Stage& stage, const char* program) {
    if (os_tool_splits_command_line() && std::strchr(program, '"') != nullptr)
        warn(
            "%s: %s holds double quotes, which no file name holds: write the path without them, since "
            "tolvane puts a program name with a blank in quotes itself",
            stage.name, stage.program_key);
}

// An entry behind the first absent one never reaches the tool.
void note_not_passed(const Stage& stage, const char* key, const char* gap) {
    warn("%s: %s is not passed: %s is absent or empty", stage.name, key, gap);
}

bool too_long(Expansion what) {
    return what == Expansion::argument_too_long || what == Expansion::result_too_long;
}

// Expands "<CONFIG_DIR>" in the stage's program value, and its
// placeholder where the program is a built file. False when the result
// would not fit.
bool expand_program(const Stage& stage, StageValues& values, const Run& run) {
    if (stage.built_file) {
        trace("%s: %s=%s", stage.name, stage.program_key, values.program);
        PlaceholderResult r =
            expand_placeholder(values.program, run.argc, run.argv, token_dir(run), &values.origins[0]);
        if (trace_enabled()) trace_expansion(stage, stage.program_key, values.program, r);
        note_quoted_program(stage, values.program);
        return !too_long(r.what);
    }
    if (expand_config_dir(values.program, token_dir(run), &values.origins[0]) < 0) {
        trace("%s: %s cannot be expanded: the result would be longer than %d characters", stage.name,
              stage.program_key, static_cast<int>(kMaxChars));
        return false;
    }
    trace("%s: %s=%s", stage.name, stage.program_key, values.program);
    note_quoted_program(stage, values.program);
    return true;
}

// Fills `vector` from the stage's values, expanding each entry, the
// program as `program_fits` says it was expanded. Returns 0, ENOMEM when a
// block could not be had, or ENAMETOOLONG when the program or an entry in
// front of the first absent one cannot be expanded (the stage must not run
// then); `bad_key` names it.
int fill_vector(const Stage& stage, StageValues& values, const Run& run, bool program_fits, char** vector,
                const char*& bad_key) {
    vector[0] = copy_block(values.program);
    if (vector[0] == nullptr) return ENOMEM;
    const char* gap = nullptr;
    int error = 0;
    if (!program_fits) {
        error = ENAMETOOLONG;
        bad_key = stage.program_key;
    }
    for (int k = 1; k <= kArgEntries; ++k) {
        const char* key = values.keys[k - 1];
        char* value = values.entries[k - 1];
        if (values.lengths[k] == 0) {
            values.origins[k].count = 0;
            values.origins[k].argument = 0;
            if (gap == nullptr) gap = key;
            continue;
        }
        PlaceholderResult r =
            expand_placeholder(value, run.argc, run.argv, token_dir(run), &values.origins[k]);
        if (trace_enabled()) trace_expansion(stage, key, value, r);
        // Only an entry that would reach the tool can hand it a wrong name.
        if (too_long(r.what) && error == 0 && gap == nullptr) {
            error = ENAMETOOLONG;
            bad_key = key;
        }
        if (gap != nullptr) note_not_passed(stage, key, gap);
        vector[k] = copy_block(value);
        if (vector[k] == nullptr) return ENOMEM;
    }
    return error;
}

// Where the character at `offset` of the stage's slot `slot` came from,
// as the trace names it, into `out`: "argument 1 (demo.asm)", "ASMLIST_02
// (through <CONFIG_DIR>)", "ASSEMBLER (as written)"; `remedy` is what the
// user can do about it.
void name_origin(const Run& run, const Stage& stage, const StageValues& values, int slot, std::size_t offset,
                 char* out, std::size_t size, const char*& remedy) {
    const Origins& origins = values.origins[slot];
    const char* key = slot == 0 ? stage.program_key : values.keys[slot - 1];
    switch (origin_at(origins, offset)) {
        case Origin::argument:
            std::snprintf(out, size, "argument %d (%s)", origins.argument, run.argv[origins.argument]);
            remedy = "rename it";
            break;
        case Origin::config_dir:
            std::snprintf(out, size, "%s (through <CONFIG_DIR>)", key);
            remedy = "move the folder";
            break;
        case Origin::written:
            std::snprintf(out, size, "%s (as written)", key);
            remedy = "change the value";
            break;
    }
}

// The first character of the stage's texts without any form in the code
// page a tool reads, said once per run wherever warnings are heard.
void warn_of_no_form(Run& run, const Stage& stage, const StageValues& values, const ToolReading& r) {
    if (r.lost_slot < 0 || g_said_no_form) return;
    g_said_no_form = true;
    char origin[kPathBuffer + 64];
    const char* remedy = nullptr;
    name_origin(run, stage, values, r.lost_slot, r.lost_offset, origin, sizeof origin, remedy);
    bool alone = warns(run);
    if (alone) warnings_begin();
    warn("%s: U+%04lX has no form in code page %u, so a tool that reads that code page gets \"?\"", origin,
         r.lost_code, r.page);
    if (alone) warnings_end();
}

// EILSEQ, with the words into `words`, when a character of the stage's
// texts would reach its tool as another character, which may name another
// file; else 0.
int check_reading(Run& run, const Stage& stage, const StageValues& values, const char* const* vector,
                  char* words, std::size_t size) {
    ToolReading r;
    bool exact = os_tool_reads_exactly(vector, r);
    warn_of_no_form(run, stage, values, r);
    if (exact) return 0;
    char origin[kPathBuffer + 64];
    const char* remedy = nullptr;
    name_origin(run, stage, values, r.slot, r.offset, origin, sizeof origin, remedy);
    std::snprintf(words, size,
                  "%s: U+%04lX would reach a tool that reads code page %u as %s, another name: %s", origin,
                  r.code, r.page, r.reads, remedy);
    return EILSEQ;
}

// What each slot's text took from the driver's arguments.
void spans_of(const StageValues& values, ArgumentSpans& spans) {
    for (int k = 0; k < kSlots; ++k) {
        spans.begin[k] = spans.end[k] = 0;
        if (k > kArgEntries) continue;
        const Origins& origins = values.origins[k];
        for (int i = 0; i < origins.count; ++i)
            if (origins.pieces[i].origin == Origin::argument) {
                spans.begin[k] = origins.pieces[i].begin;
                spans.end[k] = origins.pieces[i].end;
            }
    }
}

// The words the tool receives, each in brackets: on POSIX its argument
// vector; on Windows the words its C runtime makes of the command line.
std::string words_of(const char* const* vector, const char* line) {
    std::vector<std::string> words;
    if (os_tool_splits_command_line()) {
        words = split_command_line(line);
    } else {
        words = split_command_tail(command_tail(vector[0], line));
        words.insert(words.begin(), vector[0]);
    }
    std::string text =
        os_tool_splits_command_line() ? "words, as a C runtime splits the command line:" : "words:";
    for (const std::string& word : words) text += " [" + word + "]";
    return text;
}

void trace_command_line(const Stage& stage, const char* const* vector) {
    if (!trace_enabled()) return;
    char* line = build_command_line(vector, os_tool_splits_command_line());
    if (line == nullptr) {
        trace("%s: command line: (no memory for it)", stage.name);
        return;
    }
    trace("%s: command line: %s", stage.name, line);
    trace("%s: %s", stage.name, words_of(vector, line).c_str());
    std::free(line);
}

// The tool's result as the trace tells it, with the time since `started`
// for a tool that ran; errno is the launch's.
void trace_result(const Stage& stage, int status, double started) {
    int signal = os_last_signal();
    const char* name = signal_name(signal);
    if (status == -1 && errno != 0) {
        trace("%s: not started: %s (%s)", stage.name, error_name(errno), std::strerror(errno));
        return;
    }
    double seconds = os_seconds() - started;
    if (signal != 0 && name != nullptr) {
        trace("%s: killed by %s (status %d) after %.3f s", stage.name, name, os_status_seen(status), seconds);
    } else if (signal != 0) {
        trace("%s: killed by signal %d (status %d) after %.3f s", stage.name, signal, os_status_seen(status),
              seconds);
    } else {
        char text[64];
        status_text(os_status_seen(status), text, sizeof text);
        trace("%s: exit status %s after %.3f s", stage.name, text, seconds);
    }
}

// "./hello.out is not there: the linker ended with 0 but wrote no such
// file", for a run stage whose program is missing.
void missing_program_words(const Run& run, const char* program, char* out, std::size_t size) {
    char file[kProgramFile];
    program_file(os_path_syntax(), program, file);
    std::snprintf(out, size, "%s is not there: the %s ended with 0 but wrote no such file", file,
                  run.built_by);
}

// Keeps the words for a tool that did not speak for itself: one that was
// not started, was killed by a signal or ended by an exception. errno is
// the launch's.
void remember_tool_failure(Run& run, const Stage& stage, const char* program, int status) {
    int signal = os_last_signal();
    if (stage.built_file && status == -1 && errno == ENOENT) {
        char words[kProgramFile + 96];
        missing_program_words(run, program, words, sizeof words);
        remember_failure(run, "%s: %s", stage.name, words);
    } else if (status == -1 && errno == ENOENT) {
        remember_failure(run, "%s: %s was not found; TOLVANE_TRACE=1 shows where it was looked for",
                         stage.name, program);
    } else if (status == -1 && errno == EILSEQ && search_end_words()[0] != '\0') {
        remember_failure(run, "%s: %s was not started: %s", stage.name, program, search_end_words());
    } else if (status == -1 && errno != 0) {
        // The words name the reason where the error number alone would
        // mislead, as the trace does.
        const char* words = start_failure_words(program, errno);
        remember_failure(
            run, "%s: %s could not be started: %s (%s); TOLVANE_TRACE=1 shows where it was looked for",
            stage.name, program, words != nullptr ? words : error_name(errno),
            words != nullptr ? error_name(errno) : std::strerror(errno));
    } else if (signal != 0) {
        const char* name = signal_name(signal);
        if (name != nullptr)
            remember_failure(run, "%s: %s was killed by %s", stage.name, program, name);
        else
            remember_failure(run, "%s: %s was killed by signal %d", stage.name, program, signal);
    } else if (is_exception_status(status)) {
        char text[64];
        status_text(status, text, sizeof text);
        remember_failure(run, "%s: %s was ended by exception %s", stage.name, program, text);
    }
}

// Keeps the words for a stage that started nothing of its own accord: no
// memory for its arguments (ENOMEM), `bad_key` too long once expanded, or
// (EILSEQ) a character its tool would read as another, `bad_key` the
// words for it.
void remember_stage_refused(Run& run, const Stage& stage, int error, const char* bad_key) {
    if (error == EILSEQ)
        remember_failure(run, "%s: not run: %s", stage.name, bad_key);
    else if (error == ENOMEM)
        remember_failure(run, "%s: not run: no memory for its arguments", stage.name);
    else
        remember_failure(run,
                         "%s: not run: %s cannot be expanded: the result would be longer than %d characters",
                         stage.name, bad_key, static_cast<int>(kMaxChars));
}

// What the dry run says of a stage, on standard output; `blocked` names
// an earlier stage that would not run, so that this one is not looked for,
// and `built_by` the stage that writes a run stage's file. Returns 0 when
// the stage's tool would be started, else -1.
int dry_stage(const Stage& stage, const char* program, const char* const* vector, const ArgumentSpans& spans,
              int error, const char* bad_key, const char* blocked, const char* built_by) {
    if (error != 0) {
        std::printf(error == EILSEQ ? "%s: not run: %s\n" : "%s: not run: %s cannot be expanded\n",
                    stage.name, bad_key);
        return -1;
    }
    char* line = build_command_line(vector, os_tool_splits_command_line());
    if (line == nullptr) {
        std::printf("%s: not run: no memory for its command line\n", stage.name);
        return -1;
    }
    char found[kProgramFile];
    int result = -1;
    if (blocked == nullptr)
        result = stage.built_file ? find_program(program, vector, found, &spans)
                                  : find_tool(program, vector, found, &spans);
    const char* words = result != 0 && errno == EINVAL ? interpreter_refusal_words() : nullptr;
    if (blocked != nullptr)
        std::printf("%s: not run (the %s would not run), command line: %s\n", stage.name, blocked, line);
    else if (result == 0 && stage.built_file)
        std::printf("%s: runs %s once the %s has written it, command line: %s\n", stage.name, found, built_by,
                    line);
    else if (result == 0)
        std::printf("%s: runs %s, command line: %s\n", stage.name, found, line);
    else if (errno == EILSEQ && search_end_words()[0] != '\0')
        std::printf("%s: %s not started: %s, command line: %s\n", stage.name, program, search_end_words(),
                    line);
    else if (words != nullptr)
        std::printf("%s: %s cannot be started: %s (%s), command line: %s\n", stage.name, found, words,
                    error_name(errno), line);
    else if (stage.built_file)
        std::printf("%s: %s cannot be started (%s), command line: %s\n", stage.name, found, error_name(errno),
                    line);
    else
        std::printf("%s: %s %s (%s), command line: %s\n", stage.name, program,
                    errno == ENOENT ? "not found" : "cannot be started", error_name(errno), line);
    std::printf("%s: %s\n", stage.name, words_of(vector, line).c_str());
    std::free(line);
    return result == 0 ? 0 : -1;
}

// One stage. False when its program key gives nothing, so that the stage
// does not run. Otherwise `status` is the tool's exit status, or -1 when no
// tool was started (not found, not startable, an entry that cannot be
// expanded, no memory for its vector). A dry run starts nothing, and
// `blocked` names an earlier stage that would not run.
bool run_stage(const Stage& stage, StageValues& values, Run& run, int& status,
               const char* blocked = nullptr) {
    run.tool_ran = false;
    if (values.section != stage.section) {
        trace("%s: section [%s], for the extension %s", stage.name, values.section, run.extension);
        if (run.switches[kDryRun] != 0)
            std::printf("%s: section [%s], for the extension %s\n", stage.name, values.section,
                        run.extension);
    }
    if (values.lengths[0] == 0) {
        trace("%s: no %s in [%s]", stage.name, stage.program_key, values.section);
        if (run.switches[kDryRun] != 0)
            std::printf("%s: not run: no %s in [%s]\n", stage.name, stage.program_key, values.section);
        return false;
    }
    bool program_fits = expand_program(stage, values, run);
    for (int k = 0; k <= kArgEntries && trace_enabled(); ++k)
        if (values.cut[k])
            note_cut_value(stage.name, stage.section, k == 0 ? stage.program_key : values.keys[k - 1]);
    char* vector[kSlots] = {};
    const char* bad_key = nullptr;
    int error = fill_vector(stage, values, run, program_fits, vector, bad_key);
    ArgumentSpans spans;
    spans_of(values, spans);
    char refusal[2 * kPathBuffer + 256];
    if (error == 0) error = check_reading(run, stage, values, vector, refusal, sizeof refusal);
    if (error == EILSEQ) {
        bad_key = refusal;
        trace_command_line(stage, vector);
        trace("%s: not run: %s", stage.name, refusal);
    }
    if (run.switches[kDryRun] != 0) {
        if (error == 0) trace_command_line(stage, vector);
        status = dry_stage(stage, values.program, vector, spans, error, bad_key, blocked, run.built_by);
    } else if (error != 0) {
        errno = error;
        status = -1;
        if (error != EILSEQ) trace_result(stage, status, 0);
        if (tells_failure(run)) remember_stage_refused(run, stage, error, bad_key);
    } else {
        trace_command_line(stage, vector);
        // The listing must come before anything the tool writes, also when
        // standard output is a file or a pipe.
        std::fflush(stdout);
        double started = trace_enabled() ? os_seconds() : 0;
        status = stage.built_file ? run_program(values.program, vector, &spans)
                                  : run_tool(values.program, vector, &spans);
        // A tool of its own may end with -1 too; only the launch's error
        // number tells the two apart.
        run.tool_ran = status != -1 || errno == 0;
        run.program_ran = stage.built_file && run.tool_ran;
        if (trace_enabled()) trace_result(stage, status, started);
        if (status != 0 && tells_failure(run)) remember_tool_failure(run, stage, values.program, status);
    }
    release_vector(vector);
    return true;
}

// True when the driver is alone on a console made for it (a file dropped
// on it, a double-click), where a window that closes at once shows nothing.
bool console_of_its_own() { return os_owns_console() && os_input_is_console(); }

// Whether the mistakes in the configuration are said as warnings on
// standard error: where the user asked to hear of failures (EXITCODE on,
// or PAUSE on where it can keep a window open) or a person reads it,
// unless the trace is on to say them.
bool warns(Run& run) {
    return run.switches[kTrace] == 0 &&
           (run.switches[kExitCode] != 0 || (run.switches[kPause] != 0 && console_of_its_own()) ||
            at_terminal(run));
}

// Keeps the words for a run without a configuration to read where the
// user asked to hear of failures, and on a console of its own, which then
// pauses whatever PAUSE says: the file that would set it is missing. The
// failure line names a tolvane.ini that is not read; without that line, a
// warning does.
void remember_no_config(Run& run) {
    run.must_pause = console_of_its_own();
    if (tells_failure(run) || (run.must_pause && run.switches[kTrace] == 0 && run.switches[kDryRun] == 0))
        describe_no_config(run, run.failure, sizeof run.failure);
    else if (warns(run))
        warn_of_stray_config(run);
}

// A configuration that is no file to read gives no ASSEMBLER either; only
// the words tell the two apart, and only a run that says one or the other
// asks which it is.
void remember_no_assembler(Run& run, const StageValues& values) {
    if (!tells_failure(run) && (run.switches[kTrace] != 0 || !console_of_its_own())) return;
    int error = 0;
    if (os_file_state(run.config, error) != FileState::readable)
        remember_no_config(run);
    else if (tells_failure(run)) {
        char name[kConfigName];
        name_config(run, nullptr, name, sizeof name);
        remember_failure(run, "assembler: no %s in [%s] of %s", kAssembler.program_key, values.section, name);
    }
}

// The warnings of a stage that would run: its program in quotes, each
// entry in front of the first absent one whose placeholder names an
// argument not given, and each entry behind it.
void warn_of_stage(const Stage& stage, const StageValues& values, const Run& run) {
    if (values.lengths[0] == 0) return;
    note_quoted_program(stage, values.program);
    const char* gap = nullptr;
    for (int k = 1; k <= kArgEntries; ++k) {
        if (values.lengths[k] == 0 && gap == nullptr) gap = values.keys[k - 1];
        if (values.lengths[k] != 0 && gap != nullptr) note_not_passed(stage, values.keys[k - 1], gap);
        if (values.lengths[k] == 0 || gap != nullptr) continue;
        char value[kPathBuffer];
        std::memcpy(value, values.entries[k - 1], values.lengths[k] + 1);
        PlaceholderResult r = expand_placeholder(value, run.argc, run.argv);
        if (r.what == Expansion::no_argument)
            note_no_argument(stage, values.keys[k - 1], values.entries[k - 1], r);
    }
}

// The warnings, all of them before the first tool starts, from one more
// reading of the configuration; the linker's keys are read for them ahead
// of time, and again by the linker's stage, which reads the file as it
// then is.
void warn_of_mistakes(Run& run, const StageValues& assembler) {
    warnings_begin();
    os_profile_hold(run.config);
    StageValues linker;
    StageValues program;
    read_later_stages(run, linker, program);
    const char* entries[kStageCount * kArgEntries];
    for (int k = 0; k < kArgEntries; ++k) {
        entries[k] = assembler.lengths[k + 1] != 0 ? assembler.entries[k] : "";
        entries[kArgEntries + k] = linker.lengths[k + 1] != 0 ? linker.entries[k] : "";
        entries[2 * kArgEntries + k] = program.lengths[k + 1] != 0 ? program.entries[k] : "";
    }
    warn_of_file(run, entries, kStageCount * kArgEntries);
    warn_of_stage(kAssembler, assembler, run);
    warn_of_stage(kLinker, linker, run);
    warn_of_stage(kProgram, program, run);
    os_profile_release();
    warnings_end();
}

// Why the run ends after a stage that did not succeed; errno is the
// launch's, 0 when the tool ran.
void trace_failure(const Stage& stage, int status) {
    if (!trace_enabled()) return;
    char text[64];
    status_text(os_status_seen(status), text, sizeof text);
    if (status == -1 && errno != 0)
        trace("run ends: the %s was not started", stage.name);
    else if (is_exception_status(os_status_seen(status)))
        trace("run ends: the %s was ended by exception %s", stage.name, text);
    else if (stage.built_file)
        trace("run ends: the %s ended with status %s", stage.name, text);
    else
        trace("run ends: the %s failed (status %s)", stage.name, text);
}

// The run stage, once the stage `built_by` ended with 0 (in a dry run:
// would start, unless `blocked` names one that would not): nothing at all
// where [RUN] names no program, else the program unless TOLVANE_RUN is 0.
// False when it did not start its program; `status` is then left alone.
bool run_program_stage(Run& run, StageValues& values, int& status, const Stage& built_by,
                       const char* blocked) {
    if (values.lengths[0] == 0) return false;
    run.built_by = built_by.name;
    if (run.run_variable != nullptr && integer_of(run.run_variable) == 0) {
        trace("%s: not run: %s=%s", kProgram.name, kRunVariable, run.run_variable);
        if (run.switches[kDryRun] != 0)
            std::printf("%s: not run: %s=%s\n", kProgram.name, kRunVariable, run.run_variable);
        return false;
    }
    run.at_program = run.switches[kDryRun] == 0;
    run_stage(kProgram, values, run, status, blocked);
    return true;
}

// Runs the assembler and, when it ended with 0, the linker, and when that
// (with no linker, the assembler) ended with 0, the program of [RUN].
// Returns the run's status: that of the stage that ended it, the
// program's once it ran, -1 when no assembler is configured, 0 when the
// linker is not (a build without a link step). A dry run goes through
// every stage and returns -1 when one would fail to start its tool.
int run_stages(Run& run, StageValues& values) {
    int status = 0;
    bool dry = run.switches[kDryRun] != 0;
    if (!run_stage(kAssembler, values, run, status)) {
        if (!dry) {
            trace("run ends: no program for the assembler");
            remember_no_assembler(run, values);
            return -1;
        }
        status = -1;
    }
    if (status != 0 && !dry) {
        trace_failure(kAssembler, status);
        return status;
    }
    int assembler = status;
    StageValues program;
    read_later_stages(run, values, program);
    if (!run_stage(kLinker, values, run, status, assembler != 0 ? kAssembler.name : nullptr)) status = 0;
    bool linked = values.lengths[0] != 0;
    const Stage& built_by = linked ? kLinker : kAssembler;
    if (dry) {
        int result = assembler != 0 ? assembler : status;
        const char* blocked = assembler != 0 ? kAssembler.name : status != 0 ? kLinker.name : nullptr;
        int program_status = 0;
        run_program_stage(run, program, program_status, built_by, blocked);
        trace("run ends: dry run, nothing was started");
        return result != 0 ? result : program_status;
    }
    if (linked && status != 0) {
        trace_failure(kLinker, status);
        return status;
    }
    if (!run_program_stage(run, program, status, built_by, nullptr)) {
        trace(linked ? "run ends: done" : "run ends: no link step, done");
        return 0;
    }
    if (status == -1 && errno == ENOENT && !run.tool_ran) {
        char words[kProgramFile + 96];
        missing_program_words(run, program.program, words, sizeof words);
        trace("run ends: %s", words);
        return status;
    }
    if (status != 0) {
        trace_failure(kProgram, status);
        return status;
    }
    trace("run ends: done");
    return 0;
}

// True when an argument cannot be passed on as the user gave it (it lost
// a character, or a tool would read a look-alike): the run then ends as a
// stage that starts nothing of its own accord ends.
bool argument_refused(Run& run) {
    char why[160];
    const char* remedy = nullptr;
    int n = os_refused_argument(why, sizeof why, remedy);
    if (n == 0) return false;
    char words[sizeof run.failure];
    std::snprintf(words, sizeof words, "argument %d (%s): %s, so nothing was started; %s", n, run.argv[n],
                  why, remedy);
    trace("%s", words);
    trace("run ends: argument %d cannot be passed on", n);
    if (run.switches[kDryRun] != 0) std::printf("%s\n", words);
    if (tells_failure(run)) remember_failure(run, "%s", words);
    return true;
}

void list_arguments(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) std::printf("%d:%s\n", i, argv[i]);
}

// The run's end: the status the caller sees, and the pause.
int finish(Run& run, int status) {
    bool exit_code = run.switches[kExitCode] != 0;
    int result = exit_code ? status : 0;
    if (trace_enabled()) {
        double seconds = os_seconds() - run.started;
        char text[64];
        status_text(os_status_seen(result), text, sizeof text);
        if (!exit_code)
            trace("exit status %s (EXITCODE is off), %.3f s in all", text, seconds);
        else if (status == -1 && !run.tool_ran)
            trace("exit status %s: %s, %.3f s in all", text,
                  run.at_program ? "the program was not started" : "no tool was started", seconds);
        else
            trace("exit status %s, %.3f s in all", text, seconds);
    }
    // A program's output is what the window is for, whatever its status.
    bool pause = run.must_pause || (run.switches[kPause] != 0 &&
                                    should_pause(run.switches[kPause], status == 0 && !run.program_ran,
                                                 os_owns_console(), os_input_is_console()));
    if (run.failure[0] != '\0' && (exit_code || pause || at_terminal(run))) {
        std::fflush(stdout);
        std::fprintf(stderr, "tolvane: %s\n", run.failure);
    }
    if (pause) {
        std::fflush(stdout);
        os_pause(kPausePrompt);
    }
    return result;
}

}  // namespace

bool extension_section(const Run& run, const char* section, char* out) {
    out[0] = '\0';
    // A name that ends in its dot has no extension: Windows drops that
    // dot from a file's name.
    if (run.extension[0] == '\0' || run.extension[1] == '\0') return false;
    std::size_t n = std::strlen(section);
    std::memcpy(out, section, n);
    std::memcpy(out + n, run.extension, std::strlen(run.extension) + 1);
    return true;
}

bool config_path_from(const PathSyntax& syntax, const char* exe_path, char* out) {
    PathParts parts;
    split_path(syntax, exe_path, parts);
    return compose_path(syntax, parts.drive, parts.dir, "tolvane", "ini", out, kPathBuffer);
}

bool should_pause(int pause, bool succeeded, bool owns_console, bool input_is_console) {
    if (pause == 0 || !owns_console || !input_is_console) return false;
    return pause != 2 || !succeeded;
}

int run_build(int argc, char** argv) {
    Run run = {};
    g_said_no_form = false;
    run.argc = argc;
    run.argv = argv;
    bool any_variable = false;
    if (any_variable_named_tolvane()) {
        for (int i = 0; i < kSwitchCount; ++i) {
            run.variables[i] = variable(kSwitches[i].variable);
            any_variable = any_variable || run.variables[i] != nullptr;
        }
        run.log_variable = variable(kLog.variable);
        run.run_variable = variable(kRunVariable);
        run.ini_variable = variable(kIniVariable);
    }
    // Alone, they ask about tolvane; beside another argument they are
    // sources as any other.
    if (argc == 2 && is_about_option(os_path_syntax(), argv[1])) {
        locate_config(run);
        say_about(run, argv[1]);
        return 0;
    }
    // Without an argument nothing is read, unless a variable asks for a
    // word on it or a window made for the driver would show nothing.
    run.must_pause = argc < 2 && console_of_its_own();
    if (argc < 2 && !any_variable && run.log_variable == nullptr && !run.must_pause) {
        if (at_terminal(run)) say_what_it_is();
        return 0;
    }

    locate_config(run);
    if (run.have_config) config_dir_of(os_path_syntax(), run.config, run.config_dir);
    if (argc >= 2) path_extension(os_path_syntax(), argv[1], run.extension);
    StageValues values;
    read_first(run, values);
    char log[kPathBuffer] = "";
    int log_error = open_log(run, log);
    trace_enable(run.switches[kTrace] != 0);
    // Times are taken only for the trace, from here on.
    if (trace_enabled()) run.started = os_seconds();

    // Only a diagnosis asks whether the file is there: without one, a
    // missing file reads as a file without keys.
    bool dry = run.switches[kDryRun] != 0;
    bool readable = true;
    int error = 0;
    if (trace_enabled())
        readable = open_trace(run, log_error, log);
    else if (dry)
        readable = run.have_config && os_file_state(run.config, error) == FileState::readable;
    if (argc < 2) {
        if (dry) say_nothing_to_build(run);
        if (run.must_pause) say_welcome(run);
        if (!dry && !run.must_pause && run.switches[kTrace] == 0 && at_terminal(run)) say_what_it_is();
        return finish(run, -1);
    }
    if (run.switches[kView] != 0) list_arguments(argc, argv);
    if (!run.have_config || !readable) {
        if (dry) say_nothing_to_build(run);
        remember_no_config(run);
        trace("run ends: no configuration");
        return finish(run, -1);
    }
    if (argument_refused(run)) return finish(run, -1);
    if (warns(run)) warn_of_mistakes(run, values);
    return finish(run, run_stages(run, values));
}
