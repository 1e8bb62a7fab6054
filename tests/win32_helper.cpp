// A helper of the Windows tests, for what a test process cannot do to
// itself. Roles:
//   host STDIN leave|stay|nowindow PROGRAM ARGS...
//       Runs PROGRAM on the console this helper was started on, standard
//       output and error that console, standard input as STDIN says:
//       "console", "pipe" (one that stays open and empty) or "file:PATH".
//       With "leave" the helper detaches from the console once PROGRAM
//       runs, so that PROGRAM is alone on it; "nowindow" starts PROGRAM
//       with CREATE_NO_WINDOW instead. Exits with PROGRAM's status.
//   console [pause|late-pause]
//       Exits with 1 when os_owns_console() and 2 when
//       os_input_is_console(), added; with "pause" it first pauses with the
//       prompt "Press any key to close this window.", with "late-pause"
//       it does so once two keys typed before have reached its console
//       input, as keys pressed while the driver's tools ran have.
//   log PATH COUNT EVENT
//       Opens PATH with os_log_open, releases the semaphore EVENT-ready,
//       waits until the named event EVENT is set and appends COUNT long
//       lines to it through os_log_line.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/os.h"
#include "support/process.h"

namespace {

// Longer than any wait takes on a busy machine: only a hang reaches it.
constexpr DWORD kHang = 600000;

HANDLE inheritable(const char* path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, disposition, 0, nullptr);
}

int host(const std::string& input, const std::string& how, int argc, char** argv) {
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = inheritable("CONOUT$", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    startup.hStdError = startup.hStdOutput;
    HANDLE writer = INVALID_HANDLE_VALUE;
    if (input == "console") {
        startup.hStdInput = inheritable("CONIN$", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    } else if (input == "pipe") {
        SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
        CreatePipe(&startup.hStdInput, &writer, &sa, 0);
        SetHandleInformation(writer, HANDLE_FLAG_INHERIT, 0);
    } else {
        startup.hStdInput = inheritable(input.substr(5).c_str(), GENERIC_READ, OPEN_EXISTING);
    }
    std::vector<std::string> args(argv, argv + argc);
    std::string command_line = command_line_of(args);
    PROCESS_INFORMATION process;
    // PROGRAM starts only once the helper has left its console: else it
    // may look at the console's processes while the helper is still there.
    DWORD flags = (how == "nowindow" ? CREATE_NO_WINDOW : 0) | CREATE_SUSPENDED;
    if (!CreateProcessA(argv[0], &command_line[0], nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup,
                        &process))
        return 250;
    CloseHandle(startup.hStdInput);
    CloseHandle(startup.hStdOutput);
    if (how == "leave") FreeConsole();
    ResumeThread(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 251;
    GetExitCodeProcess(process.hProcess, &code);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    return static_cast<int>(code);
}

// True once the console input holds `count` key presses.
bool keys_arrived(HANDLE input, DWORD count) {
    INPUT_RECORD records[64];
    DWORD n = 0, pressed = 0;
    if (!PeekConsoleInputA(input, records, 64, &n)) return false;
    for (DWORD i = 0; i < n; ++i)
        if (records[i].EventType == KEY_EVENT && records[i].Event.KeyEvent.bKeyDown) ++pressed;
    return pressed >= count;
}

int console(const std::string& how) {
    if (how == "late-pause")
        for (DWORD waited = 0; waited < kHang && !keys_arrived(GetStdHandle(STD_INPUT_HANDLE), 2);
             waited += 10)
            Sleep(10);
    if (how != "") os_pause("Press any key to close this window.");
    return (os_owns_console() ? 1 : 0) + (os_input_is_console() ? 2 : 0);
}

int log(const char* path, int count, const char* start) {
    if (!os_log_open(path)) return 1;
    // All write at once: each says it is ready, and waits for the test to
    // set the event once all are.
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, start);
    HANDLE ready = OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, (std::string(start) + "-ready").c_str());
    if (event == nullptr || ready == nullptr || !ReleaseSemaphore(ready, 1, nullptr)) return 2;
    if (WaitForSingleObject(event, kHang) != WAIT_OBJECT_0) return 2;
    for (int i = 0; i < count; ++i) {
        char line[400];
        std::size_t n = os_log_stamp(line, sizeof line);
        std::string text = "line " + std::to_string(i) + " " + std::string(200, 'x') + " end\r\n";
        std::memcpy(line + n, text.data(), text.size());
        os_log_line(line, n + text.size());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string role = argc > 1 ? argv[1] : "";
    if (role == "host" && argc > 4) return host(argv[2], argv[3], argc - 4, argv + 4);
    if (role == "console") return console(argc > 2 ? argv[2] : "");
    if (role == "log" && argc > 4) return log(argv[2], std::atoi(argv[3]), argv[4]);
    return 252;
}
