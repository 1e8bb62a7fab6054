// driver/: the build sequence (build.cpp), its diagnostics (diagnose.cpp,
// with run.h between the two) and placeholder expansion (placeholder.cpp).
// Includes launch/, platform/ and base/; only app/ includes it.
//
// The build sequence: read tolvane.ini beside the executable, run the
// assembler and, when it ended with status 0, the linker, and then, when
// [RUN] names it, the program they built.
#pragma once

#include <cstddef>

#include "base/limits.h"
#include "base/path.h"

// The driver's whole run; returns the process's exit status. That is 0
// unless "EXITCODE" in [DRIVER] is not 0: then it is the status of the
// stage that ended the run (the assembler's when it was not 0, else the
// linker's, else the program's where [RUN] started one), -1 where no tool
// could be started or no assembler is named.
// "TRACE" in [DEBUG] not 0 writes a trace of the run to standard error.
int run_build(int argc, char** argv);

// What expand_placeholder made of an entry.
enum class Expansion {
    none,               // no "@": the entry stays as it is
    expanded,           // the placeholder was replaced
    not_placeholder,    // the number read is below 1: left as written
    no_argument,        // the number read is above argc - 1: left as written
    argument_too_long,  // the argument is longer than kMaxChars
    result_too_long,    // the result would be longer than kMaxChars
};

struct PlaceholderResult {
    Expansion what;
    int number;         // the number read behind "@"
    std::size_t at;     // offset of the entry's first "@"
    std::size_t taken;  // characters read as the number (1 or 2)
};

// Where a stretch of an expanded text came from: the argument that a
// placeholder put in, or the directory that "<CONFIG_DIR>" put in. All
// else is the value as written.
enum class Origin : unsigned char { written, argument, config_dir };

struct Inserted {
    unsigned short begin, end;  // offsets in the expanded text
    Origin origin;
};

// What one expansion put into a text, in order: one argument at most, and
// one directory per token, which takes 12 characters.
constexpr int kMaxInserted = 1 + kMaxChars / 12;
struct Origins {
    Inserted pieces[kMaxInserted];
    unsigned char count;
    unsigned char argument;  // the number of the argument put in, 0 for none
};

// Where the character at `offset` of an expanded text came from.
Origin origin_at(const Origins& origins, std::size_t offset);

// Rewrites the argument entry in `entry` (a kPathBuffer-byte buffer) in
// place: a placeholder "@N" at the entry's first "@" becomes argument N, and
// "@N." becomes argument N without its extension, the dot kept. Arguments
// are numbered 1 to argc - 1. An entry without a valid placeholder stays as
// it is; so does one whose argument or result would not fit kMaxChars,
// which the caller must not pass on (the result says which).
// With `config_dir`, every "<CONFIG_DIR>" of the entry as written becomes
// that directory too; text put in by either replacement is not looked at
// again, and `what` is result_too_long when the whole would not fit.
// `origins`, when not null, receives what was put in where (nothing for an
// entry left as it was).
PlaceholderResult expand_placeholder(char* entry, int argc, char** argv, const char* config_dir = nullptr,
                                     Origins* origins = nullptr);
PlaceholderResult expand_placeholder(const PathSyntax& syntax, char* entry, int argc, char** argv,
                                     const char* config_dir = nullptr, Origins* origins = nullptr);

// Replaces every "<CONFIG_DIR>" in `value` (a kPathBuffer-byte buffer) by
// `config_dir`; placeholders are left alone. Returns how many there were,
// or -1, with `value` as it was, when the result would be longer than
// kMaxChars. A null `config_dir` replaces nothing. `origins` as for
// expand_placeholder.
int expand_config_dir(char* value, const char* config_dir, Origins* origins = nullptr);

// The directory of the configuration file `config_path` into `out`
// (kPathBuffer bytes), without a trailing separator unless it is a root
// ("/", "C:\").
void config_dir_of(const PathSyntax& syntax, const char* config_path, char* out);

// Whether the run waits for a key before it ends, by PAUSE (0 never, 2 only
// when the run did not succeed, any other value always), and only where
// the driver owns its console and reads its input from it, so that no
// script or build tool can ever hang on it.
bool should_pause(int pause, bool succeeded, bool owns_console, bool input_is_console);

// Composes the configuration path from the executable's path: the same
// directory, file tolvane.ini. False, with `out` (kPathBuffer bytes) empty,
// when the result would not fit kMaxChars.
bool config_path_from(const PathSyntax& syntax, const char* exe_path, char* out);
