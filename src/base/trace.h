// The run's trace: lines on standard error, each beginning "tolvane: ", that
// say what the driver read, what it tried and why the run ended. It is off
// unless the configuration turns it on, and while it is off nothing at all
// is written to standard error. Standard output is never touched.
#pragma once

#if defined(__GNUC__)
#define TOLVANE_PRINTF_LIKE __attribute__((format(printf, 1, 2)))
#else
#define TOLVANE_PRINTF_LIKE
#endif

// Turns the trace on or off; the build sequence decides once per run.
void trace_enable(bool on);

// True while the trace is on.
bool trace_enabled();

// Writes "tolvane: ", the text that `format` and the arguments make as
// printf makes it, and a line end to standard error, when the trace is on.
// errno is left as it was.
void trace(const char* format, ...) TOLVANE_PRINTF_LIKE;

// The standard name of an error number ("EACCES"), or "unknown error" for a
// number without one here.
const char* error_name(int error);
