#include "launch/launch.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/trace.h"
#include "platform/os.h"

namespace {

// Where a dry search puts the file it found.
char* dry_found = nullptr;

// What the stage's text took from the driver's arguments, while run_tool
// or find_tool runs.
const ArgumentSpans* from_arguments = nullptr;

// The words for the last start that the driver refused because the file
// is the command interpreter; empty when the last start was not refused so.
char interpreter_words[192];

// The PATH entry that cannot be named in which the last search ended, and
// why it cannot; empty when it ended elsewhere.
char end_entry[kPathBuffer];
char end_why[128];
char end_words[kPathBuffer + 256];
constexpr const char* kEndRemedy = "name the tool by its full path, or use the UTF-8 build";

// Each text that came from the arguments marked in the command line that
// `vector` makes (build_command_line): a blank for every other character.
std::string argument_marks(const char* const* vector, const char* line) {
    std::string marks(std::strlen(line), ' ');
    bool quoted = line[0] == '"' && vector[0][0] != '"';
    std::size_t at = quoted ? 1 : 0;
    for (int k = 0; k < kSlots && vector[k] != nullptr && at < marks.size(); ++k) {
        for (std::size_t i = from_arguments->begin[k]; i < from_arguments->end[k] && at + i < marks.size();
             ++i)
            marks[at + i] = 'a';
        at += std::strlen(vector[k]) + (k == 0 && quoted ? 2 : 1);
    }
    return marks;
}

// True, with the words kept, when `file` is the command interpreter and
// the text that came from the arguments holds what it would act on.
bool interpreter_refused(const char* file, const char* const* vector, const char* line) {
    interpreter_words[0] = '\0';
    if (from_arguments == nullptr || !is_command_interpreter(os_path_syntax(), file)) return false;
    std::size_t at = interpreter_acts_at(line, argument_marks(vector, line));
    if (at == std::string_view::npos) return false;
    if (line[at] == '%')
        std::snprintf(interpreter_words, sizeof interpreter_words,
                      "it is the command interpreter, and an argument puts %% in its command line, which it "
                      "expands inside double quotes too");
    else
        std::snprintf(interpreter_words, sizeof interpreter_words,
                      "it is the command interpreter, and an argument puts %c in its command line outside "
                      "double quotes, where it acts on it",
                      line[at]);
    return true;
}

bool start_refused() { return interpreter_words[0] != '\0' || os_start_refused(); }

void trace_candidate(const char* candidate, Candidate what, int value) {
    switch (what) {
        case Candidate::absent:
            if (value == ENOENT)
                trace("trying %s: not found", candidate);
            else
                trace("trying %s: cannot be tested: %s (%s)", candidate, error_name(value),
                      std::strerror(value));
            break;
        case Candidate::found:
            trace(dry_found != nullptr ? "trying %s: found" : "trying %s: found, starting it", candidate);
            break;
        case Candidate::not_started: {
            const char* words = start_failure_words(candidate, value);
            if (words != nullptr)
                trace("trying %s: could not be started: %s (%s)", candidate, words, error_name(value));
            else
                trace("trying %s: could not be started: %s (%s)", candidate, error_name(value),
                      std::strerror(value));
            break;
        }
        case Candidate::lost_entry: {
            char why[128];
            const char* remedy = nullptr;
            os_lost_words(static_cast<unsigned long>(value), why, sizeof why, remedy);
            trace("PATH entry %s is skipped: %s; %s", candidate, why, remedy);
            break;
        }
        case Candidate::unnamed_tool:
            trace("PATH entry %s holds the tool, but %s, so the search ends there: %s", candidate, end_why,
                  kEndRemedy);
            break;
        case Candidate::no_path:
            trace("PATH is %s, so there was nowhere to look", candidate == nullptr ? "not set" : "empty");
            break;
        case Candidate::empty_entry:
            trace("PATH entry \"\" (empty) ends the search; later entries are not tried");
            break;
        case Candidate::long_entry:
            trace(
                "PATH entry %s... has 258 characters or more, which ends the search; later entries are not "
                "tried",
                candidate);
            break;
        case Candidate::long_candidate:
            trace(
                "PATH entry %s with the name behind it would have %d characters, more than 259, which ends "
                "the search; later entries are not tried",
                candidate, value);
            break;
    }
}

// Why the driver itself would not start `file` with that command line
// (EINVAL: a command script, or the interpreter handed what it acts on); 0
// when it would.
int start_refusal(const char* file, const char* const* vector, const char* command_line) {
    int error = os_refuse_start(file, vector[0], command_line);
    return error == 0 && interpreter_refused(file, vector, command_line) ? EINVAL : error;
}

// The search's end in a dry run: the file it found, and whether the start
// would be refused or fail.
int dry_launch(const char* file, const char* const* vector) {
    std::size_t n = std::strlen(file);
    if (n > kMaxChars) n = kMaxChars;
    std::memcpy(dry_found, file, n);
    dry_found[n] = '\0';
    char* command_line = build_command_line(vector, os_tool_splits_command_line());
    errno = command_line == nullptr ? ENOMEM : start_refusal(file, vector, command_line);
    if (errno == 0) errno = os_check_start(file);
    std::free(command_line);
    return errno == 0 ? 0 : -1;
}

// Whether a PATH entry that lost a character holds the tool; the words
// for the search's end are kept when it does.
bool lost_entry_holds(const char* begin, const char* end, const char* name, bool extensions) {
    if (!os_lost_entry_holds(begin, end, name, extensions)) return false;
    next_path_entry(os_path_syntax(), begin, end_entry, kMaxChars);
    const char* remedy = nullptr;
    os_lost_words(os_lost_character(begin, end), end_why, sizeof end_why, remedy);
    std::snprintf(end_words, sizeof end_words, "it is in PATH entry %s, but %s: %s", end_entry, end_why,
                  kEndRemedy);
    return true;
}

SearchOps os_search(int (*launch)(const char* file, const char* const* vector)) {
    // Taken first: only then is it known whether the environment lost a
    // character, without which no PATH entry need be asked.
    const char* const* environment = os_environment();
    bool lost = os_environment_lost();
    end_words[0] = '\0';
    return SearchOps{&os_path_syntax(),
                     file_exists,
                     launch,
                     environment,
                     trace_enabled() ? trace_candidate : nullptr,
                     start_refused,
                     lost ? os_lost_character : nullptr,
                     lost ? lost_entry_holds : nullptr};
}

// `start` over the system's operations with `launch` at its end, the
// stretches of the stage's text that came from the arguments known to
// the launch meanwhile.
int search_with(int (*start)(const SearchOps&, const char*, const char* const*),
                int (*launch)(const char*, const char* const*), const char* name, const char* const* vector,
                const ArgumentSpans* spans) {
    from_arguments = spans;
    int result = start(os_search(launch), name, vector);
    from_arguments = nullptr;
    return result;
}

}  // namespace

bool file_exists(const char* path) { return os_file_exists(path); }

int launch_file(const char* file, const char* const* vector) {
    char* command_line = build_command_line(vector, os_tool_splits_command_line());
    if (command_line == nullptr) {
        errno = ENOMEM;
        return -1;
    }
    int status = -1;
    if (interpreter_refused(file, vector, command_line))
        errno = EINVAL;
    else
        status = os_start_and_wait(file, vector[0], command_line);
    int saved = errno;
    std::free(command_line);
    errno = saved;
    return status;
}

int run_tool(const char* name, const char* const* vector, const ArgumentSpans* spans) {
    return search_with(run_tool, launch_file, name, vector, spans);
}

int find_tool(const char* name, const char* const* vector, char* found, const ArgumentSpans* spans) {
    found[0] = '\0';
    dry_found = found;
    int result = search_with(run_tool, dry_launch, name, vector, spans);
    dry_found = nullptr;
    return result;
}

const char* start_failure_words(const char* file, int error) {
    if (interpreter_words[0] != '\0' && error == EINVAL) return interpreter_words;
    return os_start_failure(file, error);
}

const char* interpreter_refusal_words() { return interpreter_words[0] != '\0' ? interpreter_words : nullptr; }

const char* search_end_words() { return end_words; }

int run_program(const char* name, const char* const* vector, const ArgumentSpans* spans) {
    return search_with(run_program, launch_file, name, vector, spans);
}

int find_program(const char* name, const char* const* vector, char* found, const ArgumentSpans* spans) {
    found[0] = '\0';
    if (std::strlen(name) > kMaxChars) {
        errno = ENAMETOOLONG;
        return -1;
    }
    program_file(os_path_syntax(), name, found);
    char* command_line = build_command_line(vector, os_tool_splits_command_line());
    from_arguments = spans;
    errno = command_line == nullptr ? ENOMEM : start_refusal(found, vector, command_line);
    from_arguments = nullptr;
    std::free(command_line);
    return errno == 0 ? 0 : -1;
}
