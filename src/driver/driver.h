// driver/: the build sequence (build.cpp) and placeholder expansion
// (placeholder.cpp). Includes launch/, platform/ and base/; only app/
// includes it.
//
// The build sequence: read tolvane.ini beside the executable, run the
// assembler and, when it ended with status 0, the linker.
#pragma once

#include <cstddef>

#include "base/path.h"

// The driver's whole run; returns the process's exit status. That is 0
// unless "EXITCODE" in [DRIVER] is not 0: then it is the status of the
// stage that ended the run (the assembler's when it was not 0, else the
// linker's), -1 where no tool could be started or no assembler is named.
// "TRACE" in [DEBUG] not 0 writes a trace of the run to standard error.
int run_build(int argc, char** argv);

// Rewrites the argument entry in `entry` (a kPathBuffer-byte buffer) in
// place: a placeholder "@N" at the entry's first "@" becomes argument N, and
// "@N." becomes argument N without its extension, the dot kept. Arguments
// are numbered 1 to argc - 1. An entry without a valid placeholder, or whose
// argument or result would not fit kMaxChars, stays as it is.
void expand_placeholder(char* entry, int argc, char** argv);
void expand_placeholder(const PathSyntax& syntax, char* entry, int argc, char** argv);

// Composes the configuration path from the executable's path: the same
// directory, file tolvane.ini. False, with `out` (kPathBuffer bytes) empty,
// when the result would not fit kMaxChars.
bool config_path_from(const PathSyntax& syntax, const char* exe_path, char* out);
