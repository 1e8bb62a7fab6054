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

std::wstring wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// The text as a tool of this build reads it: in the ANSI code page, or in
// UTF-8 where the probe carries the UTF-8 manifest.
std::string as_read(const std::wstring& text) {
    UINT page = kUtf8Build ? CP_UTF8 : CP_ACP;
    char out[512];
    int n = WideCharToMultiByte(page, 0, text.c_str(), -1, out, sizeof out, nullptr, nullptr);
    return std::string(out, n > 0 ? static_cast<std::size_t>(n - 1) : 0);
}

TEST_F(DriverTest, ArgumentsPassExactlyOrStartNothing) {
    // The character each build refuses, null where the argument passes.
    // The ANSI build takes what code page 1252 holds; the UTF-8 build
    // every character but a look-alike of ASCII punctuation or a blank in
    // the system's code page (1252) and half a surrogate pair.
    struct Case {
        const wchar_t* arg;
        const char *ansi, *utf8;
    } cases[] = {
        {L"a\xFF02 -o C:\\evil \xFF02"
         L"b.asm",
         "U+FF02", "U+FF02"},                    // best fit "
        {L"\x03A9mega.asm", "U+03A9", nullptr},  // best fit O, a letter
        {L"d\xE9mo.asm", nullptr, nullptr},      // in 1252
        {L"\xAD-x.asm", nullptr, nullptr},       // the soft hyphen is in 1252
        {L"\x2010x.asm", "U+2010", "U+2010"},    // best fit -
        {L"\xFF3C"
         L"x.asm",
         "U+FF3C", "U+FF3C"},                // best fit backslash
        {L"\xFF11.asm", "U+FF11", nullptr},  // best fit 1, a digit
        {L"\x4E16.asm", "U+4E16", nullptr},  // no best fit: the default character
        {L"\xD83D\xDE00.asm", "U+1F600", nullptr},
        {L"a\xD800.asm", "U+D800", "U+D800"},  // no UTF-8 form
    };
    config("ASMLIST_01=@1\n", "");
    write_file(root + "/project/Omega.asm", "");
    for (const Case& c : cases) {
        remove_tree(asm_tool + ".log");
        const char* refused = kUtf8Build ? c.utf8 : c.ansi;
        ProcessResult r =
            run_process_wide(wide(driver), {wide(driver), c.arg}, root + "/project", {L"TOLVANE_EXITCODE=1"});
        std::vector<ProbeRun> seen = runs(asm_tool);
        if (refused == nullptr) {
            EXPECT_EQ(r.status, 0) << r.err;
            ASSERT_EQ(seen.size(), 1u) << r.err;
            EXPECT_EQ(seen[0].argv, (Args{asm_tool, as_read(c.arg)}));
            continue;
        }
        EXPECT_EQ(r.status, kNotStarted) << refused;
        EXPECT_TRUE(seen.empty()) << refused;
        EXPECT_EQ(r.err.rfind("tolvane: argument 1 (", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(std::string("): ") + refused), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(", so nothing was started; "), std::string::npos) << r.err;
    }
    std::string err = run_process_wide(wide(driver), {wide(driver), L"\x03A9mega.asm"}, root + "/project",
                                       {L"TOLVANE_EXITCODE=1"})
                          .err;
    if (!kUtf8Build) {
        EXPECT_EQ(err,
                  "tolvane: argument 1 (?mega.asm): U+03A9 has no form in code page 1252, so nothing was "
                  "started; the UTF-8 build takes every character\r\n");
    }
    err = run_process_wide(wide(driver), {wide(driver), L"a\xFF02.asm"}, root + "/project",
                           {L"TOLVANE_EXITCODE=1"})
              .err;
    if (kUtf8Build) {
        EXPECT_EQ(err,
                  "tolvane: argument 1 (a\xEF\xBC\x82.asm): U+FF02 would reach a tool as its look-alike \" "
                  "in the system's code page 1252, so nothing was started; rename it without that "
                  "character\r\n");
    }
    // Argument 0 is only listed; a later argument is refused as the first.
    remove_tree(asm_tool + ".log");
    ProcessResult r = run_process_wide(wide(driver), {L"\x03A9tolvane", L"s", L"\x2010"}, root + "/project",
                                       {L"TOLVANE_VIEW=1", L"TOLVANE_TRACE=1"});
    EXPECT_EQ(r.out, "0:" + (kUtf8Build ? as_read(L"\x03A9tolvane") : "?tolvane") + kEol + "1:s" + kEol +
                         "2:" + (kUtf8Build ? as_read(L"\x2010") : "?") + kEol);
    EXPECT_TRUE(runs(asm_tool).empty());
    EXPECT_NE(r.err.find("argument 2 ("), std::string::npos) << r.err;
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
// name them there by <CONFIG_DIR>, and the script runs from "My Tools".
TEST_F(DriverTest, ShippedExamplesPassPathsWithBlanksWhole) {
    // The words each tool receives after its own name, split at "|": $ is
    // the source's path without its extension, % the kit's folder.
    const char* link_words = "/nologo|/subsystem:console|/entry:main|/out:$.exe|$.obj|kernel32.lib";
    struct Case {
        const char *example, *assembler, *linker;
    } cases[] = {
        {"nasm", "-f|win64|-o|$.obj|$.asm", link_words},
        {"msvc", "/nologo|/c|/Fo$.obj|$.asm", link_words},
        {"kit", "-f|win64|-I%\\include\\|-o|$.obj|$.asm",
         "/nologo|/subsystem:console|/entry:main|/libpath:%\\lib|/out:$.exe|$.obj|kernel32.lib"},
        {"script", "-f|win64|-o|$.obj|$.asm", link_words},
    };
    std::string kit = root + "\\asm kit", tools;
    for (char& c : kit) c = c == '/' ? '\\' : c;
    tools = kit + "\\My Tools";
    auto words = [&kit](const std::string& pattern, const std::string& stem) {
        Args result(2);  // the tool's own name, blanked, then the first word
        for (char c : pattern) {
            if (c == '|') result.emplace_back();
            result.back() += c == '$' ? stem : c == '%' ? kit : c == '|' ? "" : std::string(1, c);
        }
        return result;
    };
    std::string nasm = kit + "\\nasm\\nasm.exe", link = kit + "\\linker\\link.exe";
    for (const std::string& dir : {kit, kit + "\\nasm", kit + "\\linker", tools}) make_dir(dir);
    ASSERT_TRUE(copy_executable(TOLVANE_EXE, kit + "\\tolvane.exe") && copy_executable(PROBE_EXE, nasm) &&
                copy_executable(PROBE_EXE, link));
    std::string examples = std::string(TOLVANE_SOURCE_DIR) + "/examples/windows/";
    write_file(tools + "\\build.bat", read_file(examples + "script/build.bat"));
    for (const Case& c : cases) {
        std::istringstream example(read_file(examples + c.example + "/tolvane.ini"));
        std::string text, line;
        while (std::getline(example, line)) {
            // Every tool but the interpreter is the probe.
            bool probe =
                line.find("<CONFIG_DIR>") == std::string::npos && line.find("cmd.exe") == std::string::npos;
            if (probe && line.rfind("ASSEMBLER=", 0) == 0) line = "ASSEMBLER=<CONFIG_DIR>\\nasm\\nasm.exe";
            if (probe && line.rfind("LINKER=", 0) == 0) line = "LINKER=<CONFIG_DIR>\\linker\\link.exe";
            std::size_t at = line.find("C:\\My Tools");
            if (at != std::string::npos) line.replace(at, 11, tools);
            text += line + "\n";
        }
        write_file(kit + "\\tolvane.ini", text);
        for (std::string stem : {"C:\\Users\\Me\\My Projects\\demo", "C:\\Program Files\\x y\\demo"}) {
            remove_tree(nasm + ".log");
            remove_tree(link + ".log");
            ProcessResult r = run_process(kit + "\\tolvane.exe", {kit + "\\tolvane.exe", stem + ".asm"},
                                          root + "/project", {"PATH=" + kit + "\\nasm;" + kit + "\\linker"});
            EXPECT_EQ(r.status, 0) << c.example << ": " << r.out << r.err;
            // Each tool's own name is left out: the script's is as it wrote it.
            for (auto tool : {std::make_pair(nasm, c.assembler), std::make_pair(link, c.linker)}) {
                std::vector<ProbeRun> seen = runs(tool.first);
                ASSERT_EQ(seen.size(), 1u) << c.example << " " << tool.first;
                seen[0].argv[0] = "";
                EXPECT_EQ(seen[0].argv, words(tool.second, stem)) << c.example;
            }
        }
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
}

// A folder or file whose name the ANSI code page lacks is never taken for
// its look-alike (kitO for kitΩ): the ANSI build reads no configuration
// and opens no log then, and says which character stands in the way.
TEST_F(DriverTest, NamesFromTheSystemAreTakenExactlyOrNotAtAll) {
    const std::wstring omega = L"\x03A9";
    // kitX becomes kitΩ; kitO's configuration names the linker's probe.
    for (const char* kit : {"/kitX", "/kitO"}) {
        make_dir(root + kit);
        ASSERT_TRUE(copy_executable(TOLVANE_EXE, root + kit + "/tolvane.exe"));
    }
    write_file(root + "/kitX/tolvane.ini", "[ASM]\nASSEMBLER=" + asm_tool + "\n");
    write_file(root + "/kitO/tolvane.ini", "[ASM]\nASSEMBLER=" + lnk_tool + "\n");
    std::wstring kit = wide(root) + L"/kit" + omega;
    ASSERT_TRUE(MoveFileW((wide(root) + L"/kitX").c_str(), kit.c_str()));
    ProcessResult r = run_process_wide(kit + L"/tolvane.exe", {kit + L"/tolvane.exe", L"s"},
                                       root + "/project", {L"TOLVANE_EXITCODE=1"});
    MoveFileW(kit.c_str(), (wide(root) + L"/kitX").c_str());
    EXPECT_TRUE(runs(lnk_tool).empty());
    EXPECT_EQ(runs(asm_tool).size(), kUtf8Build ? 1u : 0u);
    EXPECT_EQ(r.status, kUtf8Build ? 0 : kNotStarted);
    if (!kUtf8Build) {
        EXPECT_EQ(r.err,
                  "tolvane: no configuration: the executable's path: U+03A9 has no form in code page 1252: "
                  "move the folder; the UTF-8 build takes every character\r\n");
    }

    // TOLVANE_INI and TOLVANE_LOG, beside files of the look-alike names.
    write_file(root + "/O.ini", "[ASM]\nASSEMBLER=" + lnk_tool + "\n");
    r = run_process_wide(wide(driver), {wide(driver), L"s"}, root + "/project",
                         {L"TOLVANE_TRACE=1", L"TOLVANE_INI=" + wide(root) + L"/" + omega + L".ini",
                          L"TOLVANE_LOG=" + wide(root) + L"/" + omega + L".log"});
    EXPECT_TRUE(runs(lnk_tool).empty());
    EXPECT_EQ(GetFileAttributesA((root + "/O.log").c_str()), INVALID_FILE_ATTRIBUTES);
    std::string lost = "U+03A9 has no form in code page 1252";
    EXPECT_EQ(r.err.find("configuration: none (TOLVANE_INI: " + lost +
                         ": name another file; the UTF-8 build "
                         "takes every character)") != std::string::npos,
              !kUtf8Build)
        << r.err;
    EXPECT_EQ(r.err.find("log TOLVANE_LOG (" + lost +
                         "; the UTF-8 build takes every character): cannot be "
                         "opened: EILSEQ") != std::string::npos,
              !kUtf8Build)
        << r.err;
    DeleteFileW((wide(root) + L"/" + omega + L".log").c_str());
    // "?" itself is no lost character: a file of that name is simply not there.
    std::string err = run({"s"}, {"TOLVANE_TRACE=1", "TOLVANE_INI=" + root + "/?.ini"}).err;
    EXPECT_NE(err.find("?.ini (from TOLVANE_INI): not found"), std::string::npos) << err;
}

}  // namespace
