// fault_control.cpp - the fault seam's other side, in gvplatform_faults only:
// from the k-th call through the seam on, calls fail with the errno asked
// for, or the process ends at once at the k-th call as if killed; the number
// of calls made is left in a file for the test.
//   GVTOOL_FAULT_AT     k, the first call that fails (1 is the first); 0 or unset: none
//   GVTOOL_FAULT_RUN    how many calls fail from k on (default 1)
//   GVTOOL_FAULT_ERRNO  the errno they fail with (default EIO)
//   GVTOOL_FAULT_CRASH  1: the k-th call ends the process with _exit(FAULT_CRASH_STATUS)
//                       instead: no stream is flushed, no file closed, nothing synced
//   GVTOOL_FAULT_COUNT  file that receives the number of calls at exit
//   GVTOOL_FAULT_LOG    file that receives what each call that goes ahead does
//                       (seam_log.h), for the power-loss test to replay
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/fault_seam.h"
#include "seam_log.h"

namespace {

long FromEnvironment(const char* name, long fallback) {
    const char* value = getenv(name);
    return value && *value ? strtol(value, nullptr, 10) : fallback;
}

class FaultPlan {
public:
    FaultPlan()
        : fail_at(FromEnvironment("GVTOOL_FAULT_AT", 0)),
          fail_run(FromEnvironment("GVTOOL_FAULT_RUN", 1)),
          fail_errno(static_cast<int>(FromEnvironment("GVTOOL_FAULT_ERRNO", EIO))),
          crash(FromEnvironment("GVTOOL_FAULT_CRASH", 0) == 1) {
        if (const char* file = getenv("GVTOOL_FAULT_COUNT")) count_file = file;
    }
    ~FaultPlan() {
        if (count_file.empty()) return;
        if (FILE* out = fopen(count_file.c_str(), "w")) {
            fprintf(out, "%ld\n", calls);
            fclose(out);
        }
    }

    bool due() {
        ++calls;
        if (fail_at <= 0 || calls < fail_at || calls >= fail_at + fail_run) return false;
        if (crash) _exit(FAULT_CRASH_STATUS);
        errno = fail_errno;
        return true;
    }

private:
    long fail_at;
    long fail_run;
    int fail_errno;
    bool crash;
    long calls = 0;
    std::string count_file;
};

// Writes each call to the log as it is made, unbuffered, so that a run
// ended at a call has logged every call before it. A log that cannot be
// written is said on standard error, which fails the test that asked.
class SeamRecorder {
public:
    SeamRecorder() {
        const char* file = getenv("GVTOOL_FAULT_LOG");
        if (!file || !*file) return;
        descriptor_ = open(file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        char folder[PATH_MAX];
        if (descriptor_ < 0 || !getcwd(folder, sizeof folder)) fail();
        folder_ = std::string(folder) + "/";
    }
    ~SeamRecorder() {
        if (descriptor_ >= 0) close(descriptor_);
    }
    SeamRecorder(const SeamRecorder&) = delete;
    SeamRecorder& operator=(const SeamRecorder&) = delete;

    void record(const SeamCall& call) {
        if (descriptor_ < 0) return;
        SeamLogHead head;
        head.kind = static_cast<uint32_t>(call.kind);
        head.size = call.size;
        std::string name;
        const std::string to = call.to ? in_folder(call.to) : std::string();
        if (call.stream) {
            name = file_beneath(call.stream);
            head.offset = ftell(call.stream);
        } else if (call.name) {
            name = in_folder(call.name);
        }
        head.name_size = static_cast<uint32_t>(name.size());
        head.to_size = static_cast<uint32_t>(to.size());
        std::string bytes(reinterpret_cast<const char*>(&head), sizeof head);
        bytes += name + to;
        if (call.kind == SeamCallKind::Write && call.size > 0) {
            bytes.append(static_cast<const char*>(call.bytes), static_cast<size_t>(call.size));
        }
        for (size_t done = 0; done < bytes.size();) {
            const ssize_t wrote = write(descriptor_, bytes.data() + done, bytes.size() - done);
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote <= 0) fail();
            done += static_cast<size_t>(wrote);
        }
    }

private:
    [[noreturn]] void fail() {
        static const char text[] = "fault control: can't write the seam log\n";
        (void)!::write(STDERR_FILENO, text, sizeof text - 1);
        _exit(125);
    }

    // The name relative to the working folder when it lies in it.
    std::string in_folder(const std::string& name) const {
        return name.compare(0, folder_.size(), folder_) == 0 ? name.substr(folder_.size()) : name;
    }

    // The file's path as the system has it now: renames followed.
    std::string file_beneath(FILE* stream) const {
        const std::string link = "/proc/self/fd/" + std::to_string(fileno(stream));
        char path[PATH_MAX];
        const ssize_t length = readlink(link.c_str(), path, sizeof path);
        return length > 0 ? in_folder(std::string(path, static_cast<size_t>(length))) : link;
    }

    int descriptor_ = -1;
    std::string folder_;
};

// Built before main and written out after it returns.
FaultPlan g_fault_plan;
SeamRecorder g_seam_recorder;

}  // namespace

bool PlatformFaultDue(const SeamCall& call) {
    if (g_fault_plan.due()) return true;
    g_seam_recorder.record(call);
    return false;
}
