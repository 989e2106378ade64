// lock.h - exclusive use of a file for a whole run, so that two
// runs never patch one save (or write one log) at the same time.
#pragma once

#include <cstdio>

enum class LockResult {
    Locked,         // this process holds the file until the stream closes
    HeldElsewhere,  // another process holds it
    Unsupported,    // the file system cannot lock: used without the lock
};

// Takes an exclusive, non-blocking lock on the whole file beneath the stream
// (grown bytes included); it lasts until the stream is closed.
LockResult LockStream(FILE* stream);

// Whether reading the file beneath the stream is refused because another
// process holds a lock on it. Only Windows locks refuse reads; elsewhere
// locks are advisory and this is always false.
bool ReadRefusedByLock(FILE* stream);
