// run_process.cpp - posix_spawn and wait4 for the whole runs; ptrace to stop a
// run at its exit, when its memory can still be read.
#include "run_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>

extern char** environ;

namespace {

std::vector<char*> Argv(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    return argv;
}

// VmHWM of the process, in bytes; -1 when not found.
double HighWaterMark(pid_t process) {
    std::ifstream status("/proc/" + std::to_string(process) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, 6, "VmHWM:") == 0) return 1024.0 * std::stod(line.substr(6));
    }
    return -1;
}

}  // namespace

int RunProcess(const std::filesystem::path& folder, const std::vector<std::string>& args,
               double* cpu_seconds) {
    std::vector<char*> argv = Argv(args);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t child = 0;
    int failed = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) return -1;
    int status = 0;
    struct rusage usage = {};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status)) return -1;
    if (cpu_seconds) {
        *cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    }
    return WEXITSTATUS(status);
}

double PeakResidentBytes(const std::filesystem::path& folder,
                         const std::vector<std::string>& args) {
    std::vector<char*> argv = Argv(args);
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (chdir(folder.c_str()) != 0 || null < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0 ||
            ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) {
            _exit(127);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    double peak = -1;
    int status = 0;
    // Stopped at the start of the program, then at its exit.
    if (waitpid(child, &status, 0) == child && WIFSTOPPED(status)) {
        ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACEEXIT);
        ptrace(PTRACE_CONT, child, nullptr, nullptr);
        while (waitpid(child, &status, 0) == child && WIFSTOPPED(status)) {
            int signal = WSTOPSIG(status);
            if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
                peak = HighWaterMark(child);
                signal = 0;
            }
            void* passed = reinterpret_cast<void*>(static_cast<intptr_t>(signal));
            ptrace(PTRACE_CONT, child, nullptr, passed);
        }
    }
    if (!WIFEXITED(status) && !WIFSIGNALED(status)) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    return peak;
}

int RunTimes::run(const std::filesystem::path& folder, const std::vector<std::string>& args,
                  double* cpu_seconds) {
    auto start = std::chrono::steady_clock::now();
    int status = RunProcess(folder, args, cpu_seconds);
    seconds.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return status;
}

double RunTimes::best() const {
    return seconds.empty() ? 0 : *std::min_element(seconds.begin(), seconds.end());
}

double RunTimes::median() {
    if (seconds.empty()) return 0;
    std::sort(seconds.begin(), seconds.end());
    size_t middle = seconds.size() / 2;
    return seconds.size() % 2 ? seconds[middle] : (seconds[middle - 1] + seconds[middle]) / 2;
}
