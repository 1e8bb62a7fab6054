// The shipped example configurations, with the real assemblers and linker:
// each must turn the example source into a program that prints its greeting.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "e2e_support.h"

namespace {

bool on_path(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string rest = path ? path : "";
    std::size_t pos = 0;
    while (pos <= rest.size()) {
        std::size_t end = rest.find(':', pos);
        if (end == std::string::npos) end = rest.size();
        std::string candidate = rest.substr(pos, end - pos) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return true;
        pos = end + 1;
    }
    return false;
}

struct Example {
    const char* ini;
    const char* source;
    const char* assembler;
};

class ExampleTest : public DriverTest, public ::testing::WithParamInterface<Example> {};

TEST_P(ExampleTest, BuildsAProgramThatGreets) {
    const Example& e = GetParam();
    if (!on_path(e.assembler) || !on_path("ld")) GTEST_SKIP() << e.assembler << " or ld not installed";
    ini(read_file(std::string(TOLVANE_SOURCE_DIR) + "/" + e.ini));
    std::string name = std::string(e.source).substr(std::string(e.source).rfind('/') + 1);
    write_file(root + "/project/" + name, read_file(std::string(TOLVANE_SOURCE_DIR) + "/" + e.source));

    ProcessResult build = run({name});
    EXPECT_EQ(build.status, 0);
    EXPECT_EQ(build.out + build.err, "");
    std::string program = root + "/project/" + name.substr(0, name.rfind('.')) + ".out";
    ProcessResult greeting = run_process(program, {program}, root + "/project");
    EXPECT_EQ(greeting.status, 0);
    EXPECT_EQ(greeting.out, "Hello from tolvane!\n");
}

INSTANTIATE_TEST_SUITE_P(Shipped, ExampleTest,
                         ::testing::Values(Example{"examples/tolvane.ini", "examples/hello/hello.s", "as"},
                                           Example{"examples/nasm/tolvane.ini", "examples/hello/hello.asm",
                                                   "nasm"}));

}  // namespace
