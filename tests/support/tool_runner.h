// tool_runner.h - runs the real gvtool binary in a working folder and
// collects what it printed and what it left in "patcher.log".
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct ToolRun {
    int exit_status = -1;     // -1 when the process did not exit normally
    std::string out;          // everything written to standard output
    std::string err;          // everything written to standard error
    bool log_exists = false;  // whether "patcher.log" exists afterwards
    std::string log;          // its bytes
};

struct ToolOptions {
    // Limit on the size of files the tool may write (RLIMIT_FSIZE), with
    // SIGXFSZ ignored so an oversized write fails instead of killing it.
    std::optional<uint64_t> file_size_limit;
    // Another build of the tool to run instead of gvtool; empty for gvtool.
    std::string program;
};

// Path of the gvtool binary under test.
std::string GvtoolPath();

// Runs gvtool with the arguments (argument 0 is added) in the folder, with
// the test process's environment. A crash, a non-zero exit status or any
// output on standard error (a sanitizer report) fails the calling test.
ToolRun RunTool(const std::filesystem::path& workdir, const std::vector<std::string>& args,
                const ToolOptions& options = {});
