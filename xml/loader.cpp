// loader.cpp - reads a configuration file into one zero-terminated text and
// hands it to the document's parser.
#include "loader.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "parser.h"

static void XmlLoadError(XmlDocumentData* record, const char* message, int32_t code) {
    if (!record) return;
    record->errorText = message;
    record->errorCode = code;
}

// Opens the regular file with the UTF-8 name for reading in binary and
// measures it; -1 for anything else. A FIFO waits for a writer and a device
// may never end, so neither is read: the name is checked before opening and
// the open file again in case the name changed in between. The length is
// 64-bit on every platform, so that a file of 2 GiB or more is measured
// rather than failing.
static int XmlOpenRegularFile(const char* name, int64_t* length) {
#ifdef _WIN32
    int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, nullptr, 0);
    wchar_t* wideName =
        wideLength > 0 ? static_cast<wchar_t*>(malloc(sizeof(wchar_t) * wideLength)) : nullptr;
    if (!wideName) return -1;
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, wideName, wideLength);
    HANDLE handle = CreateFileW(wideName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    free(wideName);
    if (handle == INVALID_HANDLE_VALUE) return -1;
    // CON, NUL, COM1 and pipes are not disk files.
    LARGE_INTEGER size;
    int descriptor = -1;
    if (GetFileType(handle) == FILE_TYPE_DISK && GetFileSizeEx(handle, &size)) {
        descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    }
    if (descriptor < 0) {
        CloseHandle(handle);
        return -1;
    }
    *length = size.QuadPart;
    return descriptor;
#else
    struct stat status;
    if (stat(name, &status) != 0 || !S_ISREG(status.st_mode)) return -1;
    int descriptor = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return -1;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(descriptor);
        return -1;
    }
    *length = static_cast<int64_t>(status.st_size);
    return descriptor;
#endif
}

// Reads up to length bytes into text in as few calls as the system allows;
// returns how many, or -1 on a read error.
static int64_t XmlReadAll(int descriptor, char* text, size_t length) {
    size_t used = 0;
    while (used < length) {
#ifdef _WIN32
        int got = _read(descriptor, text + used, static_cast<unsigned>(length - used));
#else
        ssize_t got = read(descriptor, text + used, length - used);
        if (got < 0 && errno == EINTR) continue;
#endif
        if (got < 0) return -1;
        if (got == 0) break;
        used += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(used);
}

static void XmlCloseFile(int descriptor) {
#ifdef _WIN32
    _close(descriptor);
#else
    close(descriptor);
#endif
}

// Turns the count bytes read into the text of their lines, in place, and
// ends it with a zero. A zero byte inside a line ends that line's text. A
// line ending in carriage return + line feed keeps only the line feed, once,
// so both line-end styles give the same tree on every platform.
static void XmlKeepLines(char* text, size_t count) {
    size_t kept = 0;
    size_t start = 0;
    while (start < count) {
        const char* newline = static_cast<const char*>(memchr(text + start, '\n', count - start));
        const size_t end = newline ? static_cast<size_t>(newline - text) + 1 : count;
        const char* zero = static_cast<const char*>(memchr(text + start, '\0', end - start));
        size_t line = zero ? static_cast<size_t>(zero - text) - start : end - start;
        memmove(text + kept, text + start, line);
        if (line >= 2 && text[kept + line - 2] == '\r' && text[kept + line - 1] == '\n') {
            text[kept + line - 2] = '\n';
            --line;
        }
        kept += line;
        start = end;
    }
    text[kept] = '\0';
}

int32_t XmlLoadFile(XmlNode* document) {
    if (!document) return -1;
    XmlDocumentData* record = document->kind == XmlKindDocument
                                  ? static_cast<XmlDocumentData*>(document->data)
                                  : nullptr;
    XmlLoadError(record, "", 0);
    if (!document->name || document->nameLength == 0) {
        XmlLoadError(record, "empty file name !", -8);
        return -1;
    }
    int64_t length = -1;
    int descriptor = XmlOpenRegularFile(document->name, &length);
    if (descriptor < 0 || length < 0) {
        if (descriptor >= 0) XmlCloseFile(descriptor);
        XmlLoadError(record, "can't open file !", -1);
        return -1;
    }
    if (length == 0) {
        XmlCloseFile(descriptor);
        XmlLoadError(record, "zero file length !", -2);
        return -1;
    }
    // Every string of the tree has a 32-bit length: a larger file is
    // refused as if it could not be held.
    char* text = nullptr;
    if (length < INT32_MAX) {
        text = static_cast<char*>(malloc(static_cast<size_t>(length) + 1));
    }
    if (!text) {
        XmlCloseFile(descriptor);
        XmlLoadError(record, "memory allocation failed !", -2);
        return -1;
    }
    // One read of the whole file into the one buffer.
    const int64_t got = XmlReadAll(descriptor, text, static_cast<size_t>(length));
    XmlCloseFile(descriptor);
    int32_t result = -1;
    if (got < 0) {
        XmlLoadError(record, "can't open file !", -1);
    } else {
        XmlKeepLines(text, static_cast<size_t>(got));
        XmlParseOptions options = {};
        result = XmlParseChildren(document, text, &options) ? 0 : -1;
    }
    free(text);
    return result;
}
