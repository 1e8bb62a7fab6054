#include <windows.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "support/process.h"

namespace {

// Quotes one argument so that the C runtime's splitting gives it back.
std::string quote_argument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    std::size_t slashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        out.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
        slashes = 0;
        out += c;
    }
    out.append(2 * slashes, '\\');
    return out + "\"";
}

std::wstring wide_of(const std::string& text) {
    std::wstring out(text.size() + 1, L'\0');
    out.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &out[0], static_cast<int>(out.size())) - 1));
    return out;
}

std::string name_of(const std::string& entry) {
    std::string name = entry.substr(0, entry.find('=', 1));
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

// The current environment with `env` replacing entries of the same name
// (any case), as a block for CreateProcessA.
std::string environment_block(const std::vector<std::string>& env) {
    std::string block;
    char* strings = GetEnvironmentStringsA();
    for (const char* e = strings; *e != '\0'; e += std::strlen(e) + 1) {
        bool replaced = false;
        for (const std::string& add : env) replaced = replaced || name_of(e) == name_of(add);
        if (!replaced) block.append(e, std::strlen(e) + 1);
    }
    FreeEnvironmentStringsA(strings);
    for (const std::string& add : env) block.append(add.c_str(), add.size() + 1);
    return block + '\0';
}

HANDLE open_inheritable(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Reads a pipe to its end.
std::string drain(HANDLE pipe) {
    std::string text;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) text.append(buffer, n);
    return text;
}

}  // namespace

std::string command_line_of(const std::vector<std::string>& args) {
    std::string command_line;
    for (const std::string& a : args) command_line += (command_line.empty() ? "" : " ") + quote_argument(a);
    return command_line;
}

namespace {

// Without entries to add, the child inherits the wide environment.
ProcessResult start(Streams streams, const std::wstring& program, std::wstring command_line,
                    const std::string& cwd, const std::vector<std::string>& env,
                    const std::string& input = "NUL") {
    bool piped = streams == Streams::output_pipe;
    std::string dir = make_temp_dir();
    std::string out_file = dir + "/out", err_file = dir + "/err";
    std::string block = environment_block(env);
    std::wstring wide_cwd = wide_of(cwd);

    STARTUPINFOW startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = open_inheritable(input, GENERIC_READ, OPEN_EXISTING);
    startup.hStdError = streams == Streams::no_error_handle
                            ? INVALID_HANDLE_VALUE
                            : open_inheritable(err_file, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE reader = INVALID_HANDLE_VALUE;
    if (piped) {
        SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
        CreatePipe(&reader, &startup.hStdOutput, &sa, 0);
        SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
    } else {
        startup.hStdOutput = open_inheritable(out_file, GENERIC_WRITE, CREATE_ALWAYS);
    }
    PROCESS_INFORMATION process;
    ProcessResult result;
    // Under load Wine can fail a start now and then that succeeds at once
    // when tried again; a start that keeps failing says why in `err`.
    BOOL created = FALSE;
    DWORD error = 0;
    for (int attempt = 0; attempt < 5 && !created; ++attempt) {
        created = CreateProcessW(program.c_str(), &command_line[0], nullptr, nullptr, TRUE, 0,
                                 env.empty() ? nullptr : &block[0], wide_cwd.c_str(), &startup, &process);
        error = created ? 0 : GetLastError();
        if (!created) Sleep(200);
    }
    CloseHandle(startup.hStdInput);
    CloseHandle(startup.hStdOutput);
    CloseHandle(startup.hStdError);
    if (piped) {
        result.out = created ? drain(reader) : "";
        CloseHandle(reader);
    }
    if (created) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        if (GetExitCodeProcess(process.hProcess, &code)) result.status = static_cast<int>(code);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    if (!piped) result.out = read_file(out_file);
    result.err = read_file(err_file);
    if (!created) result.err += "CreateProcessW failed: error " + std::to_string(error) + "\n";
    remove_tree(dir);
    return result;
}

}  // namespace

ProcessResult run_process_as(Streams streams, const std::string& program,
                             const std::vector<std::string>& args, const std::string& cwd,
                             const std::vector<std::string>& env) {
    return start(streams, wide_of(program), wide_of(command_line_of(args)), cwd, env);
}

ProcessResult run_process_wide(const std::wstring& program, const std::wstring& command_line,
                               const std::string& cwd) {
    return start(Streams::files, program, command_line, cwd, {});
}

ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const std::string& cwd, const std::vector<std::string>& env,
                          const std::string& input) {
    return start(Streams::files, wide_of(program), wide_of(command_line_of(args)), cwd, env,
                 input.empty() ? "NUL" : input);
}

std::string make_temp_dir() {
    // Tests may start drivers from several threads at once.
    static std::atomic<unsigned> counter{0};
    char base[MAX_PATH];
    DWORD n = GetTempPathA(sizeof base, base);
    if (n == 0 || n >= sizeof base) std::abort();
    for (;;) {
        std::string path = std::string(base) + "tolvane-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(++counter);
        for (char& c : path)
            if (c == '\\') c = '/';
        if (CreateDirectoryA(path.c_str(), nullptr)) return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS) std::abort();
    }
}

void remove_tree(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "/*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name != "." && name != "..") remove_tree(path + "/" + name);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

bool copy_executable(const std::string& from, const std::string& to) {
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

void make_dir(const std::string& path) { CreateDirectoryA(path.c_str(), nullptr); }
