// The PATH walk: next_path_entry on its own, and the whole program search
// (run_tool) over stand-ins for the existence test and the launch, under
// the POSIX and the Windows rules.
// Input: mode byte, program name NUL PATH value NUL answers. Each answer
// byte decides one existence test or one launch of the stand-ins.
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "launch/launch.h"

namespace {

using fuzz::check;

struct World {
    std::string answers;
    std::size_t next = 0;
    std::string last_found;  // the candidate whose existence test passed last
    std::vector<std::string> tested;
    std::vector<std::string> started;
    int last_status = -1;
};
World* world = nullptr;

unsigned char answer() {
    if (world->answers.empty()) return 0;
    return static_cast<unsigned char>(world->answers[world->next++ % world->answers.size()]);
}

bool fake_exists(const char* path) {
    world->tested.push_back(path);
    const int codes[] = {ENOENT, 0, EACCES, ENOENT, EIO};
    int code = codes[answer() % 5];
    world->last_found = code == 0 ? path : "";
    if (code == 0) return true;
    errno = code;
    return false;
}

int fake_launch(const char* file, const char* const* vector) {
    check(world->last_found == file, "only a candidate that exists is started");
    check(vector != nullptr && vector[0] != nullptr, "the vector reaches the launch");
    world->started.push_back(file);
    unsigned char a = answer();
    world->last_status = -1;
    errno = a % 3 == 0 ? ENOENT : EACCES;
    if (a % 3 == 2) {
        world->last_status = a / 3;
        errno = 0;
    }
    return world->last_status;
}

// The walk with an arbitrary limit: the buffer (exactly `limit` bytes) is
// never overrun, every call makes progress, no quote survives, and an entry
// handed back is shorter than limit - 1.
std::vector<std::string> walk(const PathSyntax& syntax, const char* path, std::size_t limit) {
    std::vector<std::string> entries;
    fuzz::Block buffer(limit);
    const char* rest = path;
    while (rest != nullptr) {
        const char* next = next_path_entry(syntax, rest, buffer.data, limit);
        std::size_t len = std::strlen(buffer.data);
        check(len < limit, "an entry fits its buffer");
        check(std::strchr(buffer.data, '"') == nullptr, "quotes never reach an entry");
        if (next == nullptr) break;
        check(next > rest && next <= path + std::strlen(path), "each entry moves the walk forward");
        check(len + 2 <= limit, "an entry handed back leaves room below the limit");
        entries.push_back(buffer.data);
        rest = next;
    }
    return entries;
}

// A candidate is the name or the name with one of the extensions, behind
// `prefix` and at most one separator.
bool is_candidate(const PathSyntax& syntax, const std::string& candidate, const std::string& prefix,
                  const std::string& name) {
    if (candidate.compare(0, prefix.size(), prefix) != 0) return false;
    std::string rest = candidate.substr(prefix.size());
    if (!rest.empty() && rest[0] == separator_char(syntax) && rest.compare(1, name.size(), name) == 0)
        rest.erase(0, 1);
    for (const char* ext : {"", ".com", ".exe", ".bat", ".cmd"})
        if (rest == name + ext && (ext[0] == '\0' || syntax.windows)) return true;
    return false;
}

bool extension_added(const std::string& candidate, const std::string& name) {
    for (const char* ext : {".com", ".exe", ".bat", ".cmd"}) {
        std::string tail = name + ext;
        if (candidate.size() >= tail.size() &&
            candidate.compare(candidate.size() - tail.size(), tail.size(), tail) == 0)
            return true;
    }
    return false;
}

// A candidate made from a PATH entry. Where a trailing lead byte swallows
// the separator appended to the entry, the candidate reads as a bare name
// and the attempt puts ".\\" in front of it.
bool from_entry(const PathSyntax& syntax, const std::string& candidate, const std::string& entry,
                const std::string& name) {
    return is_candidate(syntax, candidate, entry, name) ||
           (syntax.windows && is_candidate(syntax, candidate, ".\\" + entry, name));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input = fuzz::parse_input(data, size, 3);
    const PathSyntax& syntax = fuzz::syntax_for(input.mode);
    std::string name = fuzz::field(input, 0).substr(0, kMaxChars);
    if (name.empty()) name = "t";
    std::string path_value = fuzz::field(input, 1);
    std::string answers = fuzz::field(input, 2);

    std::size_t limit = answers.empty() ? kMaxChars : static_cast<unsigned char>(answers[0]) + 1;
    walk(syntax, path_value.c_str(), limit);
    std::vector<std::string> entries = walk(syntax, path_value.c_str(), kMaxChars);
    for (const std::string& e : entries) check(e.size() <= 257, "an entry used has at most 257 characters");

    World w;
    w.answers = answers;
    world = &w;
    std::string variable = (input.mode & 8) ? "Path=" : "PATH=";
    std::string env_path = variable + path_value;
    const char* environment[] = {"PATHEXT=.x", env_path.c_str(), nullptr};
    const char* vector[kSlots] = {name.c_str(), "arg"};
    SearchOps ops = {&syntax, fake_exists, fake_launch, environment};
    int result = run_tool(ops, name.c_str(), vector);
    world = nullptr;

    check(result == (w.started.empty() ? -1 : w.last_status), "the result is that of the last start");
    check(w.started.size() <= w.tested.size(), "nothing is started without a test");
    bool has_slash = has_char(syntax, name, '/');
    std::size_t entry = 0;
    for (const std::string& candidate : w.tested) {
        if (is_candidate(syntax, candidate, "", name) ||
            (syntax.windows && is_candidate(syntax, candidate, ".", name)) ||
            (!syntax.windows && candidate == "./" + name))
            continue;
        check(!has_slash, "a name holding / is never searched along PATH");
        while (entry < entries.size() && !from_entry(syntax, candidate, entries[entry], name)) ++entry;
        check(entry < entries.size(), "PATH candidates follow the entries in order");
        // Only what the attempt itself adds (".\\", an extension) may go
        // past 259 characters.
        bool extended = syntax.windows && extension_added(candidate, name);
        bool prefixed = !is_candidate(syntax, candidate, entries[entry], name);
        check(candidate.size() - (extended ? 4 : 0) - (prefixed ? 2 : 0) <= kMaxChars,
              "a PATH candidate never exceeds 259 characters");
    }
    return 0;
}
