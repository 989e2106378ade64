// fault_seam.h - where a test build makes the operating system fail. Each
// call of file.h that reaches the save, its journal or its undo record once
// a run has begun (the save's link count included), and each open,
// creation, rename and removal by name (open.h, path.h), asks
// PlatformFaultDue first and fails, errno set, when it says so. The
// regular-file opens of the save, the log and the configuration, locks and
// identity tests, and the reads of a file that nothing changes, ask nothing.
#pragma once

#include <cstdint>
#include <cstdio>

// What the call asking is about to do to the files, so that a test can
// replay it and work out what a power loss could leave. Calls that change
// nothing on the disk (seeks, reads, flushes, opens of existing files, size
// reads) are Other: a flush only hands bytes to the system, which may still
// lose them.
enum class SeamCallKind : uint8_t {
    Other,
    Write,       // stream: size bytes at its position
    Resize,      // stream: its file's size becomes size (grown or cut)
    SyncFile,    // stream: its file's bytes and size are durable
    Create,      // name: a new, empty file
    Remove,      // name
    Rename,      // name becomes to, replacing a file there
    SyncFolder,  // name: the entries of the folder holding it are durable
};

struct SeamCall {
    constexpr SeamCall() = default;
    // A call on the file beneath an open stream.
    constexpr SeamCall(SeamCallKind call_kind, FILE* call_stream, const void* call_bytes = nullptr,
                       int64_t call_size = 0)
        : kind(call_kind), stream(call_stream), bytes(call_bytes), size(call_size) {}
    // A call by UTF-8 name.
    constexpr SeamCall(SeamCallKind call_kind, const char* call_name, const char* call_to = nullptr)
        : kind(call_kind), name(call_name), to(call_to) {}

    SeamCallKind kind = SeamCallKind::Other;
    FILE* stream = nullptr;
    const void* bytes = nullptr;
    int64_t size = 0;
    const char* name = nullptr;
    const char* to = nullptr;
};

// The fault variant of the library (built with GVTOOL_FAULT_INJECTION, only
// for the fault tests) asks the test's control, which may also end the
// process there, and records the call. Everywhere else the answer is
// constant false: the calls are the system's own and the seam, the
// description included, costs nothing.
#ifdef GVTOOL_FAULT_INJECTION
bool PlatformFaultDue(const SeamCall& call = SeamCall());
#else
inline bool PlatformFaultDue(const SeamCall& /*call*/ = SeamCall()) { return false; }
#endif
