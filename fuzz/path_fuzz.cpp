// Path splitting and composing behind the configuration path and the stem,
// under the POSIX and the Windows rules (with and without double-byte
// characters). Input: mode byte, path bytes (up to the first NUL).
#include <algorithm>
#include <cstring>
#include <string>

#include "driver/driver.h"
#include "fuzz_support.h"

namespace {

using fuzz::check;

const std::string kConfigName = "tolvane.ini";

void check_parts(const PathSyntax& syntax, const PathParts& parts) {
    check(std::strlen(parts.dir) <= kComponentMax && std::strlen(parts.fname) <= kComponentMax,
          "each part holds at most 255 bytes");
    check(parts.drive[0] == '\0' || (syntax.windows && parts.drive[1] == ':' && parts.drive[2] == '\0'),
          "a drive is a character and a colon, Windows rules only");
    for (char sep : {'/', '\\'})
        check(!is_separator(syntax, sep) || !has_char(syntax, parts.fname, sep),
              "a file name holds no separator");
}

// Without cuts, the path is its parts and an extension (empty, or a dot
// and no other dot or separator), the configuration path replaces the file
// name and extension, and so does the stem.
void check_uncut(const PathSyntax& syntax, const std::string& path, const PathParts& parts) {
    std::string stem = std::string(parts.drive) + parts.dir + parts.fname;
    check(path.compare(0, stem.size(), stem) == 0, "the parts are the path's beginning");
    std::string ext = path.substr(std::min(stem.size(), path.size()));
    check(ext.empty() || (ext[0] == '.' && !has_char(syntax, ext.c_str() + 1, '.')),
          "the rest is an extension with one dot");
    for (char sep : {'/', '\\'})
        check(!is_separator(syntax, sep) || !has_char(syntax, ext, sep), "an extension holds no separator");

    char out[kPathBuffer];
    std::string dir_part = path.substr(0, path.size() - std::strlen(parts.fname) - ext.size());
    fuzz::Block config(kPathBuffer);
    bool fits = dir_part.size() + kConfigName.size() <= kMaxChars;
    check(config_path_from(syntax, path.c_str(), config.data) == fits,
          "the configuration path fits or is refused");
    check(fits ? dir_part + kConfigName == config.data : config.data[0] == '\0',
          "the configuration file lies in the executable's directory");

    check(compose_path(syntax, parts.drive, parts.dir, parts.fname, "", out, sizeof out) &&
              path.compare(0, std::strlen(out), out) == 0,
          "a stem is a prefix of its path");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input = fuzz::parse_input(data, size, 1);
    const PathSyntax& syntax = fuzz::syntax_for(input.mode);
    std::string path = fuzz::c_string(fuzz::field(input, 0));

    PathParts parts;
    split_path(syntax, path, parts);
    check_parts(syntax, parts);
    if (path.size() <= kComponentMax) check_uncut(syntax, path, parts);

    fuzz::Block config(kPathBuffer);
    if (config_path_from(syntax, path.c_str(), config.data)) {
        std::string made = config.data;
        check(made.size() <= kMaxChars, "a configuration path never exceeds 259 characters");
        check(made.size() >= kConfigName.size() &&
                  made.compare(made.size() - kConfigName.size(), kConfigName.size(), kConfigName) == 0,
              "a configuration path names tolvane.ini");
    } else {
        check(config.data[0] == '\0', "a refused configuration path is left empty");
    }

    // A buffer too small for the composed path is refused, never overrun.
    const char* ext = "ini";
    std::size_t whole = std::strlen(parts.drive) + std::strlen(parts.dir) + std::strlen(parts.fname) + 6;
    std::size_t small = path.empty() ? 1 : static_cast<unsigned char>(path[0]) % (whole + 1) + 1;
    fuzz::Block out(small);
    if (compose_path(syntax, parts.drive, parts.dir, parts.fname, ext, out.data, small))
        check(std::strlen(out.data) < small, "a composed path fits its buffer");
    else
        check(out.data[0] == '\0', "a refused composition is left empty");
    return 0;
}
