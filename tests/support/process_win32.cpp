#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "support/process.h"

namespace {

// Quotes one argument so that the C runtime's splitting gives it back.
template <class Text>
Text quote_argument(const Text& arg) {
    const typename Text::value_type specials[] = {' ', '\t', '"', '\0'};
    if (!arg.empty() && arg.find_first_of(specials) == Text::npos) return arg;
    Text out(1, '"');
    std::size_t slashes = 0;
    for (auto c : arg) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        out.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
        slashes = 0;
        out += c;
    }
    out.append(2 * slashes, '\\');
    return out + Text(1, '"');
}

template <class Text>
Text name_of(const Text& entry) {
    Text name = entry.substr(0, entry.find('=', 1));
    for (auto& c : name)
        if (c >= 'a' && c <= 'z') c = static_cast<typename Text::value_type>(c - 'a' + 'A');
    return name;
}

// The current environment, wide, with `env` replacing entries of the same
// name (any case), as a block for CreateProcessW.
std::wstring wide_environment_block(const std::vector<std::wstring>& env) {
    std::wstring block;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* e = strings; *e != L'\0'; e += std::wcslen(e) + 1) {
        bool replaced = false;
        for (const std::wstring& add : env) replaced = replaced || name_of(std::wstring(e)) == name_of(add);
        if (!replaced) block.append(e, std::wcslen(e) + 1);
    }
    FreeEnvironmentStringsW(strings);
    for (const std::wstring& add : env) block.append(add.c_str(), add.size() + 1);
    return block + L'\0';
}

// The current environment with `env` replacing entries of the same name
// (any case), as a block for CreateProcessA.
std::string environment_block(const std::vector<std::string>& env) {
    std::string block;
    char* strings = GetEnvironmentStringsA();
    for (const char* e = strings; *e != '\0'; e += std::strlen(e) + 1) {
        bool replaced = false;
        for (const std::string& add : env) replaced = replaced || name_of(std::string(e)) == name_of(add);
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

ProcessResult run_process_as(Streams streams, const std::string& program,
                             const std::vector<std::string>& args, const std::string& cwd,
                             const std::vector<std::string>& env) {
    bool piped = streams == Streams::output_pipe;
    std::string dir = make_temp_dir();
    std::string out_file = dir + "/out", err_file = dir + "/err";
    std::string command_line = command_line_of(args);
    std::string block = environment_block(env);

    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = open_inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
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
        created = CreateProcessA(program.c_str(), &command_line[0], nullptr, nullptr, TRUE, 0, &block[0],
                                 cwd.c_str(), &startup, &process);
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
    if (!created) result.err += "CreateProcessA failed: error " + std::to_string(error) + "\n";
    remove_tree(dir);
    return result;
}

ProcessResult run_process_wide(const std::wstring& program, const std::vector<std::wstring>& args,
                               const std::string& cwd, const std::vector<std::wstring>& env) {
    std::wstring command_line;
    for (const std::wstring& a : args)
        command_line += (command_line.empty() ? L"" : L" ") + quote_argument(a);
    return run_command_line_wide(program, command_line, cwd, env);
}

ProcessResult run_command_line_wide(const std::wstring& program, std::wstring command_line,
                                    const std::string& cwd, const std::vector<std::wstring>& env) {
    std::string dir = make_temp_dir();
    std::wstring block = wide_environment_block(env);
    STARTUPINFOW startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = open_inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = open_inheritable(dir + "/out", GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = open_inheritable(dir + "/err", GENERIC_WRITE, CREATE_ALWAYS);
    std::wstring wide_cwd(cwd.begin(), cwd.end());
    PROCESS_INFORMATION process;
    ProcessResult result;
    BOOL created =
        CreateProcessW(program.c_str(), &command_line[0], nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                       &block[0], wide_cwd.c_str(), &startup, &process);
    DWORD error = created ? 0 : GetLastError();
    CloseHandle(startup.hStdInput);
    CloseHandle(startup.hStdOutput);
    CloseHandle(startup.hStdError);
    if (created) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        if (GetExitCodeProcess(process.hProcess, &code)) result.status = static_cast<int>(code);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    result.out = read_file(dir + "/out");
    result.err = read_file(dir + "/err");
    if (!created) result.err += "CreateProcessW failed: error " + std::to_string(error) + "\n";
    remove_tree(dir);
    return result;
}

ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const std::string& cwd, const std::vector<std::string>& env) {
    return run_process_as(Streams::files, program, args, cwd, env);
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
