// The Windows platform layer through the real system calls.
#include "platform/os_win32.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/os.h"
#include "support/process.h"

namespace {

TEST(SystemErrors, OnlyTheNotThereCodesGiveEnoent) {
    const unsigned long not_there[] = {2, 3, 15, 18, 53, 67, 161, 206};
    for (unsigned long code = 0; code < 20000; ++code) {
        bool listed = std::find(std::begin(not_there), std::end(not_there), code) != std::end(not_there);
        EXPECT_EQ(errno_from_system_error(code) == ENOENT, listed) << code;
    }
    struct Case {
        unsigned long code;
        int number;
    } cases[] = {{5, EACCES},  {8, ENOMEM},   {11, ENOEXEC}, {193, ENOEXEC}, {19, EACCES},
                 {32, EACCES}, {123, EINVAL}, {87, EINVAL},  {999, EINVAL}};
    for (const Case& c : cases) EXPECT_EQ(errno_from_system_error(c.code), c.number) << c.code;
}

class OsTest : public ::testing::Test {
protected:
    void SetUp() override { dir = make_temp_dir(); }
    void TearDown() override { remove_tree(dir); }
    std::string dir;
};

TEST_F(OsTest, ExistenceTest) {
    write_file(dir + "/file", "x");
    make_dir(dir + "/sub");
    struct Case {
        std::string path;
        bool exists;
        int number;
    } cases[] = {
        {dir + "/file", true, 0},
        {dir + "/sub", true, 0},
        {dir + "\\sub\\", true, 0},
        {dir + "/missing", false, ENOENT},
        {dir + "/missing/file", false, ENOENT},
        {dir + "/file/below", false, ENOENT},
        {dir + "/" + std::string(300, 'n'), false, ENOENT},
        {dir + "/wild*", false, EINVAL},
    };
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_EQ(os_file_exists(c.path.c_str()), c.exists) << c.path;
        EXPECT_EQ(errno, c.exists ? errno : c.number) << c.path;
    }
}

TEST_F(OsTest, FailedStartsSayWhy) {
    write_file(dir + "/text.exe", "not a program");
    make_dir(dir + "/folder.exe");
    errno = 0;
    EXPECT_EQ(os_start_and_wait((dir + "/text.exe").c_str(), "text", "text"), -1);
    EXPECT_EQ(errno, ENOEXEC);
    errno = 0;
    EXPECT_EQ(os_start_and_wait((dir + "/folder.exe").c_str(), "folder", "folder"), -1);
    EXPECT_NE(errno, ENOENT);
    EXPECT_NE(errno, 0);
    errno = 0;
    EXPECT_EQ(os_start_and_wait((dir + "/missing.exe").c_str(), "missing", "missing"), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(OsTest, CommandScriptsWithInterpreterCharactersAreRefused) {
    std::string marker = dir + "\\ran";
    write_file(dir + "/s.bat", "@echo off\r\necho x> \"" + marker + "\"\r\n");
    std::string script = dir + "/s.bat";
    errno = 0;
    EXPECT_EQ(os_start_and_wait(script.c_str(), "s", "s R&D.asm"), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES);

    struct Case {
        const char* file;
        const char* command_line;
        bool refused;
    } cases[] = {
        {"a.bat", "a src.asm", false}, {"a.bat", "a R&D.asm", true}, {"A.CMD", "a 100%", true},
        {"a.Bat", "a x|y", true},      {"a.cmd", "a <in", true},     {"a.cmd", "a >out", true},
        {"a.bat", "a ^x", true},       {"a.bat. .", "a &", true},    {"a.exe", "a R&D.asm", false},
        {"a.batch", "a &", false},     {"a.com", "a %PATH%", false}, {"x.bat\\a.exe", "a &", false},
        {"bat", "a &", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(is_unsafe_script_launch(c.file, c.command_line), c.refused) << c.file;
}

// Flag byte and handle of descriptor `fd` in a block.
unsigned flag_of(const unsigned char* block, int fd) { return block[4 + fd]; }

std::intptr_t handle_of(const unsigned char* block, int count, int fd) {
    std::intptr_t h;
    std::memcpy(&h, block + 4 + count + fd * sizeof h, sizeof h);
    return h;
}

TEST_F(OsTest, DescriptorBlockDescribesInheritableDescriptors) {
    std::string file = dir + "/f";
    int text = _open(file.c_str(), _O_CREAT | _O_WRONLY | _O_TEXT, _S_IREAD | _S_IWRITE);
    int binary = _open(file.c_str(), _O_WRONLY | _O_BINARY);
    int closed = _open(file.c_str(), _O_WRONLY | _O_BINARY);
    int pipe[2];
    ASSERT_EQ(_pipe(pipe, 256, _O_BINARY), 0);
    int private_fd = _open(file.c_str(), _O_WRONLY | _O_NOINHERIT);
    ASSERT_GE(text, 3);
    ASSERT_GT(private_fd, pipe[1]);
    _close(closed);

    std::size_t size = 0;
    unsigned char* block = descriptor_block(size);
    ASSERT_NE(block, nullptr);
    std::int32_t count;
    std::memcpy(&count, block, 4);
    // The descriptor that is not inherited was opened last, so it is not counted.
    EXPECT_EQ(count, private_fd);
    EXPECT_EQ(size, 4 + static_cast<std::size_t>(count) * (1 + sizeof(std::intptr_t)));
    for (int fd = 0; fd < 3; ++fd) EXPECT_EQ(flag_of(block, fd) & 0x81u, 0x81u) << fd;

    struct Case {
        int fd;
        unsigned flags;
    } cases[] = {{text, 0x81}, {binary, 0x01}, {closed, 0}, {pipe[0], 0x09}, {pipe[1], 0x09}};
    for (const Case& c : cases) {
        EXPECT_EQ(flag_of(block, c.fd), c.flags) << c.fd;
        EXPECT_EQ(handle_of(block, count, c.fd), c.flags ? _get_osfhandle(c.fd) : -1) << c.fd;
    }
    std::free(block);
    // The descriptors keep their modes.
    EXPECT_EQ(_setmode(text, _O_TEXT), _O_TEXT);
    EXPECT_EQ(_setmode(binary, _O_BINARY), _O_BINARY);

    _close(private_fd);
    _close(private_fd - 1);
    for (int fd : {text, binary, pipe[0], pipe[1]}) _close(fd);
}

TEST(OsPath, ExecutablePathIsTheModulesOwn) {
    char path[kPathBuffer];
    ASSERT_TRUE(os_executable_path(path));
    char expected[MAX_PATH];
    GetModuleFileNameA(nullptr, expected, MAX_PATH);
    EXPECT_STREQ(path, expected);
}

}  // namespace
