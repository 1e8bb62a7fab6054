#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/driver.h"
#include "launch/launch.h"
#include "platform/os.h"

namespace {

struct Stage {
    const char* section;
    const char* program_key;
    const char* entry_key;  // printf pattern taking the entry number
};

constexpr Stage kAssembler = {"ASM", "ASSEMBLER", "ASMLIST_%02d"};
constexpr Stage kLinker = {"LNK", "LINKER", "LNKLIST_%02d"};

// Sentinel for a stage that could not take memory for its vector.
constexpr int kNoMemory = -2;

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
// when the program key gives nothing; kNoMemory sets `out_of_memory`.
bool fill_vector(const Stage& stage, const char* config, int argc, char** argv, char** vector,
                 bool& out_of_memory) {
    char value[kPathBuffer];
    if (os_profile_string(stage.section, stage.program_key, value, sizeof value, config) == 0) return false;
    vector[0] = copy_block(value);
    out_of_memory = vector[0] == nullptr;
    for (int k = 1; k <= kArgEntries && !out_of_memory; ++k) {
        char key[kPathBuffer];
        std::snprintf(key, sizeof key, stage.entry_key, k);
        if (os_profile_string(stage.section, key, value, sizeof value, config) == 0) continue;
        expand_placeholder(value, argc, argv);
        vector[k] = copy_block(value);
        out_of_memory = vector[k] == nullptr;
    }
    return true;
}

// One stage: returns the tool's exit status, -1 when it could not be
// started, and 1 when the stage does not run (so the run ends there).
int run_stage(const Stage& stage, const char* config, int argc, char** argv) {
    char* vector[kSlots] = {};
    bool out_of_memory = false;
    if (!fill_vector(stage, config, argc, argv, vector, out_of_memory)) return 1;
    int result = kNoMemory;
    if (!out_of_memory) {
        // The listing must come before anything the tool writes, also when
        // standard output is a file or a pipe.
        std::fflush(stdout);
        result = run_tool(vector[0], vector);
    }
    release_vector(vector);
    return result;
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

    if (os_profile_int("DEBUG", "VIEW", 0, config) != 0)
        for (int i = 0; i < argc; ++i) std::printf("%d:%s\n", i, argv[i]);

    if (run_stage(kAssembler, config, argc, argv) != 0) return 0;
    run_stage(kLinker, config, argc, argv);
    return 0;
}
