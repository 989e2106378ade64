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
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/fault_seam.h"

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

// Built before main and written out after it returns.
FaultPlan g_fault_plan;

}  // namespace

bool PlatformFaultDue() { return g_fault_plan.due(); }
