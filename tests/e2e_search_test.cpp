// Program search end to end on POSIX: tools named without a directory.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

using Args = std::vector<std::string>;

class SearchTest : public DriverTest {
protected:
    // A probe copy named `name` in directory `dir` (created).
    std::string tool_in(const std::string& dir, const std::string& name) {
        make_dir(dir);
        std::string path = dir + "/" + name;
        EXPECT_TRUE(copy_executable(PROBE_EXE, path));
        return path;
    }
    void asm_named(const std::string& name) { ini("[ASM]\nASSEMBLER=" + name + "\nASMLIST_01=@1\n"); }
    ProcessResult run_with_path(const std::string& path) { return run({"src"}, {"PATH=" + path}); }
};

// A tree being built may ship a file named like the tool: it runs only
// when named with its directory.
TEST_F(SearchTest, CurrentDirectoryIsNotSearchedImplicitly) {
    std::string here = tool_in(root + "/project", "mytool");
    std::string there = tool_in(root + "/p1", "mytool");
    asm_named("mytool");
    run_with_path(root + "/p1");
    EXPECT_TRUE(runs(here).empty());
    EXPECT_EQ(runs(there).size(), 1u);
    run_with_path("/nonexistent");
    EXPECT_TRUE(runs(here).empty());
    asm_named("./mytool");
    run_with_path(root + "/p1");
    ASSERT_EQ(runs(here).size(), 1u);
    EXPECT_EQ(runs(here)[0].argv, (Args{"./mytool", "src"}));
    EXPECT_EQ(runs(there).size(), 1u);
}

TEST_F(SearchTest, FoundInThirdPathEntryWithNameAsConfigured) {
    std::string found = tool_in(root + "/p3", "mytool");
    make_dir(root + "/p1");
    asm_named("mytool");
    // Names are exact: neither "path" nor "tolvane_dryrun" is one that tolvane reads.
    run({"src"}, {"path=/nonexistent", "PATH=::" + root + "/p1:" + root + "/p2/:" + root + "/p3",
                  "tolvane_dryrun=1", "TOLVANE_VIEW=0"});
    ASSERT_EQ(runs(found).size(), 1u);
    EXPECT_EQ(runs(found)[0].argv, (Args{"mytool", "src"}));
}

TEST_F(SearchTest, QuotedEntryMayHoldTheSeparator) {
    std::string found = tool_in(root + "/a:b", "mytool");
    asm_named("mytool");
    run_with_path("\"" + root + "/a:b\"");
    EXPECT_EQ(runs(found).size(), 1u);
}

TEST_F(SearchTest, NotFoundAnywhere) {
    asm_named("no-such-tool");
    ProcessResult r = run_with_path(root + "/tools:/nonexistent");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    for (std::string set : {"-uPATH", "PATH=", "PATH=::"}) {
        std::string err =
            run_process("/usr/bin/env", {"env", set, "TOLVANE_TRACE=1", driver, "x"}, root, {}).err;
        std::string said = set[0] == '-' ? "PATH is not set" : "PATH is empty";
        EXPECT_NE(err.find("\ntolvane: " + said + ", so there was nowhere to look\n"), std::string::npos)
            << err;
    }
}

TEST_F(SearchTest, DirectoryOfTheToolsNameStopsTheSearch) {
    make_dir(root + "/p0");
    make_dir(root + "/p0/mytool");
    std::string there = tool_in(root + "/p1", "mytool");
    asm_named("mytool");
    EXPECT_EQ(run_with_path(root + "/p0:" + root + "/p1").status, 0);
    EXPECT_TRUE(runs(there).empty());
    std::string dry = run({"src"}, {"PATH=" + root + "/p0", "TOLVANE_DRYRUN=1"}).out;
    EXPECT_EQ(dry.rfind("assembler: mytool cannot be started (EACCES)", 0), 0u) << dry;
}

TEST_F(SearchTest, FileWithoutExecutePermissionStopsTheSearch) {
    std::string first = tool_in(root + "/p0", "mytool");
    chmod(first.c_str(), 0644);
    std::string there = tool_in(root + "/p1", "mytool");
    asm_named("mytool");
    run_with_path(root + "/p0:" + root + "/p1");
    EXPECT_TRUE(runs(there).empty());
    std::string dry = run({"src"}, {"PATH=" + root + "/p0", "TOLVANE_DRYRUN=1"}).out;
    EXPECT_EQ(dry.rfind("assembler: mytool cannot be started (EACCES)", 0), 0u) << dry;
    chmod((root + "/p0").c_str(), 0);  // not to be searched, but root may search any: run as nobody
    chmod(root.c_str(), 0755);
    Args as = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", driver, "src"};
    if (geteuid() != 0) as.erase(as.begin(), as.begin() + 4);
    ProcessResult r = run_process(as[0], as, root + "/project", {"PATH=" + root + "/p0", "TOLVANE_TRACE=1"});
    EXPECT_NE(r.err.find("/p0/mytool: cannot be tested: EACCES"), std::string::npos) << r.err;
}

TEST_F(SearchTest, NameWithSlashIsNotSearchedAlongPath) {
    make_dir(root + "/p1");
    std::string there = tool_in(root + "/p1/sub", "mytool");
    asm_named("sub/mytool");
    run_with_path(root + "/p1");
    EXPECT_TRUE(runs(there).empty());
}

TEST_F(SearchTest, EmptyQuotedEntryEndsTheWalk) {
    std::string there = tool_in(root + "/p2", "mytool");
    asm_named("mytool");
    std::string err = run({"src"}, {"PATH=" + root + "/p1:\"\":" + root + "/p2", "TOLVANE_TRACE=1"}).err;
    EXPECT_NE(err.find("PATH entry \"\" (empty) ends the search;"), std::string::npos) << err;
    EXPECT_TRUE(runs(there).empty());
    run_with_path(root + "/p1:" + root + "/p2");
    EXPECT_EQ(runs(there).size(), 1u);
}

}  // namespace
