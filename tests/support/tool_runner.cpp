// tool_runner.cpp - process launch for end-to-end tests.
#include "tool_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "files.h"

namespace fs = std::filesystem;

std::string GvtoolPath() { return GVTOOL_PATH; }

ToolRun RunTool(const fs::path& workdir, const std::vector<std::string>& args,
                const ToolOptions& options) {
    ToolRun result;
    // Standard output goes to a file beside the working folder, so the
    // folder holds only what the tool itself creates.
    const fs::path out_file = workdir.string() + ".stdout";
    const fs::path err_file = workdir.string() + ".stderr";
    const std::string program = options.program.empty() ? GvtoolPath() : options.program;

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    pid_t child = fork();
    if (child == 0) {
        if (chdir(workdir.c_str()) != 0) _exit(126);
        int fd = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) _exit(126);
        close(fd);
        fd = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, STDERR_FILENO) < 0) _exit(126);
        close(fd);
        if (options.file_size_limit) {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit;
            limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(*options.file_size_limit);
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        result.exit_status = WEXITSTATUS(status);
    }
    result.out = ReadFileBytes(out_file);
    result.err = ReadFileBytes(err_file);
    std::error_code error;
    fs::remove(out_file, error);
    fs::remove(err_file, error);
    // gvtool exits with 0 and writes nothing to standard error on every
    // path; anything else is a crash or a sanitizer report, which fails the
    // calling test whatever it checks itself.
    if (result.exit_status != 0 || !result.err.empty()) {
        ADD_FAILURE() << program << " exit status " << result.exit_status << "\n" << result.err;
    }
    const fs::path log_file = workdir / "patcher.log";
    result.log_exists = fs::exists(log_file);
    if (result.log_exists) result.log = ReadFileBytes(log_file);
    return result;
}
