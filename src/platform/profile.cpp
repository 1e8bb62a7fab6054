#include "platform/profile.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/path.h"

namespace {

bool is_blank(char c) { return (c >= '\t' && c <= '\r') || c == ' ' || c == '\x1a'; }

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

// True when the name `a` from the file, which a NUL byte ends, is `b`
// without regard to case. `b` holds no NUL byte (it comes from a C string),
// so only a NUL right behind its length can end `a` in time.
// Compared from the end, where keys such as ASMLIST_01 and ASMLIST_02
// differ.
bool same_name(std::string_view a, std::string_view b) {
    if (a.size() < b.size() || (a.size() > b.size() && a[b.size()] != '\0')) return false;
    for (std::size_t i = b.size(); i-- > 0;)
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    return true;
}

// A blank that can stand inside a line: is_blank without the line ends.
bool is_inline_blank(char c) { return c != '\n' && c != '\r' && is_blank(c); }

// The part of the file that a lookup has in hand: [begin, end) of `data`.
// A text in memory is one window that is never refilled. A file is read
// piece by piece into a buffer; `begin` always stands at the start of a
// line, or on line-end characters in front of one.
struct Window {
    const char* data;
    std::size_t begin;
    std::size_t end;
    bool at_end;  // nothing more to read
    bool failed;  // a read failed or a longer buffer could not be had
    const ProfileSource* source;
    char* buffer;  // the caller's scratch buffer, or `heap`
    std::size_t capacity;
    char* heap;  // taken only for a line longer than the scratch buffer
};

std::string_view rest(const Window& w) { return std::string_view(w.data + w.begin, w.end - w.begin); }

// Reads on behind what the window holds, after moving the unconsumed bytes
// to the front of the buffer (to a buffer twice as long when they fill it).
// False when nothing more came.
bool refill(Window& w) {
    if (w.at_end) return false;
    std::size_t kept = w.end - w.begin;
    if (kept == w.capacity) {
        char* longer =
            2 * w.capacity <= kProfileLineMax ? static_cast<char*>(std::malloc(2 * w.capacity)) : nullptr;
        if (longer == nullptr) {
            w.at_end = w.failed = true;
            return false;
        }
        std::memcpy(longer, w.data + w.begin, kept);
        std::free(w.heap);
        w.heap = w.buffer = longer;
        w.capacity *= 2;
    } else {
        std::memmove(w.buffer, w.data + w.begin, kept);
    }
    w.data = w.buffer;
    w.begin = 0;
    w.end = kept;
    long got = w.source->read(w.source->context, w.buffer + kept, w.capacity - kept);
    if (got <= 0) {
        w.at_end = true;
        w.failed = got < 0;
        return false;
    }
    w.end += static_cast<std::size_t>(got);
    return true;
}

// The start of the first line in `text` (which begins at a line start)
// whose trimmed text begins with "[", or text.size() when there is none.
// Lines in between can only be ordinary ones, which matter only inside the
// wanted section, so memchr skips them whole: other sections cost little
// more than reading them.
std::size_t next_bracket_line(std::string_view text) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    const char* p = begin;
    while (p < end) {
        const char* bracket =
            static_cast<const char*>(std::memchr(p, '[', static_cast<std::size_t>(end - p)));
        if (bracket == nullptr) break;
        const char* line = bracket;
        while (line > begin && is_inline_blank(line[-1])) --line;
        if (line == begin || line[-1] == '\n' || line[-1] == '\r')
            return static_cast<std::size_t>(line - begin);
        p = bracket + 1;
    }
    return text.size();
}

// Moves the window to the next line that begins with "["; false when the
// file ends first. Only the unfinished last line of each piece is kept.
bool skip_to_bracket_line(Window& w) {
    for (;;) {
        std::size_t found = next_bracket_line(rest(w));
        if (found < w.end - w.begin) {
            w.begin += found;
            return true;
        }
        std::size_t last = w.end;
        while (last > w.begin && w.data[last - 1] != '\n' && w.data[last - 1] != '\r') --last;
        w.begin = last;
        if (!refill(w)) return false;
    }
}

// Takes the line at the window's start, reading on until its end is in
// hand, and moves the window behind it and its line end. False when the
// file has ended or could not be read.
bool take_line(Window& w, std::string_view& line) {
    std::size_t scanned = 0;
    for (;;) {
        std::size_t end = w.begin + scanned;
        while (end < w.end && w.data[end] != '\r' && w.data[end] != '\n') ++end;
        if (w.failed) return false;
        if (end < w.end || (w.at_end && end > w.begin)) {
            line = std::string_view(w.data + w.begin, end - w.begin);
            w.begin = end;
            while (w.begin < w.end && (w.data[w.begin] == '\r' || w.data[w.begin] == '\n')) ++w.begin;
            return true;
        }
        if (w.at_end) return false;
        scanned = end - w.begin;
        refill(w);
    }
}

// A UTF-8 byte-order mark at the very start is no part of the first line.
void skip_bom(Window& w) {
    while (w.end - w.begin < 3 && refill(w)) {
    }
    if (w.end - w.begin >= 3 && std::memcmp(w.data + w.begin, "\xEF\xBB\xBF", 3) == 0) w.begin += 3;
}

// True when the trimmed, non-empty `line` is a section header: it begins
// with "[" and holds a "]"; `name` is then the trimmed text between the
// "[" and the last "]". Without "]" the line is an ordinary one.
bool section_header(std::string_view line, std::string_view& name) {
    std::size_t close = line.front() == '[' ? line.rfind(']') : std::string_view::npos;
    if (close == std::string_view::npos) return false;
    name = trim(line.substr(1, close - 1));
    return true;
}

// Finds the key's line; false when the key is absent. `has_value` tells
// whether the line had an "=", `value` is the trimmed text behind it (in
// the window, valid until it moves).
bool find_key(Window& w, const char* section_name, const char* key_name, std::string_view& value,
              bool& has_value) {
    // The names asked for are trimmed like the names in the file.
    std::string_view section = trim(section_name);
    std::string_view key = trim(key_name);
    skip_bom(w);
    bool in_section = false;
    std::string_view line;
    for (;;) {
        if (!in_section && !skip_to_bracket_line(w)) return false;
        if (!take_line(w, line)) return false;
        line = trim(line);
        if (line.empty()) continue;
        std::string_view header;
        if (section_header(line, header)) {
            if (in_section) return false;
            in_section = same_name(header, section);
            continue;
        }
        if (!in_section) continue;
        std::size_t eq = line.find('=');
        std::string_view name = eq == std::string_view::npos ? line : trim(line.substr(0, eq));
        if (!same_name(name, key)) continue;
        has_value = eq != std::string_view::npos;
        value = has_value ? cut_at_nul(trim(line.substr(eq + 1))) : std::string_view();
        return true;
    }
}

// Places a found value in `out` as a string lookup answers: a pair of
// equal quotes around it removed, cut to out_size - 1 characters.
std::size_t place_value(std::string_view value, char* out, std::size_t out_size) {
    if (out_size == 0) return 0;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    std::size_t n = value.size() < out_size - 1 ? value.size() : out_size - 1;
    std::memcpy(out, value.data(), n);
    out[n] = '\0';
    return n;
}

std::size_t lookup_string(Window& w, const char* section, const char* key, char* out, std::size_t out_size) {
    if (out_size == 0) return 0;
    out[0] = '\0';
    std::string_view value;
    bool has_value = false;
    if (!find_key(w, section, key, value, has_value) || !has_value) return 0;
    return place_value(value, out, out_size);
}

// Where a query of a batch stands in the one pass over the file.
enum class Place : unsigned char {
    before,  // its section has not begun yet
    inside,  // the current section is the first of its name
    after,   // that section has ended; later ones of its name do not count
};

struct Pending {
    std::string_view section;
    std::string_view key;
    Place place;
    bool answered;
};

// The queries of one pass, and how many of them a later line can still
// answer: `open` in all, `inside` of them in the current section.
struct Batch {
    Pending pending[kProfileBatch];
    ProfileQuery* queries;
    std::size_t count;
    std::size_t open;
    std::size_t inside;
};

// A header line: the sections it ends and the one it begins.
void enter_section(std::string_view name, Batch& b) {
    for (std::size_t i = 0; i < b.count; ++i) {
        Pending& p = b.pending[i];
        if (p.place == Place::inside) {
            p.place = Place::after;
            if (!p.answered) --b.open, --b.inside;
        }
        if (p.place == Place::before && same_name(name, p.section)) {
            p.place = Place::inside;
            if (!p.answered) ++b.inside;
        }
    }
}

// A key line inside a wanted section answers each query of that key that
// the line is the first for; a line without "=" answers with nothing.
void offer_key(std::string_view line, Batch& b) {
    std::size_t eq = line.find('=');
    std::string_view name = eq == std::string_view::npos ? line : trim(line.substr(0, eq));
    for (std::size_t i = 0; i < b.count; ++i) {
        Pending& p = b.pending[i];
        if (p.place != Place::inside || p.answered || !same_name(name, p.key)) continue;
        p.answered = true;
        --b.open, --b.inside;
        ProfileQuery& q = b.queries[i];
        if (eq != std::string_view::npos)
            q.length = place_value(cut_at_nul(trim(line.substr(eq + 1))), q.out, q.out_size);
    }
}

// One pass over the file for up to kProfileBatch queries. It stops as soon as
// every query is answered or its section has ended.
void read_batch(Window& w, ProfileQuery* queries, std::size_t count) {
    Batch b;
    b.queries = queries;
    b.count = b.open = count;
    b.inside = 0;
    for (std::size_t i = 0; i < count; ++i) {
        b.pending[i] = Pending{trim(queries[i].section), trim(queries[i].key), Place::before, false};
        queries[i].length = 0;
        if (queries[i].out_size > 0) queries[i].out[0] = '\0';
    }
    skip_bom(w);
    std::string_view line;
    while (b.open > 0) {
        if (b.inside == 0 && !skip_to_bracket_line(w)) break;
        if (!take_line(w, line)) break;
        line = trim(line);
        if (line.empty()) continue;
        std::string_view header;
        if (section_header(line, header))
            enter_section(header, b);
        else if (b.inside > 0)
            offer_key(line, b);
    }
    for (std::size_t i = 0; i < count; ++i)
        if (queries[i].integer != nullptr && queries[i].length > 0)
            *queries[i].integer = profile_parse_int(
                std::string_view(queries[i].out, std::min(queries[i].length, kProfileIntBuffer - 1)));
}

// The names of the keys of the first section named `section`, in file
// order, each ended by a NUL and the list by one more, as the Windows
// profile call lists them: only lines with "=", not names beginning with
// ";", and up to the first empty name. Names that do not fit are left out
// whole. Returns the bytes in front of the last NUL.
std::size_t list_keys(Window& w, std::string_view section, char* out, std::size_t out_size) {
    if (out_size < 2) {
        if (out_size == 1) out[0] = '\0';
        return 0;
    }
    std::size_t n = 0;
    bool in_section = false;
    bool full = false;
    skip_bom(w);
    std::string_view line;
    while (!full) {
        if (!in_section && !skip_to_bracket_line(w)) break;
        if (!take_line(w, line)) break;
        line = trim(line);
        if (line.empty()) continue;
        std::string_view header;
        if (section_header(line, header)) {
            if (in_section) break;
            in_section = same_name(header, section);
            continue;
        }
        std::size_t eq = line.find('=');
        if (!in_section || eq == std::string_view::npos) continue;
        std::string_view name = cut_at_nul(trim(line.substr(0, eq)));
        // An empty name would read as the list's end, so it is the end.
        if (name.empty()) break;
        if (name.front() == ';') continue;
        full = n + name.size() + 2 > out_size;
        if (full) break;
        std::memcpy(out + n, name.data(), name.size());
        n += name.size();
        out[n++] = '\0';
    }
    out[n] = '\0';
    return n;
}

Window text_window(std::string_view text) {
    return Window{text.data(), 0, text.size(), true, false, nullptr, nullptr, 0, nullptr};
}

Window source_window(const ProfileSource& source, char* scratch, std::size_t scratch_size) {
    return Window{scratch, 0, 0, false, false, &source, scratch, scratch_size, nullptr};
}

int to_int(const char* value, std::size_t n, int def) {
    return n == 0 ? def : profile_parse_int(std::string_view(value, n));
}

}  // namespace

std::size_t profile_get_string(std::string_view text, const char* section, const char* key, char* out,
                               std::size_t out_size) {
    Window w = text_window(text);
    return lookup_string(w, section, key, out, out_size);
}

std::size_t profile_read_string(const ProfileSource& source, char* scratch, std::size_t scratch_size,
                                const char* section, const char* key, char* out, std::size_t out_size) {
    Window w = source_window(source, scratch, scratch_size);
    std::size_t n = lookup_string(w, section, key, out, out_size);
    std::free(w.heap);
    return n;
}

namespace {

// Reads an integer as the Windows profile call does: blanks, one sign, a
// "0x", "0o" or "0b" prefix, digits up to the first other character,
// wrapping modulo 2^32. `rest` is what follows the digits, `digits` how
// many there were.
int scan_int(std::string_view s, std::string_view& rest, std::size_t& digits) {
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
    digits = 0;
    for (char c : s) {
        unsigned digit = 99;
        if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
        if (c >= 'A' && c <= 'Z') digit = static_cast<unsigned>(c - 'A' + 10);
        if (c >= 'a' && c <= 'z') digit = static_cast<unsigned>(c - 'a' + 10);
        if (digit >= base) break;
        total = total * base + digit;
        ++digits;
    }
    rest = s.substr(digits);
    if (minus) total = 0u - total;
    return static_cast<int>(total);
}

}  // namespace

int profile_parse_int(std::string_view s) {
    std::string_view rest;
    std::size_t digits = 0;
    return scan_int(s, rest, digits);
}

bool profile_int_is_whole(std::string_view s) {
    std::string_view rest;
    std::size_t digits = 0;
    scan_int(s, rest, digits);
    while (!rest.empty() && static_cast<unsigned char>(rest.front()) <= ' ') rest.remove_prefix(1);
    return digits > 0 && rest.empty();
}

int profile_get_int(std::string_view text, const char* section, const char* key, int def) {
    char value[kProfileIntBuffer];
    return to_int(value, profile_get_string(text, section, key, value, sizeof value), def);
}

int profile_read_int(const ProfileSource& source, char* scratch, std::size_t scratch_size,
                     const char* section, const char* key, int def) {
    char value[kProfileIntBuffer];
    return to_int(value,
                  profile_read_string(source, scratch, scratch_size, section, key, value, sizeof value), def);
}

void profile_get_queries(std::string_view text, ProfileQuery* queries, std::size_t count) {
    Window w = text_window(text);
    read_batch(w, queries, std::min(count, kProfileBatch));
}

void profile_read_queries(const ProfileSource& source, char* scratch, std::size_t scratch_size,
                          ProfileQuery* queries, std::size_t count) {
    Window w = source_window(source, scratch, scratch_size);
    read_batch(w, queries, std::min(count, kProfileBatch));
    std::free(w.heap);
}

std::size_t profile_read_keys(const ProfileSource& source, char* scratch, std::size_t scratch_size,
                              const char* section_name, char* out, std::size_t out_size) {
    Window w = source_window(source, scratch, scratch_size);
    std::size_t n = list_keys(w, section_name, out, out_size);
    std::free(w.heap);
    return n;
}

std::size_t profile_get_keys(std::string_view text, const char* section_name, char* out,
                             std::size_t out_size) {
    Window w = text_window(text);
    return list_keys(w, section_name, out, out_size);
}
