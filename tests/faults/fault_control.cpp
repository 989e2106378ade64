// fault_control.cpp - the fault seam's other side, in gvtool_faults only:
// the k-th call through the seam fails with the errno asked for, and the
// number of calls made is left in a file for the test.
//   GVTOOL_FAULT_AT     k, the call that fails (1 is the first); 0 or unset: none
//   GVTOOL_FAULT_ERRNO  the errno it fails with (default EIO)
//   GVTOOL_FAULT_COUNT  file that receives the number of calls at exit
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform_file.h"

namespace {

class FaultPlan {
public:
    FaultPlan() {
        if (const char* at = getenv("GVTOOL_FAULT_AT")) fail_at = strtol(at, nullptr, 10);
        if (const char* error = getenv("GVTOOL_FAULT_ERRNO")) {
            fail_errno = static_cast<int>(strtol(error, nullptr, 10));
        }
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
        if (++calls != fail_at) return false;
        errno = fail_errno;
        return true;
    }

private:
    long fail_at = 0;
    int fail_errno = EIO;
    long calls = 0;
    std::string count_file;
};

// Built before main and written out after it returns.
FaultPlan g_fault_plan;

}  // namespace

bool PlatformFaultDue() { return g_fault_plan.due(); }
