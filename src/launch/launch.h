// launch/: finding a tool (the program search, search.cpp), its command
// line (command_line.cpp) and its start (launch.cpp). Includes platform/
// and base/, never driver/.
//
// Tool launching: find the configured program, start it with its command
// line, wait for it and return its exit status.
#pragma once

#include <cstddef>
#include <string_view>

#include "base/limits.h"
#include "base/path.h"

// The stretch of each slot's text that came from the driver's arguments,
// from begin to end (equal where none did).
struct ArgumentSpans {
    std::size_t begin[kSlots];
    std::size_t end[kSlots];
};

// Runs the program `name` (as configured) with the tool argument vector
// `vector` (kSlots slots, slot 0 the program, ended by the first null slot).
// Returns the tool's exit status, or -1 with errno set when no program was
// started: ENOENT when it was found nowhere, EILSEQ when it lies in a PATH
// entry that cannot be named (search_end_words), EINVAL when the driver
// refused the start (start_failure_words). With `from_arguments`, a file
// found that is the command interpreter is not started when the text that
// came from the arguments holds what it would act on
// (interpreter_acts_at).
int run_tool(const char* name, const char* const* vector, const ArgumentSpans* from_arguments = nullptr);

// Runs the file that an earlier stage built: `name` is a path, never
// searched for and never given an extension; one without a directory part
// is taken from the current directory (program_file). Returns its exit
// status, or -1 with errno set when it was not started: ENOENT when it is
// not there.
int run_program(const char* name, const char* const* vector, const ArgumentSpans* from_arguments = nullptr);

// What run_program would start, without the start, for a file that does
// not exist yet: the path into `found` (kProgramFile bytes) and 0, or -1
// with errno set when the driver itself would refuse the start.
int find_program(const char* name, const char* const* vector, char* found,
                 const ArgumentSpans* from_arguments = nullptr);

// The search of run_tool without the start: the file that would be started
// goes into `found` (kPathBuffer bytes, cut to fit) and the result is 0;
// -1 with errno set when none would be.
int find_tool(const char* name, const char* const* vector, char* found,
              const ArgumentSpans* from_arguments = nullptr);

// Plain words for why `file`, which exists, could not be started with
// `error` where the error number alone would mislead (the driver refused
// it, or os_start_failure explains it); null otherwise.
const char* start_failure_words(const char* file, int error);

// Why the last start was refused because the file is the command
// interpreter (interpreter_acts_at), null when it was not refused so.
const char* interpreter_refusal_words();

// Why the last run_tool or find_tool that ended with EILSEQ stopped: the
// PATH entry, the character it lacks and what to do; empty otherwise.
const char* search_end_words();

// What became of one candidate of the search.
// The last three end the walk along PATH before the entries behind it.
enum class Candidate {
    absent,          // the existence test failed; the value is its error number
    found,           // it exists and is about to be started; the value is 0
    not_started,     // it exists but could not be started; the value is the error number
    lost_entry,      // a PATH entry that lost a character, skipped: the text is the entry,
                     // the value that character's code point (lost_character)
    unnamed_tool,    // such an entry that holds the tool, which ends the search: the text
                     // and the value as for lost_entry; errno is EILSEQ
    no_path,         // PATH names no directory (empty, or separators only): the text is
                     // its value, null when it is not set; the value is 0
    empty_entry,     // a PATH entry of quotes alone; the text is empty, the value 0
    long_entry,      // a PATH entry of 258 characters or more; the text is its first 258
    long_candidate,  // the text is a PATH entry with its separator, the value the length
                     // it would have with the name behind it (260 or more)
};

// What the program search needs from the system; tests give stand-ins.
struct SearchOps {
    const PathSyntax* syntax;
    bool (*file_exists)(const char* path);                            // sets errno when false
    int (*launch_file)(const char* file, const char* const* vector);  // status, or -1 and errno
    const char* const* environment;                                   // "NAME=value", null-ended
    // Told of every candidate tried, in order, and of what ended a walk
    // early, when not null. errno is kept around the call.
    void (*observe)(const char* candidate, Candidate what, int value) = nullptr;
    // True when the last launch_file that failed was refused by the driver
    // itself (a command script the interpreter would misread): the search
    // ends there, along a network path too. Null: never.
    bool (*refused)() = nullptr;
    // The code point of the first character that the environment's text
    // from `begin` to `end` lost on its way from the system, 0 for none: a
    // PATH entry that lost one names no directory that is there. Null:
    // none ever is.
    unsigned long (*lost_character)(const char* begin, const char* end) = nullptr;
    // Whether a PATH entry that lost a character (the environment's text
    // from `begin` to `end`) holds the file `name`, with the extensions
    // when `extensions`, as the system names it: then the search ends
    // there, since the system's own search would start that file. Null:
    // such an entry is skipped.
    bool (*lost_entry_holds)(const char* begin, const char* end, const char* name, bool extensions) = nullptr;
};

// The search over given operations: the name where it stands, then along
// PATH unless the name names one place. A name holding "/" does so on
// either platform; under the Windows rules also a name with a drive
// ("C:\x", "C:x"), a rooted one ("\x", "\\server\share\x") and one that
// begins with ".\" or "..\". A name without a directory part is tried in
// the current directory first only under the Windows rules, and there not
// when the environment holds NoDefaultCurrentDirectoryInExePath; else only
// PATH is walked.
int run_tool(const SearchOps& ops, const char* name, const char* const* vector);

// One attempt at a name: with ".\" in front when it has no directory part,
// and with ".com", ".exe", ".bat", ".cmd" in turn when it has no extension
// (Windows rules); the first candidate that exists is started.
int try_launch(const SearchOps& ops, const char* name, const char* const* vector);

// Room for program_file's result: a name of kMaxChars characters with "./"
// in front.
constexpr std::size_t kProgramFile = kPathBuffer + 2;

// The file that run_program starts for `name` (at most kMaxChars
// characters) into `out`: `name` itself, with "./" (".\" under the
// Windows rules) in front when it has no directory part.
void program_file(const PathSyntax& syntax, const char* name, char* out);

// run_program over given operations.
int run_program(const SearchOps& ops, const char* name, const char* const* vector);

// The value of an environment variable, first match in environment order;
// null when there is none. Names match without regard to case under the
// Windows rules (Path is PATH there), exactly under the POSIX rules.
const char* find_env_value(const PathSyntax& syntax, const char* const* environment, const char* variable);

// True when some entry's name begins with `prefix`, matched as
// find_env_value matches names.
bool any_env_name_begins(const PathSyntax& syntax, const char* const* environment, const char* prefix);

// Copies the next entry of a PATH value into `buffer`, skipping empty
// entries and dropping double quotes (which may hold the separator).
// Returns the position behind the entry, or null when nothing is left or
// the entry reached limit - 1 characters (which ends the walk).
const char* next_path_entry(const PathSyntax& syntax, const char* rest, char* buffer, std::size_t limit);

// Starts `file` with the command line made from `vector` and waits for it.
int launch_file(const char* file, const char* const* vector);

// True when `path` names any existing object; errno tells why not.
bool file_exists(const char* path);

// The command line for a tool argument vector: slot 0, then the slots from
// 1 up to the first null slot, joined by single blanks; slot 0 alone when
// every one of those slots holds an empty text. With `quote_program` (for a
// tool that splits its own command line, os_tool_splits_command_line())
// slot 0 stands in double quotes when it holds a blank or a tab and no
// double quote, so that the tool reads its own name whole; nothing else is
// added. Null when its memory cannot be obtained; the caller frees it.
char* build_command_line(const char* const* vector, bool quote_program);

// True when `file` is the system's command interpreter: under the Windows
// rules, a file whose last component is cmd.exe, in any case.
bool is_command_interpreter(const PathSyntax& syntax, const char* file);

// The offset in the command interpreter's command line `line` of the first
// character it would act on, of those that `marks` marks (a character
// other than a blank at the same offset): "%" anywhere, as it expands
// variables inside double quotes too, and ^ & | < > outside double quotes
// as it reads the line. Behind the first word "/c" or "/k" it reads a text
// that begins with a double quote without its first and last one, unless
// the text holds exactly two, where either reading may apply. npos when
// there is none.
std::size_t interpreter_acts_at(std::string_view line, std::string_view marks);
