// seam_log.h - the log of a run's calls through the fault seam, written by
// gvplatform_faults (fault_control.cpp) when GVTOOL_FAULT_LOG names a file
// and read back by the power-loss test. Written and read on one machine:
// numbers in its own byte order.
//
// One record per call, in the order made (record i is call i + 1, as
// GVTOOL_FAULT_AT counts them): the head, then name_size bytes of name,
// to_size bytes of to, and for a Write size bytes of what it wrote. Names
// are relative to the run's working folder when they lie in it. A call on
// a stream names the file beneath it; its offset is the stream's position
// (where a Write lands). A call the fault plan failed or ended the process
// at is not recorded: it did nothing.
#pragma once

#include <cstdint>

#include "platform/fault_seam.h"

struct SeamLogHead {
    uint32_t kind = 0;  // a SeamCallKind
    uint32_t name_size = 0;
    uint32_t to_size = 0;
    uint32_t unused = 0;
    int64_t offset = 0;
    int64_t size = 0;  // as SeamCall::size
};
