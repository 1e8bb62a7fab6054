#include "base/path.h"

#include <cstring>

namespace {

PathSyntax make_syntax(bool windows) {
    PathSyntax syntax{};
    syntax.windows = windows;
    return syntax;
}

// Copies whole characters of `s` into `out` while they fit in `max` bytes,
// so a double-byte character is never cut in two; terminates `out`.
void copy_component(const PathSyntax& syntax, std::string_view s, char* out, std::size_t max) {
    std::size_t n = 0;
    while (n < s.size()) {
        std::size_t len = char_length(syntax, s.substr(n));
        if (n + len > max) break;
        n += len;
    }
    std::memcpy(out, s.data(), n);
    out[n] = '\0';
}

}  // namespace

const PathSyntax& posix_syntax() {
    static const PathSyntax syntax = make_syntax(false);
    return syntax;
}

const PathSyntax& windows_syntax() {
    static const PathSyntax syntax = make_syntax(true);
    return syntax;
}

void set_lead_ranges(PathSyntax& syntax, const unsigned char* ranges, std::size_t pairs) {
    for (bool& b : syntax.lead) b = false;
    for (std::size_t i = 0; i < pairs; ++i)
        for (unsigned c = ranges[2 * i]; c <= ranges[2 * i + 1] && c < 256; ++c) syntax.lead[c] = true;
}

std::size_t char_length(const PathSyntax& syntax, std::string_view s) {
    if (s.size() >= 2 && syntax.lead[static_cast<unsigned char>(s[0])] && s[1] != '\0') return 2;
    return 1;
}

bool is_separator(const PathSyntax& syntax, char c) { return c == '/' || (syntax.windows && c == '\\'); }

char separator_char(const PathSyntax& syntax) { return syntax.windows ? '\\' : '/'; }

char list_separator(const PathSyntax& syntax) { return syntax.windows ? ';' : ':'; }

bool is_trail_byte(const PathSyntax& syntax, std::string_view s, std::size_t i) {
    // A byte right behind a byte that is no lead byte begins a character, so
    // only the run of lead bytes in front of s[i] counts: read from its
    // start they pair up, and s[i] is a second byte when one is left over.
    if (s[i] == '\0') return false;
    std::size_t leads = 0;
    while (leads < i && syntax.lead[static_cast<unsigned char>(s[i - 1 - leads])]) ++leads;
    return leads % 2 == 1;
}

bool ends_in_separator(const PathSyntax& syntax, std::string_view s) {
    return !s.empty() && is_separator(syntax, s.back()) && !is_trail_byte(syntax, s, s.size() - 1);
}

bool has_char(const PathSyntax& syntax, std::string_view s, char c) {
    for (std::size_t i = s.find(c); i != std::string_view::npos; i = s.find(c, i + 1))
        if (!is_trail_byte(syntax, s, i)) return true;
    return false;
}

bool is_absolute_path(const PathSyntax& syntax, std::string_view path) {
    if (!path.empty() && is_separator(syntax, path[0])) return true;
    return syntax.windows && path.size() >= 2 && path[1] == ':';
}

void split_path(const PathSyntax& syntax, std::string_view path, PathParts& parts) {
    parts.drive[0] = '\0';
    if (syntax.windows && path.size() >= 2 && path[1] == ':') {
        parts.drive[0] = path[0];
        parts.drive[1] = ':';
        parts.drive[2] = '\0';
        path.remove_prefix(2);
    }
    std::size_t dir_end = 0;
    std::size_t dot = std::string_view::npos;
    for (std::size_t i = 0; i < path.size();) {
        std::size_t len = char_length(syntax, path.substr(i));
        if (len == 1 && is_separator(syntax, path[i])) {
            dir_end = i + 1;
            dot = std::string_view::npos;
        } else if (len == 1 && path[i] == '.') {
            dot = i;
        }
        i += len;
    }
    if (dot == std::string_view::npos) dot = path.size();
    copy_component(syntax, path.substr(0, dir_end), parts.dir, kComponentMax);
    copy_component(syntax, path.substr(dir_end, dot - dir_end), parts.fname, kComponentMax);
}

void path_extension(const PathSyntax& syntax, std::string_view path, char* out) {
    // Read from the end: the last dot or separator that is a character of
    // its own (not the second byte of a double-byte one) decides.
    for (std::size_t i = path.size(); i-- > 0;) {
        if (path[i] != '.' && !is_separator(syntax, path[i])) continue;
        if (is_trail_byte(syntax, path, i)) continue;
        if (path[i] == '.') return copy_component(syntax, path.substr(i), out, kComponentMax);
        break;
    }
    out[0] = '\0';
}

bool compose_path(const PathSyntax& syntax, const char* drive, const char* dir, const char* fname,
                  const char* ext, char* out, std::size_t out_size) {
    char sep[2] = {separator_char(syntax), '\0'};
    const char* pieces[6] = {"", dir, "", fname, "", ext};
    char drive_text[3] = {drive[0], ':', '\0'};
    if (drive[0] != '\0') pieces[0] = drive_text;
    if (dir[0] != '\0' && !ends_in_separator(syntax, dir)) pieces[2] = sep;
    if (ext[0] != '\0' && ext[0] != '.') pieces[4] = ".";

    std::size_t n = 0;
    for (const char* piece : pieces) {
        std::size_t len = std::strlen(piece);
        if (n + len >= out_size) {
            if (out_size > 0) out[0] = '\0';
            return false;
        }
        std::memcpy(out + n, piece, len);
        n += len;
    }
    out[n] = '\0';
    return true;
}
