// The UTF-8 build end to end: names and values in Cyrillic, CJK and emoji
// in every place a path or value enters the driver. This program, the
// driver and the probes all carry the UTF-8 manifest, so every string here
// is UTF-8 on both sides.
#include <windows.h>

#include <string>
#include <vector>

#include "e2e_support.h"
#include "platform/os.h"

namespace {

using Args = std::vector<std::string>;

const std::string kCyrillic = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";  // Привет
const std::string kCjk = "\xE4\xB8\x96\xE7\x95\x8C";                               // 世界
const std::string kEmoji = "\xF0\x9F\x98\x80";                                     // 😀
const std::string kMixed = kCyrillic + kCjk + kEmoji;
const std::string kBom = "\xEF\xBB\xBF";

std::string windows_path(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// The layouts of a UTF-8 configuration: without a byte-order mark, with
// one in front of a first comment line (as the shipped examples begin),
// and with one right in front of the first section.
std::vector<std::string> layouts(const std::string& text) {
    return {text, kBom + "; tolvane.ini\r\n" + text, kBom + text};
}

TEST(Utf8Build, RunsInTheUtf8CodePage) { ASSERT_EQ(GetACP(), static_cast<UINT>(CP_UTF8)); }

TEST_F(DriverTest, SourcePathsStemsAndValuesInAnyScript) {
    struct Case {
        std::string source;
        std::string stem_obj;
    } cases[] = {
        {"src\\" + kMixed + ".asm", "src\\" + kMixed + ".obj"},
        {kCyrillic + "\\" + kCjk + "." + kCyrillic, kCyrillic + "\\" + kCjk + ".obj"},
        {kEmoji + "." + kEmoji + "\\" + kEmoji, kEmoji + "." + kEmoji + "\\" + kEmoji + ".obj"},
        {"C:\\" + kCjk + " " + kCyrillic + "\\a.b." + kEmoji, "C:\\" + kCjk + " " + kCyrillic + "\\a.b.obj"},
    };
    for (const std::string& text :
         layouts("[ASM]\r\nASSEMBLER=" + asm_tool + "\r\nASMLIST_01=-D" + kCyrillic + "=" + kCjk + kEmoji +
                 "\r\nASMLIST_02='\"@1\"'\r\nASMLIST_03=-o \"@1.obj\"\r\n[LNK]\r\nLINKER=" + lnk_tool +
                 "\r\nLNKLIST_01=" + kEmoji + "\r\n")) {
        for (const Case& c : cases) {
            remove_tree(asm_tool + ".log");
            remove_tree(lnk_tool + ".log");
            ini(text);
            run_process(driver, {driver, c.source}, root + "/project");
            ASSERT_EQ(runs(asm_tool).size(), 1u) << c.source;
            EXPECT_EQ(runs(asm_tool)[0].argv,
                      (Args{asm_tool, "-D" + kCyrillic + "=" + kCjk + kEmoji, c.source, "-o", c.stem_obj}));
            ASSERT_EQ(runs(lnk_tool).size(), 1u) << c.source;
            EXPECT_EQ(runs(lnk_tool)[0].argv, (Args{lnk_tool, kEmoji}));
        }
    }
}

TEST_F(DriverTest, ProgramAndDriverInFoldersNamedInAnyScript) {
    std::string tools = root + "/" + kCyrillic + kCjk;
    make_dir(tools);
    std::string tool = tools + "/" + kEmoji + "asm.exe";
    ASSERT_TRUE(copy_executable(PROBE_EXE, tool));
    std::string bin = root + "/" + kMixed;
    make_dir(bin);
    std::string exe = bin + "/tolvane.exe";
    ASSERT_TRUE(copy_executable(TOLVANE_EXE, exe));
    for (const std::string& text : layouts("[ASM]\nASSEMBLER=" + tool + "\nASMLIST_01=@1\n")) {
        remove_tree(tool + ".log");
        write_file(bin + "/tolvane.ini", text);
        ProcessResult r = run_process(exe, {exe, kCjk + ".asm"}, root + "/project");
        EXPECT_EQ(r.status, 0);
        ASSERT_EQ(runs(tool).size(), 1u);
        EXPECT_EQ(runs(tool)[0].argv, (Args{tool, kCjk + ".asm"}));
    }
}

TEST_F(DriverTest, ToolFoundAlongAPathEntryNamedInAnyScript) {
    std::string dir = root + "/" + kCjk + kEmoji;
    make_dir(dir);
    std::string tool = dir + "/" + kCyrillic + ".exe";
    ASSERT_TRUE(copy_executable(PROBE_EXE, tool));
    ini("[ASM]\nASSEMBLER=" + kCyrillic + "\nASMLIST_01=@1\n");
    run({"s"}, {"PATH=C:\\windows\\system32;" + windows_path(dir)});
    ASSERT_EQ(runs(tool).size(), 1u);
    EXPECT_EQ(runs(tool)[0].argv, (Args{kCyrillic, "s"}));
}

// What <CONFIG_DIR> puts in reaches each tool too: a folder kitΩ, which a
// tool reading code page 1252 would read as the kitO beside it, refuses
// the stage before its tool starts; kité, which that code page holds, builds.
TEST_F(DriverTest, ConfigDirThatAToolWouldReadAsAnotherFolderIsRefused) {
    struct Row {
        std::string folder, err, value = "";
    } rows[] = {
        {"kit\xCE\xA9",
         "tolvane: assembler: not run: ASMLIST_01 (through <CONFIG_DIR>): U+03A9 would reach a tool that "
         "reads code page 1252 as O, another name: move the folder\r\n"},
        {"kit\xC3\xA9", ""},
        {"kitW", "tolvane: assembler: not run: ASMLIST_03 (as written): U+03A9 would", "\xCE\xA9.inc"}};
    make_dir(root + "/kitO");
    make_dir(root + "/kitO/lib");
    for (const Row& r : rows) {
        std::string kit = root + "/" + r.folder, exe = kit + "/tolvane.exe";
        make_dir(kit);
        ASSERT_TRUE(copy_executable(TOLVANE_EXE, exe));
        write_file(kit + "/tolvane.ini",
                   "[DRIVER]\nEXITCODE=1\n[ASM]\nASSEMBLER=" + asm_tool +
                       "\nASMLIST_01=-I<CONFIG_DIR>\\include\\\nASMLIST_02=@1\nASMLIST_03=" + r.value +
                       "\n[LNK]\nLINKER=" + lnk_tool + "\nLNKLIST_01=/libpath:\"<CONFIG_DIR>\\lib\"\n");
        ProcessResult p = run_process(exe, {exe, "a.asm"}, root + "/project");
        EXPECT_EQ(r.err.empty() ? p.err : p.err.substr(0, r.err.size()), r.err);
        EXPECT_EQ(runs(asm_tool).size(), r.err.empty() ? 1u : 0u) << r.folder;
        remove_tree(asm_tool + ".log");
        std::string out = run_process(exe, {exe, "a.asm"}, root + "/project", {"TOLVANE_DRYRUN=1"}).out;
        EXPECT_EQ(out.find("assembler: not run: ASMLIST_0") != std::string::npos, !r.err.empty()) << out;
    }
}

// With 932 as the system's code page (utf8.cp932.*, LC_ALL=ja_JP.UTF-8),
// é has no form there, and its best fit is e: démo.asm would build demo.asm.
TEST_F(DriverTest, LetterThatCodePage932ReadsAsAnotherIsRefused) {
    DWORD page = 0;
    GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                   reinterpret_cast<LPWSTR>(&page), sizeof page / sizeof(WCHAR));
    if (page != 932) GTEST_SKIP() << "runs as utf8.cp932.*, with code page 932";
    config("ASMLIST_01=@1\n", "", "[DRIVER]\nEXITCODE=1\n");
    EXPECT_EQ(
        run_process(driver, {driver, "d\xC3\xA9mo.asm"}, root + "/project").err,
        "tolvane: argument 1 (d\xC3\xA9mo.asm): U+00E9 would reach a tool that reads code page 932 as e, "
        "another name, so nothing was started; rename it\r\n");
    EXPECT_TRUE(runs(asm_tool).empty());
}

TEST_F(DriverTest, KeyListsEndAtWholeUtf8Names) {
    // The system cuts such a list inside a character and leaves bytes of
    // the buffer unwritten; the list must still hold whole names only.
    std::string file = root + "/keys.ini";
    write_file(file, "[S]\n" + kCyrillic + "=1\n" + kCjk + "=2\n" + kEmoji + "=3\n");
    struct Case {
        std::size_t size;
        Args names;
    } cases[] = {{4, {}},
                 {13, {}},
                 {14, {kCyrillic}},
                 {19, {kCyrillic}},
                 {21, {kCyrillic, kCjk}},
                 {25, {kCyrillic, kCjk}},
                 {26, {kCyrillic, kCjk, kEmoji}}};
    for (const Case& c : cases) {
        std::vector<char> out(c.size, '#');
        std::size_t n = os_profile_keys("S", out.data(), c.size, file.c_str());
        Args names;
        for (std::size_t at = 0; at < n; at += names.back().size() + 1) names.push_back(out.data() + at);
        EXPECT_EQ(names, c.names) << "size " << c.size;
        EXPECT_EQ(out.at(n), '\0') << "size " << c.size;
    }
}

TEST_F(DriverTest, TraceNamesTheUtf8CodePage) {
    config("", "", "[DEBUG]\nTRACE=1\n");
    ProcessResult r = run({"s"});
    EXPECT_NE(r.err.find("UTF-8 (code page 65001)"), std::string::npos) << r.err;
}

}  // namespace
