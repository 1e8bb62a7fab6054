#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "support/process.h"

extern char** environ;

namespace {

// What the terminal's other side received: everything written before the
// last writer closed it, which read() then tells with EIO.
std::string drain(int master) {
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(master, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
    return text;
}

ProcessResult run(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                  const std::vector<std::string>& env, const std::string& input, bool error_on_terminal) {
    int master = -1, slave = -1;
    if (error_on_terminal) {
        // Raw, so that the line ends come as written.
        struct termios raw = {};
        cfmakeraw(&raw);
        if (openpty(&master, &slave, nullptr, &raw, nullptr) != 0) std::abort();
    }
    std::string dir = make_temp_dir();
    std::string out_file = dir + "/out", err_file = dir + "/err";

    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        bool replaced = false;
        for (const std::string& add : env)
            if (entry.substr(0, entry.find('=') + 1) == add.substr(0, add.find('=') + 1)) replaced = true;
        if (!replaced) environment.push_back(entry);
    }
    environment.insert(environment.end(), env.begin(), env.end());
    std::vector<char*> envp, argv;
    for (std::string& e : environment) envp.push_back(&e[0]);
    envp.push_back(nullptr);
    std::vector<std::string> arg_copy = args;
    for (std::string& a : arg_copy) argv.push_back(&a[0]);
    argv.push_back(nullptr);

    ProcessResult result;
    pid_t pid = fork();
    if (pid == 0) {
        int out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = open(input.empty() ? "/dev/null" : input.c_str(), O_RDONLY);
        if (out < 0 || err < 0 || in < 0 || chdir(cwd.c_str()) != 0) _exit(121);
        dup2(in, 0);
        dup2(out, 1);
        dup2(error_on_terminal ? slave : err, 2);
        if (error_on_terminal) close(master);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(122);
    }
    int status = 0;
    if (error_on_terminal) {
        close(slave);
        result.err = drain(master);
        close(master);
    }
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = read_file(out_file);
    if (!error_on_terminal) result.err = read_file(err_file);
    remove_tree(dir);
    return result;
}

}  // namespace

ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const std::string& cwd, const std::vector<std::string>& env,
                          const std::string& input) {
    return run(program, args, cwd, env, input, false);
}

ProcessResult run_process_on_terminal(const std::string& program, const std::vector<std::string>& args,
                                      const std::string& cwd, const std::vector<std::string>& env) {
    return run(program, args, cwd, env, "", true);
}

std::string make_temp_dir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tolvane-test-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) std::abort();
    return pattern;
}

void remove_tree(const std::string& path) {
    pid_t pid = fork();
    if (pid == 0) {
        execlp("rm", "rm", "-rf", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
}

bool copy_executable(const std::string& from, const std::string& to) {
    write_file(to, read_file(from));
    return chmod(to.c_str(), 0755) == 0;
}

void make_dir(const std::string& path) { mkdir(path.c_str(), 0755); }
