#include "base/trace.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

bool trace_on = false;
bool warnings_on = false;
int warnings_said = 0;
void (*trace_log)(const char* text, std::size_t n) = nullptr;

constexpr char kPrefix[] = "tolvane: ";
constexpr std::size_t kPrefixLength = sizeof kPrefix - 1;
constexpr std::size_t kLineBuffer = 8192;

struct ErrorName {
    int number;
    const char* name;
};

#define TOLVANE_ERROR_NAME(e) \
    { e, #e }

// The numbers a launch or an existence test can leave, on any platform,
// and EILSEQ for a name that lost a character on its way from the system.
constexpr ErrorName kErrorNames[] = {
    TOLVANE_ERROR_NAME(ENOENT),  TOLVANE_ERROR_NAME(EACCES),       TOLVANE_ERROR_NAME(ENOEXEC),
    TOLVANE_ERROR_NAME(ENOMEM),  TOLVANE_ERROR_NAME(ENOTDIR),      TOLVANE_ERROR_NAME(EISDIR),
    TOLVANE_ERROR_NAME(ELOOP),   TOLVANE_ERROR_NAME(ENAMETOOLONG), TOLVANE_ERROR_NAME(E2BIG),
    TOLVANE_ERROR_NAME(ETXTBSY), TOLVANE_ERROR_NAME(EPERM),        TOLVANE_ERROR_NAME(EINVAL),
    TOLVANE_ERROR_NAME(EIO),     TOLVANE_ERROR_NAME(EAGAIN),       TOLVANE_ERROR_NAME(EMFILE),
    TOLVANE_ERROR_NAME(ENFILE),  TOLVANE_ERROR_NAME(EFAULT),       TOLVANE_ERROR_NAME(ECHILD),
    TOLVANE_ERROR_NAME(EINTR),   TOLVANE_ERROR_NAME(ENOSYS),       TOLVANE_ERROR_NAME(EBADF),
    TOLVANE_ERROR_NAME(EILSEQ),
};

#undef TOLVANE_ERROR_NAME

// The signals that can end a tool; those that Windows lacks are left out
// there.
constexpr ErrorName kSignalNames[] = {
    {SIGABRT, "SIGABRT"}, {SIGFPE, "SIGFPE"},   {SIGILL, "SIGILL"},   {SIGINT, "SIGINT"},
    {SIGSEGV, "SIGSEGV"}, {SIGTERM, "SIGTERM"},
#ifndef _WIN32
    {SIGHUP, "SIGHUP"},   {SIGQUIT, "SIGQUIT"}, {SIGKILL, "SIGKILL"}, {SIGBUS, "SIGBUS"},
    {SIGPIPE, "SIGPIPE"}, {SIGALRM, "SIGALRM"}, {SIGUSR1, "SIGUSR1"}, {SIGUSR2, "SIGUSR2"},
    {SIGTRAP, "SIGTRAP"}, {SIGSYS, "SIGSYS"},   {SIGXCPU, "SIGXCPU"}, {SIGXFSZ, "SIGXFSZ"},
#endif
};

struct ExceptionName {
    unsigned long code;
    const char* name;
};

constexpr ExceptionName kExceptionNames[] = {
    {0xC0000005, "access violation"},         {0xC0000135, "a DLL it needs was not found"},
    {0xC0000142, "a DLL failed to start"},    {0xC00000FD, "stack overflow"},
    {0xC0000409, "stack buffer overrun"},     {0xC000001D, "illegal instruction"},
    {0xC0000094, "integer division by zero"}, {0xC000013A, "ended by Ctrl+C"},
};

// Forms the text of a line behind `prefix` in `line` (kLineBuffer bytes)
// and returns the length of prefix and text; a line end fits behind it.
std::size_t form_line(char* line, const char* prefix, const char* format, std::va_list args) {
    std::size_t at = std::strlen(prefix);
    std::memcpy(line, prefix, at);
    int n = std::vsnprintf(line + at, kLineBuffer - at - 1, format, args);
    return at + (n < 0 ? 0 : std::min(static_cast<std::size_t>(n), kLineBuffer - at - 2));
}

void trace_line(const char* format, std::va_list args) {
    char line[kLineBuffer];
    std::size_t n = form_line(line, kPrefix, format, args);
    if (trace_log != nullptr) trace_log(line + kPrefixLength, n - kPrefixLength);
    if (trace_on) {
        line[n] = '\n';
        std::fwrite(line, 1, n + 1, stderr);
    }
}

}  // namespace

void trace_enable(bool on) { trace_on = on; }

void trace_set_log(void (*log)(const char* text, std::size_t n)) { trace_log = log; }

bool trace_enabled() { return trace_on || trace_log != nullptr; }

void trace(const char* format, ...) {
    if (!trace_enabled()) return;
    int saved = errno;
    std::va_list args;
    va_start(args, format);
    trace_line(format, args);
    va_end(args);
    errno = saved;
}

void warn(const char* format, ...) {
    if (!warnings_on && !trace_enabled()) return;
    int saved = errno;
    std::va_list args;
    va_start(args, format);
    if (!warnings_on) {
        trace_line(format, args);
    } else if (++warnings_said <= kMaxWarnings) {
        char line[kLineBuffer];
        std::size_t n = form_line(line, "tolvane: warning: ", format, args);
        line[n] = '\n';
        std::fwrite(line, 1, n + 1, stderr);
    }
    va_end(args);
    errno = saved;
}

void warnings_begin() {
    warnings_on = true;
    warnings_said = 0;
}

void warnings_end() {
    int more = warnings_said - kMaxWarnings;
    if (warnings_on && more > 0)
        std::fprintf(stderr, "tolvane: warning: %d more warning%s; TOLVANE_TRACE=1 shows them all\n", more,
                     more == 1 ? "" : "s");
    warnings_on = false;
}

const char* error_name(int error) {
    for (const ErrorName& e : kErrorNames)
        if (e.number == error) return e.name;
    return "unknown error";
}

const char* signal_name(int signal) {
    for (const ErrorName& e : kSignalNames)
        if (e.number == signal) return e.name;
    return nullptr;
}

bool is_exception_status(int status) {
    unsigned long code = static_cast<unsigned long>(static_cast<unsigned int>(status));
    return code >= 0xC0000000 && code <= 0xEFFFFFFF;
}

void status_text(int status, char* out, std::size_t size) {
    if (!is_exception_status(status)) {
        std::snprintf(out, size, "%d", status);
        return;
    }
    unsigned int code = static_cast<unsigned int>(status);
    for (const ExceptionName& e : kExceptionNames)
        if (e.code == code) {
            std::snprintf(out, size, "0x%08X (%s)", code, e.name);
            return;
        }
    std::snprintf(out, size, "0x%08X", code);
}
