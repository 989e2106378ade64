// parser.h - the recursive-descent parser behind the parse handler table:
// one parse function per node kind, the element's steps and the node factory.
#pragma once

#include <cstdint>

#include "element_lines.h"
#include "model.h"

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
// The element's content: child nodes appended, character data merged into
// its one text child. Returns the position of the "</" that ends it, or the
// end of the text; null when a child fails.
const char* XmlReadContent(const char* position, XmlNode* element, XmlParseOptions* options);

// While lines is set, on this thread, every element parsed notes where its
// start tag begins (XmlElementLinesNote); null, the default, stops it. Set
// by the loader for the length of one parse when its caller asks for lines.
void XmlRecordElementLines(XmlElementLines* lines);

// Creates, without parsing or linking it, the node whose kind the bytes at
// position call for (position already past white space); the new node
// records parent and its document. Null when position is null or the node
// or its kind record cannot be allocated.
XmlNode* XmlCreateNodeAt(XmlNode* parent, const char* position);

