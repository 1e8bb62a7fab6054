/* The limit: the least any driver has to do for a build of two or three
 * steps.
 *
 *   limit PROGRAM [ARG...] -- PROGRAM [ARG...] [-- PROGRAM [ARG...]]
 *
 * Starts the first command with posix_spawn and waits for it; when it
 * ended with status 0, starts the next and waits for it, and so on. Its
 * arguments arrive ready to use: it reads no configuration, expands
 * nothing and searches nothing. Always exits 0, as the driver does. */
#include <errno.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>

extern char** environ;

/* Runs argv[0] with argv and returns its exit status, -1 when it could
 * not be started or did not exit normally. */
static int run(char** argv) {
    pid_t pid;
    int status;
    if (posix_spawn(&pid, argv[0], NULL, NULL, argv, environ) != 0) return -1;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int main(int argc, char** argv) {
    int start = 1;
    while (start < argc) {
        int end = start;
        while (end < argc && strcmp(argv[end], "--") != 0) ++end;
        if (end == start) return 0;
        argv[end] = NULL;
        if (run(argv + start) != 0) return 0;
        start = end + 1;
    }
    return 0;
}
