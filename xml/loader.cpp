// loader.cpp - reads a configuration file into one zero-terminated text and
// hands it to the document's parser.
#include "loader.h"

#include <cstdint>
#include <cstdio>
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

// Opens the regular file with the UTF-8 name for reading in binary; null for
// anything else. A FIFO waits for a writer and a device may never end, so
// neither is read: the name is checked before opening and the open file
// again in case the name changed in between.
static FILE* XmlOpenRegularFile(const char* name) {
#ifdef _WIN32
    int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, nullptr, 0);
    wchar_t* wideName =
        wideLength > 0 ? static_cast<wchar_t*>(malloc(sizeof(wchar_t) * wideLength)) : nullptr;
    if (!wideName) return nullptr;
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, wideName, wideLength);
    HANDLE handle = CreateFileW(wideName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    free(wideName);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    // CON, NUL, COM1 and pipes are not disk files.
    int descriptor = -1;
    if (GetFileType(handle) == FILE_TYPE_DISK) {
        descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    }
    if (descriptor < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE* file = _fdopen(descriptor, "rb");
    if (!file) _close(descriptor);
    return file;
#else
    struct stat status;
    if (stat(name, &status) != 0 || !S_ISREG(status.st_mode)) return nullptr;
    int descriptor = open(name, O_RDONLY | O_NONBLOCK);
    if (descriptor < 0) return nullptr;
    FILE* file = nullptr;
    if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)) file = fdopen(descriptor, "rb");
    if (!file) close(descriptor);
    return file;
#endif
}

// The file's length in bytes, 64-bit on every platform so that a file of
// 2 GiB or more is measured rather than failing; -1 when it cannot be told.
// The stream is left at the start.
static int64_t XmlFileLength(FILE* file) {
    int64_t length = -1;
    if (fseek(file, 0, SEEK_END) == 0) {
#ifdef _WIN32
        length = _ftelli64(file);
#else
        length = ftello(file);
#endif
    }
    return length >= 0 && fseek(file, 0, SEEK_SET) == 0 ? length : -1;
}

// Reads the open file line by line into text (room for length bytes and
// the zero). A zero byte inside a line ends that line's text. The file is
// read in binary and a line ending in carriage return + line feed keeps only
// the line feed, once, so both line-end styles give the same tree on every
// platform. Returns false when the stream reports a read error.
static bool XmlReadLines(FILE* file, char* text, size_t length) {
    size_t used = 0;
    text[0] = '\0';
    // fgets needs room for two bytes to make progress; it always has it here.
    while (used < length) {
        size_t room = length + 1 - used;
        if (!fgets(text + used, static_cast<int>(room), file)) break;
        size_t line = strlen(text + used);
        if (line >= 2 && text[used + line - 2] == '\r' && text[used + line - 1] == '\n') {
            text[used + line - 2] = '\n';
            text[used + line - 1] = '\0';
            --line;
        }
        used += line;
    }
    text[used] = '\0';
    return !ferror(file);
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
    FILE* file = XmlOpenRegularFile(document->name);
    if (!file) {
        XmlLoadError(record, "can't open file !", -1);
        return -1;
    }
    int64_t length = XmlFileLength(file);
    if (length < 0) {
        fclose(file);
        XmlLoadError(record, "can't open file !", -1);
        return -1;
    }
    if (length == 0) {
        fclose(file);
        XmlLoadError(record, "zero file length !", -2);
        return -1;
    }
    // Every string of the tree has a 32-bit length and fgets takes an int
    // count: a larger file is refused as if it could not be held.
    char* text = nullptr;
    if (length < INT32_MAX) {
        text = static_cast<char*>(malloc(static_cast<size_t>(length) + 1));
    }
    if (!text) {
        fclose(file);
        XmlLoadError(record, "memory allocation failed !", -2);
        return -1;
    }
    bool readable = XmlReadLines(file, text, static_cast<size_t>(length));
    int32_t result = -1;
    if (!readable) {
        XmlLoadError(record, "can't open file !", -1);
    } else {
        XmlParseOptions options = {};
        result = XmlParseChildren(document, text, &options) ? 0 : -1;
    }
    free(text);
    fclose(file);
    return result;
}
