// Path syntax and the split/compose rules shared by the configuration path,
// the stem placeholder and the program search. The rules of both platforms
// live here, so the Windows rules are exercised on any host.
#pragma once

#include <cstddef>
#include <string_view>

#include "base/limits.h"

struct PathSyntax {
    // Windows rules: "\" separates as well as "/", "X:" names a drive, bare
    // names get ".\" and are tried with extensions, PATH is split at ";",
    // environment names carry no case. Otherwise POSIX rules: only "/"
    // separates, PATH is split at ":", environment names match exactly.
    bool windows;
    // Lead bytes of double-byte characters (the ANSI code page's); all false
    // for a single-byte code page and on POSIX.
    bool lead[256];
};

// The POSIX rules, and the Windows rules with a single-byte code page.
const PathSyntax& posix_syntax();
const PathSyntax& windows_syntax();

// Fills `lead` for the given lead-byte ranges (pairs of first and last byte).
void set_lead_ranges(PathSyntax& syntax, const unsigned char* ranges, std::size_t pairs);

// The byte length of the character at s[0]: 2 for a lead byte followed by a
// byte that is not the terminator, else 1. Never steps past the text's end.
std::size_t char_length(const PathSyntax& syntax, std::string_view s);

// ASCII letters in lower case, every other byte as it is: names of
// sections, keys, extensions and (Windows) environment variables match this
// way.
inline char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Names compared with ascii_lower: the whole of both, or `text` beginning
// with `prefix`.
inline bool names_equal(const char* a, const char* b) {
    while (*a != '\0' && ascii_lower(*a) == ascii_lower(*b)) ++a, ++b;
    return *a == *b;
}
inline bool name_starts_with(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix)
        if (ascii_lower(*text) != ascii_lower(*prefix)) return false;
    return true;
}

bool is_separator(const PathSyntax& syntax, char c);
char separator_char(const PathSyntax& syntax);
char list_separator(const PathSyntax& syntax);

// True when s[i] is the second byte of a double-byte character, the text
// being read from its start. Looks only at the bytes in front of s[i] that
// are lead bytes, so it costs next to nothing without them.
bool is_trail_byte(const PathSyntax& syntax, std::string_view s, std::size_t i);

// True when the text's last character (stepping over double-byte characters
// from its start) is a separator.
bool ends_in_separator(const PathSyntax& syntax, std::string_view s);

// True when the text holds `c` as a character of its own, not as the
// second byte of a double-byte character.
bool has_char(const PathSyntax& syntax, std::string_view s, char c);

// True when the path does not depend on the current directory: it begins
// with a separator, or (Windows) names a drive.
bool is_absolute_path(const PathSyntax& syntax, std::string_view path);

// A path taken apart: what the configuration path and the stem are made
// of. Directory keeps its trailing separator; the file name ends in front
// of the last dot behind the directory, the extension, which nothing needs.
// Each of directory and file name holds at most kComponentMax bytes.
struct PathParts {
    char drive[3];
    char dir[kComponentMax + 1];
    char fname[kComponentMax + 1];
};

void split_path(const PathSyntax& syntax, std::string_view path, PathParts& parts);

// The extension that split_path leaves out: from the last dot of the file
// name part on, the dot included ("src\x.tar.s" gives ".s", "src.d\x"
// none), of at most kComponentMax bytes of whole characters, into `out`
// (kComponentMax + 1 bytes); empty where there is none.
void path_extension(const PathSyntax& syntax, std::string_view path, char* out);

// Composes drive, directory (a separator added where it lacks one), file
// name and extension (a dot added where it lacks one) into `out`. Returns
// false, leaving `out` empty, when the result would not fit `out_size`.
bool compose_path(const PathSyntax& syntax, const char* drive, const char* dir, const char* fname,
                  const char* ext, char* out, std::size_t out_size);
