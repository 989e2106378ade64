// file.h - where the SAVING phase and its journal reach the
// operating system: the stream calls they make, and the file beneath an open
// stream, whose size they read, grow and cut, and whose bytes they sync.
#pragma once

#include <cstdint>
#include <cstdio>

// A test build (GVTOOL_FAULT_INJECTION) supplies this to make the k-th call
// below, or of the journal's (patcher/journal.cpp), fail with errno set, or
// end the process there. In the product it is constant false, so every call
// is the system's own and the seam costs nothing.
#ifdef GVTOOL_FAULT_INJECTION
bool PlatformFaultDue();
#else
inline bool PlatformFaultDue() { return false; }
#endif

// fseek, ftell, fread, fwrite and fflush, with their results.
inline int StreamSeek(FILE* stream, long offset, int origin) {
    return PlatformFaultDue() ? -1 : fseek(stream, offset, origin);
}
inline long StreamTell(FILE* stream) { return PlatformFaultDue() ? -1L : ftell(stream); }
inline size_t StreamRead(void* buffer, size_t size, size_t count, FILE* stream) {
    return PlatformFaultDue() ? 0 : fread(buffer, size, count, stream);
}
inline size_t StreamWrite(const void* buffer, size_t size, size_t count, FILE* stream) {
    return PlatformFaultDue() ? 0 : fwrite(buffer, size, count, stream);
}
inline int StreamFlush(FILE* stream) { return PlatformFaultDue() ? EOF : fflush(stream); }

// Stores the size of the file beneath the stream in *size, as the system
// sees it: no flush and no fault seam, for checks made before anything is
// written. Returns false when the stream has no file beneath it.
bool FileSizeBeneath(FILE* stream, int64_t* size);

// Flushes the stream and stores the size of the file beneath it in *size.
// Returns false when the stream has no file beneath it or the size cannot
// be read.
bool StreamFileSize(FILE* stream, int64_t* size);

// Flushes the stream and makes the file beneath it, old_size bytes long,
// exactly growth bytes longer; the new bytes may hold anything. The space is
// reserved on disk (posix_fallocate; SetEndOfFile allocates), so a full disk
// refuses the growth rather than a later write. Returns false when the
// system refuses or the size read back is not old_size + growth. Later reads
// and writes through the stream see the new size.
bool GrowStreamFile(FILE* stream, int64_t old_size, int32_t growth);

// Flushes the stream and sets the size of the file beneath it to size bytes,
// cutting off what lies beyond. Returns false when the system refuses.
bool CutStreamFile(FILE* stream, int64_t size);

// Flushes the stream and makes what it wrote durable: the file's bytes and
// size are on the disk when this returns true (fsync; FlushFileBuffers).
bool SyncStreamFile(FILE* stream);
