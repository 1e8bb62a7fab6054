// platform/: the one layer that talks to the operating system. os.h is the
// contract, implemented once per platform (os_posix.cpp, os_win32.cpp,
// chosen by CMake). Beside it live the pieces only a platform needs but
// every host can test: the INI reader (profile.h) with which POSIX answers
// the profile lookups Windows makes itself, and the Windows command-line
// split (command_split.h) with which POSIX hands a tool its arguments.
// Includes only base/.
//
// Everything the driver asks of the operating system. One implementation
// per platform: os_posix.cpp, os_win32.cpp. The rest of the code is portable.
#pragma once

#include <cstddef>

#include "base/path.h"

// Looks up what needs looking up once per run (the ANSI code page's lead
// bytes on Windows). Called by the process entry before anything else.
void os_init();

// The platform's path syntax, with its lead bytes.
const PathSyntax& os_path_syntax();

// Full path of the running executable into `out` (kPathBuffer bytes).
// False when it is unknown, was cut or is longer than kMaxChars.
bool os_executable_path(char* out);

// String lookup in an INI file: the value of `key` in `section`, at most
// out_size - 1 characters, terminated. Returns the characters placed; 0 for
// an absent file, section or key and for an empty value.
std::size_t os_profile_string(const char* section, const char* key, char* out, std::size_t out_size,
                              const char* file);

// Integer lookup in an INI file; `def` where the key is absent or empty.
int os_profile_int(const char* section, const char* key, int def, const char* file);

// True when the path names any existing object, a directory included. When
// false, errno holds the reason (ENOENT for anything that means "not there").
bool os_file_exists(const char* path);

// Starts `file` with the tool's command line (its first word is `program`,
// the configured name), waits for it and returns its exit status. -1 with
// errno set when nothing was started or the wait failed.
int os_start_and_wait(const char* file, const char* program, const char* command_line);

// The environment as the driver received it: "NAME=value" entries in the
// order the system gave them, ended by a null pointer.
const char* const* os_environment();
