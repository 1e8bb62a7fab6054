/* The tool that the contenders start: it exits 0 at once.
 *
 * When the variable TOLVANE_BENCH_LOG names a file, it first appends one
 * line to it, its name without directory and its arguments joined by
 * blanks, so that the check pass can prove which tools ran and with what.
 *
 * When TOLVANE_BENCH_HWM names a file, it appends its name and the peak
 * resident memory (VmHWM, in KiB) of the process that started it, as that
 * process stands while it waits for the tool. Started by a driver, this is
 * the driver's own peak, without the tools' memory and without that of
 * whatever started the driver. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static const char* base_name(const char* path) {
    const char* slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

static int append(const char* file, const char* text, size_t length) {
    int fd = open(file, O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (fd < 0) return 1;
    ssize_t written = write(fd, text, length);
    close(fd);
    return written == (ssize_t)length ? 0 : 1;
}

static int log_arguments(const char* file, int argc, char** argv) {
    char line[8192];
    size_t used = 0;
    for (int i = 0; i < argc; ++i) {
        const char* word = i == 0 ? base_name(argv[0]) : argv[i];
        size_t len = strlen(word);
        if (used + len + 2 > sizeof line) return 1;
        if (i > 0) line[used++] = ' ';
        memcpy(line + used, word, len);
        used += len;
    }
    line[used++] = '\n';
    return append(file, line, used);
}

static int log_parent_peak(const char* file, const char* name) {
    char path[64], status[4096], line[256];
    snprintf(path, sizeof path, "/proc/%d/status", (int)getppid());
    int fd = open(path, O_RDONLY);
    if (fd < 0) return 1;
    ssize_t n = read(fd, status, sizeof status - 1);
    close(fd);
    if (n <= 0) return 1;
    status[n] = '\0';
    const char* peak = strstr(status, "\nVmHWM:");
    if (peak == NULL) return 1;
    int length = snprintf(line, sizeof line, "%s %ld\n", name, strtol(peak + 7, NULL, 10));
    return append(file, line, (size_t)length);
}

int main(int argc, char** argv) {
    const char* log = getenv("TOLVANE_BENCH_LOG");
    const char* hwm = getenv("TOLVANE_BENCH_HWM");
    if (log != NULL && log_arguments(log, argc, argv) != 0) return 1;
    if (hwm != NULL && log_parent_peak(hwm, base_name(argv[0])) != 0) return 1;
    return 0;
}
