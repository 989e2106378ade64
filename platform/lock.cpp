// lock.cpp - flock on POSIX systems, LockFileEx on Windows.
#include "platform/lock.h"

#include "platform/native.h"

#ifdef _WIN32

LockResult LockStream(FILE* stream) {
    HANDLE handle = HandleOf(stream);
    if (handle == INVALID_HANDLE_VALUE) return LockResult::Unsupported;
    OVERLAPPED from_start = {};
    // The whole range a file can have, so bytes added by growth are covered.
    if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                   MAXDWORD, &from_start)) {
        return LockResult::Locked;
    }
    const DWORD error = GetLastError();
    return error == ERROR_LOCK_VIOLATION || error == ERROR_SHARING_VIOLATION
               ? LockResult::HeldElsewhere
               : LockResult::Unsupported;
}

bool ReadRefusedByLock(FILE* stream) {
    HANDLE handle = HandleOf(stream);
    if (handle == INVALID_HANDLE_VALUE) return false;
    char probe = 0;
    DWORD got = 0;
    OVERLAPPED from_start = {};  // offset 0: a run's lock covers the whole file
    if (ReadFile(handle, &probe, 1, &got, &from_start)) return false;
    return GetLastError() == ERROR_LOCK_VIOLATION;
}

#else

LockResult LockStream(FILE* stream) {
    const int descriptor = fileno(stream);
    if (descriptor < 0) return LockResult::Unsupported;
    if (RetryOnInterrupt([descriptor] { return flock(descriptor, LOCK_EX | LOCK_NB); }) == 0) {
        return LockResult::Locked;
    }
    return errno == EWOULDBLOCK ? LockResult::HeldElsewhere : LockResult::Unsupported;
}

bool ReadRefusedByLock(FILE* /*stream*/) { return false; }

#endif
