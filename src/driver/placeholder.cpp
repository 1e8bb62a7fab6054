#include <cstdlib>
#include <cstring>

#include "driver/driver.h"
#include "platform/os.h"

namespace {

constexpr char kToken[] = "<CONFIG_DIR>";
constexpr std::size_t kTokenLength = sizeof kToken - 1;

// Reads the placeholder number from the characters behind "@": one, or two
// when the second is a decimal digit, read as atoi reads them. Sets `taken`.
int read_number(const char* p, std::size_t& taken) {
    char digits[3] = {p[0], '\0', '\0'};
    taken = 1;
    if (p[0] != '\0' && p[1] >= '0' && p[1] <= '9') {
        digits[1] = p[1];
        taken = 2;
    }
    return std::atoi(digits);
}

// True when the text holds the token; the test for its first character
// alone costs a value without it next to nothing.
bool has_token_in(const char* text) {
    const char* open = std::strchr(text, '<');
    return open != nullptr && std::strstr(open, kToken) != nullptr;
}

// A result put together piece by piece, never longer than kMaxChars.
struct Assembly {
    char text[kPathBuffer];
    std::size_t length;
    bool fits;
    Origins* origins;  // told what is put in, when not null
};

void append(Assembly& a, const char* piece, std::size_t n, Origin origin = Origin::written) {
    if (!a.fits || a.length + n > kMaxChars) {
        a.fits = false;
        return;
    }
    if (a.origins != nullptr && origin != Origin::written && n > 0 && a.origins->count < kMaxInserted)
        a.origins->pieces[a.origins->count++] = Inserted{static_cast<unsigned short>(a.length),
                                                         static_cast<unsigned short>(a.length + n), origin};
    std::memcpy(a.text + a.length, piece, n);
    a.length += n;
}

void clear(Origins* origins) {
    if (origins == nullptr) return;
    origins->count = 0;
    origins->argument = 0;
}

// Appends `text` with every token replaced by the configuration's
// directory; what a replacement inserts is not looked at again.
void append_expanding_tokens(Assembly& a, const char* text, std::size_t n, const char* config_dir) {
    std::string_view rest(text, n);
    std::size_t token;
    while (config_dir != nullptr && (token = rest.find(kToken)) != std::string_view::npos) {
        append(a, rest.data(), token);
        append(a, config_dir, std::strlen(config_dir), Origin::config_dir);
        rest.remove_prefix(token + kTokenLength);
    }
    append(a, rest.data(), rest.size());
}

// The argument that the placeholder at entry[r.at] stands for into `value`
// (kPathBuffer bytes), without its extension in the stem form. Sets r.what
// where it does not fit; false then.
bool placeholder_value(const PathSyntax& syntax, const char* entry, char** argv, PlaceholderResult& r,
                       char* value) {
    const char* arg = argv[r.number];
    std::size_t arg_len = std::strlen(arg);
    r.what = Expansion::argument_too_long;
    if (arg_len > kMaxChars) return false;
    std::memcpy(value, arg, arg_len + 1);
    r.what = Expansion::result_too_long;
    if (entry[r.at + 1 + r.taken] == '.') {
        PathParts parts;
        split_path(syntax, std::string_view(value, arg_len), parts);
        if (!compose_path(syntax, parts.drive, parts.dir, parts.fname, "", value, kPathBuffer)) return false;
    }
    r.what = Expansion::expanded;
    return true;
}

}  // namespace

PlaceholderResult expand_placeholder(const PathSyntax& syntax, char* entry, int argc, char** argv,
                                     const char* config_dir, Origins* origins) {
    PlaceholderResult result = {Expansion::none, 0, 0, 0};
    clear(origins);
    char* at = std::strchr(entry, '@');
    // Without a token nothing needs its directory.
    if (config_dir != nullptr && !has_token_in(entry)) config_dir = nullptr;
    if (at == nullptr && config_dir == nullptr) return result;
    char value[kPathBuffer] = "";
    std::size_t length = std::strlen(entry);
    // Without a placeholder the "@" is text like any other.
    std::size_t head = length, skip = 0;
    if (at != nullptr) {
        result.at = static_cast<std::size_t>(at - entry);
        result.number = read_number(at + 1, result.taken);
        int n = result.number;
        if (n < 1 || n > argc - 1)
            result.what = n < 1 ? Expansion::not_placeholder : Expansion::no_argument;
        else if (!placeholder_value(syntax, entry, argv, result, value))
            return result;
        if (result.what == Expansion::expanded) head = result.at, skip = 1 + result.taken;
    }
    if (config_dir == nullptr && result.what != Expansion::expanded) return result;

    // Tokens are found in the entry as written, on both sides of the
    // placeholder, never in the argument put in its place.
    Assembly a = {{}, 0, true, origins};
    append_expanding_tokens(a, entry, head, config_dir);
    append(a, value, std::strlen(value), Origin::argument);
    if (head < length) append_expanding_tokens(a, entry + head + skip, length - head - skip, config_dir);
    if (!a.fits) {
        clear(origins);
        result.what = Expansion::result_too_long;
        return result;
    }
    if (origins != nullptr && result.what == Expansion::expanded)
        origins->argument = static_cast<unsigned char>(result.number);
    std::memcpy(entry, a.text, a.length);
    entry[a.length] = '\0';
    return result;
}

PlaceholderResult expand_placeholder(char* entry, int argc, char** argv, const char* config_dir,
                                     Origins* origins) {
    return expand_placeholder(os_path_syntax(), entry, argc, argv, config_dir, origins);
}

int expand_config_dir(char* value, const char* config_dir, Origins* origins) {
    clear(origins);
    if (config_dir == nullptr || !has_token_in(value)) return 0;
    int tokens = 0;
    for (const char* p = value; (p = std::strstr(p, kToken)) != nullptr; p += kTokenLength) ++tokens;
    Assembly a = {{}, 0, true, origins};
    append_expanding_tokens(a, value, std::strlen(value), config_dir);
    if (!a.fits) {
        clear(origins);
        return -1;
    }
    std::memcpy(value, a.text, a.length);
    value[a.length] = '\0';
    return tokens;
}

void config_dir_of(const PathSyntax& syntax, const char* config_path, char* out) {
    std::string_view path(config_path);
    std::size_t drive = syntax.windows && path.size() >= 2 && path[1] == ':' ? 2 : 0;
    std::size_t end = drive;
    for (std::size_t i = path.size(); i-- > drive;) {
        if (!is_separator(syntax, path[i]) || is_trail_byte(syntax, path, i)) continue;
        // A root keeps its separator: "/", "C:\".
        end = i == drive ? i + 1 : i;
        break;
    }
    std::memcpy(out, config_path, end);
    out[end] = '\0';
}

Origin origin_at(const Origins& origins, std::size_t offset) {
    for (int i = 0; i < origins.count; ++i)
        if (offset >= origins.pieces[i].begin && offset < origins.pieces[i].end)
            return origins.pieces[i].origin;
    return Origin::written;
}
