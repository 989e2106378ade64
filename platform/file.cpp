// file.cpp - the file beneath a C stream: a descriptor with
// posix_fallocate, ftruncate and fsync on POSIX systems, the handle beneath
// it on Windows.
#include "platform/file.h"

#include <climits>
#include <cstring>

#include "platform/fault_seam.h"
#include "platform/native.h"

int StreamSeek(FILE* stream, long offset, int origin) {
    return PlatformFaultDue() ? -1 : fseek(stream, offset, origin);
}

long StreamTell(FILE* stream) { return PlatformFaultDue() ? -1L : ftell(stream); }

size_t StreamRead(void* buffer, size_t size, size_t count, FILE* stream) {
    return PlatformFaultDue() ? 0 : fread(buffer, size, count, stream);
}

size_t StreamWrite(const void* buffer, size_t size, size_t count, FILE* stream) {
    const SeamCall call(SeamCallKind::Write, stream, buffer, static_cast<int64_t>(size * count));
    return PlatformFaultDue(call) ? 0 : fwrite(buffer, size, count, stream);
}

int StreamFlush(FILE* stream) { return PlatformFaultDue() ? EOF : fflush(stream); }

int64_t ReadFromStream(FILE* stream, void* buffer, size_t length) {
    char* bytes = static_cast<char*>(buffer);
    size_t used = 0;
    const int result = RetryOnInterrupt([&] {
        used += fread(bytes + used, 1, length - used, stream);
        if (!ferror(stream)) return 0;  // all of it, or the end of the file
        clearerr(stream);
        return -1;
    });
    return result == 0 ? static_cast<int64_t>(used) : -1;
}

bool StreamFileSize(FILE* stream, int64_t* size) {
    if (StreamFlush(stream) != 0) return false;
    return !PlatformFaultDue() && FileSizeBeneath(stream, size);
}

namespace {

bool CutBeneath(FILE* stream, int64_t size);

}  // namespace

bool CutStreamFile(FILE* stream, int64_t size) {
    return StreamFlush(stream) == 0 &&
           !PlatformFaultDue({SeamCallKind::Resize, stream, nullptr, size}) &&
           CutBeneath(stream, size);
}

bool EmptyStreamFile(FILE* stream) { return fflush(stream) == 0 && CutBeneath(stream, 0); }

#ifdef _WIN32

namespace {

bool CutBeneath(FILE* stream, int64_t size) {
    HANDLE handle = HandleOf(stream);
    LARGE_INTEGER position;
    position.QuadPart = size;
    return handle != INVALID_HANDLE_VALUE && SetFilePointerEx(handle, position, nullptr, FILE_BEGIN) &&
           SetEndOfFile(handle);
}

}  // namespace

bool FileSizeBeneath(FILE* stream, int64_t* size) {
    HANDLE handle = HandleOf(stream);
    LARGE_INTEGER length;
    if (handle == INVALID_HANDLE_VALUE || !GetFileSizeEx(handle, &length)) return false;
    *size = static_cast<int64_t>(length.QuadPart);
    return true;
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
    if (PlatformFaultDue({SeamCallKind::Resize, stream, nullptr, old_size + growth}) ||
        !SetEndOfFile(handle)) {
        return false;
    }
    int64_t size = 0;
    return !PlatformFaultDue() && FileSizeBeneath(stream, &size) && size == old_size + growth;
}

bool SyncStreamFile(FILE* stream) {
    if (StreamFlush(stream) != 0) return false;
    HANDLE handle = HandleOf(stream);
    return handle != INVALID_HANDLE_VALUE && !PlatformFaultDue({SeamCallKind::SyncFile, stream}) &&
           FlushFileBuffers(handle);
}

bool SyncFolderOf(const std::string& file) {
    return !PlatformFaultDue({SeamCallKind::SyncFolder, file.c_str()});
}

bool FileLinkCount(FILE* stream, uint64_t* links) {
    BY_HANDLE_FILE_INFORMATION information;
    HANDLE handle = HandleOf(stream);
    if (PlatformFaultDue() || handle == INVALID_HANDLE_VALUE ||
        !GetFileInformationByHandle(handle, &information)) {
        return false;
    }
    *links = information.nNumberOfLinks;
    return true;
}

#else

namespace {

bool CutBeneath(FILE* stream, int64_t size) {
    const int descriptor = fileno(stream);
    return descriptor >= 0 && ftruncate(descriptor, static_cast<off_t>(size)) == 0;
}

// fsync through the descriptor; a signal never fails it.
bool SyncDescriptor(int descriptor) {
    return RetryOnInterrupt([descriptor] { return fsync(descriptor); }) == 0;
}

}  // namespace

bool FileSizeBeneath(FILE* stream, int64_t* size) {
    struct stat status;
    const int descriptor = fileno(stream);
    if (descriptor < 0 || fstat(descriptor, &status) != 0) return false;
    *size = static_cast<int64_t>(status.st_size);
    return true;
}

bool GrowStreamFile(FILE* stream, int64_t old_size, int32_t growth) {
    if (StreamFlush(stream) != 0) return false;
    const int descriptor = fileno(stream);
    if (descriptor < 0 ||
        PlatformFaultDue({SeamCallKind::Resize, stream, nullptr, old_size + growth})) {
        return false;
    }
    const int64_t new_size = old_size + growth;
    // Reserved, not sparse: a full disk refuses here, before anything moved.
    // glibc emulates the call where the file system lacks it; only where
    // even that cannot work is the file grown sparse.
    const int reserved = RetryOnInterrupt([&] {
        const int error =
            posix_fallocate(descriptor, static_cast<off_t>(old_size), static_cast<off_t>(growth));
        if (error != 0) errno = error;  // returned, not set
        return error == 0 ? 0 : -1;
    });
    if (reserved != 0 && (errno == EINVAL || errno == EOPNOTSUPP)) {
        if (ftruncate(descriptor, static_cast<off_t>(new_size)) != 0) return false;
    } else if (reserved != 0) {
        return false;
    }
    struct stat status;
    return !PlatformFaultDue() && fstat(descriptor, &status) == 0 &&
           static_cast<int64_t>(status.st_size) == new_size;
}

bool SyncStreamFile(FILE* stream) {
    if (StreamFlush(stream) != 0) return false;
    const int descriptor = fileno(stream);
    return descriptor >= 0 && !PlatformFaultDue({SeamCallKind::SyncFile, stream}) &&
           SyncDescriptor(descriptor);
}

// File systems that cannot sync a folder say EINVAL: nothing to do there.
bool SyncFolderOf(const std::string& file) {
    if (PlatformFaultDue({SeamCallKind::SyncFolder, file.c_str()})) return false;
    // The folder's name goes through a buffer of the system's own limit: a
    // longer one cannot be opened anyway.
    char folder[PATH_MAX];
    const size_t slash = file.find_last_of('/');
    if (slash == std::string::npos) {
        std::strcpy(folder, ".");
    } else if (slash == 0) {
        std::strcpy(folder, "/");
    } else if (slash < sizeof folder) {
        file.copy(folder, slash);
        folder[slash] = '\0';
    } else {
        errno = ENAMETOOLONG;
        return false;
    }
    const int descriptor = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return false;
    const bool synced = SyncDescriptor(descriptor) || errno == EINVAL;
    close(descriptor);
    return synced;
}

bool FileLinkCount(FILE* stream, uint64_t* links) {
    struct stat status;
    const int descriptor = fileno(stream);
    if (PlatformFaultDue() || descriptor < 0 || fstat(descriptor, &status) != 0) return false;
    *links = static_cast<uint64_t>(status.st_nlink);
    return true;
}

#endif
