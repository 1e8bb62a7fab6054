#include "base/trace.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <string>
#include <vector>

#include "launch/launch.h"

namespace {

// A file system of a few programs for the search, and a record of what the
// observer was told.
struct Scene {
    std::set<std::string> files;           // exist
    std::set<std::string> broken;          // exist but cannot be started (EACCES)
    std::set<std::string> ends_minus_one;  // start, and end with -1
    std::vector<std::string> told;
};
Scene* scene = nullptr;

bool exists(const char* path) {
    if (scene->files.count(path)) return true;
    errno = std::string(path).find("locked") != std::string::npos ? EACCES : ENOENT;
    return false;
}

int launch(const char* file, const char* const*) {
    if (scene->broken.count(file)) {
        errno = EACCES;
        return -1;
    }
    errno = 0;
    return scene->ends_minus_one.count(file) ? -1 : 5;
}

void observe(const char* candidate, Candidate what, int value) {
    std::string line = candidate;
    if (what == Candidate::absent) line += std::string(": absent ") + error_name(value);
    if (what == Candidate::found) line += ": found " + std::to_string(value);
    if (what == Candidate::not_started) line += std::string(": not started ") + error_name(value);
    scene->told.push_back(line);
    errno = EBADF;  // the search must not go by what the observer left
}

struct Case {
    const char* name;
    Scene scene;
    int status;
    std::vector<std::string> told;
};

TEST(SearchObserver, IsToldEveryCandidateAndItsOutcome) {
    Case cases[] = {
        {"tool", {{"/b/tool"}, {}, {}, {}}, 5, {"/a/tool: absent ENOENT", "/b/tool: found 0"}},
        {"tool",
         {{"/a/tool", "/b/tool"}, {"/a/tool"}, {}, {}},
         -1,
         {"/a/tool: found 0", "/a/tool: not started EACCES"}},
        {"tool", {{"/a/tool"}, {}, {"/a/tool"}, {}}, -1, {"/a/tool: found 0"}},
        {"locked/tool", {}, -1, {"locked/tool: absent EACCES"}},
    };
    for (Case& c : cases) {
        scene = &c.scene;
        const char* env[] = {"PATH=/a:/b", nullptr};
        const char* vector[kSlots] = {c.name};
        SearchOps ops = {&posix_syntax(), exists, launch, env, observe};
        errno = 0;
        int status = run_tool(ops, c.name, vector);
        EXPECT_EQ(status, c.status) << c.told.back();
        EXPECT_EQ(c.scene.told, c.told);
        if (!c.scene.broken.empty()) {
            EXPECT_EQ(errno, EACCES);
        }
    }
    scene = nullptr;
}

// Exception codes in hexadecimal from 0xC0000000 to 0xEFFFFFFF, named
// where they are common (the first and the last name here); every other
// status, a tool's own -1 included, in decimal.
TEST(StatusText, ExceptionCodesInHexadecimalWithTheirNames) {
    struct Row {
        long long status;
        const char* text;
    } rows[] = {{-1, "-1"},
                {0xBFFFFFFF, "-1073741825"},
                {0xC0000000, "0xC0000000"},
                {0xC0000005, "0xC0000005 (access violation)"},
                {0xC0000135, "0xC0000135 (a DLL it needs was not found)"},
                {0xC000013A, "0xC000013A (ended by Ctrl+C)"},
                {0xC00000FD, "0xC00000FD (stack overflow)"},
                {0xC0000409, "0xC0000409 (stack buffer overrun)"},
                {0xC0000136, "0xC0000136"},
                {0xEFFFFFFF, "0xEFFFFFFF"},
                {0xF0000000, "-268435456"}};
    for (const Row& row : rows) {
        char text[64];
        int status = static_cast<int>(static_cast<unsigned int>(row.status));
        status_text(status, text, sizeof text);
        EXPECT_STREQ(text, row.text) << row.status;
    }
}

}  // namespace
