#include "launch/launch.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/trace.h"
#include "platform/os.h"

namespace {

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
            trace("trying %s: found, starting it", candidate);
            break;
        case Candidate::not_started:
            trace("trying %s: could not be started: %s (%s)", candidate, error_name(value),
                  std::strerror(value));
            break;
    }
}

}  // namespace

bool file_exists(const char* path) { return os_file_exists(path); }

int launch_file(const char* file, const char* const* vector) {
    char* command_line = build_command_line(vector);
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
    const SearchOps ops = {&os_path_syntax(), file_exists, launch_file, os_environment(),
                           trace_enabled() ? trace_candidate : nullptr};
    return run_tool(ops, name, vector);
}
