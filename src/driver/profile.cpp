#include "driver/profile.h"

#include <cstdint>
#include <cstring>

namespace {

// Characters taken from an integer value, as the Windows call reads at most
// this many before it converts.
constexpr std::size_t kIntBuffer = 30;

bool is_blank(char c) { return (c >= '\t' && c <= '\r') || c == ' ' || c == '\x1a'; }

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

// A NUL byte ends whatever name or value it stands in.
std::string_view cut_at_nul(std::string_view s) {
    std::size_t nul = s.find('\0');
    return nul == std::string_view::npos ? s : s.substr(0, nul);
}

bool same_name(std::string_view a, const char* b) {
    a = cut_at_nul(a);
    std::size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

// A blank that can stand inside a line: is_blank without the line ends.
bool is_inline_blank(char c) { return c != '\n' && c != '\r' && is_blank(c); }

// Returns the line starting at `pos` (without its end) and moves `pos`
// behind the line end and any further line-end characters.
std::string_view next_line(std::string_view text, std::size_t& pos) {
    std::size_t start = pos;
    std::size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    pos = end;
    while (pos < text.size() && (text[pos] == '\r' || text[pos] == '\n')) ++pos;
    return text.substr(start, end - start);
}

// The start of the first line at or behind `pos` (a line start) whose
// trimmed text begins with "[", or text.size() when there is none. Lines
// in between can only be ordinary ones, which matter only inside the
// wanted section, so memchr skips them whole: other sections cost little
// more than reading them.
std::size_t next_bracket_line(std::string_view text, std::size_t pos) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    const char* p = begin + pos;
    while (p < end) {
        const char* bracket =
            static_cast<const char*>(std::memchr(p, '[', static_cast<std::size_t>(end - p)));
        if (bracket == nullptr) break;
        const char* line = bracket;
        while (line > begin + pos && is_inline_blank(line[-1])) --line;
        if (line == begin + pos || line[-1] == '\n' || line[-1] == '\r')
            return static_cast<std::size_t>(line - begin);
        p = bracket + 1;
    }
    return text.size();
}

// Finds the key's line; false when the key is absent. `has_value` tells
// whether the line had an "=", `value` is the trimmed text behind it.
bool find_key(std::string_view text, const char* section, const char* key, std::string_view& value,
              bool& has_value) {
    if (text.size() >= 3 && std::memcmp(text.data(), "\xEF\xBB\xBF", 3) == 0) text.remove_prefix(3);
    bool in_section = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (!in_section) pos = next_bracket_line(text, pos);
        std::string_view line = trim(next_line(text, pos));
        if (line.empty()) continue;
        if (line.front() == '[') {
            std::size_t close = line.rfind(']');
            if (close != std::string_view::npos) {
                if (in_section) return false;
                in_section = same_name(trim(line.substr(1, close - 1)), section);
                continue;
            }
        }
        if (!in_section) continue;
        std::size_t eq = line.find('=');
        std::string_view name = eq == std::string_view::npos ? line : trim(line.substr(0, eq));
        if (!same_name(name, key)) continue;
        has_value = eq != std::string_view::npos;
        value = has_value ? cut_at_nul(trim(line.substr(eq + 1))) : std::string_view();
        return true;
    }
    return false;
}

}  // namespace

std::size_t profile_get_string(std::string_view text, const char* section, const char* key, char* out,
                               std::size_t out_size) {
    if (out_size == 0) return 0;
    out[0] = '\0';
    std::string_view value;
    bool has_value = false;
    if (!find_key(text, section, key, value, has_value) || !has_value) return 0;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    std::size_t n = value.size() < out_size - 1 ? value.size() : out_size - 1;
    std::memcpy(out, value.data(), n);
    out[n] = '\0';
    return n;
}

int profile_parse_int(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    bool minus = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        minus = s.front() == '-';
        s.remove_prefix(1);
    }
    unsigned base = 10;
    if (s.size() >= 2 && s[0] == '0') {
        if (s[1] == 'b') base = 2;
        if (s[1] == 'o') base = 8;
        if (s[1] == 'x') base = 16;
        if (base != 10) s.remove_prefix(2);
    }
    std::uint32_t total = 0;
    for (char c : s) {
        unsigned digit = 99;
        if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
        if (c >= 'A' && c <= 'Z') digit = static_cast<unsigned>(c - 'A' + 10);
        if (c >= 'a' && c <= 'z') digit = static_cast<unsigned>(c - 'a' + 10);
        if (digit >= base) break;
        total = total * base + digit;
    }
    if (minus) total = 0u - total;
    return static_cast<int>(total);
}

int profile_get_int(std::string_view text, const char* section, const char* key, int def) {
    char value[kIntBuffer];
    std::size_t n = profile_get_string(text, section, key, value, sizeof value);
    if (n == 0) return def;
    return profile_parse_int(std::string_view(value, n));
}
