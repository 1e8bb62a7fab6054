// The run's diagnostics: the log, and what the trace explains before the
// stages run.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/trace.h"
#include "driver/driver.h"
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
    {"RUN", {"PROGRAM"}, "RUNLIST_", "[RUN] holds PROGRAM and RUNLIST_01 to RUNLIST_20"},
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

// The log's path: a relative name is taken from the current directory
// when TOLVANE_LOG gave it, else from the configuration's directory. False
// when the result would not fit.
bool log_path(const Run& run, char* out) {
    const PathSyntax& syntax = os_path_syntax();
    std::size_t n = std::strlen(run.log);
    if (run.log_variable != nullptr) return os_absolute_path(run.log, out);
    if (!run.have_config || is_absolute_path(syntax, std::string_view(run.log, n))) {
        std::memcpy(out, run.log, n + 1);
        return true;
    }
    PathParts parts;
    split_path(syntax, run.config, parts);
    return compose_path(syntax, parts.drive, parts.dir, run.log, "", out, kPathBuffer);
}

// Names each switch whose deciding value is no number as a whole, and
// each deciding value of the switches that was cut (a LOG too long is a
// log that cannot be opened). The file's texts take a reading of their
// own, made only for the trace.
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
            continue;
        }
        if (queries[i].cut) note_cut_value(nullptr, s.section, s.key);
        if (readable && queries[i].length > 0 && !profile_int_is_whole(texts[i]))
            trace("%s=%s in [%s] reads as %d", s.key, texts[i], s.section, run.switches[i]);
    }
    if (run.run_variable != nullptr && !profile_int_is_whole(run.run_variable))
        trace("%s=%s reads as %d", kRunVariable, run.run_variable, profile_parse_int(run.run_variable));
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

// Names the key `name` of the section `shown`, which the driver reads as
// `section` (for the sources of the extension `ext`, else ext is "").
void note_unread_key(const SectionKeys& section, const char* shown, const char* ext, const char* name) {
    for (const SectionKeys& other : kSectionKeys)
        if (&other != &section && is_read_key(other, name)) {
            warn("%s in [%s] is not read: it belongs in [%s%s]", name, shown, other.section,
                 other.entry_prefix != nullptr ? ext : "");
            return;
        }
    if (section.entry_prefix != nullptr && name_starts_with(name, section.entry_prefix))
        warn("%s in [%s] is not read: entry keys run from %s01 to %s20", name, shown, section.entry_prefix,
             section.entry_prefix);
    else
        warn("%s in [%s] is not read: %s", name, shown, section.holds);
}

// True when `section` stands in the list `names` in front of itself.
bool named_before(const char* names, const char* section) {
    for (const char* name = names; name != section; name += std::strlen(name) + 1)
        if (names_equal(name, section)) return true;
    return false;
}

// The stage whose section's name `name` begins with; null for any other.
const SectionKeys* stage_named_in(const char* name) {
    for (const SectionKeys& known : kSectionKeys)
        if (known.entry_prefix != nullptr && name_starts_with(name, known.section)) return &known;
    return nullptr;
}

// What stands behind the stage's name in a section's name, where it is a
// section for the sources of one extension: a dot and at least one more
// character (".c" of "ASM.c"); null otherwise.
const char* extension_of_section(const SectionKeys& stage, const char* name) {
    const char* ext = name + std::strlen(stage.section);
    return ext[0] == '.' && ext[1] != '\0' ? ext : nullptr;
}

// Names every key of the section `shown` that the driver never reads
// there, read as `section` (ext as for note_unread_key), and once each key
// of a later section of that name.
void note_section(const SectionKeys& section, const char* shown, const char* ext, const Run& run, char* names,
                  std::size_t size) {
    os_profile_keys(shown, names, size, run.config);
    for (const char* name = names; *name != '\0'; name += std::strlen(name) + 1)
        if (!is_read_key(section, name)) note_unread_key(section, shown, ext, name);
    os_profile_later_keys(shown, names, size, run.config);
    for (const char* name = names; *name != '\0'; name += std::strlen(name) + 1)
        if (!named_before(names, name))
            warn("%s in a later [%s] is not read: only the first [%s] counts", name, shown, shown);
}

// Names every key of the driver's sections that it never reads, and once
// each key of a later section of such a name, a stage's sections for the
// sources of one extension ([ASM.c]) included, whatever the argument's
// extension; then each section that looks like a stage's and is none
// ([ASM .c], [ASMc]), and each key that it reads where it stands in a
// section it never reads ([LINK] for [LNK]); other keys there belong to
// other programs.
void note_unread_keys(const Run& run) {
    static char names[16384];
    static char sections[4096];
    for (const SectionKeys& section : kSectionKeys)
        note_section(section, section.section, "", run, names, sizeof names);
    os_profile_sections(sections, sizeof sections, run.config);
    for (const char* section = sections; *section != '\0'; section += std::strlen(section) + 1) {
        bool read = named_before(sections, section);
        for (const SectionKeys& known : kSectionKeys) read = read || names_equal(section, known.section);
        if (read) continue;
        const SectionKeys* stage = stage_named_in(section);
        const char* ext = stage != nullptr ? extension_of_section(*stage, section) : nullptr;
        if (ext != nullptr) {
            note_section(*stage, section, ext, run, names, sizeof names);
            continue;
        }
        if (stage != nullptr) {
            warn("[%s] is not read: tolvane reads [%s], and [%s.EXT] for the sources of the extension .EXT",
                 section, stage->section, stage->section);
            continue;
        }
        os_profile_keys(section, names, sizeof names, run.config);
        for (const char* name = names; *name != '\0'; name += std::strlen(name) + 1)
            for (const SectionKeys& known : kSectionKeys)
                if (is_read_key(known, name))
                    warn("%s in [%s] is not read: it belongs in [%s]", name, section, known.section);
    }
}

// Names each argument that none of the `count` entries (as read, empty
// where absent) names by its placeholder, as expand_placeholder reads it:
// it is built by nothing. `beyond_highest` names only those behind the
// highest number that some entry names (none when no entry names any), as
// a warning does: a configuration without placeholders leaves its
// arguments unused on purpose.
void note_unused_arguments(const Run& run, const char* const* entries, int count, bool beyond_highest) {
    int named[kStageCount * kArgEntries];
    int named_count = 0;
    int highest = 0;
    for (int i = 0; i < count && named_count < kStageCount * kArgEntries; ++i) {
        std::size_t n = std::strlen(entries[i]);
        if (n == 0 || n > kMaxChars) continue;
        char value[kPathBuffer];
        std::memcpy(value, entries[i], n + 1);
        PlaceholderResult r = expand_placeholder(value, run.argc, run.argv);
        if (r.what == Expansion::none) continue;
        named[named_count++] = r.number;
        if (r.number > highest) highest = r.number;
    }
    for (int n = beyond_highest ? (highest > 0 ? highest + 1 : run.argc) : 1; n < run.argc; ++n) {
        bool used = false;
        for (int i = 0; i < named_count && !used; ++i) used = named[i] == n;
        if (!used) warn("argument %d (%s): no entry names @%d, so it is not built", n, run.argv[n], n);
    }
}

// note_unused_arguments over the entries of every stage, which take a
// reading of their own, made only for the trace.
void note_unused_arguments(const Run& run) {
    char values[kStageCount * kArgEntries][kPathBuffer];
    const char* entries[kStageCount * kArgEntries];
    int count = 0;
    for (const SectionKeys& section : kSectionKeys) {
        if (section.entry_prefix == nullptr) continue;
        char keys[kArgEntries][16];
        char alternate[kPathBuffer];
        bool by_extension = extension_section(run, section.section, alternate);
        ProfileQuery queries[kArgEntries];
        for (int k = 0; k < kArgEntries; ++k) {
            std::snprintf(keys[k], sizeof keys[k], "%s%02d", section.entry_prefix, k + 1);
            queries[k] = ProfileQuery{section.section, keys[k], values[count + k], kPathBuffer, 0, nullptr};
            queries[k].alternate = by_extension ? alternate : nullptr;
        }
        os_profile_lookup(run.config, queries, kArgEntries);
        for (int k = 0; k < kArgEntries; ++k)
            entries[count + k] = queries[k].length > 0 ? values[count + k] : "";
        count += kArgEntries;
    }
    note_unused_arguments(run, entries, count, false);
}

// What stands at the configuration's path, as the trace and the dry run
// say it: "found", "not found", "cannot be read: EISDIR (Is a directory)".
void state_words(FileState state, int error, char* out, std::size_t size) {
    if (state == FileState::readable)
        std::snprintf(out, size, "found");
    else if (state == FileState::absent)
        std::snprintf(out, size, "not found");
    else if (error != 0)
        std::snprintf(out, size, "cannot be read: %s (%s)", error_name(error), std::strerror(error));
    else
        std::snprintf(out, size, "cannot be read: it is not a regular file");
}

// The room for stray_words: a path and its sentence.
constexpr std::size_t kStrayWords = kPathBuffer + 160;

// "; PATH is not read: ..." into `out` when a tolvane.ini lies in the
// current directory or beside the first source, where a user who has none
// beside the executable may have put it; else "".
void stray_words(const Run& run, char* out, std::size_t size) {
    out[0] = '\0';
    char candidates[2][kPathBuffer];
    bool named[2] = {os_absolute_path("tolvane.ini", candidates[0]), false};
    if (run.argc >= 2) {
        PathParts parts;
        char beside_source[kPathBuffer];
        split_path(os_path_syntax(), run.argv[1], parts);
        named[1] = compose_path(os_path_syntax(), parts.drive, parts.dir, "tolvane", "ini", beside_source,
                                kPathBuffer) &&
                   os_absolute_path(beside_source, candidates[1]);
    }
    for (int i = 0; i < 2; ++i) {
        int error = 0;
        if (!named[i] || os_file_state(candidates[i], error) != FileState::readable) continue;
        std::snprintf(out, size,
                      "; %s is not read: tolvane reads the tolvane.ini beside its executable, or the file "
                      "that TOLVANE_INI names",
                      candidates[i]);
        return;
    }
}

// What the run has for a configuration, as the trace's first line says
// it behind the version: "configuration PATH (beside the executable):
// found", with its encoding where that is not plain bytes; where it cannot
// be read, why, and the tolvane.ini that is not read (stray_words).
// `state` receives what stands at the path.
void config_words(const Run& run, FileState& state, char* out, std::size_t size) {
    char stray[kStrayWords];
    state = FileState::absent;
    if (!run.have_config) {
        stray_words(run, stray, sizeof stray);
        std::snprintf(out, size, "configuration: none (%s)%s", run.no_config, stray);
        return;
    }
    int error = 0;
    char words[160];
    state = os_file_state(run.config, error);
    state_words(state, error, words, sizeof words);
    const char* encoding = state == FileState::readable ? os_profile_encoding(run.config) : nullptr;
    stray[0] = '\0';
    if (state != FileState::readable) stray_words(run, stray, sizeof stray);
    char name[kConfigName];
    name_config(run, run.whence, name, sizeof name);
    std::snprintf(out, size, "configuration %s: %s%s%s%s", name, words, encoding != nullptr ? ", " : "",
                  encoding != nullptr ? encoding : "", stray);
}

constexpr std::size_t kConfigWords = 3 * kPathBuffer + 512;

}  // namespace

int open_log(const Run& run, char* path) {
    if (run.log[0] == '\0') return 0;
    int error = 0;
    const char* named = run.log_variable;
    unsigned long lost = named != nullptr ? os_lost_character(named, named + std::strlen(named)) : 0;
    // A name cut to fit, or a look-alike's, would be a file that nobody
    // named.
    if (lost != 0) {
        char why[160];
        const char* remedy = nullptr;
        os_lost_words(lost, why, sizeof why, remedy);
        error = EILSEQ;
        std::snprintf(path, kPathBuffer, "%s (%s; %s)", kLog.variable, why, remedy);
    } else if (run.log_too_long) {
        error = ENAMETOOLONG;
        std::snprintf(path, kPathBuffer, "%.*s...", static_cast<int>(kMaxChars - 3), run.log);
    } else if (!log_path(run, path)) {
        error = ENAMETOOLONG;
        std::snprintf(path, kPathBuffer, "%s", run.log);
    } else if (!os_log_open(path)) {
        error = errno;
    }
    // A log the user asked for and does not get is worth a word even
    // without the trace, which would say it in its own line.
    if (error == 0)
        trace_set_log(log_line);
    else if (run.switches[kTrace] == 0)
        std::fprintf(stderr, "tolvane: log %s: cannot be opened: %s (%s)\n", path, error_name(error),
                     std::strerror(error));
    return error;
}

bool open_trace(const Run& run, int log_error, const char* log) {
    FileState state = FileState::absent;
    if (run.argc < 2) {
        trace("tolvane %s: no argument, nothing to build", TOLVANE_VERSION);
    } else {
        char words[kConfigWords];
        config_words(run, state, words, sizeof words);
        trace("tolvane %s: %s", TOLVANE_VERSION, words);
    }
    char code_page[128];
    os_describe_code_page(code_page, sizeof code_page);
    if (code_page[0] != '\0') trace("code page: %s", code_page);
    if (log_error != 0)
        trace("log %s: cannot be opened: %s (%s)", log, error_name(log_error), std::strerror(log_error));
    bool readable = state == FileState::readable;
    note_switches(run, readable);
    if (readable) note_unread_keys(run);
    if (readable) note_unused_arguments(run);
    return readable;
}

void warn_of_file(const Run& run, const char* const* entries, int count) {
    if (os_profile_encoding(run.config) == kProfileUnmarkedUtf16) {
        FileState state;
        char words[kConfigWords];
        config_words(run, state, words, sizeof words);
        warn("%s", words);
    }
    note_unread_keys(run);
    note_unused_arguments(run, entries, count, true);
}

void note_cut_value(const char* stage_name, const char* section, const char* key) {
    if (stage_name != nullptr)
        trace("%s: %s is longer than %d characters and was cut there", stage_name, key,
              static_cast<int>(kMaxChars));
    else
        trace("%s in [%s] is longer than %d characters and was cut there", key, section,
              static_cast<int>(kMaxChars));
}

void name_config(const Run& run, const char* whence, char* out, std::size_t size) {
    char target[kPathBuffer];
    bool link = os_link_target(run.config, target);
    if (whence == nullptr && !link)
        std::snprintf(out, size, "%s", run.config);
    else
        std::snprintf(out, size, "%s (%s%s%s%s)", run.config, whence != nullptr ? whence : "",
                      whence != nullptr && link ? ", " : "", link ? "a link to " : "", link ? target : "");
}

void describe_no_config(const Run& run, char* out, std::size_t size) {
    char stray[kStrayWords];
    stray_words(run, stray, sizeof stray);
    if (!run.have_config) {
        std::snprintf(out, size, "no configuration: %s%s", run.no_config, stray);
        return;
    }
    int error = 0;
    char words[160];
    FileState state = os_file_state(run.config, error);
    state_words(state, error, words, sizeof words);
    char name[kConfigName];
    name_config(run, run.whence, name, sizeof name);
    std::snprintf(out, size, "no configuration: %s %s%s", name, words, stray);
}

void say_nothing_to_build(const Run& run) {
    if (run.argc < 2) {
        std::printf("no argument, nothing to build\n");
        return;
    }
    char words[kConfigWords];
    describe_no_config(run, words, sizeof words);
    std::printf("%s\n", words);
}

namespace {

constexpr const char* kWhatItDoes =
    "runs an assembler, then a linker, on a source file, as its configuration says";

}  // namespace

bool is_about_option(const PathSyntax& syntax, const char* argument) {
    return std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "--version") == 0 ||
           (syntax.windows && std::strcmp(argument, "/?") == 0);
}

void say_about(const Run& run, const char* option) {
    if (std::strcmp(option, "--version") == 0) {
        char build[192];
        os_describe_build(build, sizeof build);
        std::printf("tolvane %s, %s\n", TOLVANE_VERSION, build);
        return;
    }
    bool windows = os_path_syntax().windows;
    FileState state;
    char words[kConfigWords];
    config_words(run, state, words, sizeof words);
    std::printf(
        "tolvane %s %s.\n"
        "usage: %-18s  runs the tools; @1 in their entries stands for FILE\n"
        "       %-18s  this text\n"
        "       %-18s  the version and the build\n"
        "%s\n"
        "[ASM.EXT], [LNK.EXT], [RUN.EXT] there are read instead of [ASM], [LNK], [RUN] for a FILE.EXT\n"
        "switches, in the environment or as keys in [DRIVER] and [DEBUG] of the configuration:\n"
        "  TOLVANE_EXITCODE=1  end with the status of the tool that failed, and say why a run failed\n"
        "  TOLVANE_PAUSE=1     wait for a key before the window closes (2: after a failure or the program)\n"
        "  TOLVANE_TRACE=1     say on standard error what is read and tried, and why the run ends\n"
        "  TOLVANE_DRYRUN=1    show what would run, and start nothing\n"
        "  TOLVANE_VIEW=1      list the arguments first\n"
        "  TOLVANE_LOG=FILE    append the trace to FILE\n"
        "  TOLVANE_INI=FILE    read FILE instead of the tolvane.ini beside the executable\n"
        "  TOLVANE_RUN=0       build without running the program that [RUN] names (environment only)\n"
        "A source file named --help or --version is built as %s--help.\n"
        "The manual: %s\n",
        TOLVANE_VERSION, kWhatItDoes, "tolvane FILE...", windows ? "tolvane --help, /?" : "tolvane --help",
        "tolvane --version", words, windows ? ".\\" : "./",
        windows ? "tolvane.html beside tolvane.exe" : "man tolvane");
}

void say_what_it_is() { std::fprintf(stderr, "tolvane %s; tolvane --help tells more\n", kWhatItDoes); }

void say_welcome(const Run& run) {
    FileState state;
    char words[kConfigWords];
    config_words(run, state, words, sizeof words);
    std::printf(
        "tolvane %s.\n"
        "%s\n"
        "To build a file, drop it on tolvane.exe, or run \"tolvane FILE\" in a command prompt.\n",
        kWhatItDoes, words);
}

void warn_of_stray_config(const Run& run) {
    char stray[kStrayWords];
    stray_words(run, stray, sizeof stray);
    if (stray[0] == '\0') return;
    warnings_begin();
    warn("%s", stray + 2);
    warnings_end();
}
