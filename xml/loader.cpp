// loader.cpp - reads a configuration file into one zero-terminated text and
// hands it to the document's parser.
#include "loader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "parser.h"

static void XmlLoadError(XmlDocumentData* record, const char* message, int32_t code) {
    if (!record) return;
    record->errorText = message;
    record->errorCode = code;
}

// Reads the open file line by line into text (room for length bytes and
// the zero). A zero byte inside a line ends that line's text. A line ending
// in carriage return + line feed keeps only the line feed, as text mode does
// on the platform the files come from, so both line-end styles give the same
// tree. Returns false when the stream reports a read error.
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
    FILE* file = fopen(document->name, "rt");
    if (!file) {
        XmlLoadError(record, "can't open file !", -1);
        return -1;
    }
    // A folder opens for reading here but fails its first read (and reports
    // a meaningless size): probe before measuring.
    if (fgetc(file) == EOF && ferror(file)) {
        fclose(file);
        XmlLoadError(record, "can't open file !", -1);
        return -1;
    }
    long length = -1;
    if (fseek(file, 0, SEEK_END) == 0) length = ftell(file);
    if (length < 0 || fseek(file, 0, SEEK_SET) != 0) {
        fclose(file);
        XmlLoadError(record, "can't open file !", -1);
        return -1;
    }
    if (length == 0) {
        fclose(file);
        XmlLoadError(record, "zero file length !", -2);
        return -1;
    }
    // Every string of the tree has a 32-bit length, and length + 1 must not
    // wrap: a larger file is refused as if it could not be held.
    char* text = nullptr;
    if (static_cast<unsigned long>(length) < static_cast<unsigned long>(INT32_MAX)) {
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
