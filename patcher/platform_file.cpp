// platform_file.cpp - file size and growth beneath a C stream: a descriptor
// with ftruncate on POSIX systems, the handle beneath it on Windows. Each
// system call asks the fault seam first (platform_file.h).
#include "platform_file.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
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
    if (descriptor < 0) return false;
    const int64_t new_size = old_size + growth;
    if (PlatformFaultDue() || ftruncate(descriptor, static_cast<off_t>(new_size)) != 0) {
        return false;
    }
    struct stat status;
    return !PlatformFaultDue() && fstat(descriptor, &status) == 0 && static_cast<int64_t>(status.st_size) == new_size;
}

#endif
