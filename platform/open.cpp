// open.cpp - opening by UTF-8 name: open and fopen on POSIX systems,
// CreateFileW, _wopen and _wfopen on Windows.
#include "platform/open.h"

#include <cstring>

#include "platform/fault_seam.h"
#include "platform/native.h"

namespace {

// The fopen mode with the letter that keeps the file from child processes.
std::string PrivateMode(const char* mode) {
#ifdef _WIN32
    return std::string(mode) + "N";
#else
    return std::string(mode) + "e";
#endif
}

// Stores why an open failed, when the caller asked; returns null so that a
// failing path reports and returns in one step.
FILE* Failed(OpenFailure* failure, OpenFailure why) {
    if (failure) *failure = why;
    return nullptr;
}

}  // namespace

#ifdef _WIN32

namespace {

bool IsFolderName(const std::wstring& wide_name) {
    const DWORD attributes = GetFileAttributesW(wide_name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A folder refuses to open as a file with "access denied": told apart here.
OpenFailure FailureOf(DWORD error, const std::wstring& wide_name) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_PATHNAME:
            return OpenFailure::NoSuchFile;
        case ERROR_FILENAME_EXCED_RANGE:
            return OpenFailure::NameTooLong;
        case ERROR_CANT_RESOLVE_FILENAME:  // a loop of links
            return OpenFailure::NotAFile;
        case ERROR_ACCESS_DENIED:
            return IsFolderName(wide_name) ? OpenFailure::IsFolder : OpenFailure::PermissionDenied;
        default:
            return IsFolderName(wide_name) ? OpenFailure::IsFolder : OpenFailure::Other;
    }
}

OpenFailure FailureOfErrno(int error, const std::wstring& wide_name) {
    if (IsFolderName(wide_name)) return OpenFailure::IsFolder;
    if (error == ENOENT) return OpenFailure::NoSuchFile;
    if (error == EACCES || error == EPERM || error == EROFS) return OpenFailure::PermissionDenied;
    return OpenFailure::Other;
}

}  // namespace

FILE* OpenRegularFileUtf8(const char* name, const char* mode, OpenFailure* failure) {
    const bool update = std::strchr(mode, '+') != nullptr;
    const bool append = mode[0] == 'a';
    if (!append && mode[0] != 'r') return Failed(failure, OpenFailure::Other);
    const DWORD access =
        update ? GENERIC_READ | GENERIC_WRITE : append ? GENERIC_WRITE : GENERIC_READ;
    int flags = update ? _O_RDWR : append ? _O_WRONLY : _O_RDONLY;
    if (append) flags |= _O_APPEND;
    flags |= std::strchr(mode, 'b') ? _O_BINARY : _O_TEXT;
    const std::wstring wide_name = WideFromUtf8(name);
    if (wide_name.empty()) return Failed(failure, OpenFailure::NoSuchFile);
    // The sharing _wfopen grants, so other programs see the file as before;
    // no security attributes, so the handle is not inheritable.
    HANDLE handle =
        CreateFileW(wide_name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    append ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return Failed(failure, FailureOf(GetLastError(), wide_name));
    // CON, NUL, COM1 and pipes are not disk files: reading them waits for a
    // keyboard, a line or a writer, or yields nothing real.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return Failed(failure, OpenFailure::NotAFile);
    }
    const int descriptor =
        _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_NOINHERIT);
    if (descriptor < 0) {
        CloseHandle(handle);
        return Failed(failure, OpenFailure::Other);
    }
    FILE* stream = _fdopen(descriptor, mode);
    if (!stream) {
        _close(descriptor);
        return Failed(failure, OpenFailure::Other);
    }
    return stream;
}

FILE* OpenFileUtf8(const std::string& name, const char* mode, OpenFailure* failure) {
    if (PlatformFaultDue()) return Failed(failure, OpenFailure::Other);
    const std::wstring wide_name = WideFromUtf8(name.c_str());
    const std::wstring wide_mode = WideFromUtf8(PrivateMode(mode).c_str());
    if (wide_name.empty() || wide_mode.empty()) return Failed(failure, OpenFailure::NoSuchFile);
    FILE* stream = _wfopen(wide_name.c_str(), wide_mode.c_str());
    if (!stream) return Failed(failure, FailureOfErrno(errno, wide_name));
    return stream;
}

void UseBinaryMode(FILE* stream) {
    fflush(stream);
    (void)_setmode(_fileno(stream), _O_BINARY);
}

FILE* CreateNewFileUtf8(const std::string& name) {
    if (PlatformFaultDue({SeamCallKind::Create, name.c_str()})) return nullptr;
    const std::wstring wide_name = WideFromUtf8(name.c_str());
    if (wide_name.empty()) return nullptr;
    // The C runtime's fopen has no exclusive mode on every Windows version,
    // and its opens keep an open file from being renamed.
    HANDLE handle = CreateFileW(wide_name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        errno = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? EEXIST : EACCES;
        return nullptr;
    }
    const int descriptor =
        _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY | _O_NOINHERIT);
    if (descriptor < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE* stream = _fdopen(descriptor, "w+b");
    if (!stream) _close(descriptor);
    return stream;
}

#else

namespace {

OpenFailure FailureOfErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return OpenFailure::NoSuchFile;
        case ENAMETOOLONG:
            return OpenFailure::NameTooLong;
        case ELOOP:  // a loop of links
            return OpenFailure::NotAFile;
        case EACCES:
        case EPERM:
        case EROFS:
            return OpenFailure::PermissionDenied;
        case EISDIR:
            return OpenFailure::IsFolder;
        default:
            return OpenFailure::Other;
    }
}

OpenFailure FailureOfStatus(const struct stat& status) {
    return S_ISDIR(status.st_mode) ? OpenFailure::IsFolder : OpenFailure::NotAFile;
}

// A stream on the open descriptor, or null with the descriptor closed and
// errno as the failure left it.
FILE* StreamOn(int descriptor, const char* mode) {
    if (descriptor < 0) return nullptr;
    FILE* stream = fdopen(descriptor, mode);
    if (!stream) {
        const int error = errno;
        close(descriptor);
        errno = error;
    }
    return stream;
}

}  // namespace

FILE* OpenRegularFileUtf8(const char* name, const char* mode, OpenFailure* failure) {
    const bool update = std::strchr(mode, '+') != nullptr;
    const bool append = mode[0] == 'a';
    if (!append && mode[0] != 'r') return Failed(failure, OpenFailure::Other);
    int flags = update ? O_RDWR : append ? O_WRONLY : O_RDONLY;
    if (append) flags |= O_CREAT | O_APPEND;
    // Opening a FIFO for reading waits for a writer, and opening a device
    // may act on it: neither is opened at all.
    struct stat status;
    if (stat(name, &status) == 0 && !S_ISREG(status.st_mode)) {
        return Failed(failure, FailureOfStatus(status));
    }
    const int descriptor = open(name, flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (descriptor < 0) return Failed(failure, FailureOfErrno(errno));
    // The name may have changed between the stat and the open.
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        const bool known = fstat(descriptor, &status) == 0;
        close(descriptor);
        return Failed(failure, known ? FailureOfStatus(status) : OpenFailure::Other);
    }
    const int status_flags = fcntl(descriptor, F_GETFL);
    if (status_flags < 0 || fcntl(descriptor, F_SETFL, status_flags & ~O_NONBLOCK) != 0) {
        close(descriptor);
        return Failed(failure, OpenFailure::Other);
    }
    FILE* stream = StreamOn(descriptor, mode);
    return stream ? stream : Failed(failure, OpenFailure::Other);
}

FILE* OpenFileUtf8(const std::string& name, const char* mode, OpenFailure* failure) {
    if (PlatformFaultDue()) return Failed(failure, OpenFailure::Other);
    FILE* stream = fopen(name.c_str(), PrivateMode(mode).c_str());
    return stream ? stream : Failed(failure, FailureOfErrno(errno));
}

void UseBinaryMode(FILE*) {}

FILE* CreateNewFileUtf8(const std::string& name) {
    if (PlatformFaultDue({SeamCallKind::Create, name.c_str()})) return nullptr;
    return StreamOn(open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666), "w+b");
}

#endif

FILE* OpenExistingFileUtf8(const std::string& name, const char* mode, OpenFailure* failure) {
    *failure = OpenFailure::None;
    if (mode[0] != 'r' || PlatformFaultDue()) return Failed(failure, OpenFailure::Other);
    return OpenRegularFileUtf8(name.c_str(), mode, failure);
}
