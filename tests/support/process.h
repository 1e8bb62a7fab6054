// Starting the built driver the way a user does, for the end-to-end tests.
#pragma once

#include <string>
#include <vector>

struct ProcessResult {
    int status = -1;  // exit status; 128 + N when ended by signal N
    std::string out;  // everything written to standard output
    std::string err;  // everything written to standard error
};

// Runs `program` with `args` (argv[0] included) in directory `cwd`, with the
// current environment plus `env` ("NAME=value" entries replace or add).
// Standard output and error go to files, so they are not terminals;
// standard input is the file `input`, the null device when it is empty.
ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const std::string& cwd, const std::vector<std::string>& env = {},
                          const std::string& input = "");

#ifndef _WIN32
// As run_process, with standard error on a pseudo-terminal, as a person
// at a terminal has it.
ProcessResult run_process_on_terminal(const std::string& program, const std::vector<std::string>& args,
                                      const std::string& cwd, const std::vector<std::string>& env = {});
#endif

#ifdef _WIN32
// What the child's standard output and error are in run_process_as: files
// (as in run_process), standard output a pipe, or no standard error handle.
enum class Streams { files, output_pipe, no_error_handle };
ProcessResult run_process_as(Streams streams, const std::string& program,
                             const std::vector<std::string>& args, const std::string& cwd,
                             const std::vector<std::string>& env = {});

// The command line that a C runtime splits back into `args`.
std::string command_line_of(const std::vector<std::string>& args);

// Runs `program` with a wide `command_line` and the environment as it stands.
ProcessResult run_process_wide(const std::wstring& program, const std::wstring& command_line,
                               const std::string& cwd);
#endif

// Temporary directory tree for one test; removed by remove_tree.
std::string make_temp_dir();
void remove_tree(const std::string& path);

void write_file(const std::string& path, const std::string& text);
std::string read_file(const std::string& path);
bool copy_executable(const std::string& from, const std::string& to);
void make_dir(const std::string& path);
