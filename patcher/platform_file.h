// platform_file.h - the one place where the SAVING phase reaches the
// operating system: the stream calls it makes, and the size of the file
// beneath an open stream, which it reads and grows.
#pragma once

#include <cstdint>
#include <cstdio>

// A test build (GVTOOL_FAULT_INJECTION) supplies this to make the k-th call
// below fail with errno set. In the product it is constant false, so every
// call is the C library's own and the seam costs nothing.
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
// exactly growth bytes longer; the new bytes may hold anything. Returns false
// when the system refuses or the size read back is not old_size + growth.
// Later reads and writes through the stream see the new size.
bool GrowStreamFile(FILE* stream, int64_t old_size, int32_t growth);
