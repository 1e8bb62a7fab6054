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

void expand_placeholder(const PathSyntax& syntax, char* entry, int argc, char** argv) {
    char* at = std::strchr(entry, '@');
    if (at == nullptr) return;
    std::size_t taken = 0;
    int n = read_number(at + 1, taken);
    if (n < 1 || n > argc - 1) return;

    const char* arg = argv[n];
    std::size_t arg_len = std::strlen(arg);
    if (arg_len > kMaxChars) return;
    char value[kPathBuffer];
    std::memcpy(value, arg, arg_len + 1);

    const char* rest = at + 1 + taken;
    if (*rest == '.') {
        PathParts parts;
        split_path(syntax, std::string_view(value, arg_len), parts);
        if (!compose_path(syntax, parts.drive, parts.dir, parts.fname, "", value, sizeof value)) return;
    }

    std::size_t head = static_cast<std::size_t>(at - entry);
    std::size_t mid = std::strlen(value);
    std::size_t tail = std::strlen(rest);
    if (head + mid + tail > kMaxChars) return;
    char result[kPathBuffer];
    std::memcpy(result, entry, head);
    std::memcpy(result + head, value, mid);
    std::memcpy(result + head + mid, rest, tail + 1);
    std::memcpy(entry, result, head + mid + tail + 1);
}

void expand_placeholder(char* entry, int argc, char** argv) {
    expand_placeholder(os_path_syntax(), entry, argc, argv);
}
