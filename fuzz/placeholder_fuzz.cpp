// Placeholder expansion over arbitrary entries and driver arguments, under
// the POSIX and the Windows rules (with and without double-byte characters).
// Input: mode byte, entry NUL argument 1 NUL argument 2 ... (at most 8).
#include <cstring>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "fuzz_support.h"

namespace {

using fuzz::check;

constexpr std::size_t kMaxArguments = 8;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Without cuts, a stem is the argument less an extension: a dot and text
// that holds no separator.
void check_stem(const PathSyntax& syntax, const std::string& arg, const std::string& stem) {
    if (arg.size() > kComponentMax) return;
    check(arg.compare(0, stem.size(), stem) == 0, "a stem is a prefix of its argument");
    std::string ext = arg.substr(stem.size());
    check(ext.empty() || ext[0] == '.', "a stem loses nothing but an extension");
    bool single_byte = !syntax.lead[0x81];
    if (single_byte)
        for (char c : ext) check(!is_separator(syntax, c), "an extension never holds a separator");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input = fuzz::parse_input(data, size, kMaxArguments + 1);
    const PathSyntax& syntax = fuzz::syntax_for(input.mode);
    std::string entry = fuzz::field(input, 0).substr(0, kMaxChars);

    std::vector<std::string> args = {"tolvane"};
    for (std::size_t i = 1; i < input.fields.size(); ++i) args.push_back(fuzz::c_string(input.fields[i]));
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    int argc = static_cast<int>(args.size());

    fuzz::Block buffer(kPathBuffer);
    std::memcpy(buffer.data, entry.c_str(), entry.size() + 1);
    expand_placeholder(syntax, buffer.data, argc, argv.data());
    std::string result = buffer.data;
    check(result.size() <= kMaxChars, "a result never exceeds 259 characters");

    std::size_t at = entry.find('@');
    if (at == std::string::npos) {
        check(result == entry, "an entry without @ comes back unchanged");
        return 0;
    }
    // The number is one character, or two when the second is a digit.
    std::size_t taken = (at + 1 < entry.size() && at + 2 < entry.size() && is_digit(entry[at + 2])) ? 2 : 1;
    std::string head = entry.substr(0, at);
    std::string rest = at + 1 + taken <= entry.size() ? entry.substr(at + 1 + taken) : "";
    int n = std::atoi(entry.substr(at + 1, taken).c_str());
    bool valid = n >= 1 && n < argc;
    bool plain = rest.empty() || rest[0] != '.';
    if (valid && plain) {
        std::string whole = head + args[static_cast<std::size_t>(n)] + rest;
        if (args[static_cast<std::size_t>(n)].size() <= kMaxChars && whole.size() <= kMaxChars)
            check(result == whole, "the plain form inserts the argument where it fits");
        else
            check(result == entry, "an argument or result that does not fit leaves the entry as it is");
        return 0;
    }
    if (result == entry) return 0;

    check(valid, "only a valid argument number is replaced");
    check(result.size() >= head.size() + rest.size() && result.compare(0, head.size(), head) == 0 &&
              result.compare(result.size() - rest.size(), rest.size(), rest) == 0,
          "the text around the placeholder is kept");
    std::string stem = result.substr(head.size(), result.size() - head.size() - rest.size());
    check_stem(syntax, args[static_cast<std::size_t>(n)], stem);
    return 0;
}
