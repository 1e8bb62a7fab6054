#include <cstdlib>
#include <cstring>

#include "driver/driver.h"
#include "platform/os.h"

namespace {

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

}  // namespace

PlaceholderResult expand_placeholder(const PathSyntax& syntax, char* entry, int argc, char** argv) {
    PlaceholderResult result = {Expansion::none, 0, 0, 0};
    char* at = std::strchr(entry, '@');
    if (at == nullptr) return result;
    result.at = static_cast<std::size_t>(at - entry);
    result.number = read_number(at + 1, result.taken);
    int n = result.number;
    if (n < 1 || n > argc - 1) {
        result.what = n < 1 ? Expansion::not_placeholder : Expansion::no_argument;
        return result;
    }

    const char* arg = argv[n];
    std::size_t arg_len = std::strlen(arg);
    result.what = Expansion::argument_too_long;
    if (arg_len > kMaxChars) return result;
    char value[kPathBuffer];
    std::memcpy(value, arg, arg_len + 1);

    const char* rest = at + 1 + result.taken;
    result.what = Expansion::result_too_long;
    if (*rest == '.') {
        PathParts parts;
        split_path(syntax, std::string_view(value, arg_len), parts);
        if (!compose_path(syntax, parts.drive, parts.dir, parts.fname, "", value, sizeof value))
            return result;
    }

    std::size_t head = result.at;
    std::size_t mid = std::strlen(value);
    std::size_t tail = std::strlen(rest);
    if (head + mid + tail > kMaxChars) return result;
    char assembled[kPathBuffer];
    std::memcpy(assembled, entry, head);
    std::memcpy(assembled + head, value, mid);
    std::memcpy(assembled + head + mid, rest, tail + 1);
    std::memcpy(entry, assembled, head + mid + tail + 1);
    result.what = Expansion::expanded;
    return result;
}

PlaceholderResult expand_placeholder(char* entry, int argc, char** argv) {
    return expand_placeholder(os_path_syntax(), entry, argc, argv);
}
