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
// line, or on line-end characters in front of one. A UTF-16 file is read
// into the buffer's end and decoded from there into UTF-8 in front of it.
struct Window {
    const char* data;
    std::size_t begin;
    std::size_t end;
    bool at_end;  // nothing more to read
    bool failed;  // a read failed or a longer buffer could not be had
    const ProfileSource* source;
    char* buffer;  // the caller's scratch buffer, or `heap`
    std::size_t capacity;
    char* heap;  // taken only where the scratch buffer is too small
    bool utf16 = false;
    bool big_endian = false;
    bool source_end = false;  // the source has given all (UTF-16 only)
    // UTF-16 bytes read but not yet decoded: [raw_at, raw_at + raw) of the
    // buffer, always behind `end`.
    std::size_t raw_at = 0;
    std::size_t raw = 0;
};

std::string_view rest(const Window& w) { return std::string_view(w.data + w.begin, w.end - w.begin); }

// Room that decoding needs free in front of the UTF-16 bytes: a character
// takes up to four bytes of UTF-8.
constexpr std::size_t kDecodeRoom = 16;

// Moves the unconsumed text to the buffer's front, into a longer buffer
// when that would leave less than `need` bytes free behind it (in front of
// the UTF-16 bytes not yet decoded, which move to the longer buffer's end).
bool make_room(Window& w, std::size_t need) {
    std::size_t kept = w.end - w.begin;
    if ((w.utf16 ? w.raw_at : w.capacity) - kept >= need) {
        std::memmove(w.buffer, w.data + w.begin, kept);
    } else {
        std::size_t size = 2 * w.capacity;
        while (size - w.raw - kept < need) size *= 2;
        char* longer = size <= kProfileLineMax ? static_cast<char*>(std::malloc(size)) : nullptr;
        if (longer == nullptr) return false;
        std::memcpy(longer, w.data + w.begin, kept);
        std::memcpy(longer + size - w.raw, w.buffer + w.raw_at, w.raw);
        std::free(w.heap);
        w.heap = w.buffer = longer;
        w.capacity = size;
        w.raw_at = size - w.raw;
    }
    w.data = w.buffer;
    w.begin = 0;
    w.end = kept;
    return true;
}

unsigned utf16_unit(const Window& w, std::size_t at) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(w.buffer + w.raw_at + at);
    return w.big_endian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
}

std::size_t put_utf8(std::uint32_t c, char* out) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    std::size_t n = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    for (std::size_t i = n; i-- > 1; c >>= 6) out[i] = static_cast<char>(0x80 | (c & 0x3F));
    out[0] = static_cast<char>((0xF00u >> n) | c);
    return n;
}

// Decodes the UTF-16 bytes in hand into UTF-8 behind the window's text,
// as far as it stays in front of the bytes not yet decoded. A surrogate
// without its partner and a lone last byte become "?". Returns the bytes
// placed.
std::size_t decode_units(Window& w) {
    std::size_t placed = 0;
    while (w.raw > 0 && w.end + placed + 4 <= w.raw_at) {
        std::size_t taken = w.raw == 1 ? 1 : 2;
        std::uint32_t c = '?';
        std::uint32_t unit = taken == 2 ? utf16_unit(w, 0) : 0;
        bool high = unit >= 0xD800 && unit < 0xDC00;
        // A unit's bytes and a pair's second unit may still be on their way.
        if (!w.source_end && (taken == 1 || (high && w.raw < 4))) break;
        std::uint32_t next = high && w.raw >= 4 ? utf16_unit(w, 2) : 0;
        if (next >= 0xDC00 && next < 0xE000) {
            c = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
            taken = 4;
        } else if (taken == 2 && (unit < 0xD800 || unit >= 0xE000)) {
            c = unit;
        }
        placed += put_utf8(c, w.buffer + w.end + placed);
        w.raw_at += taken;
        w.raw -= taken;
    }
    return placed;
}

// Reads on and decodes: the bytes of UTF-8 placed behind the window's
// text, 0 at the end of the file, -1 when it cannot be read. A reading
// fills two thirds of the free room at most, at its end, so that all it
// brings decodes in front of it.
long decode_more(Window& w) {
    for (;;) {
        if (w.raw < 4 && !w.source_end) {
            std::size_t at = w.capacity - (w.capacity - w.end - 4) * 2 / 3;
            std::memmove(w.buffer + at, w.buffer + w.raw_at, w.raw);
            w.raw_at = at;
            long got = w.source->read(w.source->context, w.buffer + at + w.raw, w.capacity - at - w.raw);
            if (got < 0) return -1;
            w.source_end = got == 0;
            w.raw += static_cast<std::size_t>(got);
        }
        std::size_t placed = decode_units(w);
        if (placed > 0 || (w.source_end && w.raw == 0)) return static_cast<long>(placed);
    }
}

// Reads on behind what the window holds, after moving the unconsumed bytes
// to the front of the buffer (to a longer buffer when they fill it).
// False when nothing more came.
bool refill(Window& w) {
    if (w.at_end) return false;
    long got = -1;
    if (make_room(w, w.utf16 ? kDecodeRoom : 1))
        got = w.utf16 ? decode_more(w)
                      : w.source->read(w.source->context, w.buffer + w.end, w.capacity - w.end);
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

// The file's start: a UTF-8 byte order mark is skipped; behind a UTF-16
// one, the bytes read so far move to the buffer's end, and from there on
// what is read is decoded.
void start_reading(Window& w) {
    while (w.end - w.begin < 3 && refill(w)) {
    }
    ProfileEncoding encoding = profile_encoding(w.data + w.begin, w.end - w.begin);
    if (encoding == ProfileEncoding::utf8_mark) w.begin += 3;
    if (w.source == nullptr || (encoding != ProfileEncoding::utf16le && encoding != ProfileEncoding::utf16be))
        return;
    w.utf16 = true;
    w.big_endian = encoding == ProfileEncoding::utf16be;
    w.raw = w.end - w.begin - 2;
    w.raw_at = w.capacity - w.raw;
    std::memmove(w.buffer + w.raw_at, w.data + w.begin + 2, w.raw);
    w.data = w.buffer;
    w.begin = w.end = 0;
    w.source_end = w.at_end;
    w.at_end = w.failed;
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
    start_reading(w);
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
// equal quotes around it removed, cut to out_size - 1 characters; in a
// text decoded from UTF-16 (`whole_characters`) in front of the character
// that does not fit. `cut` tells whether anything was left out.
std::size_t place_value(std::string_view value, char* out, std::size_t out_size, bool whole_characters,
                        bool& cut) {
    if (out_size == 0) return 0;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    cut = value.size() > out_size - 1;
    std::size_t n = cut ? out_size - 1 : value.size();
    while (cut && whole_characters && n > 0 && (value[n] & 0xC0) == 0x80) --n;
    std::memcpy(out, value.data(), n);
    out[n] = '\0';
    return n;
}

std::size_t lookup_string(Window& w, const char* section, const char* key, char* out, std::size_t out_size) {
    if (out_size == 0) return 0;
    out[0] = '\0';
    std::string_view value;
    bool has_value = false;
    bool cut = false;
    if (!find_key(w, section, key, value, has_value) || !has_value) return 0;
    return place_value(value, out, out_size, w.utf16, cut);
}

// Where a query of a batch stands in the one pass over the file.
enum class Place : unsigned char {
    before,  // its section has not begun yet
    inside,  // the current section is the first of its name
    after,   // that section has ended; later ones of its name do not count
};

// No alternate, in Pending::alternate.
constexpr unsigned char kNoAlternate = 0xFF;

struct Pending {
    std::string_view section;
    std::string_view key;
    Place place;
    bool answered;
    unsigned char alternate;  // its index in Batch::alternates, or kNoAlternate
};

// A section that queries of a batch read in place of their own where the
// file holds it (trimmed), and whether its first header was met.
struct Alternate {
    const char* name;
    std::size_t size;
    bool met;
};

// The queries of one pass, and how many of them a later line can still
// answer: `open` in all, `inside` of them in the current section. Each
// alternate that queries name stands once in `alternates`; `waiting` of
// them have not been met.
struct Batch {
    Pending pending[kProfileBatch];
    ProfileQuery* queries;
    std::size_t count;
    std::size_t open;
    std::size_t inside;
    Alternate alternates[kProfileBatch];
    std::size_t alternate_count;
    std::size_t waiting;
};

// The first header of alternate `a`: what its queries' plain section gave
// is dropped, and they are answered from here.
void enter_alternate(Batch& b, unsigned char a) {
    b.alternates[a].met = true;
    --b.waiting;
    for (std::size_t i = 0; i < b.count; ++i) {
        Pending& p = b.pending[i];
        if (p.alternate != a) continue;
        if (p.answered || p.place == Place::after) ++b.open;
        p.place = Place::inside;
        p.answered = false;
        ++b.inside;
        ProfileQuery& q = b.queries[i];
        q.length = 0;
        q.cut = false;
        if (q.out_size > 0) q.out[0] = '\0';
        q.from_alternate = true;
    }
}

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
    for (std::size_t a = 0; a < b.alternate_count && b.waiting > 0; ++a)
        if (!b.alternates[a].met &&
            same_name(name, std::string_view(b.alternates[a].name, b.alternates[a].size)))
            enter_alternate(b, static_cast<unsigned char>(a));
}

// A key line inside a wanted section answers each query of that key that
// the line is the first for; a line without "=" answers with nothing.
void offer_key(std::string_view line, Batch& b, bool whole_characters) {
    std::size_t eq = line.find('=');
    std::string_view name = eq == std::string_view::npos ? line : trim(line.substr(0, eq));
    for (std::size_t i = 0; i < b.count; ++i) {
        Pending& p = b.pending[i];
        if (p.place != Place::inside || p.answered || !same_name(name, p.key)) continue;
        p.answered = true;
        --b.open, --b.inside;
        ProfileQuery& q = b.queries[i];
        if (eq != std::string_view::npos)
            q.length = place_value(cut_at_nul(trim(line.substr(eq + 1))), q.out, q.out_size, whole_characters,
                                   q.cut);
    }
}

// One pass over the file for up to kProfileBatch queries. It stops as soon as
// every query is answered or its section has ended, and no alternate can
// come any more.
void read_batch(Window& w, ProfileQuery* queries, std::size_t count) {
    Batch b;
    b.queries = queries;
    b.count = b.open = count;
    b.inside = b.alternate_count = 0;
    // The queries of a stage share their alternate.
    const char* last_alternate = nullptr;
    unsigned char alternate = kNoAlternate;
    for (std::size_t i = 0; i < count; ++i) {
        ProfileQuery& q = queries[i];
        if (q.alternate != last_alternate) {
            last_alternate = q.alternate;
            alternate = kNoAlternate;
            if (q.alternate != nullptr) {
                std::string_view name = trim(q.alternate);
                alternate = static_cast<unsigned char>(b.alternate_count);
                b.alternates[b.alternate_count++] = Alternate{name.data(), name.size(), false};
            }
        }
        b.pending[i] = Pending{trim(q.section), trim(q.key), Place::before, false, alternate};
        q.length = 0;
        q.cut = false;
        q.from_alternate = false;
        if (q.out_size > 0) q.out[0] = '\0';
    }
    b.waiting = b.alternate_count;
    start_reading(w);
    std::string_view line;
    while (b.open > 0 || b.waiting > 0) {
        if (b.inside == 0 && !skip_to_bracket_line(w)) break;
        if (!take_line(w, line)) break;
        line = trim(line);
        if (line.empty()) continue;
        std::string_view header;
        if (section_header(line, header))
            enter_section(header, b);
        else if (b.inside > 0)
            offer_key(line, b, w.utf16);
    }
    for (std::size_t i = 0; i < count; ++i)
        if (queries[i].integer != nullptr && queries[i].length > 0)
            *queries[i].integer = profile_parse_int(
                std::string_view(queries[i].out, std::min(queries[i].length, kProfileIntBuffer - 1)));
}

// Appends `name` and its NUL to the list of `n` bytes in `out`, leaving
// room for the NUL that ends the list; false when it does not fit.
bool append_name(std::string_view name, char* out, std::size_t& n, std::size_t out_size) {
    if (n + name.size() + 2 > out_size) return false;
    std::memcpy(out + n, name.data(), name.size());
    n += name.size();
    out[n++] = '\0';
    return true;
}

// The names of the keys of the first section named `section` (with
// `later`, of every section of that name behind the first), in file
// order, each ended by a NUL and the list by one more, as the Windows
// profile call lists them: only lines with "=", not names beginning with
// ";", and up to the first empty name (with `later`, past it). Names that
// do not fit are left out whole. Returns the bytes in front of the last NUL.
std::size_t list_keys(Window& w, std::string_view section, bool later, char* out, std::size_t out_size) {
    if (out_size < 2) {
        if (out_size == 1) out[0] = '\0';
        return 0;
    }
    std::size_t n = 0;
    std::size_t named = 0;  // headers of that name so far
    bool in_section = false;
    start_reading(w);
    std::string_view line;
    for (;;) {
        if (!in_section && !skip_to_bracket_line(w)) break;
        if (!take_line(w, line)) break;
        line = trim(line);
        if (line.empty()) continue;
        std::string_view header;
        if (section_header(line, header)) {
            if (in_section && !later) break;
            bool same = same_name(header, section);
            named += same;
            in_section = same && (named > 1) == later;
            continue;
        }
        std::size_t eq = line.find('=');
        if (!in_section || eq == std::string_view::npos) continue;
        std::string_view name = cut_at_nul(trim(line.substr(0, eq)));
        // An empty name would read as the list's end: the system's list
        // ends there, the list of later sections passes it over.
        if (name.empty() && !later) break;
        if (name.empty() || name.front() == ';') continue;
        if (!append_name(name, out, n, out_size)) break;
    }
    out[n] = '\0';
    return n;
}

// The names of all sections in file order, listed as list_keys lists keys.
std::size_t list_sections(Window& w, char* out, std::size_t out_size) {
    if (out_size == 0) return 0;
    std::size_t n = 0;
    start_reading(w);
    std::string_view line;
    std::string_view name;
    while (skip_to_bracket_line(w) && take_line(w, line)) {
        if (!section_header(trim(line), name)) continue;
        name = cut_at_nul(name);
        if (!name.empty() && !append_name(name, out, n, out_size)) break;
    }
    out[n] = '\0';
    return n;
}

Window text_window(std::string_view text) {
    return Window{text.data(), 0, text.size(), true, false, nullptr, nullptr, 0, nullptr};
}

// Hands `read` a window over the source, read piece by piece into the
// scratch buffer.
template <typename Read>
auto over_source(const ProfileSource& source, char* scratch, std::size_t scratch_size, Read read) {
    Window w = Window{scratch, 0, 0, false, false, &source, scratch, scratch_size, nullptr};
    auto result = read(w);
    std::free(w.heap);
    return result;
}

long read_text(void* context, char* buffer, std::size_t size) {
    std::string_view& text = *static_cast<std::string_view*>(context);
    std::size_t n = std::min(size, text.size());
    std::memcpy(buffer, text.data(), n);
    text.remove_prefix(n);
    return static_cast<long>(n);
}

// Hands `read` a window over a text in memory: the text itself, unless it
// is UTF-16, which is read and decoded as a file is.
template <typename Read>
auto over_text(std::string_view text, Read read) {
    ProfileEncoding encoding = profile_encoding(text.data(), text.size());
    if (encoding == ProfileEncoding::utf16le || encoding == ProfileEncoding::utf16be) {
        const ProfileSource source = {read_text, &text};
        char scratch[256];
        return over_source(source, scratch, sizeof scratch, read);
    }
    Window w = text_window(text);
    return read(w);
}

int to_int(const char* value, std::size_t n, int def) {
    return n == 0 ? def : profile_parse_int(std::string_view(value, n));
}

}  // namespace

ProfileEncoding profile_encoding(const char* head, std::size_t n) {
    if (n >= 3 && std::memcmp(head, "\xEF\xBB\xBF", 3) == 0) return ProfileEncoding::utf8_mark;
    if (n >= 2 && std::memcmp(head, "\xFF\xFE", 2) == 0) return ProfileEncoding::utf16le;
    if (n >= 2 && std::memcmp(head, "\xFE\xFF", 2) == 0) return ProfileEncoding::utf16be;
    return ProfileEncoding::plain;
}

namespace {

// True when more than half of the units in the first kProfileHead bytes
// hold a NUL byte on the one side and another byte on the other: ASCII
// text in UTF-16 does, in either byte order, and plain text has no NUL.
bool looks_like_utf16(const char* head, std::size_t n) {
    std::size_t units = std::min(n, kProfileHead) / 2;
    std::size_t low_first = 0, high_first = 0;
    for (std::size_t i = 0; i < units; ++i) {
        bool first_nul = head[2 * i] == '\0', second_nul = head[2 * i + 1] == '\0';
        low_first += !first_nul && second_nul;
        high_first += first_nul && !second_nul;
    }
    return 2 * low_first > units || 2 * high_first > units;
}

}  // namespace

const char kProfileUnmarkedUtf16[] =
    "but it looks like UTF-16 without a byte order mark, which reads as no keys at all: save it as UTF-16 "
    "with a byte order mark, or as ANSI or UTF-8 without one";

const char* profile_encoding_words(const char* head, std::size_t n) {
    ProfileEncoding encoding = profile_encoding(head, n);
    if (encoding == ProfileEncoding::plain && looks_like_utf16(head, n)) return kProfileUnmarkedUtf16;
    return profile_encoding_name(encoding);
}

const char* profile_encoding_name(ProfileEncoding encoding) {
    switch (encoding) {
        case ProfileEncoding::utf8_mark:
            return "UTF-8 with a byte order mark";
        case ProfileEncoding::utf16le:
            return "UTF-16LE";
        case ProfileEncoding::utf16be:
            return "UTF-16BE";
        case ProfileEncoding::plain:
            break;
    }
    return nullptr;
}

std::size_t profile_get_string(std::string_view text, const char* section, const char* key, char* out,
                               std::size_t out_size) {
    return over_text(text, [&](Window& w) { return lookup_string(w, section, key, out, out_size); });
}

std::size_t profile_read_string(const ProfileSource& source, char* scratch, std::size_t scratch_size,
                                const char* section, const char* key, char* out, std::size_t out_size) {
    return over_source(source, scratch, scratch_size,
                       [&](Window& w) { return lookup_string(w, section, key, out, out_size); });
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
    over_text(text, [&](Window& w) {
        read_batch(w, queries, std::min(count, kProfileBatch));
        return 0;
    });
}

void profile_read_queries(const ProfileSource& source, char* scratch, std::size_t scratch_size,
                          ProfileQuery* queries, std::size_t count) {
    over_source(source, scratch, scratch_size, [&](Window& w) {
        read_batch(w, queries, std::min(count, kProfileBatch));
        return 0;
    });
}

std::size_t profile_read_keys(const ProfileSource& source, char* scratch, std::size_t scratch_size,
                              const char* section_name, char* out, std::size_t out_size) {
    return over_source(source, scratch, scratch_size,
                       [&](Window& w) { return list_keys(w, section_name, false, out, out_size); });
}

std::size_t profile_get_keys(std::string_view text, const char* section_name, char* out,
                             std::size_t out_size) {
    return over_text(text, [&](Window& w) { return list_keys(w, section_name, false, out, out_size); });
}

std::size_t profile_read_later_keys(const ProfileSource& source, char* scratch, std::size_t scratch_size,
                                    const char* section_name, char* out, std::size_t out_size) {
    return over_source(source, scratch, scratch_size,
                       [&](Window& w) { return list_keys(w, section_name, true, out, out_size); });
}

std::size_t profile_get_later_keys(std::string_view text, const char* section_name, char* out,
                                   std::size_t out_size) {
    return over_text(text, [&](Window& w) { return list_keys(w, section_name, true, out, out_size); });
}

std::size_t profile_read_sections(const ProfileSource& source, char* scratch, std::size_t scratch_size,
                                  char* out, std::size_t out_size) {
    return over_source(source, scratch, scratch_size,
                       [&](Window& w) { return list_sections(w, out, out_size); });
}

std::size_t profile_get_sections(std::string_view text, char* out, std::size_t out_size) {
    return over_text(text, [&](Window& w) { return list_sections(w, out, out_size); });
}
