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

FILE* OpenRegularFileUtf8(const char* name, const char* mode) {
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
    // The sharing _wfopen grants, so other programs see the file as before;
    // no security attributes, so the handle is not inheritable.
    HANDLE handle =
        CreateFileW(wide_name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    append ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    // CON, NUL, COM1 and pipes are not disk files: reading them waits for a
    // keyboard, a line or a writer, or yields nothing real.
    const int descriptor =
        GetFileType(handle) == FILE_TYPE_DISK
            ? _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_NOINHERIT)
            : -1;
    if (descriptor < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE* stream = _fdopen(descriptor, mode);
    if (!stream) _close(descriptor);
    return stream;
}

FILE* OpenFileUtf8(const std::string& name, const char* mode) {
    if (PlatformFaultDue()) return nullptr;
    const std::wstring wide_name = WideFromUtf8(name.c_str());
    const std::wstring wide_mode = WideFromUtf8(PrivateMode(mode).c_str());
    if (wide_name.empty() || wide_mode.empty()) return nullptr;
    return _wfopen(wide_name.c_str(), wide_mode.c_str());
}

FILE* CreateNewFileUtf8(const std::string& name) {
    if (PlatformFaultDue({SeamCallKind::Create, name.c_str()})) return nullptr;
    const std::wstring wide_name = WideFromUtf8(name.c_str());
    if (wide_name.empty()) return nullptr;
    // The C runtime's fopen has no exclusive mode on every Windows version.
    const int descriptor =
        _wopen(wide_name.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
               _S_IREAD | _S_IWRITE);
    if (descriptor < 0) return nullptr;
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

}  // namespace

FILE* OpenRegularFileUtf8(const char* name, const char* mode) {
    const bool update = std::strchr(mode, '+') != nullptr;
    const bool append = mode[0] == 'a';
    if (!append && mode[0] != 'r') return nullptr;
    int flags = update ? O_RDWR : append ? O_WRONLY : O_RDONLY;
    if (append) flags |= O_CREAT | O_APPEND;
    // Opening a FIFO for reading waits for a writer, and opening a device
    // may act on it: neither is opened at all.
    struct stat status;
    if (stat(name, &status) == 0 && !S_ISREG(status.st_mode)) return nullptr;
    const int descriptor = open(name, flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (descriptor < 0) return nullptr;
    const int status_flags = fcntl(descriptor, F_GETFL);
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || status_flags < 0 ||
        fcntl(descriptor, F_SETFL, status_flags & ~O_NONBLOCK) != 0) {
        close(descriptor);
        return nullptr;
    }
    return StreamOn(descriptor, mode);
}

FILE* OpenFileUtf8(const std::string& name, const char* mode) {
    if (PlatformFaultDue()) return nullptr;
    return fopen(name.c_str(), PrivateMode(mode).c_str());
}

FILE* CreateNewFileUtf8(const std::string& name) {
    if (PlatformFaultDue({SeamCallKind::Create, name.c_str()})) return nullptr;
    return StreamOn(open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666), "w+b");
}

#endif
