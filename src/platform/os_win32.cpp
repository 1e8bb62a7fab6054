// The Windows platform: the system's profile calls, GetFileAttributesA and
// CreateProcessA, the log file and the console. The arguments, the
// executable's path and the environment, taken from their wide forms, are
// in os_win32_text.cpp. The command line reaches the tool exactly as
// build_command_line made it; nothing more is quoted or escaped here.
#include "platform/os_win32.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/command_split.h"
#include "platform/log_stamp.h"
#include "platform/os.h"

namespace {

PathSyntax g_syntax = windows_syntax();

// The block's length goes into a 16-bit field, which bounds how many
// descriptors it can describe.
constexpr std::size_t kHandleWidth = sizeof(std::intptr_t);
constexpr int kMaxDescriptors = static_cast<int>((0xFFFF - 4) / (1 + kHandleWidth));

struct ErrorRange {
    unsigned long first;
    unsigned long last;
    int number;
};

// The C runtime's own table; codes not listed give EINVAL.
constexpr ErrorRange kErrorTable[] = {
    {1, 1, EINVAL},     {2, 3, ENOENT},     {4, 4, EMFILE},       {5, 5, EACCES},        {6, 6, EBADF},
    {7, 9, ENOMEM},     {10, 10, E2BIG},    {11, 11, ENOEXEC},    {12, 13, EINVAL},      {15, 15, ENOENT},
    {16, 16, EACCES},   {17, 17, EXDEV},    {18, 18, ENOENT},     {19, 36, EACCES},      {53, 53, ENOENT},
    {65, 65, EACCES},   {67, 67, ENOENT},   {80, 80, EEXIST},     {82, 83, EACCES},      {87, 87, EINVAL},
    {89, 89, EAGAIN},   {108, 108, EACCES}, {109, 109, EPIPE},    {112, 112, ENOSPC},    {114, 114, EBADF},
    {128, 129, ECHILD}, {130, 130, EBADF},  {132, 132, EACCES},   {145, 145, ENOTEMPTY}, {158, 158, EACCES},
    {161, 161, ENOENT}, {164, 164, EAGAIN}, {167, 167, EACCES},   {183, 183, EEXIST},    {188, 202, ENOEXEC},
    {206, 206, ENOENT}, {215, 215, EAGAIN}, {1816, 1816, ENOMEM},
};

// Why the last os_start_and_wait started nothing: the system's error code,
// kRefusedScript or kRefusedBlank for a command script refused here, 0
// otherwise.
constexpr DWORD kRefusedScript = 0xFFFFFFFF;
constexpr DWORD kRefusedBlank = 0xFFFFFFFE;
DWORD g_start_error = 0;

// The words for kRefusedBlank, which name the program.
char g_blank_words[3 * kPathBuffer + 256];

struct StartWords {
    DWORD code;
    const char* words;
};

constexpr StartWords kStartWords[] = {
    {kRefusedScript,
     "it is a command script, and its command line holds one of & | < > ^ %, which the "
     "command interpreter would act on"},
    {ERROR_BAD_EXE_FORMAT, "it is not a Windows program"},
    {ERROR_EXE_MACHINE_TYPE_MISMATCH, "it is a program for another kind of processor"},
    {ERROR_ACCESS_DISABLED_BY_POLICY, "a Windows policy blocks it"},
};

HANDLE g_log = INVALID_HANDLE_VALUE;

// A lock on one byte this far into the log serialises the appends of
// drivers running at once; no log ever grows that large, so the lock never
// covers its text.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

// The system may cut the last key name it places in a list that does not
// fit, and in a multibyte code page leave bytes unwritten in front of the
// buffer's end: only names ending before this zone are known to be whole.
constexpr std::size_t kCutZone = 8;

void no_op_handler(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, std::uintptr_t) {}

// True for a value of _get_osfhandle that stands for no handle: -1 for a
// closed descriptor, -2 for a standard one without a console.
bool no_handle(std::intptr_t h) { return h == 0 || h == -1 || h == -2; }

// Flag bits for a handle's file type: character device, pipe, or neither.
unsigned char type_flags(HANDLE h) {
    DWORD type = GetFileType(h);
    if (type == FILE_TYPE_CHAR) return kFdDevice;
    if (type == FILE_TYPE_PIPE) return kFdPipe;
    return 0;
}

// A standard descriptor is always described, as an open text-mode one; a
// character device where there is no handle of a known type.
void describe_standard(int fd, unsigned char& flags, std::intptr_t& handle) {
    std::intptr_t h = _get_osfhandle(fd);
    flags = kFdOpen | kFdText;
    handle = -1;
    if (no_handle(h) || GetFileType(reinterpret_cast<HANDLE>(h)) == FILE_TYPE_UNKNOWN) {
        flags |= kFdDevice;
        return;
    }
    flags |= type_flags(reinterpret_cast<HANDLE>(h));
    handle = h;
}

// Any other descriptor: described only when open and inheritable.
void describe_other(int fd, unsigned char& flags, std::intptr_t& handle) {
    flags = 0;
    handle = -1;
    std::intptr_t h = _get_osfhandle(fd);
    DWORD info = 0;
    if (no_handle(h) || !GetHandleInformation(reinterpret_cast<HANDLE>(h), &info) ||
        (info & HANDLE_FLAG_INHERIT) == 0)
        return;
    flags = kFdOpen | type_flags(reinterpret_cast<HANDLE>(h));
    // The mode has no getter: setting it returns the one before.
    int mode = _setmode(fd, _O_BINARY);
    if (mode != -1 && mode != _O_BINARY) {
        flags |= kFdText;
        _setmode(fd, mode);
    }
    handle = h;
}

bool has_script_extension(const char* file) {
    std::size_t n = std::strlen(file);
    // Windows drops trailing dots and blanks from a file name.
    while (n > 0 && (file[n - 1] == '.' || file[n - 1] == ' ')) --n;
    if (n < 4 || file[n - 4] != '.') return false;
    char ext[4] = {ascii_lower(file[n - 3]), ascii_lower(file[n - 2]), ascii_lower(file[n - 1]), '\0'};
    return std::strcmp(ext, "bat") == 0 || std::strcmp(ext, "cmd") == 0;
}

}  // namespace

int errno_from_system_error(unsigned long code) {
    for (const ErrorRange& r : kErrorTable)
        if (code >= r.first && code <= r.last) return r.number;
    return EINVAL;
}

unsigned char* descriptor_block(std::size_t& size) {
    static unsigned char flags[kMaxDescriptors];
    static std::intptr_t handles[kMaxDescriptors];
    // A closed descriptor makes the C runtime call its invalid-parameter
    // handler, which by default ends the process.
    _invalid_parameter_handler previous = _set_invalid_parameter_handler(no_op_handler);
    int count = 0;
    for (int fd = 0; fd < kMaxDescriptors; ++fd) {
        if (fd <= 2)
            describe_standard(fd, flags[fd], handles[fd]);
        else
            describe_other(fd, flags[fd], handles[fd]);
        if (flags[fd] != 0) count = fd + 1;
    }
    _set_invalid_parameter_handler(previous);

    size = 4 + static_cast<std::size_t>(count) * (1 + kHandleWidth);
    unsigned char* block = static_cast<unsigned char*>(std::calloc(size, 1));
    if (block == nullptr) return nullptr;
    std::int32_t n = count;
    std::memcpy(block, &n, 4);
    std::memcpy(block + 4, flags, static_cast<std::size_t>(count));
    std::memcpy(block + 4 + count, handles, static_cast<std::size_t>(count) * kHandleWidth);
    return block;
}

namespace {

// Why a start of `file` must not happen: kRefusedBlank, kRefusedScript, or
// 0 when it may. The interpreter reads the command line's first word
// (the program as configured) anew and cuts it at a blank or a tab, and it
// would run what follows & | < > ^ % as commands of its own.
DWORD script_refusal(const char* file, const char* program, const char* command_line) {
    if (!has_script_extension(file)) return 0;
    if (program[std::strcspn(program, " \t")] != '\0') return kRefusedBlank;
    return std::strpbrk(command_line, "&|<>^%") != nullptr ? kRefusedScript : 0;
}

bool start_refused_here() { return g_start_error == kRefusedScript || g_start_error == kRefusedBlank; }

void describe_blank_refusal(const char* program) {
    std::size_t cut = std::strcspn(program, " \t");
    std::snprintf(g_blank_words, sizeof g_blank_words,
                  "it is a command script, and the command interpreter would cut the program name \"%s\" "
                  "at the %s and look for \"%.*s\" instead; start the script through cmd.exe /c, its path "
                  "in double quotes",
                  program, program[cut] == '\t' ? "tab" : "blank", static_cast<int>(cut), program);
}

}  // namespace

bool is_unsafe_script_launch(const char* file, const char* program, const char* command_line) {
    return script_refusal(file, program, command_line) != 0;
}

void os_init() {
    CPINFO info;
    if (!GetCPInfo(CP_ACP, &info)) return;
    std::size_t pairs = 0;
    while (pairs < MAX_LEADBYTES / 2 && info.LeadByte[2 * pairs] != 0) ++pairs;
    set_lead_ranges(g_syntax, info.LeadByte, pairs);
}

const PathSyntax& os_path_syntax() { return g_syntax; }

std::size_t os_profile_string(const char* section, const char* key, char* out, std::size_t out_size,
                              const char* file) {
    if (out_size == 0) return 0;
    // A value cut inside a double-byte character can leave its last byte
    // unwritten.
    std::memset(out, 0, out_size);
    return GetPrivateProfileStringA(section, key, "", out, static_cast<DWORD>(out_size), file);
}

int os_profile_int(const char* section, const char* key, int def, const char* file) {
    return static_cast<int>(GetPrivateProfileIntA(section, key, def, file));
}

namespace {

// True when the value of a string query that filled its buffer is longer
// than that: the system gives out_size - 1 both for a value of that length
// and for a longer one cut there. Two bytes more, as Wine gives a quoted
// value one character less when the buffer is one byte short of it.
bool value_is_longer(const ProfileQuery& q, const char* file) {
    std::size_t size = q.out_size + 2;
    char* larger = static_cast<char*>(std::calloc(size, 1));
    if (larger == nullptr) return false;
    DWORD n = GetPrivateProfileStringA(query_section(q), q.key, "", larger, static_cast<DWORD>(size), file);
    std::free(larger);
    return n >= q.out_size;
}

HANDLE open_to_read(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The first bytes of `file` into `head` (size bytes): how many, 0 when it
// cannot be read.
std::size_t read_head(const char* file, char* head, std::size_t size) {
    DWORD n = 0;
    HANDLE h = open_to_read(file);
    if (h == INVALID_HANDLE_VALUE) return 0;
    if (!ReadFile(h, head, static_cast<DWORD>(size), &n, nullptr)) n = 0;
    CloseHandle(h);
    return n;
}

// True when `file` begins with a UTF-16 byte order mark. The system's
// ANSI calls hand such a file's values on with best fit: a look-alike for
// a character that the code page lacks ("O" for U+03A9 in 1252), which
// may name another file or program.
bool is_utf16_file(const char* file) {
    char head[2];
    ProfileEncoding encoding = profile_encoding(head, read_head(file, head, sizeof head));
    return encoding == ProfileEncoding::utf16le || encoding == ProfileEncoding::utf16be;
}

std::wstring widened(const char* text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(n > 0 ? static_cast<std::size_t>(n) : 1, L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
    wide.resize(std::wcslen(wide.c_str()));
    return wide;
}

// A string query in a UTF-16 file: the system's wide value, each character
// turned into the code page exactly ("?" where it has none), cut in front
// of the first character that does not fit out_size - 1 bytes.
void lookup_wide_string(ProfileQuery& q, const std::wstring& file) {
    q.length = 0;
    if (q.out_size == 0) return;
    // A character takes at most two units and at least a byte, so a
    // value that fills this is longer than any that fits.
    std::vector<wchar_t> wide(2 * q.out_size + 4);
    DWORD n = GetPrivateProfileStringW(widened(query_section(q)).c_str(), widened(q.key).c_str(), L"",
                                       wide.data(), static_cast<DWORD>(wide.size()), file.c_str());
    std::string value;
    q.cut = n + 1 >= wide.size();
    const wchar_t* end = wide.data() + n;
    for (const wchar_t *w = wide.data(), *next = w; w < end; w = next) {
        next = w + units_at(w, end);
        std::size_t before = value.size();
        append_converted(GetACP(), w, next, value);
        if (value.size() + 1 > q.out_size) {
            value.resize(before);
            q.cut = true;
            break;
        }
    }
    std::memcpy(q.out, value.c_str(), value.size() + 1);
    q.length = value.size();
}

// True when `file` holds a section named `name`, as the system compares
// section names (each character in upper case). A key lookup cannot tell
// an empty section from a missing one, so this takes the list of the
// file's sections: one profile call.
// The list is taken once per reading (`listed`), however many stages
// have an alternate in it.
bool holds_section(const char* name, const char* file, bool& listed) {
    // Only a run whose source has an extension asks, so only its runs
    // touch these pages.
    static char sections[64 * 1024];
    std::wstring wanted = widened(name);
    if (!listed) os_profile_sections(sections, sizeof sections, file);
    listed = true;
    for (const char* section = sections; *section != '\0'; section += std::strlen(section) + 1)
        if (CompareStringOrdinal(widened(section).c_str(), -1, wanted.c_str(), -1, TRUE) == CSTR_EQUAL)
            return true;
    return false;
}

}  // namespace

void os_profile_lookup(const char* file, ProfileQuery* queries, std::size_t count) {
    bool wide = is_utf16_file(file);
    std::wstring wide_file = wide ? widened(file) : std::wstring();
    const char* alternate = nullptr;
    bool held = false, listed = false;
    for (std::size_t i = 0; i < count; ++i) {
        ProfileQuery& q = queries[i];
        q.cut = false;
        // The queries of a stage share their alternate: asked once.
        if (q.alternate != nullptr && q.alternate != alternate)
            held = holds_section(q.alternate, file, listed);
        if (q.alternate != nullptr) alternate = q.alternate;
        q.from_alternate = q.alternate != nullptr && held;
        if (q.integer == nullptr && wide) {
            lookup_wide_string(q, wide_file);
            continue;
        }
        if (q.integer == nullptr) {
            q.length = os_profile_string(query_section(q), q.key, q.out, q.out_size, file);
            q.cut = q.out_size > 0 && q.length + 1 == q.out_size && value_is_longer(q, file);
            continue;
        }
        *q.integer = os_profile_int(query_section(q), q.key, *q.integer, file);
        if (q.out != nullptr && q.out_size > 0) q.out[0] = '\0';
        q.length = 0;
    }
}

std::size_t os_profile_keys(const char* section, char* out, std::size_t out_size, const char* file) {
    if (out_size == 0) return 0;
    out[0] = '\0';
    // A larger buffer than the caller's, so that every name that fits the
    // caller's lies before the zone where the system cuts; zeroed, as the
    // system does not always end its list with two NULs.
    std::size_t size = out_size + kCutZone;
    char* all = static_cast<char*>(std::calloc(size, 1));
    if (all == nullptr) return 0;
    GetPrivateProfileStringA(section, nullptr, "", all, static_cast<DWORD>(size), file);
    // An empty name ends the list, as it does for any reader of the
    // system's list.
    std::size_t used = 0;
    while (all[used] != '\0') {
        const char* end = static_cast<const char*>(std::memchr(all + used, '\0', size - used));
        std::size_t next = end == nullptr ? size : static_cast<std::size_t>(end - all) + 1;
        // The name, its NUL and the NUL that ends the list must fit.
        if (next + 1 > out_size) break;
        used = next;
    }
    std::memcpy(out, all, used);
    out[used] = '\0';
    std::free(all);
    return used;
}

std::size_t os_profile_sections(char* out, std::size_t out_size, const char* file) {
    // For a null section the system lists the sections.
    return os_profile_keys(nullptr, out, out_size, file);
}

namespace {

// The configuration as the project's own reader reads it here.
struct OpenProfile {
    HANDLE handle;
    bool at_start;
};

long read_profile_piece(void* context, char* buffer, std::size_t size) {
    OpenProfile& file = *static_cast<OpenProfile*>(context);
    DWORD n = 0;
    DWORD asked = size > (1u << 30) ? 1u << 30 : static_cast<DWORD>(size);
    if (file.handle == INVALID_HANDLE_VALUE || !ReadFile(file.handle, buffer, asked, &n, nullptr)) return -1;
    // Windows takes a UTF-8 mark for part of the first line, which then
    // holds no header; bytes neither blank nor "[" in its place keep the
    // reader, which skips the mark, from seeing one there either.
    if (file.at_start && n >= 3 && std::memcmp(buffer, "\xEF\xBB\xBF", 3) == 0) std::memset(buffer, 'x', 3);
    file.at_start = false;
    return static_cast<long>(n);
}

}  // namespace

std::size_t os_profile_later_keys(const char* section, char* out, std::size_t out_size, const char* file) {
    // Only the trace asks, so only its runs touch these pages.
    static char scratch[64 * 1024];
    OpenProfile open_file = {open_to_read(file), true};
    std::size_t n = profile_read_later_keys(ProfileSource{read_profile_piece, &open_file}, scratch,
                                            sizeof scratch, section, out, out_size);
    if (open_file.handle != INVALID_HANDLE_VALUE) CloseHandle(open_file.handle);
    return n;
}

// The system's profile calls keep the file themselves.
void os_profile_hold(const char*) {}

void os_profile_release() {}

const char* os_profile_encoding(const char* file) {
    char head[kProfileHead];
    std::size_t n = read_head(file, head, sizeof head);
    // Windows takes such a mark for part of the first line (Wine skips it).
    if (profile_encoding(head, n) == ProfileEncoding::utf8_mark)
        return "UTF-8 with a byte order mark, which Windows does not read: a section header on the first "
               "line "
               "is not seen";
    return profile_encoding_words(head, n);
}

FileState os_file_state(const char* path, int& error) {
    error = 0;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // No file can have a name the system rejects (a "?" that stands for
        // a character the ANSI code page lacks): it is not there.
        DWORD code = GetLastError();
        error = code == ERROR_INVALID_NAME ? ENOENT : errno_from_system_error(code);
        return error == ENOENT ? FileState::absent : FileState::unreadable;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = EISDIR;
        return FileState::unreadable;
    }
    HANDLE h = open_to_read(path);
    if (h == INVALID_HANDLE_VALUE) {
        error = errno_from_system_error(GetLastError());
        return FileState::unreadable;
    }
    CloseHandle(h);
    return FileState::readable;
}

bool os_absolute_path(const char* path, char* out) {
    // Too small a buffer makes the call return the size it needs, the
    // terminator included.
    DWORD n = GetFullPathNameA(path, kPathBuffer, out, nullptr);
    if (n == 0 || n > kMaxChars) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool os_file_exists(const char* path) {
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return true;
    errno = errno_from_system_error(GetLastError());
    return false;
}

int os_refuse_start(const char* file, const char* program, const char* command_line) {
    g_start_error = script_refusal(file, program, command_line);
    if (g_start_error == kRefusedBlank) describe_blank_refusal(program);
    return g_start_error != 0 ? EINVAL : 0;
}

int os_start_and_wait(const char* file, const char* program, const char* command_line) {
    errno = os_refuse_start(file, program, command_line);
    if (errno != 0) return -1;
    std::size_t size = 0;
    unsigned char* block = descriptor_block(size);
    if (block == nullptr) {
        errno = ENOMEM;
        return -1;
    }
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.cbReserved2 = static_cast<WORD>(size);
    startup.lpReserved2 = block;
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);

    errno = 0;
    // The A call converts the line to a copy of its own; it never writes to
    // the string it is given.
    BOOL created = CreateProcessA(file, const_cast<char*>(command_line), nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &process);
    DWORD error = GetLastError();
    std::free(block);
    if (!created) {
        g_start_error = error;
        errno = errno_from_system_error(error);
        return -1;
    }
    DWORD code = 0;
    int status = -1;
    if (WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(process.hProcess, &code))
        status = static_cast<int>(code);
    else
        errno = errno_from_system_error(GetLastError());
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return status;
}

int os_check_start(const char* file) {
    DWORD attributes = GetFileAttributesA(file);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return 0;
    // What CreateProcessA gives for a folder, so that os_start_failure
    // explains it as it explains a start that failed.
    g_start_error = ERROR_ACCESS_DENIED;
    return EACCES;
}

bool os_start_refused() { return start_refused_here(); }

int os_last_signal() { return 0; }

int os_status_seen(int status) { return status; }

const char* os_start_failure(const char* file, int error) {
    // Only for the failure the caller reports: the words must not outlive
    // the start they explain.
    int number = start_refused_here() ? EINVAL : errno_from_system_error(g_start_error);
    if (g_start_error == 0 || error != number) return nullptr;
    DWORD attributes = GetFileAttributesA(file);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return "it is a folder, not a program";
    if (g_start_error == kRefusedBlank) return g_blank_words;
    for (const StartWords& w : kStartWords)
        if (w.code == g_start_error) return w.words;
    return nullptr;
}

bool os_log_open(const char* path) {
    // Read access as well, which the lock needs on Windows; appends-only
    // all the same, since the handle has no FILE_WRITE_DATA.
    HANDLE h = CreateFileA(path, FILE_APPEND_DATA | FILE_READ_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        errno = errno_from_system_error(GetLastError());
        return false;
    }
    if (g_log != INVALID_HANDLE_VALUE) CloseHandle(g_log);
    g_log = h;
    return true;
}

void os_log_line(const char* text, std::size_t n) {
    if (g_log == INVALID_HANDLE_VALUE) return;
    // Appends of several processes are not atomic everywhere (Wine), so
    // each line is written under the lock.
    OVERLAPPED lock;
    std::memset(&lock, 0, sizeof lock);
    lock.OffsetHigh = kLockOffsetHigh;
    bool locked = LockFileEx(g_log, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lock) != 0;
    while (n > 0) {
        DWORD written = 0;
        if (!WriteFile(g_log, text, static_cast<DWORD>(n), &written, nullptr) || written == 0) break;
        text += written;
        n -= written;
    }
    if (locked) UnlockFileEx(g_log, 0, 1, 0, &lock);
}

std::size_t os_log_stamp(char* out, std::size_t size) {
    // FILETIME counts 100 ns since 1601-01-01 UTC, 11,644,473,600 s before
    // 1970-01-01.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    unsigned long long ticks =
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    long long milliseconds = static_cast<long long>(ticks / 10000) - 11644473600000LL;
    return format_log_stamp(milliseconds / 1000, static_cast<long>(milliseconds % 1000),
                            static_cast<long>(GetCurrentProcessId()), out, size);
}

void os_describe_code_page(char* out, std::size_t size) {
    UINT page = GetACP();
    if (page == CP_UTF8)
        std::snprintf(out, size, "UTF-8 (code page 65001)");
    else if (kUtf8Build)
        std::snprintf(out, size, "UTF-8 build, but Windows ignored its manifest: ANSI code page %u", page);
    else
        std::snprintf(out, size, "ANSI code page %u", page);
}

void os_describe_build(char* out, std::size_t size) {
    char page[128];
    os_describe_code_page(page, sizeof page);
    std::snprintf(out, size, "%s, %s", kUtf8Build ? "Windows UTF-8 build" : "Windows build", page);
}

double os_seconds() {
    LARGE_INTEGER count, frequency;
    if (!QueryPerformanceCounter(&count) || !QueryPerformanceFrequency(&frequency) || frequency.QuadPart == 0)
        return 0;
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool os_tool_splits_command_line() { return true; }

bool os_owns_console() {
    // A console without a window (a program started the driver with
    // CREATE_NO_WINDOW) is nobody's to close: no key could end a pause.
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1 && GetConsoleWindow() != nullptr;
}

bool os_input_is_console() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool os_error_is_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

// The path found is named as it stands: where a link leads is not said.
bool os_link_target(const char*, char*) { return false; }

void os_pause(const char* prompt) {
    HANDLE out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE in = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
    // Keys typed while the tools ran must not end the pause at once; and
    // nobody would see a prompt that cannot be written: then no wait.
    DWORD written = 0;
    if (in != INVALID_HANDLE_VALUE && FlushConsoleInputBuffer(in) && out != INVALID_HANDLE_VALUE &&
        WriteFile(out, prompt, static_cast<DWORD>(std::strlen(prompt)), &written, nullptr) &&
        WriteFile(out, "\r\n", 2, &written, nullptr)) {
        INPUT_RECORD record;
        DWORD n = 0;
        while (ReadConsoleInputA(in, &record, 1, &n))
            if (n == 1 && record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) break;
    }
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
}
