// element_lines.h - the line on which each parsed element's start tag
// stands, for a program that reports on a configuration line by line. Kept
// beside the tree, not in it: the nodes stay as they are, and a parse that
// is not asked for lines does no more than before.
#pragma once

#include <cstdint>

#include "model.h"

struct XmlElementLine {
    const XmlNode* element;
    int32_t line;  // from 1: the line feeds before the '<' of its start tag, plus one
};

// Elements in the order their start tags were read, which is the tree's
// document order, each element before its children. Starts as {} and is
// filled by XmlLoadFileWithLines (loader.h); owns only its array.
struct XmlElementLines {
    XmlElementLine* items;
    uint32_t count;
    uint32_t capacity;
    // Where line counting stands in the text being parsed: the byte up to
    // which line feeds are counted, and the line that byte is on.
    const char* counted;
    int32_t line;
};

// Starts counting lines at the first byte of text, which the parser is
// about to read; any earlier entries are kept.
void XmlElementLinesBegin(XmlElementLines* lines, const char* text);
// Records that element's start tag begins at position, a byte of the text
// at or after every position recorded before. An entry that cannot be
// stored for want of memory is dropped: its element then has no line.
void XmlElementLinesNote(XmlElementLines* lines, const XmlNode* element, const char* position);
// Frees the array and leaves the table empty. Null is ignored.
void XmlElementLinesFree(XmlElementLines* lines);

// The line of element's start tag, or 0 when the table holds none.
// *cursor, 0 at first, is where the last look-up ended: looking elements up
// in document order costs a step each; any other order still finds them.
int32_t XmlElementLineOf(const XmlElementLines* lines, const XmlNode* element, uint32_t* cursor);
