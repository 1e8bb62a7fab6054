#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "launch/launch.h"

namespace {

constexpr const char* kExtensions[] = {".com", ".exe", ".bat", ".cmd"};
constexpr std::size_t kExtensionLength = 4;

// Offset of the name's last separator, npos when it has none.
std::size_t last_separator(const PathSyntax& syntax, std::string_view name) {
    for (std::size_t i = name.size(); i-- > 0;)
        if (is_separator(syntax, name[i]) && !is_trail_byte(syntax, name, i)) return i;
    return std::string_view::npos;
}

// Offset where the name's last component begins, or npos when the name has
// no directory part: at the last separator, else (Windows) at the first
// drive colon.
std::size_t last_component(const PathSyntax& syntax, std::string_view name) {
    std::size_t mark = last_separator(syntax, name);
    if (mark != std::string_view::npos || !syntax.windows) return mark;
    for (std::size_t i = name.find(':'); i != std::string_view::npos; i = name.find(':', i + 1))
        if (!is_trail_byte(syntax, name, i)) return i;
    return std::string_view::npos;
}

// free() that keeps errno, which the search decides by.
void release(void* p) {
    int saved = errno;
    std::free(p);
    errno = saved;
}

void notify(const SearchOps& ops, const char* file, Candidate what, int value) {
    if (ops.observe == nullptr) return;
    int saved = errno;
    ops.observe(file, what, value);
    errno = saved;
}

bool candidate_exists(const SearchOps& ops, const char* file) {
    if (ops.file_exists(file)) return true;
    notify(ops, file, Candidate::absent, errno);
    return false;
}

int start_candidate(const SearchOps& ops, const char* file, const char* const* vector) {
    notify(ops, file, Candidate::found, 0);
    int status = ops.launch_file(file, vector);
    // A tool may itself end with -1; errno 0 tells that it did run.
    if (status == -1 && errno != 0) notify(ops, file, Candidate::not_started, errno);
    return status;
}

int start_if_exists(const SearchOps& ops, const char* file, const char* const* vector) {
    if (!candidate_exists(ops, file)) return -1;
    return start_candidate(ops, file, vector);
}

// Tries base + each extension in turn; the first that exists is started.
int try_extensions(const SearchOps& ops, const char* base, const char* const* vector) {
    std::size_t len = std::strlen(base);
    char* candidate = static_cast<char*>(std::malloc(len + kExtensionLength + 1));
    if (candidate == nullptr) {
        errno = ENOMEM;
        return -1;
    }
    std::memcpy(candidate, base, len);
    int result = -1;
    for (const char* ext : kExtensions) {
        std::memcpy(candidate + len, ext, kExtensionLength + 1);
        if (candidate_exists(ops, candidate)) {
            result = start_candidate(ops, candidate, vector);
            break;
        }
    }
    release(candidate);
    return result;
}

// Starts `file`, trying the extensions (Windows rules) when its last
// component has none.
int try_file(const SearchOps& ops, const char* file, bool has_extension, const char* const* vector) {
    return (ops.syntax->windows && !has_extension) ? try_extensions(ops, file, vector)
                                                   : start_if_exists(ops, file, vector);
}

bool is_network_path(const PathSyntax& syntax, const char* path) {
    return is_separator(syntax, path[0]) && is_separator(syntax, path[1]);
}

// Whether a name is tried where it stands before PATH is walked. A name
// with a directory part always is. A bare name is looked for in the current
// directory only on Windows, whose own search does the same, and not there
// either when NoDefaultCurrentDirectoryInExePath is set (to any value). On
// POSIX the current directory first would run whatever a downloaded tree
// ships under the tool's name.
bool tries_where_it_stands(const SearchOps& ops, const char* name) {
    if (last_component(*ops.syntax, name) != std::string_view::npos) return true;
    return ops.syntax->windows &&
           find_env_value(*ops.syntax, ops.environment, "NoDefaultCurrentDirectoryInExePath") == nullptr;
}

// Whether the name names one place, where alone it is tried. Appended to a
// PATH entry, a name with a drive would be malformed, a rooted one would
// name another file, and one beginning with ".\" or "..\" was meant to be
// taken from here.
bool names_one_place(const PathSyntax& syntax, std::string_view name) {
    if (has_char(syntax, name, '/')) return true;
    if (!syntax.windows || name.empty()) return false;
    if (is_separator(syntax, name[0])) return true;
    if (name.size() >= 2 && name[1] == ':' && !is_trail_byte(syntax, name, 1)) return true;
    std::size_t dots = name.find_first_not_of('.');
    return (dots == 1 || dots == 2) && is_separator(syntax, name[dots]);
}

// True when the environment entry begins with the first `n` characters of
// `name`: Windows names carry no case, POSIX names do.
bool name_begins(const PathSyntax& syntax, const char* entry, const char* name, std::size_t n) {
    if (!syntax.windows) return std::strncmp(entry, name, n) == 0;
    std::size_t i = 0;
    while (i < n && entry[i] != '\0' && ascii_lower(entry[i]) == ascii_lower(name[i])) ++i;
    return i == n;
}

// Whether the walk goes on behind a candidate that failed with errno:
// behind one that is not there, and behind a network path that failed
// otherwise, unless the driver itself refused the start.
bool walk_goes_on(const SearchOps& ops, const char* candidate) {
    if (errno == ENOENT) return true;
    return is_network_path(*ops.syntax, candidate) && (ops.refused == nullptr || !ops.refused());
}

}  // namespace

int try_launch(const SearchOps& ops, const char* name, const char* const* vector) {
    const PathSyntax& syntax = *ops.syntax;
    std::string_view text(name);
    std::size_t mark = last_component(syntax, text);
    char* prefixed = nullptr;
    const char* base = name;
    if (mark == std::string_view::npos) {
        prefixed = static_cast<char*>(std::malloc(text.size() + 3));
        if (prefixed == nullptr) {
            errno = ENOMEM;
            return -1;
        }
        program_file(syntax, name, prefixed);
        base = prefixed;
        mark = 0;
    }
    int result = try_file(ops, base, has_char(syntax, text.substr(mark), '.'), vector);
    release(prefixed);
    return result;
}

void program_file(const PathSyntax& syntax, const char* name, char* out) {
    std::size_t n = std::strlen(name);
    std::size_t at = 0;
    if (last_component(syntax, std::string_view(name, n)) == std::string_view::npos) {
        out[0] = '.';
        out[1] = separator_char(syntax);
        at = 2;
    }
    std::memcpy(out + at, name, n + 1);
}

int run_program(const SearchOps& ops, const char* name, const char* const* vector) {
    char file[kProgramFile];
    if (std::strlen(name) > kMaxChars) {
        errno = ENAMETOOLONG;
        return -1;
    }
    program_file(*ops.syntax, name, file);
    return start_if_exists(ops, file, vector);
}

int run_tool(const SearchOps& ops, const char* name, const char* const* vector) {
    const PathSyntax& syntax = *ops.syntax;
    int result = -1;
    bool one_place = names_one_place(syntax, name);
    if (one_place || tries_where_it_stands(ops, name)) {
        result = try_launch(ops, name, vector);
        if (result != -1 || errno != ENOENT || one_place) return result;
    }
    const char* rest = find_env_value(syntax, ops.environment, "PATH");
    const char separators[] = {list_separator(syntax), '\0'};
    if (rest == nullptr || rest[std::strspn(rest, separators)] == '\0') {
        notify(ops, rest, Candidate::no_path, 0);
        errno = ENOENT;
        return -1;
    }
    char* dir = static_cast<char*>(std::malloc(kPathBuffer));
    if (dir == nullptr) {
        errno = ENOMEM;
        return -1;
    }
    // Not found so far: a walk that ends before its first attempt says so.
    errno = ENOENT;
    std::size_t name_len = std::strlen(name);
    // A candidate is a directory, a separator and the name, so its last
    // component begins at the name's last separator, else at the separator
    // in front of the name. Whether it has an extension is then the same for
    // every candidate: decided here once instead of by a scan of each.
    std::string_view name_text(name, name_len);
    std::size_t mark = last_separator(syntax, name_text);
    bool has_extension = has_char(syntax, name_text.substr(mark == std::string_view::npos ? 0 : mark), '.');
    for (const char* entry = rest;
         (rest = next_path_entry(syntax, rest, dir, kMaxChars)) != nullptr || dir[0] != '\0'; entry = rest) {
        // An entry too long leaves its first characters; a quoted empty one, none.
        if (rest == nullptr || dir[0] == '\0') {
            notify(ops, dir, rest == nullptr ? Candidate::long_entry : Candidate::empty_entry, 0);
            break;
        }
        unsigned long lost = ops.lost_character != nullptr ? ops.lost_character(entry, rest) : 0;
        if (lost != 0 && ops.lost_entry_holds != nullptr &&
            ops.lost_entry_holds(entry, rest, name, syntax.windows && !has_extension)) {
            notify(ops, dir, Candidate::unnamed_tool, static_cast<int>(lost));
            errno = EILSEQ;
            result = -1;
            break;
        }
        if (lost != 0) {
            notify(ops, dir, Candidate::lost_entry, static_cast<int>(lost));
            continue;
        }
        std::size_t len = std::strlen(dir);
        // False when the separator in front of the name is not one: behind a
        // lone lead byte it reads as that character's second byte.
        bool name_follows_separator = true;
        if (!ends_in_separator(syntax, std::string_view(dir, len))) {
            bool behind_lead = syntax.lead[static_cast<unsigned char>(dir[len - 1])];
            dir[len++] = separator_char(syntax);
            dir[len] = '\0';
            name_follows_separator =
                !behind_lead || !is_trail_byte(syntax, std::string_view(dir, len), len - 1);
        }
        if (len + name_len >= kPathBuffer) {
            notify(ops, dir, Candidate::long_candidate, static_cast<int>(len + name_len));
            break;
        }
        std::memcpy(dir + len, name, name_len + 1);
        result =
            name_follows_separator ? try_file(ops, dir, has_extension, vector) : try_launch(ops, dir, vector);
        if (result != -1 || !walk_goes_on(ops, dir)) break;
    }
    release(dir);
    return result;
}

const char* find_env_value(const PathSyntax& syntax, const char* const* environment, const char* variable) {
    std::size_t n = std::strlen(variable);
    for (; environment != nullptr && *environment != nullptr; ++environment)
        if (name_begins(syntax, *environment, variable, n) && (*environment)[n] == '=')
            return *environment + n + 1;
    return nullptr;
}

bool any_env_name_begins(const PathSyntax& syntax, const char* const* environment, const char* prefix) {
    std::size_t n = std::strlen(prefix);
    for (; environment != nullptr && *environment != nullptr; ++environment)
        if (name_begins(syntax, *environment, prefix, n)) return true;
    return false;
}

const char* next_path_entry(const PathSyntax& syntax, const char* rest, char* buffer, std::size_t limit) {
    const char sep = list_separator(syntax);
    while (*rest == sep) ++rest;
    const char* start = rest;
    char* out = buffer;
    if (limit == 0 || --limit == 0) {
        *buffer = '\0';
        return nullptr;
    }
    const char plain_stops[] = {'"', sep, '\0'};
    bool quoted = false;
    while (*rest != '\0' && (quoted || *rest != sep)) {
        if (*rest == '"') {
            quoted = !quoted;
            ++rest;
            continue;
        }
        // Everything up to the next quote (or separator, outside quotes) is
        // copied as it stands, in one piece rather than byte by byte.
        std::size_t run = std::strcspn(rest, quoted ? "\"" : plain_stops);
        if (run >= limit) {
            std::memcpy(out, rest, limit);
            out[limit] = '\0';
            return nullptr;
        }
        std::memcpy(out, rest, run);
        out += run;
        rest += run;
        limit -= run;
    }
    while (*rest == sep) ++rest;
    *out = '\0';
    return rest == start ? nullptr : rest;
}
