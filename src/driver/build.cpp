#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/trace.h"
#include "driver/driver.h"
#include "launch/launch.h"
#include "platform/os.h"

namespace {

struct Stage {
    const char* name;  // as the trace calls it
    const char* section;
    const char* program_key;
    const char* entry_prefix;  // entry keys are this and the number in two digits
};

constexpr Stage kAssembler = {"assembler", "ASM", "ASSEMBLER", "ASMLIST_"};
constexpr Stage kLinker = {"linker", "LNK", "LINKER", "LNKLIST_"};

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

// Reads the stage's program and entries and fills `vector`. Returns false
// when the program key gives nothing; sets `out_of_memory` when a block
// could not be obtained.
bool fill_vector(const Stage& stage, const char* config, int argc, char** argv, char** vector,
                 bool& out_of_memory) {
    char value[kPathBuffer];
    if (os_profile_string(stage.section, stage.program_key, value, sizeof value, config) == 0) return false;
    trace("%s: %s=%s", stage.name, stage.program_key, value);
    vector[0] = copy_block(value);
    out_of_memory = vector[0] == nullptr;
    for (int k = 1; k <= kArgEntries && !out_of_memory; ++k) {
        char key[kPathBuffer];
        entry_key(stage, k, key);
        if (os_profile_string(stage.section, key, value, sizeof value, config) == 0) continue;
        expand_placeholder(value, argc, argv);
        vector[k] = copy_block(value);
        out_of_memory = vector[k] == nullptr;
    }
    return true;
}

void trace_command_line(const Stage& stage, const char* const* vector) {
    if (!trace_enabled()) return;
    char* line = build_command_line(vector);
    trace("%s: command line: %s", stage.name, line != nullptr ? line : "(no memory for it)");
    std::free(line);
}

// The tool's result as the trace tells it; errno is the launch's.
void trace_result(const Stage& stage, int status) {
    if (status == -1 && errno != 0)
        trace("%s: not started: %s (%s)", stage.name, error_name(errno), std::strerror(errno));
    else
        trace("%s: exit status %d", stage.name, status);
}

// One stage. False when its program key gives nothing, so that the stage
// does not run. Otherwise `status` is the tool's exit status, or -1 when no
// tool was started (not found, not startable, no memory for its vector).
bool run_stage(const Stage& stage, const char* config, int argc, char** argv, int& status) {
    char* vector[kSlots] = {};
    bool out_of_memory = false;
    if (!fill_vector(stage, config, argc, argv, vector, out_of_memory)) {
        trace("%s: no %s in [%s]", stage.name, stage.program_key, stage.section);
        return false;
    }
    if (out_of_memory) {
        errno = ENOMEM;
        status = -1;
    } else {
        trace_command_line(stage, vector);
        // The listing must come before anything the tool writes, also when
        // standard output is a file or a pipe.
        std::fflush(stdout);
        status = run_tool(vector[0], vector);
    }
    trace_result(stage, status);
    release_vector(vector);
    return true;
}

// Runs the assembler and, when it ended with 0, the linker. Returns the
// run's status: that of the stage that ended it, -1 when no assembler is
// configured, 0 when the linker is not (a build without a link step).
int run_stages(const char* config, int argc, char** argv) {
    int status = 0;
    if (!run_stage(kAssembler, config, argc, argv, status)) {
        trace("run ends: no program for the assembler");
        return -1;
    }
    if (status != 0) {
        trace("run ends: the assembler failed (status %d)", status);
        return status;
    }
    if (!run_stage(kLinker, config, argc, argv, status)) {
        trace("run ends: no link step, done");
        return 0;
    }
    if (status != 0) {
        trace("run ends: the linker failed (status %d)", status);
        return status;
    }
    trace("run ends: done");
    return 0;
}

}  // namespace

bool config_path_from(const PathSyntax& syntax, const char* exe_path, char* out) {
    PathParts parts;
    split_path(syntax, exe_path, parts);
    return compose_path(syntax, parts.drive, parts.dir, "tolvane", "ini", out, kPathBuffer);
}

int run_build(int argc, char** argv) {
    if (argc < 2) return 0;
    char exe[kPathBuffer];
    char config[kPathBuffer];
    if (!os_executable_path(exe) || !config_path_from(os_path_syntax(), exe, config)) return 0;

    trace_enable(os_profile_int("DEBUG", "TRACE", 0, config) != 0);
    bool exit_code = os_profile_int("DRIVER", "EXITCODE", 0, config) != 0;
    // The switch was read from the file, so a trace always finds it; a run
    // without the file is silent.
    trace("configuration %s: found", config);

    if (os_profile_int("DEBUG", "VIEW", 0, config) != 0)
        for (int i = 0; i < argc; ++i) std::printf("%d:%s\n", i, argv[i]);

    int status = run_stages(config, argc, argv);
    int result = exit_code ? status : 0;
    trace("exit status %d%s", result, exit_code ? "" : " (EXITCODE in [DRIVER] is not set)");
    return result;
}
