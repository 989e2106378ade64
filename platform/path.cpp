// path.cpp - UTF-8 names on Windows and POSIX systems side by side: the
// conversions Windows needs, stat, realpath and file identities.
#include "platform/path.h"

#include <climits>
#include <cstdlib>
#include <new>
#include <vector>

#include "platform/fault_seam.h"
#include "platform/native.h"

#ifdef _WIN32

std::wstring WideFromUtf8(const char* text) {
    try {
        const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
        if (length <= 1) return std::wstring();
        std::wstring wide(static_cast<size_t>(length), L'\0');
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, &wide[0], length);
        wide.pop_back();  // the terminating zero, counted in length
        return wide;
    } catch (const std::bad_alloc&) {
        return std::wstring();
    }
}

std::string Utf8FromWide(const wchar_t* wide) {
    try {
        const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
        if (length <= 1) return std::string();
        std::string text(static_cast<size_t>(length), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], length, nullptr, nullptr);
        text.pop_back();
        return text;
    } catch (const std::bad_alloc&) {
        return std::string();
    }
}

namespace {

using FileStatus = struct _stat64;

// The status of the file a name reaches, as the C runtime sees it.
bool StatusOf(const std::string& name, FileStatus* status) {
    const std::wstring wide_name = WideFromUtf8(name.c_str());
    return !wide_name.empty() && _wstat64(wide_name.c_str(), status) == 0;
}

bool IsRegular(const FileStatus& status) { return (status.st_mode & _S_IFMT) == _S_IFREG; }
bool IsFolder(const FileStatus& status) { return (status.st_mode & _S_IFMT) == _S_IFDIR; }

bool IdentityOf(HANDLE handle, BY_HANDLE_FILE_INFORMATION* identity) {
    return handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, identity);
}

// No access asked: this only reads the identity, and works on a file that
// another handle has locked.
bool IdentityOf(const std::string& name, BY_HANDLE_FILE_INFORMATION* identity) {
    const std::wstring wide_name = WideFromUtf8(name.c_str());
    if (wide_name.empty()) return false;
    HANDLE handle = CreateFileW(wide_name.c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const bool known = IdentityOf(handle, identity);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    return known;
}

bool SameIdentity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// The C runtime's status holds no file index: the handles tell.
bool SameFileBeneath(const std::string& a, const std::string& b, const FileStatus& /*status_a*/,
                     const FileStatus& /*status_b*/) {
    BY_HANDLE_FILE_INFORMATION file_a = {};
    BY_HANDLE_FILE_INFORMATION file_b = {};
    return IdentityOf(a, &file_a) && IdentityOf(b, &file_b) && SameIdentity(file_a, file_b);
}

}  // namespace

bool RemoveFileUtf8(const std::string& name) {
    if (PlatformFaultDue({SeamCallKind::Remove, name.c_str()})) return false;
    const std::wstring wide_name = WideFromUtf8(name.c_str());
    return !wide_name.empty() && _wremove(wide_name.c_str()) == 0;
}

bool RenameFileUtf8(const std::string& from, const std::string& to) {
    if (PlatformFaultDue({SeamCallKind::Rename, from.c_str(), to.c_str()})) return false;
    const std::wstring wide_from = WideFromUtf8(from.c_str());
    const std::wstring wide_to = WideFromUtf8(to.c_str());
    return !wide_from.empty() && !wide_to.empty() &&
           MoveFileExW(wide_from.c_str(), wide_to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

std::string ResolvedPath(FILE* stream, const std::string& name) {
    HANDLE handle = stream ? HandleOf(stream) : INVALID_HANDLE_VALUE;
    if (handle == INVALID_HANDLE_VALUE) return name;
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    DWORD length =
        GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    if (length >= buffer.size()) {
        buffer.resize(length + 1);
        length =
            GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    }
    if (length == 0 || length >= buffer.size()) return name;
    std::wstring resolved(buffer.data(), length);
    // The \\?\ prefix only lifts the length limit; drop it where the plain
    // form means the same file.
    if (resolved.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        resolved = L"\\\\" + resolved.substr(8);
    } else if (resolved.rfind(L"\\\\?\\", 0) == 0 && resolved.size() < MAX_PATH) {
        resolved = resolved.substr(4);
    }
    const std::string narrow = Utf8FromWide(resolved.c_str());
    return narrow.empty() ? name : narrow;
}

bool IsSameFile(FILE* stream, const std::string& name) {
    BY_HANDLE_FILE_INFORMATION open_file = {};
    BY_HANDLE_FILE_INFORMATION named_file = {};
    return IdentityOf(name, &named_file) && IdentityOf(HandleOf(stream), &open_file) &&
           SameIdentity(open_file, named_file);
}

#else

namespace {

using FileStatus = struct stat;

bool StatusOf(const std::string& name, FileStatus* status) {
    return stat(name.c_str(), status) == 0;
}

bool IsRegular(const FileStatus& status) { return S_ISREG(status.st_mode); }
bool IsFolder(const FileStatus& status) { return S_ISDIR(status.st_mode); }

bool SameIdentity(const FileStatus& a, const FileStatus& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool SameFileBeneath(const std::string& /*a*/, const std::string& /*b*/, const FileStatus& status_a,
                     const FileStatus& status_b) {
    return SameIdentity(status_a, status_b);
}

}  // namespace

bool RemoveFileUtf8(const std::string& name) {
    return !PlatformFaultDue({SeamCallKind::Remove, name.c_str()}) && remove(name.c_str()) == 0;
}

bool RenameFileUtf8(const std::string& from, const std::string& to) {
    return !PlatformFaultDue({SeamCallKind::Rename, from.c_str(), to.c_str()}) &&
           rename(from.c_str(), to.c_str()) == 0;
}

std::string ResolvedPath(FILE* /*stream*/, const std::string& name) {
    char resolved[PATH_MAX];
    return realpath(name.c_str(), resolved) ? std::string(resolved) : name;
}

bool IsSameFile(FILE* stream, const std::string& name) {
    FileStatus open_file;
    FileStatus named_file;
    const int descriptor = fileno(stream);
    return descriptor >= 0 && fstat(descriptor, &open_file) == 0 &&
           StatusOf(name, &named_file) && SameIdentity(open_file, named_file);
}

#endif

FileKind KindOfFile(const std::string& name) {
    // A status the system cannot give says nothing is there to use.
    FileStatus status;
    if (!StatusOf(name, &status)) return FileKind::None;
    return IsRegular(status) ? FileKind::Regular : FileKind::Other;
}

bool NamesReachOneFile(const std::string& a, const std::string& b) {
    FileStatus status_a;
    FileStatus status_b;
    return StatusOf(a, &status_a) && StatusOf(b, &status_b) &&
           (IsRegular(status_a) || IsFolder(status_a)) &&
           (IsRegular(status_b) || IsFolder(status_b)) &&
           SameFileBeneath(a, b, status_a, status_b);
}
