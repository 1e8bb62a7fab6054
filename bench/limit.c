/* The limit: the least any driver has to do for a two-stage build.
 *
 *   limit PROGRAM [ARG...] -- PROGRAM [ARG...]
 *
 * Starts the first command with posix_spawn and waits for it; when it
 * ended with status 0, starts the second and waits for it. Its arguments
 * arrive ready to use: it reads no configuration, expands nothing and
 * searches nothing. Always exits 0, as the driver does. */
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
    int split = 1;
    while (split < argc && strcmp(argv[split], "--") != 0) ++split;
    if (split == 1 || split >= argc - 1) return 0;
    argv[split] = NULL;
    if (run(argv + 1) == 0) run(argv + split + 1);
    return 0;
}
