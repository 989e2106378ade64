// file.cpp - the file beneath a C stream: a descriptor with
// posix_fallocate, ftruncate and fsync on POSIX systems, the handle beneath
// it on Windows. Each system call asks the fault seam first (file.h).
#include "platform/file.h"

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32

namespace {

HANDLE HandleOf(FILE* stream) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

}  // namespace

bool FileSizeBeneath(FILE* stream, int64_t* size) {
    HANDLE handle = HandleOf(stream);
    if (handle == INVALID_HANDLE_VALUE) return false;
    DWORD high = 0;
    DWORD low = GetFileSize(handle, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    *size = static_cast<int64_t>(static_cast<uint64_t>(high) << 32 | low);
    return true;
}

bool StreamFileSize(FILE* stream, int64_t* size) {
    if (StreamFlush(stream) != 0) return false;
    return !PlatformFaultDue() && FileSizeBeneath(stream, size);
}

bool GrowStreamFile(FILE* stream, int64_t old_size, int32_t growth) {
    if (StreamFlush(stream) != 0) return false;
    HANDLE handle = HandleOf(stream);
    if (handle == INVALID_HANDLE_VALUE || PlatformFaultDue()) return false;
    SetLastError(NO_ERROR);
    if (SetFilePointer(handle, growth, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR) {
        return false;
    }
    if (PlatformFaultDue() || !SetEndOfFile(handle)) return false;
    int64_t size = 0;
    return !PlatformFaultDue() && FileSizeBeneath(stream, &size) && size == old_size + growth;
}

bool CutStreamFile(FILE* stream, int64_t size) {
    if (StreamFlush(stream) != 0) return false;
    HANDLE handle = HandleOf(stream);
    if (handle == INVALID_HANDLE_VALUE || PlatformFaultDue()) return false;
    LARGE_INTEGER position;
    position.QuadPart = size;
    return SetFilePointerEx(handle, position, nullptr, FILE_BEGIN) && SetEndOfFile(handle);
}

bool SyncStreamFile(FILE* stream) {
    if (StreamFlush(stream) != 0) return false;
    HANDLE handle = HandleOf(stream);
    return handle != INVALID_HANDLE_VALUE && !PlatformFaultDue() && FlushFileBuffers(handle);
}

#else

bool FileSizeBeneath(FILE* stream, int64_t* size) {
    struct stat status;
    const int descriptor = fileno(stream);
    if (descriptor < 0 || fstat(descriptor, &status) != 0) return false;
    *size = static_cast<int64_t>(status.st_size);
    return true;
}

bool StreamFileSize(FILE* stream, int64_t* size) {
    if (StreamFlush(stream) != 0) return false;
    return !PlatformFaultDue() && FileSizeBeneath(stream, size);
}

bool GrowStreamFile(FILE* stream, int64_t old_size, int32_t growth) {
    if (StreamFlush(stream) != 0) return false;
    const int descriptor = fileno(stream);
    if (descriptor < 0 || PlatformFaultDue()) return false;
    const int64_t new_size = old_size + growth;
    // Reserved, not sparse: a full disk refuses here, before anything moved.
    // glibc emulates the call where the file system lacks it; only where
    // even that cannot work is the file grown sparse.
    int error;
    do {
        error = posix_fallocate(descriptor, static_cast<off_t>(old_size), static_cast<off_t>(growth));
    } while (error == EINTR);
    if (error == EINVAL || error == EOPNOTSUPP) {
        if (ftruncate(descriptor, static_cast<off_t>(new_size)) != 0) return false;
    } else if (error != 0) {
        errno = error;
        return false;
    }
    struct stat status;
    return !PlatformFaultDue() && fstat(descriptor, &status) == 0 &&
           static_cast<int64_t>(status.st_size) == new_size;
}

bool CutStreamFile(FILE* stream, int64_t size) {
    if (StreamFlush(stream) != 0) return false;
    const int descriptor = fileno(stream);
    return descriptor >= 0 && !PlatformFaultDue() &&
           ftruncate(descriptor, static_cast<off_t>(size)) == 0;
}

bool SyncStreamFile(FILE* stream) {
    if (StreamFlush(stream) != 0) return false;
    const int descriptor = fileno(stream);
    if (descriptor < 0 || PlatformFaultDue()) return false;
    int result;
    do {
        result = fsync(descriptor);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

#endif
