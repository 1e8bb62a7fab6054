#include <cstdlib>
#include <cstring>

#include "launch/launch.h"

char* build_command_line(const char* const* vector, bool quote_program) {
    std::size_t size = 2;
    int count = 0;
    bool any_text = false;
    while (count < kSlots && vector[count] != nullptr) {
        if (count > 0 && vector[count][0] != '\0') any_text = true;
        size += std::strlen(vector[count++]) + 1;
    }
    // A tail of empty texts only is no tail: the blanks would be the
    // driver's own making, not the configuration's.
    if (!any_text) count = 1;
    // A name that holds a quote already is left as written: quotes of the
    // driver's around it would pair with the wrong ones.
    const char* program = vector[0];
    bool quoted = quote_program && program[std::strcspn(program, " \t")] != '\0' &&
                  std::strchr(program, '"') == nullptr;
    if (quoted) size += 2;
    char* line = static_cast<char*>(std::malloc(size));
    if (line == nullptr) return nullptr;
    char* p = line;
    for (int k = 0; k < count; ++k) {
        if (k > 0) *p++ = ' ';
        if (k == 0 && quoted) *p++ = '"';
        std::size_t len = std::strlen(vector[k]);
        std::memcpy(p, vector[k], len);
        p += len;
        if (k == 0 && quoted) *p++ = '"';
    }
    *p = '\0';
    return line;
}

bool is_command_interpreter(const PathSyntax& syntax, const char* file) {
    if (!syntax.windows) return false;
    std::string_view path(file);
    // Windows drops trailing dots and blanks from a file name.
    while (!path.empty() && (path.back() == '.' || path.back() == ' ')) path.remove_suffix(1);
    constexpr std::string_view kName = "cmd.exe";
    if (path.size() < kName.size()) return false;
    std::size_t at = path.size() - kName.size();
    for (std::size_t i = 0; i < kName.size(); ++i)
        if (ascii_lower(path[at + i]) != kName[i]) return false;
    if (at == 0) return true;
    char before = path[at - 1];
    return (is_separator(syntax, before) || before == ':') && !is_trail_byte(syntax, path, at - 1);
}

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Where the interpreter's command begins: behind the first word "/c" or
// "/k" outside double quotes, blanks skipped; npos without one.
std::size_t command_start(std::string_view line) {
    bool quoted = false;
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        char c = ascii_lower(line[i + 1]);
        if (quoted || line[i] != '/' || (c != 'c' && c != 'k') || (i > 0 && !is_blank(line[i - 1]))) continue;
        std::size_t start = i + 2;
        while (start < line.size() && is_blank(line[start])) ++start;
        return start;
    }
    return std::string_view::npos;
}

// True when the character at `at` stands outside double quotes, the quotes
// at `first` and `last` not counted (npos: none dropped).
bool outside_quotes(std::string_view line, std::size_t at, std::size_t first, std::size_t last) {
    bool quoted = false;
    for (std::size_t i = 0; i < at; ++i)
        if (line[i] == '"' && i != first && i != last) quoted = !quoted;
    return !quoted;
}

}  // namespace

std::size_t interpreter_acts_at(std::string_view line, std::string_view marks) {
    constexpr std::size_t npos = std::string_view::npos;
    std::size_t first = command_start(line), last = npos;
    std::size_t quotes = 0;
    if (first != npos && first < line.size() && line[first] == '"') {
        for (std::size_t i = first; i < line.size(); ++i) quotes += line[i] == '"';
        last = line.rfind('"');
    }
    for (std::size_t i = 0; i < line.size() && i < marks.size(); ++i) {
        if (marks[i] == ' ') continue;
        if (line[i] == '%') return i;
        if (line[i] == '\0' || std::strchr("^&|<>", line[i]) == nullptr) continue;
        // A text that begins with a quote loses its first and last one,
        // unless it holds exactly two, which may stay.
        bool kept = (quotes == 0 || quotes == 2) && outside_quotes(line, i, npos, npos);
        bool dropped = quotes != 0 && outside_quotes(line, i, first, last);
        if (kept || dropped) return i;
    }
    return npos;
}
