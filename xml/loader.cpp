// loader.cpp - reads a configuration file into one zero-terminated text and
// hands it to the document's parser.
#include "loader.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "parser.h"
#include "platform/file.h"
#include "platform/open.h"

static void XmlLoadError(XmlDocumentData* record, const char* message, int32_t code) {
    if (!record) return;
    record->errorText = message;
    record->errorCode = code;
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

int32_t XmlLoadFile(XmlNode* document) { return XmlLoadFileWithLines(document, nullptr); }

int32_t XmlLoadFileWithLines(XmlNode* document, XmlElementLines* lines) {
    if (!document) return -1;
    XmlDocumentData* record = document->kind == XmlKindDocument
                                  ? static_cast<XmlDocumentData*>(document->data)
                                  : nullptr;
    XmlLoadError(record, "", 0);
    if (!document->name || document->nameLength == 0) {
        XmlLoadError(record, "empty file name !", -8);
        return -1;
    }
    // The one rule for every file the tool reads: a regular file, opened
    // without blocking (a FIFO waits for a writer and a device may never
    // end). The length is 64-bit on every platform, so that a file of 2 GiB
    // or more is measured rather than failing.
    FILE* file = OpenRegularFileUtf8(document->name, "rb");
    int64_t length = -1;
    if (!file || !FileSizeBeneath(file, &length) || length < 0) {
        if (file) fclose(file);
        XmlLoadError(record, "can't open file !", -1);
        return -1;
    }
    if (length == 0) {
        fclose(file);
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
        fclose(file);
        XmlLoadError(record, "memory allocation failed !", -2);
        return -1;
    }
    // One read of the whole file, straight into the one buffer.
    setvbuf(file, nullptr, _IONBF, 0);
    const int64_t got = ReadFromStream(file, text, static_cast<size_t>(length));
    fclose(file);
    int32_t result = -1;
    if (got < 0) {
        XmlLoadError(record, "can't open file !", -1);
    } else {
        XmlKeepLines(text, static_cast<size_t>(got));
        XmlParseOptions options = {};
        if (lines) {
            XmlElementLinesBegin(lines, text);
            XmlRecordElementLines(lines);
        }
        result = XmlParseChildren(document, text, &options) ? 0 : -1;
        if (lines) {
            XmlRecordElementLines(nullptr);
            lines->counted = nullptr;  // the text is freed below
        }
    }
    free(text);
    return result;
}
