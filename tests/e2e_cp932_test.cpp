// The driver under code page 932, whose double-byte characters may have
// "\" as their second byte. This suite must run with that ANSI code page
// (under Wine: LC_ALL=ja_JP.UTF-8 with a ja_JP.UTF-8 locale installed).
#include <windows.h>

#include <string>
#include <vector>

#include "e2e_support.h"
#include "utf16.h"

namespace {

using Args = std::vector<std::string>;

// The character for "table" in code page 932: lead byte 0x95, second byte
// 0x5C, the code of "\".
const std::string kHyo = "\x95\x5c";

TEST(CodePage932, IsTheAnsiCodePage) {
    ASSERT_EQ(GetACP(), 932u) << "run this suite with LC_ALL=ja_JP.UTF-8 and a ja_JP.UTF-8 locale";
}

TEST_F(DriverTest, ExecutableNamedWithTheCharacterFindsItsConfiguration) {
    std::string exe = root + "/bin/" + kHyo + "tolvane.exe";
    ASSERT_TRUE(copy_executable(TOLVANE_EXE, exe));
    config("ASMLIST_01=@1\n", "");
    run_process(exe, {exe, "s"}, root + "/project");
    ASSERT_EQ(runs(asm_tool).size(), 1u);
    EXPECT_EQ(runs(asm_tool)[0].argv, (Args{asm_tool, "s"}));
}

TEST_F(DriverTest, ArgumentsPassExactlyOrStartNothing) {
    // Code page 932 has no yen sign of its own: its best fit is "\".
    config("ASMLIST_01=@1\n", "", "[DRIVER]\nEXITCODE=1\n");
    std::wstring exe(driver.begin(), driver.end());
    EXPECT_EQ(
        run_process_wide(exe, L"t \x30A2\x8868", root).err + run_process_wide(exe, L"t C:\\\xA5", root).err,
        "tolvane: argument 1 (C:\\?): U+00A5 has no form in code page 932, so nothing was started; the "
        "UTF-8 build takes every character\r\n");
    EXPECT_EQ(runs(asm_tool).at(0).argv, (Args{asm_tool, "\x83\x41" + kHyo}));  // katakana A, then 0x95 0x5C
}

// A UTF-16 tolvane.ini: a value longer than 259 bytes is cut in front of a
// double-byte character, and the yen sign reads as "?", not as its "\".
TEST_F(DriverTest, Utf16ValuesReachTheCodePageExactly) {
    std::u16string tool(asm_tool.begin(), asm_tool.end()), hyo(129, u'\x8868');
    ini(utf16_file(u"[ASM]\r\nASSEMBLER=" + tool + u"\r\nASMLIST_01=a" + hyo + u"\r\nASMLIST_02=ab" + hyo +
                   u"\r\nASMLIST_03=\xA5\r\n"));
    run({"s"});
    std::string hyos;
    for (int i = 0; i < 129; ++i) hyos += kHyo;
    EXPECT_EQ(runs(asm_tool).at(0).argv, (Args{asm_tool, "a" + hyos, "ab" + hyos.substr(2), "?"}));
}

TEST_F(DriverTest, StemOfAnExtensionEndingInTheCharacter) {
    config("ASMLIST_01=@1\nASMLIST_02=@1.obj\nASMLIST_03=@2.obj\n", "");
    run({"x." + kHyo, "d" + kHyo + "\\y.asm"});
    EXPECT_EQ(runs(asm_tool).at(0).argv, (Args{asm_tool, "x." + kHyo, "x.obj", "d" + kHyo + "\\y.obj"}));
}

// The character's "\" is no separator: the extension runs on past it.
TEST_F(DriverTest, ExtensionWithTheCharacterChoosesItsSection) {
    config("ASMLIST_01=plain\n", "", "[ASM.c" + kHyo + "y]\nASSEMBLER=" + asm_tool + "\nASMLIST_01=table\n");
    run({"x.c" + kHyo + "y"});
    run({"x.c\\y"});
    EXPECT_EQ(runs(asm_tool).at(0).argv, (Args{asm_tool, "table"}));
    EXPECT_EQ(runs(asm_tool).at(1).argv, (Args{asm_tool, "plain"}));
}

TEST_F(DriverTest, PathEntryEndingInTheCharacterGetsASeparator) {
    std::string dir = root + "/p" + kHyo;
    make_dir(dir);
    std::string tool = dir + "/mytool.exe";
    ASSERT_TRUE(copy_executable(PROBE_EXE, tool));
    ini("[ASM]\nASSEMBLER=mytool\nASMLIST_01=@1\n");
    std::string path = dir;
    for (char& c : path)
        if (c == '/') c = '\\';
    run({"s"}, {"PATH=" + path});
    ASSERT_EQ(runs(tool).size(), 1u);
    EXPECT_EQ(runs(tool)[0].argv, (Args{"mytool", "s"}));
}

}  // namespace
