// open.cpp - regular files by UTF-8 name and file identity: open,
// stat and ftruncate on POSIX systems, CreateFileW and the handle's file
// information on Windows.
#include "platform/open.h"

#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/path.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32

namespace {

bool FileIdentity(HANDLE handle, BY_HANDLE_FILE_INFORMATION* information) {
    return handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, information);
}

}  // namespace

FILE* OpenRegularFileUtf8(const std::string& name, const char* mode) {
    const bool update = std::strchr(mode, '+') != nullptr;
    const bool append = mode[0] == 'a';
    if (!append && mode[0] != 'r') return nullptr;
    const DWORD access =
        update ? GENERIC_READ | GENERIC_WRITE : append ? GENERIC_WRITE : GENERIC_READ;
    int flags = update ? _O_RDWR : append ? _O_WRONLY : _O_RDONLY;
    if (append) flags |= _O_APPEND;
    flags |= std::strchr(mode, 'b') ? _O_BINARY : _O_TEXT;
    const std::wstring wide_name = WideFromUtf8(name);
    if (wide_name.empty()) return nullptr;
    // The sharing _wfopen grants, so other programs see the file as before.
    HANDLE handle =
        CreateFileW(wide_name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    append ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    // CON, NUL, COM1 and pipes are not disk files: reading them waits for a
    // keyboard, a line or a writer, or yields nothing real.
    const int descriptor = GetFileType(handle) == FILE_TYPE_DISK
                               ? _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags)
                               : -1;
    if (descriptor < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE* stream = _fdopen(descriptor, mode);
    if (!stream) _close(descriptor);
    return stream;
}

bool IsSameFile(FILE* stream, const std::string& name) {
    const std::wstring wide_name = WideFromUtf8(name);
    if (wide_name.empty()) return false;
    // No access asked: this only reads the identity, and works on a file
    // that another handle has locked.
    HANDLE named = CreateFileW(wide_name.c_str(), 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION open_file = {};
    BY_HANDLE_FILE_INFORMATION named_file = {};
    const bool same =
        FileIdentity(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), &open_file) &&
        FileIdentity(named, &named_file) &&
        open_file.dwVolumeSerialNumber == named_file.dwVolumeSerialNumber &&
        open_file.nFileIndexHigh == named_file.nFileIndexHigh &&
        open_file.nFileIndexLow == named_file.nFileIndexLow;
    CloseHandle(named);
    return same;
}

bool EmptyStreamFile(FILE* stream) {
    return fflush(stream) == 0 && _chsize(_fileno(stream), 0) == 0;
}

#else

FILE* OpenRegularFileUtf8(const std::string& name, const char* mode) {
    const bool update = std::strchr(mode, '+') != nullptr;
    const bool append = mode[0] == 'a';
    if (!append && mode[0] != 'r') return nullptr;
    int flags = update ? O_RDWR : append ? O_WRONLY : O_RDONLY;
    if (append) flags |= O_CREAT | O_APPEND;
    // Opening a FIFO for reading waits for a writer, and opening a device
    // may act on it: neither is opened at all.
    struct stat status;
    if (stat(name.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) return nullptr;
    const int descriptor = open(name.c_str(), flags | O_NONBLOCK, 0666);
    if (descriptor < 0) return nullptr;
    const int status_flags = fcntl(descriptor, F_GETFL);
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || status_flags < 0 ||
        fcntl(descriptor, F_SETFL, status_flags & ~O_NONBLOCK) != 0) {
        close(descriptor);
        return nullptr;
    }
    FILE* stream = fdopen(descriptor, mode);
    if (!stream) close(descriptor);
    return stream;
}

bool IsSameFile(FILE* stream, const std::string& name) {
    struct stat open_file;
    struct stat named_file;
    const int descriptor = fileno(stream);
    return descriptor >= 0 && fstat(descriptor, &open_file) == 0 &&
           stat(name.c_str(), &named_file) == 0 && open_file.st_dev == named_file.st_dev &&
           open_file.st_ino == named_file.st_ino;
}

bool EmptyStreamFile(FILE* stream) {
    const int descriptor = fileno(stream);
    return fflush(stream) == 0 && descriptor >= 0 && ftruncate(descriptor, 0) == 0;
}

#endif
