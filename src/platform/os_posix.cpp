// The POSIX platform: /proc/self/exe, the project's own INI reader,
// stat() and posix_spawn(). No shell is ever involved.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>

#include "platform/command_split.h"
#include "platform/log_stamp.h"
#include "platform/os.h"
#include "platform/profile.h"

extern char** environ;

namespace {

// The piece in which the configuration is read. A usual file is read in
// one piece; a large one costs a read per piece but never more memory.
// Static, so that only the pages that a read fills are ever touched: on a
// fresh process every page touched costs a fault, and faults cost more
// than copying what fits in them.
constexpr std::size_t kReadPiece = 128 * 1024;
char read_piece_buffer[kReadPiece];

// An open configuration file and what is left of the size that fstat()
// gave: the file is read as it was then, and without a last read() that
// only tells the end.
struct OpenProfile {
    int fd;
    std::size_t left;
};

long read_piece(void* context, char* buffer, std::size_t size) {
    OpenProfile& file = *static_cast<OpenProfile*>(context);
    if (size > file.left) size = file.left;
    if (size == 0) return 0;
    for (;;) {
        ssize_t n = read(file.fd, buffer, size);
        if (n >= 0) {
            file.left = n == 0 ? 0 : file.left - static_cast<std::size_t>(n);
            return static_cast<long>(n);
        }
        if (errno != EINTR) return -1;
    }
}

// The file that os_profile_hold read whole into read_piece_buffer, and
// its length; null while none is held.
const char* held_file = nullptr;
std::size_t held_length = 0;

// True when lookups in `file` answer from the held text.
bool held(const char* file) { return held_file != nullptr && std::strcmp(held_file, file) == 0; }

std::string_view held_text() { return std::string_view(read_piece_buffer, held_length); }

// Opens the INI file anew and hands `use` a source for its bytes. Anything
// but a readable regular file reads as an empty file; O_NONBLOCK keeps a
// FIFO from hanging the driver.
template <typename Use>
auto with_profile_source(const char* file, Use use) {
    // The reading overwrites the held text.
    held_file = nullptr;
    OpenProfile open_file = {open(file, O_RDONLY | O_NONBLOCK | O_CLOEXEC), 0};
    struct stat st;
    if (open_file.fd >= 0 && fstat(open_file.fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        open_file.left = static_cast<std::size_t>(st.st_size);
    auto result = use(ProfileSource{read_piece, &open_file});
    if (open_file.fd >= 0) close(open_file.fd);
    return result;
}

}  // namespace

namespace {

// SIGPIPE was at its default action when the driver started, so the tools
// get it back at their start.
bool pipe_signal_default = false;

// The signal that ended the last tool, and whether its start failed with
// ENOENT although the file exists (a missing interpreter or loader).
int last_signal = 0;
bool last_start_missing_part = false;

int log_fd = -1;

}  // namespace

void os_init() {
    // A listing written into a pipe that nobody reads must not end the run
    // before the tools ran: the write fails silently, as on Windows.
    // Set first and asked what it was in the same call; only a handler
    // other than the default is put back.
    struct sigaction ignore = {};
    struct sigaction old = {};
    ignore.sa_handler = SIG_IGN;
    if (sigaction(SIGPIPE, &ignore, &old) != 0) return;
    pipe_signal_default = old.sa_handler == SIG_DFL;
    if (!pipe_signal_default) sigaction(SIGPIPE, &old, nullptr);
}

void os_take_arguments(int&, char**&) {}

int os_refused_argument(char*, std::size_t, const char*&) { return 0; }

bool os_lost_entry_holds(const char*, const char*, const char*, bool) { return false; }

bool os_tool_reads_exactly(const char* const*, ToolReading& reading) {
    reading.slot = -1;
    reading.lost_slot = -1;
    return true;
}

void os_lost_words(unsigned long, char* why, std::size_t size, const char*& remedy) {
    if (size > 0) why[0] = '\0';
    remedy = "";
}

const PathSyntax& os_path_syntax() { return posix_syntax(); }

unsigned long os_executable_lost() { return 0; }

bool os_executable_path(char* out) {
    ssize_t n = readlink("/proc/self/exe", out, kPathBuffer);
    if (n <= 0 || static_cast<std::size_t>(n) > kMaxChars) {
        out[0] = '\0';
        return false;
    }
    out[n] = '\0';
    return true;
}

std::size_t os_profile_string(const char* section, const char* key, char* out, std::size_t out_size,
                              const char* file) {
    if (held(file)) return profile_get_string(held_text(), section, key, out, out_size);
    return with_profile_source(file, [&](const ProfileSource& source) {
        return profile_read_string(source, read_piece_buffer, kReadPiece, section, key, out, out_size);
    });
}

int os_profile_int(const char* section, const char* key, int def, const char* file) {
    if (held(file)) return profile_get_int(held_text(), section, key, def);
    return with_profile_source(file, [&](const ProfileSource& source) {
        return profile_read_int(source, read_piece_buffer, kReadPiece, section, key, def);
    });
}

void os_profile_lookup(const char* file, ProfileQuery* queries, std::size_t count) {
    if (held(file)) return profile_get_queries(held_text(), queries, count);
    with_profile_source(file, [&](const ProfileSource& source) {
        profile_read_queries(source, read_piece_buffer, kReadPiece, queries, count);
        return 0;
    });
}

std::size_t os_profile_keys(const char* section, char* out, std::size_t out_size, const char* file) {
    if (held(file)) return profile_get_keys(held_text(), section, out, out_size);
    return with_profile_source(file, [&](const ProfileSource& source) {
        return profile_read_keys(source, read_piece_buffer, kReadPiece, section, out, out_size);
    });
}

std::size_t os_profile_sections(char* out, std::size_t out_size, const char* file) {
    if (held(file)) return profile_get_sections(held_text(), out, out_size);
    return with_profile_source(file, [&](const ProfileSource& source) {
        return profile_read_sections(source, read_piece_buffer, kReadPiece, out, out_size);
    });
}

std::size_t os_profile_later_keys(const char* section, char* out, std::size_t out_size, const char* file) {
    if (held(file)) return profile_get_later_keys(held_text(), section, out, out_size);
    return with_profile_source(file, [&](const ProfileSource& source) {
        return profile_read_later_keys(source, read_piece_buffer, kReadPiece, section, out, out_size);
    });
}

void os_profile_hold(const char* file) {
    held_file = nullptr;
    int fd = open(file, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st;
    std::size_t size = 0, length = 0;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
        static_cast<std::size_t>(st.st_size) <= kReadPiece)
        size = static_cast<std::size_t>(st.st_size);
    OpenProfile open_file = {fd, size};
    long n = 0;
    while ((n = read_piece(&open_file, read_piece_buffer + length, kReadPiece - length)) > 0)
        length += static_cast<std::size_t>(n);
    close(fd);
    // A file that could not be read whole is read anew by each lookup.
    if (size == 0 || n < 0 || length != size) return;
    held_file = file;
    held_length = length;
}

void os_profile_release() { held_file = nullptr; }

const char* os_profile_encoding(const char* file) {
    if (held(file)) return profile_encoding_words(read_piece_buffer, held_length);
    char head[kProfileHead];
    ssize_t n = -1;
    int fd = open(file, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        n = read(fd, head, sizeof head);
        close(fd);
    }
    return profile_encoding_words(head, n > 0 ? static_cast<std::size_t>(n) : 0);
}

FileState os_file_state(const char* path, int& error) {
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    error = fd < 0 ? errno : 0;
    if (fd < 0) return error == ENOENT || error == ENOTDIR ? FileState::absent : FileState::unreadable;
    struct stat st;
    if (fstat(fd, &st) != 0) st.st_mode = 0;
    bool regular = S_ISREG(st.st_mode);
    if (S_ISDIR(st.st_mode)) error = EISDIR;
    close(fd);
    return regular ? FileState::readable : FileState::unreadable;
}

bool os_link_target(const char* path, char* out) {
    // The link's own text, read from its directory: realpath() would make
    // the static driver larger, and every run touch more of its pages.
    ssize_t n = readlink(path, out, kPathBuffer);
    if (n <= 0 || static_cast<std::size_t>(n) > kMaxChars) return false;
    out[n] = '\0';
    const char* slash = std::strrchr(path, '/');
    std::size_t dir = out[0] == '/' || slash == nullptr ? 0 : static_cast<std::size_t>(slash - path) + 1;
    if (dir + static_cast<std::size_t>(n) > kMaxChars) return false;
    std::memmove(out + dir, out, static_cast<std::size_t>(n) + 1);
    std::memcpy(out, path, dir);
    return true;
}

bool os_absolute_path(const char* path, char* out) {
    std::size_t len = std::strlen(path);
    if (path[0] == '/') {
        if (len > kMaxChars) return false;
        std::memcpy(out, path, len + 1);
        return true;
    }
    if (getcwd(out, kPathBuffer) == nullptr) return false;
    std::size_t dir = std::strlen(out);
    if (dir > 0 && out[dir - 1] != '/') out[dir++] = '/';
    if (dir + len > kMaxChars) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out + dir, path, len + 1);
    return true;
}

bool os_file_exists(const char* path) {
    struct stat st;
    if (stat(path, &st) == 0) return true;
    if (errno == ENOTDIR || errno == ENAMETOOLONG || errno == ELOOP) errno = ENOENT;
    return false;
}

int os_start_and_wait(const char* file, const char* program, const char* command_line) {
    const char* tail = command_tail(program, command_line);
    // One block holds the argument vector (the program, the words, a null
    // pointer) and the words' text behind it.
    std::size_t length = std::strlen(tail);
    std::size_t slots = length / 2 + 3;
    char** argv = static_cast<char**>(std::malloc(slots * sizeof(char*) + length + 1));
    if (argv == nullptr) {
        errno = ENOMEM;
        return -1;
    }
    argv[0] = const_cast<char*>(program);
    argv[1 + split_command_words(tail, reinterpret_cast<char*>(argv + slots), argv + 1)] = nullptr;

    posix_spawnattr_t attributes;
    int rc = posix_spawnattr_init(&attributes);
    if (rc != 0) {
        std::free(argv);
        errno = rc;
        return -1;
    }
    if (pipe_signal_default) {
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    }
    errno = 0;
    pid_t pid;
    rc = posix_spawn(&pid, file, nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    std::free(argv);
    last_signal = 0;
    last_start_missing_part = rc == ENOENT;
    if (rc != 0) {
        // The file exists (the search tested it), so a missing interpreter
        // or loader means it cannot be started, not that it is absent.
        errno = rc == ENOENT ? ENOEXEC : rc;
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    errno = 0;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) {
        last_signal = WTERMSIG(status);
        return 128 + last_signal;
    }
    return -1;
}

int os_check_start(const char* file) {
    struct stat st;
    if (stat(file, &st) != 0) return errno;
    if (!S_ISREG(st.st_mode)) return EACCES;
    // By the effective ids, as the start itself goes by them.
    return faccessat(AT_FDCWD, file, X_OK, AT_EACCESS) == 0 ? 0 : errno;
}

bool os_start_refused() { return false; }

int os_refuse_start(const char*, const char*, const char*) { return 0; }

int os_last_signal() { return last_signal; }

int os_status_seen(int status) { return status & 0xFF; }

const char* os_start_failure(const char* file, int error) {
    if (error != ENOEXEC || !last_start_missing_part) return nullptr;
    char head[4] = {};
    int fd = open(file, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    ssize_t n = read(fd, head, sizeof head);
    close(fd);
    if (n >= 2 && head[0] == '#' && head[1] == '!') return "its interpreter is missing";
    if (n == 4 && std::memcmp(head,
                              "\x7f"
                              "ELF",
                              4) == 0)
        return "its program loader is missing";
    return nullptr;
}

bool os_log_open(const char* path) {
    if (log_fd >= 0) close(log_fd);
    log_fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    return log_fd >= 0;
}

void os_log_line(const char* text, std::size_t n) {
    // One write per line: with O_APPEND the system places it whole at the
    // end, also when other drivers append to the same file at once.
    while (log_fd >= 0 && n > 0) {
        ssize_t done = write(log_fd, text, n);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return;
        text += done;
        n -= static_cast<std::size_t>(done);
    }
}

std::size_t os_log_stamp(char* out, std::size_t size) {
    struct timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    return format_log_stamp(now.tv_sec, now.tv_nsec / 1000000, static_cast<long>(getpid()), out, size);
}

void os_describe_build(char* out, std::size_t size) {
#ifdef __linux__
    std::snprintf(out, size, "Linux build");
#else
    std::snprintf(out, size, "POSIX build");
#endif
}

void os_describe_code_page(char* out, std::size_t size) {
    if (size > 0) out[0] = '\0';
}

double os_seconds() {
    struct timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

bool os_tool_splits_command_line() { return false; }

bool os_owns_console() { return false; }

bool os_input_is_console() { return isatty(STDIN_FILENO) == 1; }

bool os_error_is_terminal() { return isatty(STDERR_FILENO) == 1; }

void os_pause(const char* prompt) {
    std::fprintf(stderr, "%s\n", prompt);
    char key;
    while (read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {
    }
}

const char* const* os_environment() { return environ; }

unsigned long os_lost_character(const char*, const char*) { return 0; }

bool os_environment_lost() { return false; }
