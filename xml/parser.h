// parser.h - the recursive-descent parser behind the parse handler table:
// one parse function per node kind, the node factory and the text readers.
#pragma once

#include <cstdint>

#include "model.h"

// A named entity and the byte it stands for. The same table serves the
// parser (decoding) and the writer (escaping).
struct XmlEntity {
    const char* text;
    int32_t length;
    char character;
};

extern const XmlEntity XmlEntities[5];

// Elements nested deeper than this fail to parse, so that no input can
// exhaust the stack: each level costs a few small frames of recursion, and
// this many stay well under 1 MiB even in sanitizer builds. Real
// configurations are a handful of levels deep.
const int32_t XmlMaxElementDepth = 4096;

// Parse handlers, one per kind, reached through XmlParseNode. Each takes the
// node to fill, a read position inside a zero-terminated text that is never
// modified (the read position never moves past its zero) and the options;
// it returns the position after the construct, or null after recording a
// message in the node's document. The node stays owned by the caller, which
// links it on success and frees it on failure. Options may be null (all
// fields clear); XmlParseText clears stripSpace for its own read and then
// restores it.
//
// The document's top-level nodes up to the end of the text, each appended to
// the document. Fails with -4 "NULL pointer data !" for a null position and
// with -5 "can't parse node data !" for any node that fails, keeping the
// nodes completed before it.
const char* XmlParseChildren(XmlNode* document, const char* position, XmlParseOptions* options);
// An element with its attributes and content, up to its end tag.
const char* XmlParseElement(XmlNode* element, const char* position, XmlParseOptions* options);
// "<!--" ... "-->"; the text between becomes the name.
const char* XmlParseComment(XmlNode* comment, const char* position, XmlParseOptions* options);
// name = 'value' or name = "value"; the decoded value goes to the record.
const char* XmlParseAttribute(XmlNode* attribute, const char* position, XmlParseOptions* options);
// Character data up to the next '<'; the decoded text becomes the name.
const char* XmlParseText(XmlNode* text, const char* position, XmlParseOptions* options);
// "<?xml" with version, encoding and standalone, up to its '>'.
const char* XmlParseDeclaration(XmlNode* declaration, const char* position,
                                XmlParseOptions* options);
// Any other "<...>" markup, kept verbatim up to its first '>'.
const char* XmlParseUnknown(XmlNode* node, const char* position, XmlParseOptions* options);

// The steps of XmlParseElement, each usable on its own. Each records its own
// message in the element's document on failure; XmlParseElement then
// replaces it with its own.
//
// The tag name after the '<'. Returns the position of the byte that ended
// the name, or the position after "/>" with *empty set; null for an empty
// name, the end of the text, or '/' not followed by '>'.
const char* XmlReadTagName(const char* position, XmlNode* element, bool* empty);
// The attributes of a start tag, appended to the element's chain. Returns
// the position after its '>', or after "/>" with *empty set; the end of the
// text if it ends right after an attribute; null on failure.
const char* XmlReadAttributes(const char* position, XmlNode* element, XmlParseOptions* options,
                              bool* empty);
// Replaces *output (a heap string or null) by a heap copy of length bytes
// with its terminator. False when it cannot be allocated or length does not
// fit a 32-bit length, leaving *output as it was.
bool XmlStoreString(char** output, int32_t* outputLength, const char* bytes, size_t length);
// Links the attribute at the end of the element's chain (record is the
// element's own) and makes the element its parent.
void XmlLinkAttribute(XmlNode* element, XmlElementData* record, XmlNode* attribute);
// The element's content: child nodes appended, character data merged into
// its one text child. Returns the position of the "</" that ends it, or the
// end of the text; null when a child fails.
const char* XmlReadContent(const char* position, XmlNode* element, XmlParseOptions* options);

// Creates, without parsing or linking it, the node whose kind the bytes at
// position call for (position already past white space); the new node
// records parent and its document. Null when position is null or the node
// or its kind record cannot be allocated.
XmlNode* XmlCreateNodeAt(XmlNode* parent, const char* position);

// The first byte at or after position that is not white space (possibly the
// terminating zero); null for null.
const char* XmlSkipSpace(const char* position);

// Reads bytes from position until the text at hand starts with terminator
// (terminatorLength bytes) or the text ends, decoding references and, with
// options->stripSpace, dropping white space. The bytes are appended to
// *output when *outputLength is not 0, else they replace *output (which is
// freed); *output stays a heap string owned by the caller. Returns the
// position after the terminator, or the end of the text; null when the
// result cannot be allocated or would not fit a 32-bit length, leaving
// *output unchanged.
const char* XmlReadText(const char* position, const char* terminator, int32_t terminatorLength,
                        XmlParseOptions* options, char** output, int32_t* outputLength);

// Decodes the reference at position (which holds '&'): "&#x" hex or "&#"
// decimal numbers read as strtol reads them, then one more byte unless the
// text ends; else a named entity, case-insensitively; else the '&' itself.
// Stores the byte in *byte (0 for a number whose low 8 bits are 0, which
// adds no byte to the text) and returns the position after the reference.
const char* XmlDecodeReference(const char* position, char* byte);

// The first XmlEntities entry whose full text the text at position starts
// with, compared case-insensitively; null when none does.
const XmlEntity* XmlFindEntity(const char* position);
