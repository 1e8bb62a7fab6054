// The run's trace: lines that say what the driver read, what it tried and
// why the run ended. They go to standard error, each beginning "tolvane: ",
// when the trace is on, and to a log when one is set. With neither, trace()
// costs a test and nothing is written anywhere. Standard output is never
// touched.
#pragma once

// Checks a printf-like function's arguments: the format is parameter `f`,
// the values begin at `a`.
#if defined(__GNUC__)
#define TOLVANE_PRINTF_AT(f, a) __attribute__((format(printf, f, a)))
#else
#define TOLVANE_PRINTF_AT(f, a)
#endif
#define TOLVANE_PRINTF_LIKE TOLVANE_PRINTF_AT(1, 2)

#include <cstddef>

// Turns the trace on standard error on or off.
void trace_enable(bool on);

// Sets the log, a function handed each line's text (n bytes, without the
// "tolvane: " and without a line end); null for none.
void trace_set_log(void (*log)(const char* text, std::size_t n));

// True while trace lines go anywhere: only then is it worth working out
// what to say.
bool trace_enabled();

// Forms the line that `format` and the arguments make as printf makes it
// (cut at 8 KiB) and writes it, as one piece, to standard error behind
// "tolvane: " with a line end, and to the log. errno is left as it was.
void trace(const char* format, ...) TOLVANE_PRINTF_LIKE;

// Names a mistake in the configuration. While warnings are on (between
// warnings_begin and warnings_end) the line goes to standard error behind
// "tolvane: warning: ", the first kMaxWarnings of them, and nowhere else;
// otherwise it is a trace line. So the trace and the warnings use the
// same words.
void warn(const char* format, ...) TOLVANE_PRINTF_LIKE;

// Warnings shown in full; warnings_end counts the rest.
constexpr int kMaxWarnings = 5;

// Turns the warnings on. warnings_end turns them off again, after one
// line that says how many were not shown, when there were more than
// kMaxWarnings.
void warnings_begin();
void warnings_end();

// The standard name of an error number ("EACCES"), or "unknown error" for a
// number without one here.
const char* error_name(int error);

// The standard name of a signal number ("SIGSEGV"), or null for a number
// without one here.
const char* signal_name(int signal);

// True for an exit status that is a Windows exception code: 0xC0000000 to
// 0xEFFFFFFF read as unsigned. Smaller negative values (-1, -2) are a
// tool's own.
bool is_exception_status(int status);

// An exit status as the trace writes it into `out` (at least 64 bytes): in
// decimal, or an exception code in hexadecimal with its name where it has
// a common one, "0xC0000005 (access violation)".
void status_text(int status, char* out, std::size_t size);
