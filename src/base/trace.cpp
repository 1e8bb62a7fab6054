#include "base/trace.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>

namespace {

bool trace_on = false;

struct ErrorName {
    int number;
    const char* name;
};

#define TOLVANE_ERROR_NAME(e) \
    { e, #e }

// The numbers a launch or an existence test can leave, on any platform.
constexpr ErrorName kErrorNames[] = {
    TOLVANE_ERROR_NAME(ENOENT),  TOLVANE_ERROR_NAME(EACCES),       TOLVANE_ERROR_NAME(ENOEXEC),
    TOLVANE_ERROR_NAME(ENOMEM),  TOLVANE_ERROR_NAME(ENOTDIR),      TOLVANE_ERROR_NAME(EISDIR),
    TOLVANE_ERROR_NAME(ELOOP),   TOLVANE_ERROR_NAME(ENAMETOOLONG), TOLVANE_ERROR_NAME(E2BIG),
    TOLVANE_ERROR_NAME(ETXTBSY), TOLVANE_ERROR_NAME(EPERM),        TOLVANE_ERROR_NAME(EINVAL),
    TOLVANE_ERROR_NAME(EIO),     TOLVANE_ERROR_NAME(EAGAIN),       TOLVANE_ERROR_NAME(EMFILE),
    TOLVANE_ERROR_NAME(ENFILE),  TOLVANE_ERROR_NAME(EFAULT),       TOLVANE_ERROR_NAME(ECHILD),
    TOLVANE_ERROR_NAME(EINTR),   TOLVANE_ERROR_NAME(ENOSYS),
};

#undef TOLVANE_ERROR_NAME

}  // namespace

void trace_enable(bool on) { trace_on = on; }

bool trace_enabled() { return trace_on; }

void trace(const char* format, ...) {
    if (!trace_on) return;
    int saved = errno;
    std::va_list args;
    va_start(args, format);
    std::fputs("tolvane: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
    errno = saved;
}

const char* error_name(int error) {
    for (const ErrorName& e : kErrorNames)
        if (e.number == error) return e.name;
    return "unknown error";
}
