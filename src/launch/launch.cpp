#include "launch/launch.h"

#include <cerrno>
#include <cstdlib>

#include "platform/os.h"

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
    const SearchOps ops = {&os_path_syntax(), file_exists, launch_file, os_environment()};
    return run_tool(ops, name, vector);
}
