// The Windows platform's exact conversions: the arguments, the
// executable's path and the environment taken from their wide forms, each
// character turned into the driver's code page exactly or into "?", never
// into a look-alike.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "base/limits.h"
#include "platform/command_split.h"
#include "platform/os.h"
#include "platform/os_win32.h"

namespace {

bool is_high_surrogate(unsigned long c) { return c >= 0xD800 && c <= 0xDBFF; }

}  // namespace

std::size_t units_at(const wchar_t* w, const wchar_t* end) {
    return is_high_surrogate(w[0]) && w + 1 < end && w[1] >= 0xDC00 && w[1] <= 0xDFFF ? 2 : 1;
}

namespace {

// A character of the system's environment that the driver's copy lacks:
// its offset in g_environment_text, where "?" stands in its place.
struct Lost {
    std::size_t offset;
    unsigned long code;
};

std::string g_environment_text;  // the entries, each ended by a NUL
std::vector<const char*> g_environment;

// An entry of the environment that lost a character, in its own form:
// its offset in g_environment_text, and its wide text.
struct WideEntry {
    std::size_t offset;
    std::wstring text;
};
std::vector<WideEntry> g_wide_entries;
std::vector<Lost> g_lost;

std::vector<std::string> g_arguments;
std::vector<char*> g_argument_pointers;

// The first argument (1 and up) that must not be passed on, its first
// character that stands in the way, and the character a tool would read
// in its place (empty where the driver's code page has no form for it).
int g_refused = 0;
unsigned long g_refused_code = 0;
std::string g_look_alike;

unsigned long g_executable_lost = 0;

bool is_surrogate(unsigned long c) { return c >= 0xD800 && c <= 0xDFFF; }

unsigned long code_of(const wchar_t* w, std::size_t units) {
    if (units == 1) return w[0];
    return 0x10000 + ((static_cast<unsigned long>(w[0]) - 0xD800) << 10) + (w[1] - 0xDC00u);
}

// Appends the character of `units` units at `w` in code page `page`
// exactly: false, with nothing appended, when the page has no form that
// converts back to it. Without WC_NO_BEST_FIT_CHARS the system would give
// a look-alike ("O" for U+03A9 in 1252). An unpaired surrogate has no form
// anywhere.
bool append_exact(UINT page, const wchar_t* w, std::size_t units, std::string& out) {
    if (w[0] < 0x80) {
        out += static_cast<char>(w[0]);
        return true;
    }
    if (units == 1 && is_surrogate(w[0])) return false;
    char bytes[8];
    BOOL used = FALSE;
    // UTF-8 takes neither flags nor the used-default pointer.
    bool utf8 = page == CP_UTF8;
    int n = WideCharToMultiByte(page, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, w, static_cast<int>(units), bytes,
                                sizeof bytes, nullptr, utf8 ? nullptr : &used);
    wchar_t back[4];
    if (n <= 0 || used || MultiByteToWideChar(page, 0, bytes, n, back, 4) != static_cast<int>(units) ||
        std::wmemcmp(back, w, units) != 0)
        return false;
    out.append(bytes, static_cast<std::size_t>(n));
    return true;
}

// What a tool reading its command line in code page `page` gets for a
// character: the character itself, another one (its best fit, "O" for
// U+03A9 in 1252), or none, where the page has no form for it at all and
// the default character "?" stands in its place.
enum class Fit { exact, other, none };

unsigned long append_converted(UINT page, const wchar_t* w, const wchar_t* end, std::string& out,
                               std::vector<Lost>* lost);

// The fit of the character of `units` units at `w`; for another, the
// character the tool reads goes into `reads`, in the driver's code page.
Fit fit_in(UINT page, const wchar_t* w, std::size_t units, std::string& reads) {
    std::string own;
    if (w[0] < 0x80 || append_exact(page, w, units, own)) return Fit::exact;
    char bytes[8];
    BOOL used = FALSE;
    int n = WideCharToMultiByte(page, 0, w, static_cast<int>(units), bytes, sizeof bytes, nullptr, &used);
    if (n <= 0 || used) return Fit::none;
    wchar_t back[4];
    int m = MultiByteToWideChar(page, 0, bytes, n, back, 4);
    if (m > 0) append_converted(GetACP(), back, back + m, reads, nullptr);
    return Fit::other;
}

// The text from `w` to `end` appended to `out` in code page `page`, "?"
// for each character that has no exact form there, whose offset and code
// point go into `lost` when it is not null. Returns the first such code
// point, 0 when none.
unsigned long append_converted(UINT page, const wchar_t* w, const wchar_t* end, std::string& out,
                               std::vector<Lost>* lost) {
    unsigned long first = 0;
    while (w < end) {
        std::size_t units = units_at(w, end);
        if (!append_exact(page, w, units, out)) {
            if (first == 0) first = code_of(w, units);
            if (lost != nullptr) lost->push_back(Lost{out.size(), code_of(w, units)});
            out += '?';
        }
        w += units;
    }
    return first;
}

void append_utf8(std::string& out, unsigned long c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    }
    out += static_cast<char>(0x80 | (c & 0x3F));
}

// The wide text in UTF-8, an unpaired surrogate written as UTF-8 would
// write a code point of its value: every character stays one piece whose
// bytes are never ASCII, so that the split by ASCII rules sees it whole.
std::string loose_utf8(const wchar_t* w) {
    std::string out;
    const wchar_t* end = w + std::wcslen(w);
    for (std::size_t units = 0; w < end; w += units) {
        units = units_at(w, end);
        append_utf8(out, code_of(w, units));
    }
    return out;
}

std::wstring wide_of_loose_utf8(const std::string& s) {
    std::wstring w;
    for (std::size_t i = 0; i < s.size();) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        unsigned long c = n == 1 ? b : n == 2 ? (b & 0x1Fu) : n == 3 ? (b & 0x0Fu) : (b & 0x07u);
        for (std::size_t k = 1; k < n && i + k < s.size(); ++k) c = c << 6 | (s[i + k] & 0x3Fu);
        i += n;
        if (c < 0x10000) {
            w += static_cast<wchar_t>(c);
        } else {
            w += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            w += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }
    return w;
}

// The system's ANSI code page, also inside a process whose own code page
// is UTF-8 (where GetACP() gives 65001).
UINT system_code_page() {
    DWORD page = 0;
    if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<LPWSTR>(&page), sizeof page / sizeof(WCHAR)) == 0)
        return GetACP();
    return page;
}

// Argument `number` (loose UTF-8) in the driver's code page `page`; the
// first argument from 1 up that cannot pass is recorded. With a system
// code page of its own, a character that a tool would read there as
// another cannot pass either.
std::string take_argument(int number, const std::string& word, UINT page, UINT system) {
    std::wstring w = wide_of_loose_utf8(word);
    std::string out;
    const wchar_t* end = w.data() + w.size();
    for (const wchar_t* p = w.data(); p < end;) {
        std::size_t units = units_at(p, end);
        bool exact = append_exact(page, p, units, out);
        std::string reads;
        Fit fit = exact && page != system ? fit_in(system, p, units, reads) : Fit::exact;
        if (!exact) out += '?';
        if ((!exact || fit == Fit::other) && number > 0 && g_refused == 0) {
            g_refused = number;
            g_refused_code = code_of(p, units);
            g_look_alike = reads;
        }
        p += units;
    }
    return out;
}

void describe_page(UINT page, char* out, std::size_t size) {
    if (page == CP_UTF8)
        std::snprintf(out, size, "UTF-8");
    else
        std::snprintf(out, size, "code page %u", page);
}

}  // namespace

unsigned long append_converted(unsigned page, const wchar_t* w, const wchar_t* end, std::string& out) {
    return append_converted(static_cast<UINT>(page), w, end, out, nullptr);
}

void os_take_arguments(int& argc, char**& argv) {
    std::vector<std::string> words = split_command_line(loose_utf8(GetCommandLineW()).c_str());
    UINT page = GetACP();
    UINT system = page == CP_UTF8 ? system_code_page() : page;
    g_arguments.clear();
    for (std::size_t i = 0; i < words.size(); ++i)
        g_arguments.push_back(take_argument(static_cast<int>(i), words[i], page, system));
    g_argument_pointers.clear();
    for (std::string& a : g_arguments) g_argument_pointers.push_back(&a[0]);
    g_argument_pointers.push_back(nullptr);
    argc = static_cast<int>(g_arguments.size());
    argv = g_argument_pointers.data();
}

int os_refused_argument(char* why, std::size_t size, const char*& remedy) {
    if (g_refused == 0) return 0;
    if (g_look_alike.empty()) {
        os_lost_words(g_refused_code, why, size, remedy);
        return g_refused;
    }
    std::snprintf(why, size, "U+%04lX would reach a tool that reads code page %u as %s, another name",
                  g_refused_code, system_code_page(), g_look_alike.c_str());
    remedy = "rename it";
    return g_refused;
}

bool os_tool_reads_exactly(const char* const* vector, ToolReading& reading) {
    reading.slot = -1;
    reading.lost_slot = -1;
    reading.page = 0;
    if (!kUtf8Build || GetACP() != CP_UTF8) return true;
    static const UINT system = system_code_page();
    if (system == CP_UTF8) return true;
    reading.page = system;
    for (int k = 0; k < kSlots && vector[k] != nullptr; ++k) {
        const char* text = vector[k];
        for (std::size_t i = 0, n = 1; text[i] != '\0'; i += n) {
            unsigned char b = static_cast<unsigned char>(text[i]);
            n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
            if (n == 1) continue;
            for (std::size_t j = 1; j < n; ++j)
                if (text[i + j] == '\0') n = j;
            wchar_t w[2];
            int units = MultiByteToWideChar(CP_UTF8, 0, text + i, static_cast<int>(n), w, 2);
            std::string reads;
            Fit fit = units > 0 ? fit_in(system, w, static_cast<std::size_t>(units), reads) : Fit::exact;
            if (fit == Fit::none && reading.lost_slot < 0) {
                reading.lost_slot = k;
                reading.lost_offset = i;
                reading.lost_code = code_of(w, static_cast<std::size_t>(units));
            }
            if (fit != Fit::other) continue;
            reading.slot = k;
            reading.offset = i;
            reading.code = code_of(w, static_cast<std::size_t>(units));
            std::snprintf(reading.reads, sizeof reading.reads, "%s", reads.c_str());
            return false;
        }
    }
    return true;
}

void os_lost_words(unsigned long code, char* why, std::size_t size, const char*& remedy) {
    char page[32];
    describe_page(GetACP(), page, sizeof page);
    if (is_surrogate(code)) {
        std::snprintf(why, size, "U+%04lX is half of a surrogate pair, which has no form in %s", code, page);
        remedy = "no build takes it: rename it";
        return;
    }
    std::snprintf(why, size, "U+%04lX has no form in %s", code, page);
    remedy = "the UTF-8 build takes every character";
}

unsigned long os_lost_character(const char* begin, const char* end) {
    std::uintptr_t base = reinterpret_cast<std::uintptr_t>(g_environment_text.data());
    std::uintptr_t from = reinterpret_cast<std::uintptr_t>(begin), to = reinterpret_cast<std::uintptr_t>(end);
    for (const Lost& l : g_lost)
        if (base + l.offset >= from && base + l.offset < to) return l.code;
    return 0;
}

bool os_environment_lost() { return !g_lost.empty(); }

unsigned long os_executable_lost() { return g_executable_lost; }

bool os_executable_path(char* out) {
    out[0] = '\0';
    g_executable_lost = 0;
    wchar_t wide[4 * kPathBuffer];
    DWORD n = GetModuleFileNameW(nullptr, wide, sizeof wide / sizeof wide[0]);
    // A full buffer may be unterminated and means the path was cut.
    if (n == 0 || n >= sizeof wide / sizeof wide[0]) return false;
    std::string path;
    g_executable_lost = append_converted(GetACP(), wide, wide + n, path, nullptr);
    if (g_executable_lost != 0 || path.size() > kMaxChars) return false;
    std::memcpy(out, path.c_str(), path.size() + 1);
    return true;
}

const char* const* os_environment() {
    if (!g_environment.empty()) return g_environment.data();
    // The A functions and _environ would hand over look-alikes; the tools
    // still inherit the environment itself.
    wchar_t* block = GetEnvironmentStringsW();
    std::vector<std::size_t> starts;
    for (const wchar_t* e = block; e != nullptr && *e != L'\0'; e += std::wcslen(e) + 1) {
        starts.push_back(g_environment_text.size());
        if (append_converted(GetACP(), e, e + std::wcslen(e), g_environment_text, &g_lost) != 0)
            g_wide_entries.push_back(WideEntry{starts.back(), e});
        g_environment_text += '\0';
    }
    if (block != nullptr) FreeEnvironmentStringsW(block);
    for (std::size_t start : starts) g_environment.push_back(g_environment_text.data() + start);
    g_environment.push_back(nullptr);
    return g_environment.data();
}

namespace {

// The offset in `wide` of the character that begins at narrow offset
// `narrow` of its conversion to the driver's code page.
std::size_t wide_offset(const std::wstring& wide, std::size_t narrow) {
    const wchar_t* w = wide.data();
    const wchar_t* end = w + wide.size();
    std::string seen;
    while (w < end && seen.size() < narrow) {
        const wchar_t* next = w + units_at(w, end);
        append_converted(GetACP(), w, next, seen, nullptr);
        w = next;
    }
    return static_cast<std::size_t>(w - wide.data());
}

// The PATH entry at the start of `text`, as next_path_entry takes it:
// separators in front skipped, quotes dropped, up to a separator outside
// quotes.
std::wstring wide_path_entry(const std::wstring& text) {
    std::wstring entry;
    std::size_t i = text.find_first_not_of(L';');
    bool quoted = false;
    for (; i != std::wstring::npos && i < text.size() && (quoted || text[i] != L';'); ++i) {
        if (text[i] == L'"')
            quoted = !quoted;
        else
            entry += text[i];
    }
    return entry;
}

bool wide_exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

bool os_lost_entry_holds(const char* begin, const char* end, const char* name, bool extensions) {
    std::size_t from = static_cast<std::size_t>(begin - g_environment_text.data());
    std::size_t to = static_cast<std::size_t>(end - g_environment_text.data());
    const WideEntry* holder = nullptr;
    for (const WideEntry& e : g_wide_entries)
        if (e.offset <= from) holder = &e;
    if (holder == nullptr || from > g_environment_text.size()) return false;
    std::size_t wide_from = wide_offset(holder->text, from - holder->offset);
    std::size_t wide_to = wide_offset(holder->text, to - holder->offset);
    std::wstring path = wide_path_entry(holder->text.substr(wide_from, wide_to - wide_from));
    if (path.empty()) return false;
    if (path.back() != L'\\' && path.back() != L'/') path += L'\\';
    int n = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
    if (n <= 1) return false;
    std::wstring wide_name(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, name, -1, &wide_name[0], n);
    path += wide_name.c_str();
    if (!extensions) return wide_exists(path);
    for (const wchar_t* ext : {L".com", L".exe", L".bat", L".cmd"})
        if (wide_exists(path + ext)) return true;
    return false;
}
