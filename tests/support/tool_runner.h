// tool_runner.h - runs the real gvtool binary in a working folder and
// collects what it printed and what it left in "patcher.log".
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// What one run left behind. The tool writes its console and its log in text
// mode, so on Windows every '\n' it wrote arrives as "\r\n". `out` and `log`
// hold the text as the tool wrote it, that translation undone; when a file is
// not cleanly in the platform's text form (a bare '\n' on Windows) they hold
// its bytes untouched, so a comparison with the expected text fails.
// `out_bytes` and `log_bytes` are always the bytes as found.
struct ToolRun {
    int exit_status = -1;     // -1 when the process did not exit normally
    int term_signal = 0;      // POSIX: the signal that ended it, 0 when none
    std::string out;          // everything written to standard output
    std::string err;          // everything written to standard error
    bool log_exists = false;  // whether "patcher.log" exists afterwards
    std::string log;          // its text
    std::string out_bytes;
    std::string log_bytes;
};

struct ToolOptions {
    // POSIX only: limit on the size of files the tool may write
    // (RLIMIT_FSIZE), with SIGXFSZ at its default disposition (ending the
    // process): the tool must ignore it itself. Its standard output then
    // goes through a pipe, which the limit does not bind. Windows has no
    // per-process equivalent; see SharedFileSizeLimit.
    std::optional<uint64_t> file_size_limit;
    // POSIX only: limit on the tool's address space (RLIMIT_AS), so that a
    // large allocation fails instead of succeeding on a roomy machine.
    std::optional<uint64_t> address_space_limit;
    // POSIX only: seconds after which the tool is ended by SIGALRM, so that
    // a run that waits for ever fails the test instead of hanging it.
    unsigned time_limit_seconds = 0;
    // Another build of the tool to run instead of gvtool (UTF-8); empty for
    // gvtool.
    std::string program;
    // Whether anything but status 0 with nothing on standard error fails the
    // calling test, as it does for gvtool; off for gvdump, whose status and
    // error lines are its results, and for runs meant to end otherwise (a
    // crash point, a signal).
    bool expect_quiet_success = true;
    // POSIX only: when the test runs as root, the tool runs as the user
    // "nobody" (uid and gid 65534), so that file permissions bind it. The
    // binary is opened before, so nobody need not reach the build folder.
    bool unprivileged = false;
};

// Path of the gvtool binary under test, as the tool sees it in argument 0.
std::string GvtoolPath();

// Paths of the gvdump and gvundo binaries under test.
std::string GvdumpPath();
std::string GvundoPath();

// Runs gvtool with the arguments (argument 0 is added) in the folder, with
// the test process's environment. A crash, a non-zero exit status or any
// output on standard error (a sanitizer report) fails the calling test.
// On Windows the program starts through CreateProcessW, so UTF-8 arguments
// and folders reach it whole whatever the ANSI code page; a set
// file_size_limit or address_space_limit is refused there: the run then
// fails with exit_status -1 and an explanation in `out`.
ToolRun RunTool(const std::filesystem::path& workdir, const std::vector<std::string>& args,
                const ToolOptions& options = {});

// The limit on file sizes that every process of this test run shares, or
// none. Under Wine the wine server grows files, so a limit can only be set
// for the whole run (the build's Wine wrapper sets it and names it in
// GVTOOL_FILE_SIZE_LIMIT); a file grown past it is refused.
std::optional<uint64_t> SharedFileSizeLimit();

// The text as the platform's text-mode streams store it: each '\n' becomes
// "\r\n" on Windows; elsewhere the text is unchanged.
std::string PlatformText(const std::string& text);
