// fault_seam.h - where a test build makes the operating system fail. Each
// call of file.h that reaches the save, its journal or its undo record once
// a run has begun (the save's link count included), and each open,
// creation, rename and removal by name (open.h, path.h), asks
// PlatformFaultDue first and fails, errno set, when it says so. The
// regular-file opens of the save, the log and the configuration, locks and
// identity tests, and the reads of a file that nothing changes, ask nothing.
#pragma once

// The fault variant of the library (built with GVTOOL_FAULT_INJECTION, only
// for the fault tests) asks the test's control, which may also end the
// process there. Everywhere else the answer is constant false: the calls
// are the system's own and the seam costs nothing.
#ifdef GVTOOL_FAULT_INJECTION
bool PlatformFaultDue();
#else
inline bool PlatformFaultDue() { return false; }
#endif
