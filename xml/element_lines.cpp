// element_lines.cpp - the side table of element lines: counting line feeds
// once over the text, as the parser moves through it.
#include "element_lines.h"

#include <cstdlib>
#include <cstring>

void XmlElementLinesBegin(XmlElementLines* lines, const char* text) {
    if (!lines) return;
    lines->counted = text;
    lines->line = 1;
}

// Grows the array by half, to 64 entries at least; false when it cannot.
static bool XmlElementLinesGrow(XmlElementLines* lines) {
    uint32_t capacity = lines->capacity < 64 ? 64 : lines->capacity + lines->capacity / 2;
    if (capacity <= lines->capacity) return false;  // past 32 bits
    void* items = realloc(lines->items, sizeof(XmlElementLine) * capacity);
    if (!items) return false;
    lines->items = static_cast<XmlElementLine*>(items);
    lines->capacity = capacity;
    return true;
}

void XmlElementLinesNote(XmlElementLines* lines, const XmlNode* element, const char* position) {
    if (!lines || !lines->counted || position < lines->counted) return;
    // Start tags come in text order, so each line feed is counted once.
    const char* at = lines->counted;
    while (const void* feed = memchr(at, '\n', static_cast<size_t>(position - at))) {
        at = static_cast<const char*>(feed) + 1;
        ++lines->line;
    }
    lines->counted = position;
    if (lines->count >= lines->capacity && !XmlElementLinesGrow(lines)) return;
    lines->items[lines->count++] = {element, lines->line};
}

void XmlElementLinesFree(XmlElementLines* lines) {
    if (!lines) return;
    free(lines->items);
    *lines = XmlElementLines{};
}

int32_t XmlElementLineOf(const XmlElementLines* lines, const XmlNode* element, uint32_t* cursor) {
    if (!lines || !element || !cursor) return 0;
    const uint32_t start = *cursor < lines->count ? *cursor : 0;
    for (uint32_t step = 0; step < lines->count; ++step) {
        uint32_t i = start + step;
        if (i >= lines->count) i -= lines->count;
        if (lines->items[i].element == element) {
            *cursor = i + 1;
            return lines->items[i].line;
        }
    }
    return 0;
}
