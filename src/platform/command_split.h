// The split of a Windows-style command line into words, as a Windows
// program's C runtime makes it. The POSIX platform hands a tool its command
// line this way, so that a tool sees the same arguments on both platforms.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Splits a command line's tail into words as the Windows C runtime does:
// blanks and tabs separate, double quotes group, backslashes escape only
// before a double quote, "" inside quotes is a literal quote.
std::vector<std::string> split_command_tail(const char* tail);

// The same split without allocating: the words, each terminated, go into
// `text` and a pointer to each into `words`; returns their number. Room for
// strlen(tail) + 1 bytes and strlen(tail) / 2 + 1 pointers always suffices,
// as no word is longer than the text it came from and blanks part them.
std::size_t split_command_words(const char* tail, char* text, char** words);

// The tail of a command line whose first word is `program`, as
// build_command_line joined them: what follows the program and its blank.
const char* command_tail(const char* program, const char* command_line);

// The words a Windows program's C runtime makes of its whole command line:
// the first by the rule for the program's name (double quotes toggle and
// are dropped, nothing escapes, a blank or tab outside quotes ends it), the
// rest as split_command_tail.
std::vector<std::string> split_command_line(const char* command_line);
