// The pseudoconsole needs Windows 10 1809 declarations.
#ifndef NTDDI_VERSION
#define NTDDI_VERSION 0x0A000006
#endif
#include "support/console_win32.h"

#include <windows.h>

#include <cstring>
#include <mutex>
#include <thread>

#include "support/process.h"

namespace {

// The screen's text: control sequences (ESC [ ... final letter) dropped.
std::string plain_text(const std::string& raw) {
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\x1b') {
            text += raw[i];
            continue;
        }
        if (i + 1 < raw.size() && raw[i + 1] == '[') {
            i += 2;
            while (i < raw.size() && !(raw[i] >= '@' && raw[i] <= '~')) ++i;
        }
    }
    return text;
}

struct Screen {
    std::mutex lock;
    std::string raw;
    std::string text() {
        std::lock_guard<std::mutex> guard(lock);
        return plain_text(raw);
    }
};

// Longer than any run takes on a busy machine: only a hang reaches it.
constexpr DWORD kHang = 600000;

void read_screen(HANDLE pipe, Screen& screen) {
    char buffer[1024];
    DWORD n = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        std::lock_guard<std::mutex> guard(screen.lock);
        screen.raw.append(buffer, n);
    }
}

// Waits until the process ends or `prompt` is on the screen, at most
// `limit` milliseconds; true when it ended.
bool ended_before_prompt(HANDLE process, Screen& screen, const std::string& prompt, DWORD limit) {
    for (DWORD waited = 0; waited < limit; waited += 50) {
        if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0) return true;
        if (screen.text().find(prompt) != std::string::npos) return false;
    }
    return false;
}

}  // namespace

ConsoleRun run_on_console(const std::vector<std::string>& args, const std::string& cwd,
                          const std::string& prompt, const std::string& early_keys) {
    HANDLE keys_read, keys_write, screen_read, screen_write;
    CreatePipe(&keys_read, &keys_write, nullptr, 0);
    CreatePipe(&screen_read, &screen_write, nullptr, 0);
    HPCON console;
    ConsoleRun run;
    if (FAILED(CreatePseudoConsole(COORD{100, 30}, keys_read, screen_write, 0, &console))) return run;
    CloseHandle(keys_read);
    CloseHandle(screen_write);
    Screen screen;
    std::thread reader(read_screen, screen_read, std::ref(screen));

    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> attributes(size);
    auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    InitializeProcThreadAttributeList(list, 1, 0, &size);
    UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE, console, sizeof console, nullptr,
                              nullptr);
    STARTUPINFOEXA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = list;
    PROCESS_INFORMATION process;
    std::string command_line = command_line_of(args);
    if (CreateProcessA(args[0].c_str(), &command_line[0], nullptr, nullptr, FALSE,
                       EXTENDED_STARTUPINFO_PRESENT, nullptr, cwd.c_str(), &startup.StartupInfo, &process)) {
        DWORD typed = 0;
        if (!early_keys.empty())
            WriteFile(keys_write, early_keys.data(), static_cast<DWORD>(early_keys.size()), &typed, nullptr);
        // A run either ends or shows the prompt; under Wine beside other
        // suites a run that never waits has been seen to take 20 seconds.
        bool ended = ended_before_prompt(process.hProcess, screen, prompt, kHang);
        if (!ended) ended = WaitForSingleObject(process.hProcess, 500) == WAIT_OBJECT_0;
        if (!ended) {
            run.waited = true;
            DWORD n = 0;
            WriteFile(keys_write, "x", 1, &n, nullptr);
            ended = WaitForSingleObject(process.hProcess, kHang) == WAIT_OBJECT_0;
        }
        DWORD code = 0;
        if (ended && GetExitCodeProcess(process.hProcess, &code)) run.status = static_cast<int>(code);
        if (!ended) TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    DeleteProcThreadAttributeList(list);
    ClosePseudoConsole(console);
    reader.join();
    CloseHandle(screen_read);
    CloseHandle(keys_write);
    run.screen = screen.text();
    return run;
}
