// patch_harness.cpp - in-process and forked patch runs for the tests.
#include "patch_harness.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <exception>
#include <sstream>

#include <gtest/gtest.h>

#include "byte_order.h"
#include "dual_log.h"
#include "journal.h"
#include "platform/signals.h"
#include "save_patcher.h"

namespace {

// The patch, as gvtool runs it when journal is set: the recovery step first,
// then the run with the save's journal beside it.
PatchOutcome RunHere(const std::filesystem::path& save, PatchPlan& plan, const char* mode,
                     bool journal) {
    FILE* stream = fopen(save.string().c_str(), mode);
    if (!stream) return {"", "test could not open " + save.string()};
    const std::string path = journal ? save.string() : "";
    const PatchOutcome outcome = RunLogged([&] {
        std::string journal_path;
        RecoverSave(stream, path, &journal_path);
        StopSignalGuard stop_signals;
        SavePatcher patcher(stream, path, journal_path);
        patcher.run(plan, stop_signals);
    });
    fclose(stream);
    return outcome;
}

#ifndef _WIN32

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Runs the step in a child process, which reports its outcome back through
// a pipe: what the step sets up there (a file size limit, the stop signals a
// journal holds back) ends with the child.
PatchOutcome RunInChild(const std::function<PatchOutcome()>& step) {
    int fds[2];
    if (pipe(fds) != 0) return {"", "pipe failed"};
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        const PatchOutcome outcome = step();
        std::string message = outcome.log;
        message.push_back('\0');
        message += outcome.error;
        _exit(WriteAll(fds[1], message) ? 0 : 4);
    }
    close(fds[1]);
    std::string received;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) {
        received.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const size_t split = received.find('\0');
    if (split == std::string::npos) return {received, "child sent no outcome"};
    return {received.substr(0, split), received.substr(split + 1)};
}

#endif

GvarRequest Request(int32_t index, int32_t value, GvarAction action) {
    GvarRequest request;
    request.index = index;
    request.value = value;
    request.action = action;
    return request;
}

}  // namespace

PatchOutcome RunLogged(const std::function<void()>& step) {
    PatchOutcome outcome;
    std::ostringstream console;
    std::ostringstream file;
    const DualLog saved = g_log;
    g_log.console = &console;
    g_log.file = &file;
    try {
        step();
    } catch (const std::exception& error) {
        outcome.error = error.what();
    }
    g_log = saved;
    outcome.log = console.str();
    EXPECT_EQ(file.str(), outcome.log);
    return outcome;
}

PatchOutcome PatchSaveFile(const std::filesystem::path& save, PatchPlan plan,
                           const PatchOptions& options) {
    if (!options.file_size_limit && !options.journal) {
        return RunHere(save, plan, options.mode, false);
    }
#ifdef _WIN32
    // No fork there; see SharedFileSizeLimit for a limit.
    return {"", "file_size_limit and journal are POSIX only"};
#else
    return RunInChild([&] {
        if (options.file_size_limit) {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit;
            limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(*options.file_size_limit);
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return PatchOutcome{"", "setrlimit failed"};
        }
        return RunHere(save, plan, options.mode, options.journal);
    });
#endif
}

GvarRequest Add(int32_t index, int32_t value) { return Request(index, value, GvarAction::Add); }
GvarRequest Change(int32_t index, int32_t value) {
    return Request(index, value, GvarAction::Change);
}
GvarRequest Remove(int32_t index, int32_t value) {
    return Request(index, value, GvarAction::Remove);
}

PatchPlan MakePlan(const std::vector<GvarRequest>& requests) {
    PatchPlan plan;
    for (const GvarRequest& request : requests) plan.append(request);
    return plan;
}

std::vector<int32_t> EntriesAt(const std::string& bytes, size_t offset, size_t count) {
    std::vector<int32_t> entries;
    for (size_t i = 0; i < count && offset + 4 * i + 4 <= bytes.size(); ++i) {
        const auto* b = reinterpret_cast<const uint8_t*>(bytes.data() + offset + 4 * i);
        entries.push_back(static_cast<int32_t>(ReadLittleEndian32(b)));
    }
    return entries;
}
