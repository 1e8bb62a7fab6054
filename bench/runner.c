/* Times contenders against each other on a noisy machine.
 *
 *   runner ROUNDS WARMUP SECONDS :: NAME [VAR=value...] PROGRAM [ARG...] [:: NAME ...]
 *
 * Each round starts every contender once, one after the other, beginning
 * with a different contender each round, so that drift of the machine's
 * load reaches all of them alike. WARMUP rounds run first and are not
 * counted. After ROUNDS counted rounds, or after the first round that ends
 * more than SECONDS after the start (whichever comes first), it stops.
 *
 * A contender is started with posix_spawn (no shell), its standard input
 * and output on /dev/null, its environment the runner's with the
 * VAR=value assignments applied; the time is taken from just before the
 * start to the end of the wait.
 *
 * Prints one line per contender, in the order given:
 *   NAME ROUNDS MEDIAN_US Q1_US Q3_US MAXRSS_KIB MINFLT
 * with the median, lower and upper quartile of the wall time, and the
 * medians of the peak resident memory and of the page faults that wait4
 * reports for the process (the peak covers the children it waited for and
 * what the runner held when it started the process, the faults are summed
 * over the children).
 *
 * A contender that ends with any status but 0 stops the runner with exit
 * status 1: a failed run must not count as a fast one. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

struct contender {
    const char* name;
    char** argv;   /* PROGRAM ARG..., null-ended */
    char** envp;   /* the runner's environment with the assignments */
    double* times; /* microseconds, one per counted round */
    long* rss;     /* KiB, one per counted round */
    long* faults;  /* minor page faults, one per counted round */
};

static void die(const char* what) {
    fprintf(stderr, "runner: %s\n", what);
    exit(2);
}

static void* must_alloc(size_t size) {
    void* p = calloc(1, size ? size : 1);
    if (p == NULL) die("out of memory");
    return p;
}

/* Length of a variable's name in "NAME=value". */
static size_t name_length(const char* assignment) { return (size_t)(strchr(assignment, '=') - assignment); }

/* The runner's environment with `count` assignments replacing or adding
 * the variables they name. */
static char** make_environment(char** assignments, int count) {
    size_t n = 0;
    while (environ[n] != NULL) ++n;
    char** env = must_alloc((n + (size_t)count + 1) * sizeof *env);
    size_t used = 0;
    for (size_t i = 0; i < n; ++i) {
        int replaced = 0;
        for (int a = 0; a < count && !replaced; ++a) {
            size_t len = name_length(assignments[a]);
            replaced = strncmp(environ[i], assignments[a], len + 1) == 0;
        }
        if (!replaced) env[used++] = environ[i];
    }
    for (int a = 0; a < count; ++a) env[used++] = assignments[a];
    env[used] = NULL;
    return env;
}

/* Splits argv[first..argc) at "::" into contenders; returns their number. */
static int parse_contenders(int argc, char** argv, int first, struct contender* out) {
    int count = 0;
    int i = first;
    while (i < argc) {
        if (strcmp(argv[i], "::") != 0) die("expected :: before each contender");
        int start = ++i;
        while (i < argc && strcmp(argv[i], "::") != 0) ++i;
        if (i - start < 2) die("a contender needs a name and a program");
        struct contender* c = &out[count++];
        c->name = argv[start];
        int assign = start + 1;
        int program = assign;
        while (program < i && strchr(argv[program], '=') != NULL && argv[program][0] != '/') ++program;
        if (program == i) die("a contender needs a program");
        c->envp = make_environment(argv + assign, program - assign);
        int words = i - program;
        c->argv = must_alloc((size_t)(words + 1) * sizeof *c->argv);
        memcpy(c->argv, argv + program, (size_t)words * sizeof *c->argv);
    }
    return count;
}

static double now_us(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec * 1e6 + (double)ts.tv_nsec / 1e3;
}

/* Runs one contender once; stores its time and peak memory. */
static void run_once(const struct contender* c, const posix_spawn_file_actions_t* actions, double* time_us,
                     long* rss_kib, long* faults) {
    pid_t pid;
    int status;
    struct rusage usage;
    double start = now_us();
    int rc = posix_spawn(&pid, c->argv[0], actions, NULL, c->argv, c->envp);
    if (rc != 0) {
        fprintf(stderr, "runner: %s: cannot start %s: %s\n", c->name, c->argv[0], strerror(rc));
        exit(1);
    }
    while (wait4(pid, &status, 0, &usage) < 0)
        if (errno != EINTR) die("wait4 failed");
    *time_us = now_us() - start;
    *rss_kib = usage.ru_maxrss;
    *faults = usage.ru_minflt;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "runner: %s ended with status 0x%x\n", c->name, (unsigned)status);
        exit(1);
    }
}

static int compare_double(const void* a, const void* b) {
    double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

static int compare_long(const void* a, const void* b) {
    long x = *(const long*)a, y = *(const long*)b;
    return (x > y) - (x < y);
}

/* The value at fraction q of sorted data, interpolating between ranks. */
static double quantile(const double* sorted, int n, double q) {
    double pos = q * (n - 1);
    int low = (int)pos;
    if (low + 1 >= n) return sorted[n - 1];
    return sorted[low] + (pos - low) * (sorted[low + 1] - sorted[low]);
}

int main(int argc, char** argv) {
    if (argc < 6) die("usage: runner ROUNDS WARMUP SECONDS :: NAME [VAR=value...] PROGRAM [ARG...] [:: ...]");
    int rounds = atoi(argv[1]);
    int warmup = atoi(argv[2]);
    double budget_us = atof(argv[3]) * 1e6;
    if (rounds < 1 || warmup < 0) die("ROUNDS must be at least 1 and WARMUP at least 0");
    struct contender* cs = must_alloc((size_t)argc * sizeof *cs);
    int n = parse_contenders(argc, argv, 4, cs);
    for (int i = 0; i < n; ++i) {
        cs[i].times = must_alloc((size_t)rounds * sizeof *cs[i].times);
        cs[i].rss = must_alloc((size_t)rounds * sizeof *cs[i].rss);
        cs[i].faults = must_alloc((size_t)rounds * sizeof *cs[i].faults);
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);

    double start = now_us();
    int counted = 0;
    for (int r = 0; r < warmup + rounds && (counted == 0 || now_us() - start < budget_us); ++r) {
        for (int k = 0; k < n; ++k) {
            int i = (r + k) % n;
            double t;
            long rss, faults;
            run_once(&cs[i], &actions, &t, &rss, &faults);
            if (r < warmup) continue;
            cs[i].times[r - warmup] = t;
            cs[i].rss[r - warmup] = rss;
            cs[i].faults[r - warmup] = faults;
        }
        if (r >= warmup) ++counted;
    }

    for (int i = 0; i < n; ++i) {
        qsort(cs[i].times, (size_t)counted, sizeof(double), compare_double);
        qsort(cs[i].rss, (size_t)counted, sizeof(long), compare_long);
        qsort(cs[i].faults, (size_t)counted, sizeof(long), compare_long);
        printf("%s %d %.1f %.1f %.1f %ld %ld\n", cs[i].name, counted, quantile(cs[i].times, counted, 0.5),
               quantile(cs[i].times, counted, 0.25), quantile(cs[i].times, counted, 0.75),
               cs[i].rss[counted / 2], cs[i].faults[counted / 2]);
    }
    return 0;
}
