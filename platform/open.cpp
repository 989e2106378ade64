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

}  // namespace

#ifdef _WIN32

namespace {

OpenOutcome OutcomeOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return OpenOutcome::Missing;
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_INVALID_NAME:
            return OpenOutcome::NameTooLong;
        case ERROR_CANT_RESOLVE_FILENAME:  // a loop of links
            return OpenOutcome::NotRegular;
        default:
            return OpenOutcome::Failed;
    }
}

// Opens the regular file in the fopen mode ('r' or 'a', with '+', 'b' or
// 't'); null with *outcome saying why not.
FILE* OpenRegular(const char* name, const char* mode, OpenOutcome* outcome) {
    *outcome = OpenOutcome::Failed;
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
    // A folder opens only with backup semantics: told apart before.
    const DWORD attributes = GetFileAttributesW(wide_name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES && !append) {
        *outcome = OutcomeOf(GetLastError());
        return nullptr;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *outcome = OpenOutcome::NotRegular;
        return nullptr;
    }
    // The sharing _wfopen grants, so other programs see the file as before;
    // no security attributes, so the handle is not inheritable.
    HANDLE handle =
        CreateFileW(wide_name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    append ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *outcome = OutcomeOf(GetLastError());
        return nullptr;
    }
    // CON, NUL, COM1 and pipes are not disk files: reading them waits for a
    // keyboard, a line or a writer, or yields nothing real.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        *outcome = OpenOutcome::NotRegular;
        return nullptr;
    }
    const int descriptor =
        _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_NOINHERIT);
    if (descriptor < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE* stream = _fdopen(descriptor, mode);
    if (!stream) {
        _close(descriptor);
        return nullptr;
    }
    *outcome = OpenOutcome::Opened;
    return stream;
}

}  // namespace

FILE* OpenFileUtf8(const std::string& name, const char* mode) {
    if (PlatformFaultDue()) return nullptr;
    const std::wstring wide_name = WideFromUtf8(name.c_str());
    const std::wstring wide_mode = WideFromUtf8(PrivateMode(mode).c_str());
    if (wide_name.empty() || wide_mode.empty()) return nullptr;
    return _wfopen(wide_name.c_str(), wide_mode.c_str());
}

FILE* CreateNewFileUtf8(const std::string& name) {
    if (PlatformFaultDue()) return nullptr;
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

OpenOutcome OutcomeOf(int error) {
    switch (error) {
        case ENOENT: return OpenOutcome::Missing;
        case ENAMETOOLONG: return OpenOutcome::NameTooLong;
        case ELOOP: return OpenOutcome::NotRegular;  // a loop of links
        default: return OpenOutcome::Failed;
    }
}

// Opens the regular file in the fopen mode ('r' or 'a', with '+', 'b' or
// 't'); null with *outcome saying why not.
FILE* OpenRegular(const char* name, const char* mode, OpenOutcome* outcome) {
    *outcome = OpenOutcome::Failed;
    const bool update = std::strchr(mode, '+') != nullptr;
    const bool append = mode[0] == 'a';
    if (!append && mode[0] != 'r') return nullptr;
    int flags = update ? O_RDWR : append ? O_WRONLY : O_RDONLY;
    if (append) flags |= O_CREAT | O_APPEND;
    // Opening a FIFO for reading waits for a writer, and opening a device
    // may act on it: neither is opened at all.
    struct stat status;
    if (stat(name, &status) == 0 && !S_ISREG(status.st_mode)) {
        *outcome = OpenOutcome::NotRegular;
        return nullptr;
    }
    const int descriptor = open(name, flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        *outcome = OutcomeOf(errno);
        return nullptr;
    }
    // The name may have changed in between.
    const int status_flags = fcntl(descriptor, F_GETFL);
    const bool regular = fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
    if (!regular || status_flags < 0 ||
        fcntl(descriptor, F_SETFL, status_flags & ~O_NONBLOCK) != 0) {
        close(descriptor);
        if (!regular) *outcome = OpenOutcome::NotRegular;
        return nullptr;
    }
    FILE* stream = StreamOn(descriptor, mode);
    if (stream) *outcome = OpenOutcome::Opened;
    return stream;
}

}  // namespace

FILE* OpenFileUtf8(const std::string& name, const char* mode) {
    if (PlatformFaultDue()) return nullptr;
    return fopen(name.c_str(), PrivateMode(mode).c_str());
}

FILE* CreateNewFileUtf8(const std::string& name) {
    if (PlatformFaultDue()) return nullptr;
    return StreamOn(open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666), "w+b");
}

#endif

FILE* OpenRegularFileUtf8(const char* name, const char* mode) {
    OpenOutcome outcome;
    return OpenRegular(name, mode, &outcome);
}

FILE* OpenExistingFileUtf8(const std::string& name, const char* mode, OpenOutcome* outcome) {
    *outcome = OpenOutcome::Failed;
    if (mode[0] != 'r' || PlatformFaultDue()) return nullptr;
    return OpenRegular(name.c_str(), mode, outcome);
}
