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

// A result put together piece by piece, never longer than kMaxChars.
struct Assembly {
    char text[kPathBuffer];
    std::size_t length;
    bool fits;
};

void append(Assembly& a, const char* piece, std::size_t n) {
    if (!a.fits || a.length + n > kMaxChars) {
        a.fits = false;
        return;
    }
    std::memcpy(a.text + a.length, piece, n);
    a.length += n;
}

// Appends `text` with every token replaced by the configuration's
// directory; what a replacement inserts is not looked at again.
void append_expanding_tokens(Assembly& a, const char* text, std::size_t n, const char* config_dir) {
    std::string_view rest(text, n);
    std::size_t token;
    while (config_dir != nullptr && (token = rest.find(kToken)) != std::string_view::npos) {
        append(a, rest.data(), token);
        append(a, config_dir, std::strlen(config_dir));
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
                                     const char* config_dir) {
    PlaceholderResult result = {Expansion::none, 0, 0, 0};
    char* at = std::strchr(entry, '@');
    bool has_token = config_dir != nullptr && std::strstr(entry, kToken) != nullptr;
    if (at == nullptr && !has_token) return result;
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
    if (!has_token && result.what != Expansion::expanded) return result;

    // Tokens are found in the entry as written, on both sides of the
    // placeholder, never in the argument put in its place.
    Assembly a = {{}, 0, true};
    append_expanding_tokens(a, entry, head, has_token ? config_dir : nullptr);
    append(a, value, std::strlen(value));
    if (head < length)
        append_expanding_tokens(a, entry + head + skip, length - head - skip,
                                has_token ? config_dir : nullptr);
    if (!a.fits) {
        result.what = Expansion::result_too_long;
        return result;
    }
    std::memcpy(entry, a.text, a.length);
    entry[a.length] = '\0';
    return result;
}

PlaceholderResult expand_placeholder(char* entry, int argc, char** argv, const char* config_dir) {
    return expand_placeholder(os_path_syntax(), entry, argc, argv, config_dir);
}

int expand_config_dir(char* value, const char* config_dir) {
    int tokens = 0;
    for (const char* p = value; config_dir != nullptr && (p = std::strstr(p, kToken)) != nullptr;
         p += kTokenLength)
        ++tokens;
    if (tokens == 0) return 0;
    Assembly a = {{}, 0, true};
    append_expanding_tokens(a, value, std::strlen(value), config_dir);
    if (!a.fits) return -1;
    std::memcpy(value, a.text, a.length);
    value[a.length] = '\0';
    return tokens;
}

bool config_dir_of(const PathSyntax& syntax, const char* config_path, char* out) {
    PathParts parts;
    split_path(syntax, config_path, parts);
    std::size_t n = std::strlen(parts.dir);
    // A root keeps its separator: "/", "C:\".
    if (n > 1 && ends_in_separator(syntax, std::string_view(parts.dir, n))) parts.dir[n - 1] = '\0';
    std::size_t length = std::strlen(parts.drive);
    if (length + std::strlen(parts.dir) > kMaxChars) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out, parts.drive, length);
    std::memcpy(out + length, parts.dir, std::strlen(parts.dir) + 1);
    return true;
}
