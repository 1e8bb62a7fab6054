// Program search end to end on Windows: extensions, PATH, command scripts.
#include <windows.h>

#include <string>
#include <vector>

#include "e2e_support.h"
#include "platform/os_win32.h"

namespace {

using Args = std::vector<std::string>;

class WinSearchTest : public DriverTest {
protected:
    // A probe copy at `path` (its directory created).
    std::string probe_at(const std::string& dir, const std::string& name) {
        make_dir(dir);
        EXPECT_TRUE(copy_executable(PROBE_EXE, dir + "/" + name));
        return dir + "/" + name;
    }
    // A command script at dir/name that writes its arguments to `marker`.
    std::string script_at(const std::string& dir, const std::string& name, const std::string& marker) {
        make_dir(dir);
        write_file(dir + "/" + name, "@echo off\r\necho ran %*> \"" + windows_path(marker) + "\"\r\n");
        return dir + "/" + name;
    }
    static std::string windows_path(std::string path) {
        for (char& c : path)
            if (c == '/') c = '\\';
        return path;
    }
    void asm_named(const std::string& name) { ini("[ASM]\nASSEMBLER=" + name + "\nASMLIST_01=@1\n"); }
    ProcessResult run_with_path(const std::string& path, const std::string& arg = "src",
                                const std::string& variable = "PATH") {
        std::vector<std::string> env(1, variable + "=" + windows_path(path));
        return run({arg}, env);
    }
    static bool exists(const std::string& path) {
        return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
};

TEST_F(WinSearchTest, ExtensionsAreTriedInOrder) {
    // Each case puts candidates in the current directory; "dir:" makes a
    // directory of that name, which stops the search where it is tried.
    struct Case {
        std::vector<std::string> present;
        std::string started;  // the candidate that must run, "" for none
    } cases[] = {
        {{"mytool.com", "mytool.exe"}, "mytool.com"}, {{"mytool.exe", "mytool.bat"}, "mytool.exe"},
        {{"dir:mytool.com", "mytool.exe"}, ""},       {{"dir:mytool.exe", "mytool.bat"}, ""},
        {{"dir:mytool.bat", "mytool.cmd"}, ""},       {{"mytool.cmd"}, "mytool.cmd"},
    };
    for (const Case& c : cases) {
        std::string work = root + "/project";
        remove_tree(work);
        make_dir(work);
        for (const std::string& name : c.present) {
            if (name.rfind("dir:", 0) == 0)
                make_dir(work + "/" + name.substr(4));
            else if (name.size() > 4 &&
                     (name.substr(name.size() - 4) == ".bat" || name.substr(name.size() - 4) == ".cmd"))
                script_at(work, name, work + "/" + name + ".log");
            else
                probe_at(work, name);
        }
        asm_named("mytool");
        run_with_path(root + "/tools");
        for (const std::string& name : c.present) {
            bool ran = exists(work + "/" + name + ".log");
            EXPECT_EQ(ran, name == c.started) << name << " of case starting " << c.started;
        }
    }
}

TEST_F(WinSearchTest, NameWithExtensionIsTriedOnlyAsWritten) {
    std::string exe = probe_at(root + "/project", "my.tool.exe");
    std::string plain = probe_at(root + "/project", "mytool.exe");
    std::string doubled = probe_at(root + "/project", "mytool.exe.com");
    asm_named("my.tool");
    run_with_path(root + "/tools");
    EXPECT_TRUE(runs(exe).empty());
    asm_named("mytool.exe");
    run_with_path(root + "/tools");
    EXPECT_EQ(runs(plain).size(), 1u);
    EXPECT_TRUE(runs(doubled).empty());
}

TEST_F(WinSearchTest, DirectoryNamedLikeTheToolStopsTheSearch) {
    make_dir(root + "/project/mytool.com");
    std::string there = probe_at(root + "/p1", "mytool.exe");
    asm_named("mytool");
    EXPECT_EQ(run_with_path(root + "/p1").status, 0);
    EXPECT_TRUE(runs(there).empty());
    std::string dry = run({"src"}, {"TOLVANE_DRYRUN=1"}).out;
    EXPECT_EQ(dry.rfind("assembler: mytool cannot be started (EACCES)", 0), 0u) << dry;
    // The trace says it is a folder, started or not, with its error's name.
    for (const char* dry_run : {"0", "1"}) {
        std::string trace = run({"src"}, {"TOLVANE_TRACE=1", std::string("TOLVANE_DRYRUN=") + dry_run}).err;
        EXPECT_NE(trace.find("mytool.com: could not be started: it is a folder, not a program (E"),
                  std::string::npos)
            << trace;
        EXPECT_EQ(trace.find("unknown error"), std::string::npos) << trace;
    }
}

TEST_F(WinSearchTest, CurrentDirectoryIsSkippedWhenTheEnvironmentSaysSo) {
    std::string here = probe_at(root + "/project", "mytool.exe");
    std::string there = probe_at(root + "/p1", "mytool.exe");
    asm_named("mytool");
    std::vector<std::string> env = {"", "PATH=" + windows_path(root + "/p1")};
    for (const char* skip : {"NoDefaultCurrentDirectoryInExePath=", "NODEFAULTCURRENTDIRECTORYINEXEPATH=1"}) {
        env[0] = skip;
        run_process(driver, {driver, "src"}, root + "/project", env);
    }
    EXPECT_TRUE(runs(here).empty());
    EXPECT_EQ(runs(there).size(), 2u);
    env[0] = "NoDefaultCurrentDirectoryInExePathX=1";
    run_process(driver, {driver, "src"}, root + "/project", env);
    EXPECT_EQ(runs(here).size(), 1u);
    EXPECT_EQ(runs(there).size(), 2u);
}

TEST_F(WinSearchTest, ForwardSlashKeepsAMissingNameOffPath) {
    make_dir(root + "/p1");
    std::string there = probe_at(root + "/p1/sub", "mytool.exe");
    asm_named("sub/mytool");
    run_with_path(root + "/p1");
    EXPECT_TRUE(runs(there).empty());
    asm_named("sub\\mytool");
    run_with_path(root + "/p1");
    EXPECT_EQ(runs(there).size(), 1u);
    asm_named(".\\sub\\mytool");  // "here", not along PATH
    run_with_path(root + "/p1");
    EXPECT_EQ(runs(there).size(), 1u);
}

TEST_F(WinSearchTest, FoundAlongPathUnderAnySpellingWithNameAsConfigured) {
    std::string found = probe_at(root + "/p3", "mytool.exe");
    make_dir(root + "/p1");
    asm_named("mytool");
    for (const char* variable : {"PATH", "Path", "path"}) {
        remove_tree(found + ".log");
        run_with_path(";;" + root + "/p1;\"" + root + "/p2;x\";" + root + "/p3", "src", variable);
        ASSERT_EQ(runs(found).size(), 1u) << variable;
        EXPECT_EQ(runs(found)[0].argv, (Args{"mytool", "src"}));
        EXPECT_EQ(runs(found)[0].command_line, "mytool src");
    }
}

TEST_F(WinSearchTest, PathEntryThatLostACharacterIsSkipped) {
    // ΩTOOLS is no folder; OTOOLS never runs in its place, éTOOLS (in 1252) is searched.
    std::string look_alike = probe_at(root + "/OTOOLS", "t.exe"), later = probe_at(root + "/p2", "t.exe");
    std::string held = probe_at(root + "/\xE9TOOLS", "t.exe"), err;
    ini("[DEBUG]\nTRACE=1\n[ASM]\nASSEMBLER=t\n");
    std::wstring base(root.begin(), root.end()), exe(driver.begin(), driver.end()), path(32767, L'\0');
    path.resize(GetEnvironmentVariableW(L"PATH", &path[0], 32767));
    for (const wchar_t* entry : {L"\\\x03A9TOOLS;", L"\\\xE9TOOLS;"}) {
        SetEnvironmentVariableW(L"PATH", (base + entry + base + L"\\p2").c_str());
        err += run_process_wide(exe, L"t s", root + "/project").err;
    }
    // The entry in front of one that lost its first character is searched.
    std::string in_tools = probe_at(root + "/project/tools", "t.exe");
    SetEnvironmentVariableW(L"PATH", L"tools;\x03A9dir");
    err += run_process_wide(exe, L"t s", root + "/project").err;
    // With t.exe in it, ΩTOOLS ends the search where it cannot be named:
    // Windows itself would start that one, not OTOOLS's.
    std::wstring omega = base + L"\\\x03A9TOOLS";
    std::string probe = PROBE_EXE;
    CreateDirectoryW(omega.c_str(), nullptr);
    ASSERT_TRUE(
        CopyFileW(std::wstring(probe.begin(), probe.end()).c_str(), (omega + L"\\t.exe").c_str(), FALSE));
    SetEnvironmentVariableW(L"PATH", (omega + L";" + base + L"\\OTOOLS").c_str());
    SetEnvironmentVariableW(L"TOLVANE_TRACE", L"0");
    SetEnvironmentVariableW(L"TOLVANE_EXITCODE", L"1");
    ProcessResult r = run_process_wide(exe, L"t s", root + "/project");
    SetEnvironmentVariableW(L"TOLVANE_TRACE", nullptr);
    SetEnvironmentVariableW(L"TOLVANE_EXITCODE", nullptr);
    SetEnvironmentVariableW(L"PATH", path.c_str());
    EXPECT_EQ(runs(in_tools).size(), 1u) << err;
    EXPECT_TRUE(runs(look_alike).empty());
    EXPECT_EQ(runs(later).size() + runs(held).size(), 2u) << err;
    EXPECT_EQ(err.find("\\?TOOLS is skipped: U+03A9 has no form in code page 1252;") != err.npos,
              !kUtf8Build);
    EXPECT_EQ(r.status, kUtf8Build ? 0 : kNotStarted) << r.err;
    EXPECT_EQ(r.err.find("assembler: t was not started: it is in PATH entry ") != std::string::npos &&
                  r.err.find("\\?TOOLS, but U+03A9 has no form in code page 1252: name the tool by its full "
                             "path, or use the UTF-8 build") != std::string::npos,
              !kUtf8Build)
        << r.err;
}

TEST_F(WinSearchTest, CommandScriptRunsThroughTheInterpreter) {
    std::string marker = root + "/marker.txt";
    script_at(root + "/p1", "mytool.bat", marker);
    asm_named("mytool");
    run_with_path(root + "/p1", "src.asm");
    EXPECT_EQ(read_file(marker), "ran src.asm\r\n");
}

TEST_F(WinSearchTest, CommandScriptWithInterpreterCharactersIsRefused) {
    std::string marker = root + "/marker.txt";
    script_at(root + "/project", "mytool.cmd", marker);
    std::string later = probe_at(root + "/p1", "mytool.exe");
    std::string after = probe_at(root + "/p1", "D.asm.exe");
    asm_named("mytool");
    for (const char* arg : {"R&D.asm", "a|b", "a<b", "a>b", "a^b", "100%"}) {
        ProcessResult r = run_with_path(root + "/p1", arg);
        EXPECT_EQ(r.status, 0) << arg;
        EXPECT_FALSE(exists(marker)) << arg;
    }
    // Refused means stopped: the program further along PATH is not tried.
    EXPECT_TRUE(runs(later).empty());
    EXPECT_TRUE(runs(after).empty());
    run_with_path(root + "/p1", "RD.asm");
    EXPECT_EQ(read_file(marker), "ran RD.asm\r\n");
    for (const char* name : {"my.cmd", "my tool.cmd"}) script_at(root + "/project", name, marker);
    asm_named("my tool.cmd");
    std::string err = run({"RX.asm"}, {"TOLVANE_TRACE=1"}).err;
    EXPECT_NE(err.find("cut the program name \"my tool.cmd\" at the blank"), std::string::npos) << err;
    // A dry run says so too, instead of a start that would not happen.
    std::string out = run({"RX.asm"}, {"TOLVANE_DRYRUN=1"}).out;
    EXPECT_EQ(
        out.rfind("assembler: my tool.cmd cannot be started (EINVAL), command line: \"my tool.cmd\" RX.asm",
                  0),
        0u)
        << out;
    EXPECT_EQ(read_file(marker), "ran RD.asm\r\n");
}

}  // namespace
