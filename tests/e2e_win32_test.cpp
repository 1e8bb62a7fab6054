// Windows end to end: the raw command line and the descriptor table block
// a tool receives, and the limit on the driver's own path.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "launch/launch.h"
#include "platform/command_split.h"
#include "platform/os_win32.h"
#include "utf16.h"

namespace {

using Args = std::vector<std::string>;

// A descriptor table block as a child received it.
struct Block {
    std::size_t size = 0;
    int count = -1;
    std::vector<unsigned> flags;
    std::vector<unsigned long long> handles;
};

Block parse_block(const std::string& hex) {
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
    Block b;
    b.size = bytes.size();
    if (bytes.size() < 4) return b;
    b.count = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | bytes[3] << 24;
    std::size_t n = static_cast<std::size_t>(b.count);
    if (b.count < 0 || bytes.size() < 4 + n * (1 + sizeof(void*))) return b;
    for (std::size_t i = 0; i < n; ++i) {
        b.flags.push_back(bytes[4 + i]);
        unsigned long long h = 0;
        for (std::size_t k = 0; k < sizeof(void*); ++k)
            h |= static_cast<unsigned long long>(bytes[4 + n + i * sizeof(void*) + k]) << (8 * k);
        b.handles.push_back(h);
    }
    return b;
}

std::vector<unsigned long long> parse_handles(const std::string& text) {
    std::vector<unsigned long long> handles;
    const char* p = text.c_str();
    char* end = nullptr;
    for (unsigned long long h = std::strtoull(p, &end, 16); end != p; h = std::strtoull(p, &end, 16)) {
        handles.push_back(h);
        p = end;
    }
    return handles;
}

TEST_F(DriverTest, DescriptorBlockDescribesTheStandardHandles) {
    // Standard input is always the NUL device, a character device.
    struct Case {
        Streams streams;
        std::vector<unsigned> flags;
    } cases[] = {{Streams::files, {0xc1, 0x81, 0x81}},
                 {Streams::output_pipe, {0xc1, 0x89, 0x81}},
                 {Streams::no_error_handle, {0xc1, 0x81, 0xc1}}};
    for (const Case& c : cases) {
        remove_tree(asm_tool + ".log");
        config("", "");
        ProcessResult r = run_process_as(c.streams, driver, {driver, "s"}, root + "/project",
                                         {"TOLVANE_PROBE_SAY=through fd 1"});
        // Written through descriptor 1 by the assembler, then the linker.
        std::string said = std::string("through fd 1") + kEol;
        EXPECT_EQ(r.out, said + said);
        ProbeRun p = runs(asm_tool).at(0);
        Block b = parse_block(p.block);
        EXPECT_EQ(b.count, 3) << p.block;
        EXPECT_EQ(b.size, 4 + 3 * (1 + sizeof(void*))) << p.block;
        EXPECT_EQ(b.flags, c.flags) << p.block;
        // The child inherits the driver's standard handles: the block must
        // name the same ones, and -1 where there is none.
        std::vector<unsigned long long> handles = parse_handles(p.std_handles);
        if (c.streams == Streams::no_error_handle) handles.at(2) = ~0ull;
        EXPECT_EQ(b.handles, handles) << p.block << " / " << p.std_handles;
    }
}

TEST_F(DriverTest, CommandLineIsBuiltAsIsAndSplitByTheRuntime) {
    // None starts and ends with the same quote, which the profile would drop.
    // The probe's runtime is msvcrt.dll: Wine's splits as the UCRT does, the
    // old one of Windows leaves a quoted stretch after "" (a"b"" c d).
    const char* entries[] = {
        "a b",          "\"a b\" c",  "a\\\"b",        "a\\\\\"b c\" d", "\\\\server\\share\\x", "a\"\"b",
        "\"a\"\"b\" c", "x\ty",       "\"open to end", "tr\\\\",         "a\\\\\\\"b",           "\"\" x",
        "a\"b\"\" c d", "\"\"\"\" x", "a \"\" b",      "\\\"",           "x \\\\\\\\\"y z\"",    "@1 extra",
    };
    const Args args = {"src"};
    for (const char* entry : entries) {
        remove_tree(asm_tool + ".log");
        config(std::string("ASMLIST_01=") + entry + "\n", "");
        run(args);
        ProbeRun p = runs(asm_tool).at(0);
        std::string expanded = entry;
        if (expanded.rfind("@1", 0) == 0) expanded.replace(0, 2, "src");
        EXPECT_EQ(p.command_line, asm_tool + " " + expanded) << entry;
        Args expected = {asm_tool};
        for (const std::string& word : split_command_tail(expanded.c_str())) expected.push_back(word);
        EXPECT_EQ(p.argv, expected) << entry;
    }
    // Where its installer puts it, named by its path, the tool reads its name whole; not so written in
    // quotes.
    std::string nasm = root + "/Program Files/NASM/nasm.exe";
    make_dir(root + "/Program Files");
    make_dir(root + "/Program Files/NASM");
    ASSERT_TRUE(copy_executable(PROBE_EXE, nasm));
    ini("[ASM]\nASSEMBLER=" + nasm + "\nASMLIST_01=@1\n");
    EXPECT_NE(run(args, {"TOLVANE_TRACE=1"}).err.find(": [" + nasm + "] [src]"), std::string::npos);
    EXPECT_EQ(runs(nasm).at(0).command_line, "\"" + nasm + "\" src");
    EXPECT_EQ(runs(nasm).at(0).argv, (Args{nasm, "src"}));
    ini("[ASM]\nASSEMBLER='\"" + nasm + "\"'\n");
    EXPECT_NE(run(args, {"TOLVANE_TRACE=1"}).err.find("holds double quotes, which no file name holds"),
              std::string::npos);
}

TEST_F(DriverTest, ArgumentsPassExactlyOrStartNothing) {
    // What the line of a refused argument says in each build ("": it
    // passes). The system's code page is 1252.
    struct Case {
        std::wstring arg;
        std::string ansi, utf8;
        std::string warned = "";  // the UTF-8 build's warning of a character without a form
    } cases[] = {
        {L"\"a\xFF02 -o C:\\evil \xFF02 b\"", "U+FF02 has no form in code page 1252",
         "U+FF02 would reach a tool that reads code page 1252 as \", another name"},
        {L"\x03A9mega.asm",
         "(?mega.asm): U+03A9 has no form in code page 1252, so nothing was started; the UTF-8 build takes "
         "every character\r\n",
         "(\xCE\xA9mega.asm): U+03A9 would reach a tool that reads code page 1252 as O, another name, so "
         "nothing was started; rename it\r\n"},
        {L"d\xE9mo\xAD", "", ""},
        {L"\x07FF", "U+07FF has", "", "U+07FF has no form in code page 1252, so a tool"},
        {L"\x4E16.asm", "U+4E16 has", "",
         "(\xE4\xB8\x96.asm): U+4E16 has no form in code page 1252, so a tool "
         "that reads that code page gets \"?\"\r\n"},
        {L"\x043F\x0440\x0438.asm", "U+043F has", "", "U+043F has no form"},
        {L"\x0800", "U+0800 has", "", "U+0800 has no form"},
        {L"\xD800\xDC00", "U+10000 has", "", "U+10000 has no form"},
        {L"\x2010x", "U+2010 has", "U+2010 would reach a tool that reads code page 1252 as -"},
        {L"\x3000", "U+3000 has", "U+3000 would reach a tool that reads code page 1252 as  "},  // a blank
        {L"\x2010x \x03A9", "(?x): U+2010 has", "(\xE2\x80\x90x): U+2010 would"},  // the first of two
        {L"a\xD800", "U+D800 is half of a surrogate pair", "U+D800 is half of a surrogate pair"},
        {L"a\xDC00", "U+DC00 is half of a surrogate pair", "U+DC00 is half of a surrogate pair"},
        {L"\x0080", "U+0080 has", "", "U+0080 has no form"},
        {L"\x007F", "", ""}};
    config("ASMLIST_01=@1\n", "", "[DRIVER]\nEXITCODE=1\n");
    std::wstring exe(driver.begin(), driver.end());
    for (const Case& c : cases) {
        remove_tree(asm_tool + ".log");
        const std::string& refused = kUtf8Build ? c.utf8 : c.ansi;
        ProcessResult r = run_process_wide(exe, exe + L" " + c.arg, root + "/project");
        EXPECT_EQ(r.status, refused.empty() ? 0 : kNotStarted) << r.err;
        bool said = r.err.rfind("tolvane: argument 1 (", 0) == 0 && r.err.find(refused) != r.err.npos;
        EXPECT_EQ(said, !refused.empty()) << r.err;
        const std::string warned = kUtf8Build ? c.warned : "";
        EXPECT_EQ(r.err.rfind("tolvane: warning: argument 1 (", 0) == 0 && r.err.find(warned) != r.err.npos,
                  !warned.empty())
            << r.err;
        char passed[64];
        WideCharToMultiByte(kUtf8Build ? CP_UTF8 : CP_ACP, 0, c.arg.c_str(), -1, passed, 64, 0, 0);
        EXPECT_EQ(runs(asm_tool).size() == 1 && runs(asm_tool)[0].argv.at(1) == passed, refused.empty());
    }
    config("ASMLIST_01=@1\n", "", "[DEBUG]\nVIEW=1\nTRACE=1\nDRYRUN=1\n");  // argument 0 is only listed
    ProcessResult r = run_process_wide(exe, L"\x03A9 s \x2010", root + "/project");
    EXPECT_EQ(r.out.substr(0, r.out.find("argument 2 (")),
              std::string("0:") + (kUtf8Build ? "\xCE\xA9" : "?") + kEol + "1:s" + kEol +
                  "2:" + (kUtf8Build ? "\xE2\x80\x90" : "?") + kEol);
    EXPECT_NE(r.out.find("argument 2 ("), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("run ends: argument 2 cannot be passed on"), std::string::npos) << r.err;
}

TEST_F(DriverTest, EmptySlotShowsAsTwoBlanks) {
    config("ASMLIST_01=a\nASMLIST_02=@1\nASMLIST_03=b\n", "LNKLIST_02=b\n");
    run({""});
    EXPECT_EQ(runs(asm_tool).at(0).command_line, asm_tool + " a  b");
    EXPECT_EQ(runs(lnk_tool).at(0).command_line, lnk_tool);
}

// Each shipped Windows example, run from a folder whose path holds a blank,
// on sources whose paths do too. NASM and the linker are probes in the
// places the kit names (and on PATH, for the script); the other examples
// name them there by <CONFIG_DIR>, as the script example names its script.
TEST_F(DriverTest, ShippedExamplesPassPathsWithBlanksWhole) {
    // The words each tool receives after its own name, split at "|": $ is
    // the source's path without its extension, % the kit's folder.
    const char* link_words = "/nologo|/subsystem:console|/entry:main|/out:$.exe|$.obj|kernel32.lib";
    struct Case {
        const char *example, *assembler, *linker, *ext = ".asm";
    } cases[] = {
        {"mixed", "-f|win64|-o|$.obj|$.asm", link_words},
        {"mixed", "/nologo|/c|/Fo$.obj|$.c", "/nologo|/subsystem:console|/out:$.exe|$.obj", ".c"},
        {"nasm", "-f|win64|-o|$.obj|$.asm", link_words},
        {"msvc", "/nologo|/c|/Fo$.obj|$.asm", link_words},
        {"kit", "-f|win64|-I%\\include\\|-o|$.obj|$.asm",
         "/nologo|/subsystem:console|/entry:main|/libpath:%\\lib|/out:$.exe|$.obj|kernel32.lib"},
        {"script", "-f|win64|-o|$.obj|$.asm", link_words},
    };
    std::string kit = root + "\\asm kit";
    for (char& c : kit) c = c == '/' ? '\\' : c;
    auto words = [&kit](const std::string& pattern, const std::string& stem) {
        Args result(2);  // the tool's own name, blanked, then the first word
        for (char c : pattern) {
            if (c == '|') result.emplace_back();
            result.back() += c == '$' ? stem : c == '%' ? kit : c == '|' ? "" : std::string(1, c);
        }
        return result;
    };
    std::string nasm = kit + "\\nasm\\nasm.exe", link = kit + "\\linker\\link.exe";
    for (const std::string& dir : {kit, kit + "\\nasm", kit + "\\linker"}) make_dir(dir);
    ASSERT_TRUE(copy_executable(TOLVANE_EXE, kit + "\\tolvane.exe") && copy_executable(PROBE_EXE, nasm) &&
                copy_executable(PROBE_EXE, link));
    std::string examples = std::string(TOLVANE_SOURCE_DIR) + "/examples/windows/";
    write_file(kit + "\\build.bat", read_file(examples + "script/build.bat"));
    // The hello world that the zip ships, where the tools find it.
    std::string hello = root + "\\project\\hello";
    for (char& c : hello) c = c == '/' ? '\\' : c;
    write_file(hello + ".asm", read_file(examples + "hello/hello.asm"));
    // As a Developer Command Prompt leaves it, for build.bat.
    std::vector<std::string> tools = {"PATH=" + kit + "\\nasm;" + kit + "\\linker",
                                      "VCToolsInstallDir=C:\\VC\\"};
    for (const Case& c : cases) {
        std::istringstream example(read_file(examples + c.example + "/tolvane.ini"));
        std::string text, line;
        while (std::getline(example, line)) {
            // Every tool but the interpreter is the probe.
            bool probe =
                line.find("<CONFIG_DIR>") == std::string::npos && line.find("cmd.exe") == std::string::npos;
            if (probe && line.rfind("ASSEMBLER=", 0) == 0) line = "ASSEMBLER=<CONFIG_DIR>\\nasm\\nasm.exe";
            if (probe && line.rfind("LINKER=", 0) == 0) line = "LINKER=<CONFIG_DIR>\\linker\\link.exe";
            text += line + "\n";
        }
        write_file(kit + "\\tolvane.ini", text);
        for (const std::string& stem :
             Args{"C:\\Users\\Me\\My Projects\\demo", "C:\\Program Files\\x y\\demo", hello}) {
            remove_tree(nasm + ".log");
            remove_tree(link + ".log");
            // What the linker would have written, which the run stage starts.
            for (std::size_t at = stem.find('\\', 3); at != std::string::npos; at = stem.find('\\', at + 1))
                make_dir(stem.substr(0, at));
            ASSERT_TRUE(copy_executable(PROBE_EXE, stem + ".exe"));
            ProcessResult r = run_process(kit + "\\tolvane.exe", {kit + "\\tolvane.exe", stem + c.ext},
                                          root + "/project", tools);
            EXPECT_EQ(r.status, 0) << c.example << ": " << r.out << r.err;
            // Each tool's own name is left out: the script's is as it wrote it.
            for (auto tool : {std::make_pair(nasm, c.assembler), std::make_pair(link, c.linker)}) {
                std::vector<ProbeRun> seen = runs(tool.first);
                ASSERT_EQ(seen.size(), 1u) << c.example << " " << tool.first;
                seen[0].argv[0] = "";
                EXPECT_EQ(seen[0].argv, words(tool.second, stem)) << c.example;
            }
            EXPECT_EQ(runs(stem + ".exe").size(),
                      std::string(c.example) == "msvc" || std::string(c.example) == "mixed" ? 0u : 1u)
                << c.example;
            remove_tree(stem + ".exe.log");
            remove_tree(stem + ".exe");
        }
    }
    // Without a Visual Studio, build.bat says so and ends before the linker.
    write_file(kit + "\\tolvane.ini", read_file(examples + "script/tolvane.ini"));
    remove_tree(link + ".log");
    ProcessResult r = run_process(kit + "\\tolvane.exe", {kit + "\\tolvane.exe", hello + ".asm"},
                                  root + "/project", {tools[0]});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("build.bat: no Visual Studio was found: install Visual Studio or its Build Tools"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(runs(link).empty());
}

// The command interpreter as the program (found by its path, or as a bare
// cmd) is not handed what it would act on in the text an argument put in;
// the configuration's own quotes keep & of an argument ordinary.
TEST_F(DriverTest, InterpreterIsNotHandedWhatItWouldActOn) {
    std::string marker = root + "\\ran.txt";
    write_file(root + "/bin/build.bat", "@echo off\r\necho %1> \"" + marker + "\"\r\n");
    const std::string
        quoted =
            "ASSEMBLER=C:\\Windows\\System32\\CMD.EXE\nASMLIST_01=/c \"\"<CONFIG_DIR>\\build.bat\"\n"
            "ASMLIST_02='\"@1\"\"'\n",
        bare = "ASSEMBLER=cmd\nASMLIST_01=/c <CONFIG_DIR>\\build.bat\nASMLIST_02=@1\n";
    struct Row {
        const std::string& entries;
        const char* arg;
        const char* refused;  // the character, null where the script runs
        std::string got;      // what the script got as %1
    } rows[] = {{quoted, "a%PROBE%b.asm", "puts % in", ""},
                {quoted, "R&D.asm", nullptr, "\"R&D.asm\""},
                {quoted, "a b.asm", nullptr, "\"a b.asm\""},
                {bare, "R&D.asm", "puts & in", ""},
                {bare, "RD.asm", nullptr, "RD.asm"}};
    for (const Row& r : rows) {
        remove_tree(marker);
        ini("[DRIVER]\nEXITCODE=1\n[ASM]\n" + r.entries);
        ProcessResult p = run({r.arg}, {"PROBE=x"});
        EXPECT_EQ(read_file(marker), r.refused ? "" : r.got + "\r\n") << r.arg << p.err;
        EXPECT_EQ(
            p.err.find(std::string("could not be started: it is the command interpreter, and an argument ") +
                       (r.refused ? r.refused : "-")) != std::string::npos,
            r.refused != nullptr)
            << p.err;
    }
}

// What Explorer's Properties show of tolvane.exe, and the manifest that
// only the UTF-8 build carries.
TEST(Executable, CarriesItsVersionAndTheManifestOfItsBuild) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(TOLVANE_EXE, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(TOLVANE_EXE, 0, size, info.data()));
    auto text = [&info](const char* name) {
        char* value = nullptr;
        UINT n = 0;
        std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
        bool found = VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &n) && value;
        return std::string(found ? value : "");
    };
    EXPECT_EQ(text("ProductName"), "tolvane");
    EXPECT_EQ(text("FileVersion"), TOLVANE_VERSION);
    EXPECT_EQ(text("ProductVersion"), TOLVANE_VERSION);
    EXPECT_EQ(text("OriginalFilename"), "tolvane.exe");
    EXPECT_EQ(text("FileDescription").find("UTF-8") != std::string::npos, kUtf8Build)
        << text("FileDescription");
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT n = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &n));
    char version[64];
    std::snprintf(version, sizeof version, "%lu.%lu.%lu", fixed->dwFileVersionMS >> 16,
                  fixed->dwFileVersionMS & 0xFFFF, fixed->dwFileVersionLS >> 16);
    EXPECT_STREQ(version, TOLVANE_VERSION);

    HMODULE module = LoadLibraryExA(TOLVANE_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    std::string manifest;
    if (found != nullptr)
        manifest.assign(static_cast<const char*>(LockResource(LoadResource(module, found))),
                        SizeofResource(module, found));
    FreeLibrary(module);
    EXPECT_EQ(manifest.find("<activeCodePage") != std::string::npos &&
                  manifest.find(">UTF-8<") != std::string::npos,
              kUtf8Build)
        << manifest;
}

// The driver's own path, as GetModuleFileNameA reports it, reaches or
// passes the 259-character limit.
class DeepDriverTest : public DriverTest {
protected:
    // A directory whose full path has exactly `length` characters.
    std::string deep_dir(std::size_t length) {
        char full[MAX_PATH];
        EXPECT_NE(GetFullPathNameA(root.c_str(), MAX_PATH, full, nullptr), 0u);
        std::string dir = root;
        std::size_t have = std::strlen(full);
        EXPECT_LT(have + 10, length);
        while (have < length) {
            std::size_t part = length - have - 1;
            if (part > 100) part = 100;
            if (length - have - 1 - part == 1) --part;  // leave room for "/x" at least
            dir += "/" + std::string(part, 'd');
            have += part + 1;
            make_dir(dir);
        }
        return dir;
    }

    // Runs a copy of the driver named `exe` placed in a directory chosen so
    // that the driver's full path has `length` characters; true when the
    // assembler ran, i.e. tolvane.ini beside it was read.
    bool configuration_read(const std::string& exe, std::size_t length) {
        std::string dir = deep_dir(length - exe.size() - 1);
        EXPECT_TRUE(copy_executable(TOLVANE_EXE, dir + "/" + exe));
        write_file(dir + "/tolvane.ini", "[ASM]\nASSEMBLER=" + asm_tool + "\n");
        remove_tree(asm_tool + ".log");
        // A program path this long starts only by a name relative to the
        // current directory.
        char previous[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, previous);
        EXPECT_TRUE(SetCurrentDirectoryA(dir.c_str())) << dir.size();
        ProcessResult r = run_process(exe, {exe, "s"}, dir);
        SetCurrentDirectoryA(previous);
        EXPECT_EQ(r.status, 0) << exe << " " << length;
        return runs(asm_tool).size() == 1;
    }
};

TEST_F(DeepDriverTest, PathOverTheLimitMeansNoConfiguration) {
    struct Case {
        std::string exe;
        std::size_t length;
        bool read;
    } cases[] = {
        {"tolvane.exe", 259, true},                         // tolvane.ini has the same length
        {"tolvane.exe", 260, false},                        // the call fills the whole buffer
        {"tolvane.exe", 268, false}, {"t.exe", 253, true},  // tolvane.ini beside it has 259 characters
        {"t.exe", 254, false},                              // ... and here 260
    };
    for (const Case& c : cases)
        EXPECT_EQ(configuration_read(c.exe, c.length), c.read) << c.exe << " " << c.length;
    EXPECT_FALSE(configuration_read("tolvane-copy.exe", 260));  // cut, yet its tolvane.ini would fit
    std::string err = run({"s"}, {"TOLVANE_TRACE=1", "TOLVANE_INI=" + root + "/?.ini"}).err;
    EXPECT_NE(err.find("?.ini (from TOLVANE_INI): not found"), std::string::npos) << err;
}

// kitΩ, TOLVANE_INI or TOLVANE_LOG is never taken for its look-alike (kitO,
// O.ini, O.log): the ANSI build reads no configuration, opens no log.
TEST_F(DriverTest, NamesFromTheSystemAreTakenExactlyOrNotAtAll) {
    std::wstring base(root.begin(), root.end()), kit = base + L"\\kit\x03A9",
                                                 exe(driver.begin(), driver.end());
    for (std::string name : {"/kitX", "/kitO", "/O.ini"}) {
        make_dir(root + name);
        copy_executable(TOLVANE_EXE, root + name + "/tolvane.exe");
        write_file(root + name + "/tolvane.ini",
                   "[ASM]\nASSEMBLER=" + (name == "/kitX" ? asm_tool : lnk_tool));
    }
    MoveFileW((base + L"/kitX").c_str(), kit.c_str());
    SetEnvironmentVariableW(L"TOLVANE_EXITCODE", L"1");
    std::string err = run_process_wide(kit + L"\\tolvane.exe", L"t s", root).err + "|";
    MoveFileW(kit.c_str(), (base + L"/kitX").c_str());
    for (const wchar_t* set : {L"TOLVANE_INI=\x03A9.ini\\tolvane.ini", L"TOLVANE_LOG=\x03A9.log"})
        SetEnvironmentVariableW(std::wstring(set, 11).c_str(), set + 12);
    err += run_process_wide(exe, L"t s", root).err;
    for (const wchar_t* name : {L"TOLVANE_INI", L"TOLVANE_LOG", L"TOLVANE_EXITCODE"})
        SetEnvironmentVariableW(name, nullptr);
    DeleteFileW((base + L"\\\x03A9.log").c_str());
    EXPECT_TRUE(runs(lnk_tool).empty() && !read_file(root + "/O.log").size());
    EXPECT_EQ(runs(asm_tool).size(), kUtf8Build ? 1u : 0u);
    std::string lost = "U+03A9 has no form in code page 1252", utf8 = "the UTF-8 build takes every character";
    for (std::string said : {"tolvane: no configuration: the executable's path: " + lost +
                                 ": move the folder; " + utf8 + "\r\n|",
                             "no configuration: TOLVANE_INI: " + lost + ": name another file; " + utf8,
                             "log TOLVANE_LOG (" + lost + "; " + utf8 + "): cannot be opened: EILSEQ"})
        EXPECT_EQ(err.find(said) != err.npos, !kUtf8Build) << err;

    // A UTF-16 tolvane.ini: each character exactly or as "?", never as a
    // look-alike (Oprobe for the linker \x03A9probe); the UTF-8 build, whose
    // tools would read Omega as O, refuses the step.
    std::u16string dir(root.begin(), root.end()), tool(asm_tool.begin(), asm_tool.end());
    ASSERT_TRUE(copy_executable(PROBE_EXE, root + "/Oprobe.exe"));
    remove_tree(asm_tool + ".log");
    ini(utf16_file(u"[ASM]\r\nASSEMBLER=" + tool + u"\r\nASMLIST_01=\u00E9@1\r\nASMLIST_02=\u03A9\r\n" +
                       u"[LNK]\r\nLINKER=" + dir + u"\\\u03A9probe.exe\r\n",
                   true));
    err = run({"s"}, {"TOLVANE_EXITCODE=1"}).err;
    EXPECT_EQ(err.find("tolvane: assembler: not run: ASMLIST_02 (as written): U+03A9 would reach a tool that "
                       "reads code page 1252 as O, another name: change the value") != err.npos,
              kUtf8Build)
        << err;
    EXPECT_EQ(runs(asm_tool).size(), kUtf8Build ? 0u : 1u);
    if (!kUtf8Build) {
        EXPECT_EQ(runs(asm_tool).at(0).argv, (Args{asm_tool, "\xE9s", "?"}));
    }
    EXPECT_TRUE(runs(root + "/Oprobe.exe").empty());
}

}  // namespace
