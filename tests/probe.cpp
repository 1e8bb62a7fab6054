// A stand-in tool for the end-to-end tests. It appends what it received to
// <its own path>.log, one item a line:
//   arg:<argv[i]>   for each argument, argv[0] included
//   cwd:<current directory>
//   env:<value of TOLVANE_PROBE_VAR, or "<unset>">
// and on Windows also
//   cmd:<the raw command line, GetCommandLineA>
//   block:<the descriptor table block of its start-up record, in hex>
//   std:<its standard input, output and error handles, in hex>
//   end
// and exits with the status written in <its own path>.status (0 without
// that file); "signal N" there makes it kill itself with signal N, and
// "sleep N" makes it wait N milliseconds and exit with 0. A probe whose
// path ends with TOLVANE_PROBE_ECHO first copies a line of its standard
// input to its standard output.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#ifdef _WIN32
#include <direct.h>
#include <windows.h>

#include <cstdint>
#define getcwd _getcwd
#else
#include <unistd.h>
#endif

namespace {

std::string own_path() {
#ifdef _WIN32
    char buffer[4096];
    DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    return std::string(buffer, n);
#else
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
#endif
}

#ifdef _WIN32
void log_windows_view(FILE* log) {
    std::fprintf(log, "cmd:%s\nblock:", GetCommandLineA());
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    for (unsigned i = 0; startup.lpReserved2 != nullptr && i < startup.cbReserved2; ++i)
        std::fprintf(log, "%02x", startup.lpReserved2[i]);
    std::fprintf(log, "\nstd:");
    for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
        std::fprintf(log, "%llx ",
                     static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(GetStdHandle(which))));
    std::fprintf(log, "\n");
}
#else
void log_windows_view(FILE*) {}
#endif

}  // namespace

int main(int argc, char** argv) {
    std::string self = own_path();
    const char* echo = std::getenv("TOLVANE_PROBE_ECHO");
    char typed[256];
    if (echo && self.size() >= std::strlen(echo) &&
        self.compare(self.size() - std::strlen(echo), std::string::npos, echo) == 0 &&
        std::fgets(typed, sizeof typed, stdin))
        std::fputs(typed, stdout);
    if (FILE* log = std::fopen((self + ".log").c_str(), "ab")) {
        for (int i = 0; i < argc; ++i) std::fprintf(log, "arg:%s\n", argv[i]);
        char cwd[4096];
        std::fprintf(log, "cwd:%s\n", getcwd(cwd, sizeof cwd) ? cwd : "<unknown>");
        const char* var = std::getenv("TOLVANE_PROBE_VAR");
        std::fprintf(log, "env:%s\n", var ? var : "<unset>");
        log_windows_view(log);
        std::fprintf(log, "end\n");
        std::fclose(log);
    }
    if (const char* text = std::getenv("TOLVANE_PROBE_SAY")) std::printf("%s\n", text);
    int status = 0;
    if (FILE* f = std::fopen((self + ".status").c_str(), "rb")) {
        char line[64] = "";
        if (std::fgets(line, sizeof line, f)) {
            int sig = 0, ms = 0;
            if (std::sscanf(line, "signal %d", &sig) == 1) {
                std::fflush(stdout);
                std::raise(sig);
            }
            if (std::sscanf(line, "sleep %d", &ms) == 1)
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            // Wider than int, so that a Windows status such as 0xC0000005 fits.
            status = static_cast<int>(std::strtoll(line, nullptr, 10));
        }
        std::fclose(f);
    }
    return status;
}
