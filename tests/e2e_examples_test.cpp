// The shipped example configurations, with the real assemblers and linker:
// each must turn the example source, also under a path with blanks, into a
// program that prints its greeting.
#include <unistd.h>

#include <cstdlib>
#include <ostream>
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
    const char* as_given;          // the source's path below the project, as passed to tolvane
    const char* second = nullptr;  // a second source, passed beside the first by its file name
    const char* said = "";         // by the build: what the program wrote, where [RUN] runs it
};

void PrintTo(const Example& e, std::ostream* os) { *os << e.ini << " on " << e.as_given; }

class ExampleTest : public DriverTest, public ::testing::WithParamInterface<Example> {};

TEST_P(ExampleTest, BuildsAProgramThatGreets) {
    const Example& e = GetParam();
    if (!on_path(e.assembler) || !on_path("ld")) GTEST_SKIP() << e.assembler << " or ld not installed";
    ini(read_file(std::string(TOLVANE_SOURCE_DIR) + "/" + e.ini));
    std::string given = e.as_given;
    std::size_t slash = given.rfind('/');
    if (slash != std::string::npos) make_dir(root + "/project/" + given.substr(0, slash));
    write_file(root + "/project/" + given, read_file(std::string(TOLVANE_SOURCE_DIR) + "/" + e.source));
    std::vector<std::string> args = {given};
    if (e.second != nullptr) {
        args.push_back(std::string(e.second).substr(std::string(e.second).rfind('/') + 1));
        write_file(root + "/project/" + args[1], read_file(std::string(TOLVANE_SOURCE_DIR) + "/" + e.second));
    }

    ProcessResult build = run(args);
    EXPECT_EQ(build.status, 0);
    EXPECT_EQ(build.out + build.err, e.said);
    std::string stem = root + "/project/" + given.substr(0, given.rfind('.'));
    EXPECT_EQ(access((stem + ".o").c_str(), F_OK), 0) << stem << ".o";
    std::string program = stem + ".out";
    ProcessResult greeting = run_process(program, {program}, root + "/project");
    EXPECT_EQ(greeting.status, 0);
    EXPECT_EQ(greeting.out, "Hello from tolvane!\n");
}

INSTANTIATE_TEST_SUITE_P(
    Shipped, ExampleTest,
    ::testing::Values(
        Example{"examples/tolvane.ini", "examples/hello/hello.s", "as", "hello.s"},
        Example{"examples/tolvane.ini", "examples/hello/hello.s", "as", "my src/hello world.s"},
        Example{"examples/run/tolvane.ini", "examples/hello/hello.s", "as", "hello.s", nullptr,
                "Hello from tolvane!\n"},
        Example{"examples/run/tolvane.ini", "examples/hello/hello.s", "as", "my src/hello world.s", nullptr,
                "Hello from tolvane!\n"},
        Example{"examples/nasm/tolvane.ini", "examples/hello/hello_nasm.asm", "nasm",
                "my src/hello world.asm"},
        // One file for three toolchains, chosen by the source's extension.
        Example{"examples/mixed/tolvane.ini", "examples/hello/hello.s", "as", "my src/hello.s"},
        Example{"examples/mixed/tolvane.ini", "examples/hello/hello_nasm.asm", "nasm", "hello.asm"},
        Example{"examples/mixed/tolvane.ini", "examples/mixed/hello.c", "cc", "my src/hello.c"},
        Example{"examples/two/tolvane.ini", "examples/two/main.s", "as", "main.s", "examples/two/util.s"}));

}  // namespace
