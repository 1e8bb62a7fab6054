#include "launch/launch.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/trace.h"
#include "platform/os.h"

namespace {

// Where a dry search puts the file it found.
char* dry_found = nullptr;

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
            const char* words = os_start_failure(candidate, value);
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

// The search's end in a dry run: the file it found, and whether the start
// would be refused or fail.
int dry_launch(const char* file, const char* const* vector) {
    std::size_t n = std::strlen(file);
    if (n > kMaxChars) n = kMaxChars;
    std::memcpy(dry_found, file, n);
    dry_found[n] = '\0';
    char* command_line = build_command_line(vector, os_tool_splits_command_line());
    errno = command_line == nullptr ? ENOMEM : os_refuse_start(file, vector[0], command_line);
    if (errno == 0) errno = os_check_start(file);
    std::free(command_line);
    return errno == 0 ? 0 : -1;
}

SearchOps os_search(int (*launch)(const char* file, const char* const* vector)) {
    // Taken first: only then is it known whether the environment lost a
    // character, without which no PATH entry need be asked.
    const char* const* environment = os_environment();
    return SearchOps{&os_path_syntax(),
                     file_exists,
                     launch,
                     environment,
                     trace_enabled() ? trace_candidate : nullptr,
                     os_start_refused,
                     os_environment_lost() ? os_lost_character : nullptr};
}

}  // namespace

bool file_exists(const char* path) { return os_file_exists(path); }

int launch_file(const char* file, const char* const* vector) {
    char* command_line = build_command_line(vector, os_tool_splits_command_line());
    if (command_line == nullptr) {
        errno = ENOMEM;
        return -1;
    }
    int status = os_start_and_wait(file, vector[0], command_line);
    int saved = errno;
    std::free(command_line);
    errno = saved;
    return status;
}

int run_tool(const char* name, const char* const* vector) {
    return run_tool(os_search(launch_file), name, vector);
}

int find_tool(const char* name, const char* const* vector, char* found) {
    found[0] = '\0';
    dry_found = found;
    int result = run_tool(os_search(dry_launch), name, vector);
    dry_found = nullptr;
    return result;
}

int run_program(const char* name, const char* const* vector) {
    return run_program(os_search(launch_file), name, vector);
}

int find_program(const char* name, const char* const* vector, char* found) {
    found[0] = '\0';
    if (std::strlen(name) > kMaxChars) {
        errno = ENAMETOOLONG;
        return -1;
    }
    program_file(os_path_syntax(), name, found);
    char* command_line = build_command_line(vector, os_tool_splits_command_line());
    errno = command_line == nullptr ? ENOMEM : os_refuse_start(found, vector[0], command_line);
    std::free(command_line);
    return errno == 0 ? 0 : -1;
}
