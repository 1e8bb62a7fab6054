#include "base/path.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "cp932.h"
#include "driver/driver.h"

namespace {

std::string config_for(const PathSyntax& syntax, const std::string& exe) {
    char out[kPathBuffer] = "junk";
    if (!config_path_from(syntax, exe.c_str(), out)) return "<none:" + std::string(out) + ">";
    return out;
}

TEST(ConfigPath, DerivedBesideTheExecutable) {
    struct Case {
        const PathSyntax& syntax;
        std::string exe, expected;
    } cases[] = {
        {windows_syntax(), "C:\\Program Files\\Tools\\drv.exe", "C:\\Program Files\\Tools\\tolvane.ini"},
        {windows_syntax(), "\\\\server\\share\\bin\\drv.exe", "\\\\server\\share\\bin\\tolvane.ini"},
        {windows_syntax(), "D:drv.exe", "D:tolvane.ini"},
        {windows_syntax(), "C:/tools/drv.exe", "C:/tools/tolvane.ini"},
        {windows_syntax(), "drv", "tolvane.ini"},
        {posix_syntax(), "/opt/tolvane/bin/tolvane", "/opt/tolvane/bin/tolvane.ini"},
        {posix_syntax(), "/opt/my.tools/tolvane", "/opt/my.tools/tolvane.ini"},
        {posix_syntax(), "C:tolvane", "tolvane.ini"},
        {posix_syntax(), "/a\\b/drv", "/a\\b/tolvane.ini"},
        // The second byte of 表 is no separator in code page 932 ...
        {cp932(), std::string("C:\\tools\\") + kHyo + "drv.exe", "C:\\tools\\tolvane.ini"},
        {cp932(), std::string("C:\\") + kHyo + "\\drv.exe", std::string("C:\\") + kHyo + "\\tolvane.ini"},
        // ... but it is with a single-byte code page.
        {windows_syntax(), std::string("C:\\tools\\") + kHyo + "drv.exe",
         std::string("C:\\tools\\\x95\\tolvane.ini")},
    };
    for (const Case& c : cases) EXPECT_EQ(config_for(c.syntax, c.exe), c.expected) << c.exe;
}

TEST(ConfigPath, RefusedWhenItWouldNotFit) {
    // 240-character directory plus an 8-character name: the configuration
    // path (240 + 11) fits; with a 252-character directory it would not.
    std::string dir(239, 'd');
    EXPECT_EQ(config_for(posix_syntax(), "/" + dir + "/tool"), "/" + dir + "/tolvane.ini");
    std::string long_dir = "/" + std::string(250, 'd') + "/";
    EXPECT_EQ(config_for(posix_syntax(), long_dir + "t"), "<none:>");
    // 248-character directory: exactly 259 characters.
    EXPECT_EQ(config_for(posix_syntax(), long_dir.substr(0, 247) + "/t"),
              long_dir.substr(0, 247) + "/tolvane.ini");
    EXPECT_EQ(config_for(posix_syntax(), long_dir.substr(0, 248) + "/t"), "<none:>");
}

TEST(SplitPath, PartsAndCuts) {
    PathParts p;
    split_path(windows_syntax(), "C:\\a.b\\name.tar.gz", p);
    EXPECT_STREQ(p.drive, "C:");
    EXPECT_STREQ(p.dir, "\\a.b\\");
    EXPECT_STREQ(p.fname, "name.tar");

    split_path(posix_syntax(), "dir.old/.hidden", p);
    EXPECT_STREQ(p.dir, "dir.old/");
    EXPECT_STREQ(p.fname, "");

    // Each part is cut to 255 bytes.
    std::string long_name(300, 'n');
    split_path(posix_syntax(), "/d/" + long_name + ".e", p);
    EXPECT_EQ(std::string(p.fname), long_name.substr(0, 255));

    // A cut that would part a lead byte from its second byte drops both.
    std::string dbcs_dir = std::string(254, 'a') + kHyo + "\\";
    split_path(cp932(), dbcs_dir + "f", p);
    EXPECT_EQ(std::string(p.dir), std::string(254, 'a'));
    EXPECT_STREQ(p.fname, "f");

    // A lead byte that is the text's last byte is a character of its own.
    split_path(cp932(), "a.\x95", p);
    EXPECT_STREQ(p.fname, "a");

    // The extension is the rest: from the last dot of the file name on.
    char ext[kComponentMax + 1];
    for (auto c : {std::pair{"src\\x.tar.s", ".s"},
                   {"src.d\\x", ""},
                   {"x.", "."},
                   {"C:.c", ".c"},
                   {"x.c\x95\\y", ""},
                   {"", ""}}) {
        path_extension(windows_syntax(), c.first, ext);
        EXPECT_STREQ(ext, c.second) << c.first;
    }
    path_extension(cp932(), std::string("x.c") + kHyo + "y", ext);
    EXPECT_EQ(std::string(ext), std::string(".c") + kHyo + "y");
    path_extension(posix_syntax(), "x." + long_name, ext);
    EXPECT_EQ(std::string(ext), ("." + long_name).substr(0, 255));
}

TEST(ComposePath, AddsSeparatorOnlyWhereMissing) {
    char out[kPathBuffer];
    ASSERT_TRUE(compose_path(windows_syntax(), "C:", "dir", "f", "ini", out, sizeof out));
    EXPECT_STREQ(out, "C:dir\\f.ini");
    ASSERT_TRUE(compose_path(windows_syntax(), "", "dir/", "f", ".ini", out, sizeof out));
    EXPECT_STREQ(out, "dir/f.ini");
    ASSERT_TRUE(compose_path(posix_syntax(), "", "dir", "f", "", out, sizeof out));
    EXPECT_STREQ(out, "dir/f");
    ASSERT_TRUE(compose_path(cp932(), "", (std::string("x") + kHyo).c_str(), "f", "", out, sizeof out));
    EXPECT_EQ(std::string(out), std::string("x") + kHyo + "\\f");
    EXPECT_FALSE(compose_path(posix_syntax(), "", "abc", "d", "", out, 5));
    EXPECT_STREQ(out, "");
    EXPECT_TRUE(compose_path(posix_syntax(), "", "ab/", "d", "", out, 5));
}

// Whether a name (a log file's) is taken from another directory or stands
// on its own.
TEST(AbsolutePath, ByEachPlatformsRules) {
    struct Row {
        const char* path;
        bool windows, posix;
    } rows[] = {
        {"/var/log/x", true, true},  {"\\\\server\\x", true, false},
        {"\\x", true, false},        {"C:\\x", true, false},
        {"C:x", true, false},        {"x/y", false, false},
        {"build.log", false, false}, {"", false, false},
        {".\\x", false, false},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(is_absolute_path(windows_syntax(), r.path), r.windows) << r.path;
        EXPECT_EQ(is_absolute_path(posix_syntax(), r.path), r.posix) << r.path;
    }
}

}  // namespace
