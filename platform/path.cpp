// path.cpp - UTF-8 names on Windows and POSIX systems side by side.
#include "platform/path.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#endif

#include <vector>

namespace {

const char JOURNAL_SUFFIX[] = "-journal";

}  // namespace

#ifdef _WIN32

namespace {

std::wstring Widen(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        &wide[0], length);
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string text(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], length,
                        nullptr, nullptr);
    return text;
}

}  // namespace

std::wstring WideFromUtf8(const std::string& text) { return Widen(text); }

std::vector<std::string> Utf8Arguments(int argc, wchar_t* argv[]) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc && argv[i]; ++i) arguments.push_back(Narrow(argv[i]));
    return arguments;
}

FILE* OpenFileUtf8(const std::string& name, const char* mode) {
    const std::wstring wide_name = Widen(name);
    const std::wstring wide_mode = Widen(mode);
    if (wide_name.empty() || wide_mode.empty()) return nullptr;
    return _wfopen(wide_name.c_str(), wide_mode.c_str());
}

FILE* CreateNewFileUtf8(const std::string& name) {
    const std::wstring wide_name = Widen(name);
    if (wide_name.empty()) return nullptr;
    // The C runtime's fopen has no exclusive mode on every Windows version.
    const int descriptor = _wopen(wide_name.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY,
                                  _S_IREAD | _S_IWRITE);
    if (descriptor < 0) return nullptr;
    FILE* stream = _fdopen(descriptor, "w+b");
    if (!stream) _close(descriptor);
    return stream;
}

bool RemoveFileUtf8(const std::string& name) {
    const std::wstring wide_name = Widen(name);
    return !wide_name.empty() && _wremove(wide_name.c_str()) == 0;
}

std::string JournalPath(FILE* stream, const std::string& name) {
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (handle != INVALID_HANDLE_VALUE) {
        std::vector<wchar_t> buffer(MAX_PATH + 1);
        DWORD length = GetFinalPathNameByHandleW(handle, buffer.data(),
                                                 static_cast<DWORD>(buffer.size()), 0);
        if (length >= buffer.size()) {
            buffer.resize(length + 1);
            length = GetFinalPathNameByHandleW(handle, buffer.data(),
                                               static_cast<DWORD>(buffer.size()), 0);
        }
        if (length > 0 && length < buffer.size()) {
            std::wstring resolved(buffer.data(), length);
            // The \\?\ prefix only lifts the length limit; drop it where the
            // plain form means the same file.
            if (resolved.rfind(L"\\\\?\\UNC\\", 0) == 0) {
                resolved = L"\\\\" + resolved.substr(8);
            } else if (resolved.rfind(L"\\\\?\\", 0) == 0 && resolved.size() < MAX_PATH) {
                resolved = resolved.substr(4);
            }
            const std::string narrow = Narrow(resolved);
            if (!narrow.empty()) return narrow + JOURNAL_SUFFIX;
        }
    }
    return name + JOURNAL_SUFFIX;
}

#else

FILE* OpenFileUtf8(const std::string& name, const char* mode) { return fopen(name.c_str(), mode); }

FILE* CreateNewFileUtf8(const std::string& name) {
    const int descriptor = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0) return nullptr;
    FILE* stream = fdopen(descriptor, "w+b");
    if (!stream) {
        const int error = errno;
        close(descriptor);
        errno = error;
    }
    return stream;
}

bool RemoveFileUtf8(const std::string& name) { return remove(name.c_str()) == 0; }

std::vector<std::string> Utf8Arguments(int argc, char* argv[]) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc && argv[i]; ++i) arguments.push_back(argv[i]);
    return arguments;
}

std::string JournalPath(FILE* /*stream*/, const std::string& name) {
    char resolved[PATH_MAX];
    if (realpath(name.c_str(), resolved)) return std::string(resolved) + JOURNAL_SUFFIX;
    return name + JOURNAL_SUFFIX;
}

#endif
