// The run's diagnostics: the log, and what the trace explains before the
// stages run.
#include <cerrno>
#include <cstring>
#include <string_view>

#include "base/trace.h"
#include "driver/run.h"
#include "platform/os.h"

#ifndef TOLVANE_VERSION
#define TOLVANE_VERSION "unknown"
#endif

namespace {

// The keys each section holds, for the trace's word on keys never read.
struct SectionKeys {
    const char* section;
    const char* keys[4];
    const char* entry_prefix;  // null where the section has no entries
    const char* holds;
};

constexpr SectionKeys kSectionKeys[] = {
    {"DEBUG", {"VIEW", "TRACE", "DRYRUN", "LOG"}, nullptr, "[DEBUG] holds VIEW, TRACE, DRYRUN and LOG"},
    {"DRIVER", {"EXITCODE", "PAUSE"}, nullptr, "[DRIVER] holds EXITCODE and PAUSE"},
    {"ASM", {"ASSEMBLER"}, "ASMLIST_", "[ASM] holds ASSEMBLER and ASMLIST_01 to ASMLIST_20"},
    {"LNK", {"LINKER"}, "LNKLIST_", "[LNK] holds LINKER and LNKLIST_01 to LNKLIST_20"},
};

constexpr std::size_t kStampRoom = 64;

void log_line(const char* text, std::size_t n) {
    char line[kStampRoom + 8192];
    std::size_t stamp = os_log_stamp(line, kStampRoom);
    if (n > sizeof line - stamp - 1) n = sizeof line - stamp - 1;
    std::memcpy(line + stamp, text, n);
    line[stamp + n] = '\n';
    os_log_line(line, stamp + n + 1);
}

// The log's path: a relative name is taken from the configuration's
// directory. False when the result would not fit.
bool log_path(const Run& run, char* out) {
    const PathSyntax& syntax = os_path_syntax();
    std::size_t n = std::strlen(run.log);
    if (!run.have_config || is_absolute_path(syntax, std::string_view(run.log, n))) {
        std::memcpy(out, run.log, n + 1);
        return true;
    }
    PathParts parts;
    split_path(syntax, run.config, parts);
    return compose_path(syntax, parts.drive, parts.dir, run.log, "", out, kPathBuffer);
}

// Names each switch whose deciding value is no number as a whole. The
// file's texts take a reading of their own, made only for the trace.
void note_switches(const Run& run, bool readable) {
    char texts[kSwitchCount][kPathBuffer];
    ProfileQuery queries[kSwitchCount];
    for (int i = 0; i < kSwitchCount; ++i)
        queries[i] = ProfileQuery{kSwitches[i].section, kSwitches[i].key, texts[i], kPathBuffer, 0, nullptr};
    if (readable) os_profile_lookup(run.config, queries, kSwitchCount);
    for (int i = 0; i < kSwitchCount; ++i) {
        const Switch& s = kSwitches[i];
        if (run.variables[i] != nullptr) {
            if (!profile_int_is_whole(run.variables[i]))
                trace("%s=%s reads as %d", s.variable, run.variables[i], run.switches[i]);
        } else if (readable && queries[i].length > 0 && !profile_int_is_whole(texts[i])) {
            trace("%s=%s in [%s] reads as %d", s.key, texts[i], s.section, run.switches[i]);
        }
    }
}

// True when `name` is a key that the driver reads in that section.
bool is_read_key(const SectionKeys& section, const char* name) {
    for (const char* key : section.keys)
        if (key != nullptr && names_equal(name, key)) return true;
    if (section.entry_prefix == nullptr || !name_starts_with(name, section.entry_prefix)) return false;
    const char* digits = name + std::strlen(section.entry_prefix);
    if (std::strlen(digits) != 2 || digits[0] < '0' || digits[0] > '9' || digits[1] < '0' || digits[1] > '9')
        return false;
    int k = (digits[0] - '0') * 10 + (digits[1] - '0');
    return k >= 1 && k <= kArgEntries;
}

void note_unread_key(const SectionKeys& section, const char* name) {
    for (const SectionKeys& other : kSectionKeys)
        if (&other != &section && is_read_key(other, name)) {
            trace("%s in [%s] is not read: it belongs in [%s]", name, section.section, other.section);
            return;
        }
    if (section.entry_prefix != nullptr && name_starts_with(name, section.entry_prefix))
        trace("%s in [%s] is not read: entry keys run from %s01 to %s20", name, section.section,
              section.entry_prefix, section.entry_prefix);
    else
        trace("%s in [%s] is not read: %s", name, section.section, section.holds);
}

// Names every key of the driver's sections that it never reads.
void note_unread_keys(const Run& run) {
    static char names[16384];
    for (const SectionKeys& section : kSectionKeys) {
        os_profile_keys(section.section, names, sizeof names, run.config);
        for (const char* name = names; *name != '\0'; name += std::strlen(name) + 1)
            if (!is_read_key(section, name)) note_unread_key(section, name);
    }
}

const char* state_words(FileState state) {
    switch (state) {
        case FileState::absent:
            return "not found";
        case FileState::unreadable:
            return "cannot be read";
        case FileState::readable:
            break;
    }
    return "found";
}

}  // namespace

int open_log(const Run& run, char* path) {
    if (run.log[0] == '\0') return 0;
    if (!log_path(run, path)) return ENAMETOOLONG;
    if (!os_log_open(path)) return errno;
    trace_set_log(log_line);
    return 0;
}

bool open_trace(const Run& run, int log_error, const char* log) {
    FileState state = FileState::absent;
    if (run.argc < 2) {
        trace("tolvane %s: no argument, nothing to build", TOLVANE_VERSION);
    } else if (!run.have_config) {
        trace("tolvane %s: configuration: none (%s)", TOLVANE_VERSION, run.no_config);
    } else {
        state = os_file_state(run.config);
        trace("tolvane %s: configuration %s (%s): %s", TOLVANE_VERSION, run.config, run.whence,
              state_words(state));
    }
    char code_page[128];
    os_describe_code_page(code_page, sizeof code_page);
    if (code_page[0] != '\0') trace("code page: %s", code_page);
    if (run.have_config && run.argc >= 2 && os_path_lost_characters(run.config))
        trace(
            "configuration path: \"?\" stands for a character the code page lacks, so no file of that "
            "name can be found; the UTF-8 build (tolvane-%s-win64-utf8.zip) takes every character",
            TOLVANE_VERSION);
    if (log_error != 0)
        trace("log %s: cannot be opened: %s (%s)", log, error_name(log_error), std::strerror(log_error));
    bool readable = state == FileState::readable;
    note_switches(run, readable);
    if (readable) note_unread_keys(run);
    return readable;
}
