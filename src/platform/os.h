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
#include "platform/profile.h"

// Looks up what needs looking up once per run (the ANSI code page's lead
// bytes on Windows). Called by the process entry before anything else.
void os_init();

// Takes the arguments from the system's own form of the command line,
// split by a C runtime's rules, each character turned into the driver's
// code page exactly: "?" stands for one that has none there, never a
// look-alike. Replaces what the process entry got from the C runtime on
// Windows, where that is converted with look-alikes ("O" for U+03A9);
// changes nothing on POSIX, where arguments arrive as bytes.
void os_take_arguments(int& argc, char**& argv);

// The first argument (1 and up) that the driver must not pass on, 0 when
// every one may pass: one for which os_take_arguments put "?", or (UTF-8
// build) one holding a character that a tool reading its command line in
// the system's code page would read as another (U+03A9 as "O" in code
// page 1252, U+FF02 as a double quote). `why` (size bytes) receives the
// character and the reason, `remedy` what the user can do. Always 0 on
// POSIX.
int os_refused_argument(char* why, std::size_t size, const char*& remedy);

// What a tool that reads its command line in the system's code page makes
// of the texts of a tool argument vector (slot 0 up to the first null
// one): the first character it would read as another character (slot -1
// for none), and the first it would read as "?", having no form there at
// all (lost_slot -1 for none).
struct ToolReading {
    unsigned page;       // the system's code page
    int slot;            // where the first look-alike stands
    std::size_t offset;  // its offset in that slot's text
    unsigned long code;  // its code point
    char reads[16];      // the look-alike, in the driver's code page
    int lost_slot;       // where the first character without a form stands
    std::size_t lost_offset;
    unsigned long lost_code;
};

// False when a character of `vector` would reach a tool as a look-alike
// ("O" for U+03A9 in code page 1252), which may name another file:
// `reading` says which and where. Only the UTF-8 build has a code page of
// its own to tell from the system's; elsewhere always true, and nothing is
// looked at.
bool os_tool_reads_exactly(const char* const* vector, ToolReading& reading);

// Why a text from the system lost the character `code`, in words ("U+03A9
// has no form in code page 1252"), and what the user can do.
void os_lost_words(unsigned long code, char* why, std::size_t size, const char*& remedy);

// The platform's path syntax, with its lead bytes.
const PathSyntax& os_path_syntax();

// Full path of the running executable into `out` (kPathBuffer bytes).
// False when it is unknown, was cut, is longer than kMaxChars or holds a
// character that the code page has no form for (os_executable_lost).
bool os_executable_path(char* out);

// That character of the last os_executable_path, 0 when there was none.
unsigned long os_executable_lost();

// String lookup in an INI file: the value of `key` in `section`, at most
// out_size - 1 characters, terminated. Returns the characters placed; 0 for
// an absent file, section or key and for an empty value.
std::size_t os_profile_string(const char* section, const char* key, char* out, std::size_t out_size,
                              const char* file);

// Integer lookup in an INI file; `def` where the key is absent or empty.
int os_profile_int(const char* section, const char* key, int def, const char* file);

// Answers every query as the two lookups above would, from one reading of
// the file on POSIX (one profile call per query on Windows), and tells of
// each string value whether it was cut.
void os_profile_lookup(const char* file, ProfileQuery* queries, std::size_t count);

// The names of the keys of `section`, each ended by a NUL, the list ended
// by one more NUL, in file order, as the Windows profile call gives them
// for a null key name. Returns the bytes placed in front of the last NUL;
// a list that does not fit is cut at a whole name.
std::size_t os_profile_keys(const char* section, char* out, std::size_t out_size, const char* file);

// The names of the file's sections, listed as os_profile_keys lists keys.
std::size_t os_profile_sections(char* out, std::size_t out_size, const char* file);

// The key names of every section named `section` behind the first, which
// no lookup reads, as profile_read_later_keys lists them from the file's
// bytes (the system's profile calls cannot list them), read as the lookups
// read the file.
std::size_t os_profile_later_keys(const char* section, char* out, std::size_t out_size, const char* file);

// Until os_profile_release, the profile calls above and os_profile_encoding
// answer for `file` from one reading of it, where the platform reads the
// file itself and it fits the piece in which it is read (POSIX); elsewhere
// nothing changes. For a diagnosis, which asks a dozen times.
void os_profile_hold(const char* file);
void os_profile_release();

// How the INI file is encoded, for the trace, from its first kProfileHead
// bytes: null for plain bytes, else words such as "UTF-16LE".
const char* os_profile_encoding(const char* file);

// What a configuration path names: nothing, a file that can be read, or
// something that cannot be read as one. `error` receives why: ENOENT or
// ENOTDIR for nothing (a name below a file is no file either), EISDIR for
// a directory, what opening it gave (EACCES), 0 for another kind of file
// and for a readable one.
enum class FileState { absent, readable, unreadable };
FileState os_file_state(const char* path, int& error);

// When `path` is a symbolic link, the file it names into `out`
// (kPathBuffer bytes): its text, read from the link's own directory where
// it is relative; false for anything else, and always on Windows.
bool os_link_target(const char* path, char* out);

// `path` made absolute against the current directory into `out`
// (kPathBuffer bytes). False when that fails or the result is longer than
// kMaxChars.
bool os_absolute_path(const char* path, char* out);

// True when the path names any existing object, a directory included. When
// false, errno holds the reason (ENOENT for anything that means "not there").
bool os_file_exists(const char* path);

// Starts `file` with the tool's command line (its first word is `program`,
// the configured name), waits for it and returns its exit status. -1 with
// errno set when nothing was started or the wait failed.
int os_start_and_wait(const char* file, const char* program, const char* command_line);

// Why os_start_and_wait could not start `file`, which exists, without
// starting it: EACCES for a folder, and on POSIX for anything but a regular
// file the user may execute; 0 when nothing stands in the way.
int os_check_start(const char* file);

// True when the last os_start_and_wait started nothing because the driver
// refused the start itself (a command script whose command line the
// command interpreter would misread). Always false on POSIX.
bool os_start_refused();

// Whether the driver itself refuses to start `file` with that command
// line, as os_start_and_wait would (a command script that the interpreter
// would read otherwise than written, on Windows): the error number, which
// os_start_failure then explains, or 0 when the start would be made.
int os_refuse_start(const char* file, const char* program, const char* command_line);

// The signal that ended the tool of the last os_start_and_wait, 0 when it
// exited (always 0 on Windows).
int os_last_signal();

// The exit status that the caller of the driver sees for `status`: its low
// eight bits on POSIX, the whole value on Windows.
int os_status_seen(int status);

// Plain words for why `file`, which exists, could not be started with
// `error` when the error number alone would mislead (a script whose
// interpreter or a program whose loader is missing); null otherwise.
const char* os_start_failure(const char* file, int error);

// The log file: opened for appending (created if need be) by
// os_log_open, which is false with errno set when it cannot be. Each
// os_log_line appends `text` (n bytes, its line end included) in one
// piece, so that lines of drivers running at once never mix.
bool os_log_open(const char* path);
void os_log_line(const char* text, std::size_t n);

// The time stamp and process id in front of every log line, "2026-12-08T
// 23:15:56.123Z [4711] ", into `out`; returns its length.
std::size_t os_log_stamp(char* out, std::size_t size);

// The code page the driver works in, for the trace ("ANSI code page 1252",
// "UTF-8 (code page 65001)"); empty on POSIX, where bytes pass as given.
void os_describe_code_page(char* out, std::size_t size);

// Which build of the driver this is, for --version: "Linux build",
// "Windows build, ANSI code page 1252", "Windows UTF-8 build, UTF-8 (code
// page 65001)".
void os_describe_build(char* out, std::size_t size);

// Seconds from a fixed moment on a clock that only runs forward, for the
// trace's durations.
double os_seconds();

// True where a tool receives one command line and its own start-up code
// splits it into words (Windows); false where it receives the words
// themselves, split from the command line by the driver (POSIX).
bool os_tool_splits_command_line();

// True when the driver is the only process attached to its console and
// that console has a window, so that it was made for the driver and closes
// when it ends. Always false on POSIX.
bool os_owns_console();

// True when standard input is a console (Windows) or a terminal (POSIX).
bool os_input_is_console();

// True when standard error is a terminal (POSIX) or a console (Windows):
// a person reads what the driver says there. One system call.
bool os_error_is_terminal();

// Writes `prompt` and a line end to the console and waits for a key.
void os_pause(const char* prompt);

// The environment as the driver received it: "NAME=value" entries in the
// order the system gave them, ended by a null pointer. On Windows each
// character is turned into the code page exactly, "?" standing for one
// that has no form there.
const char* const* os_environment();

// The first character that the text from `begin` to `end`, part of an
// entry of os_environment(), lacks where it holds "?" for it: its code
// point, 0 when every character came over. Always 0 on POSIX.
unsigned long os_lost_character(const char* begin, const char* end);

// True when the PATH entry that the text from `begin` to `end` of
// os_environment() holds, which lost a character, names a folder that
// holds the file `name`, with ".com", ".exe", ".bat" or ".cmd" behind it
// when `extensions`: asked of the system in the entry's own form. Always
// false on POSIX.
bool os_lost_entry_holds(const char* begin, const char* end, const char* name, bool extensions);

// True when some character of os_environment() did not come over, so
// that os_lost_character is worth asking. Always false on POSIX.
bool os_environment_lost();
