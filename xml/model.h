// model.h - the XML document model: one plain node record for every kind,
// a per-kind record hung off it, and the two handler tables by kind code.
// C-style: free functions, results and an error slot, no exceptions.
#pragma once

#include <cstdint>
#include <cstdio>

// The codes index the handler tables; they must not change.
enum XmlNodeKind : int32_t {
    XmlKindNone = 0,
    XmlKindDocument = 1,
    XmlKindElement = 2,
    XmlKindComment = 3,
    XmlKindAttribute = 4,
    XmlKindText = 5,
    XmlKindDeclaration = 6,
    XmlKindUnknown = 7,
    XmlKindCount = 8
};

struct XmlNode {
    int32_t kind;          // an XmlNodeKind code
    XmlNode* document;     // owning document; a document refers to itself
    void* data;            // the kind's own record, or null
    char* name;            // owned, zero-terminated; meaning depends on kind
    int32_t nameLength;    // bytes in name without the terminator
    XmlNode* parent;
    XmlNode* firstChild;
    XmlNode* lastChild;
    XmlNode* nextSibling;  // for an attribute: next in the element's chain
    XmlNode* prevSibling;
};

typedef XmlNode XmlDocument;

struct XmlDocumentData {
    const char* errorText;  // static message, never freed; "" when none
    int32_t errorCode;      // 0 when none
};

struct XmlElementData {
    XmlNode* firstAttribute;
    XmlNode* textChild;
    // Private bookkeeping so that long attribute chains and text merged from
    // many pieces stay linear; not part of the public model.
    XmlNode* lastAttribute;
    int32_t textCapacity;   // heap room behind textChild->name, 0 if unknown
};

struct XmlAttributeData {
    char* value;            // decoded value, or null before parsing
    int32_t valueLength;
};

struct XmlDeclarationData {
    char* version;
    int32_t versionLength;
    char* encoding;
    int32_t encodingLength;
    char* standalone;
    int32_t standaloneLength;
};

struct XmlParseOptions {
    int32_t stripSpace;     // drop every white-space byte of values read
};

typedef const char* (*XmlParseHandler)(XmlNode* node, const char* position,
                                       XmlParseOptions* options);
typedef void (*XmlPrintHandler)(XmlNode* node, FILE* stream);

extern const XmlParseHandler XmlParseHandlers[XmlKindCount];
extern const XmlPrintHandler XmlPrintHandlers[XmlKindCount];

// Constructors: each returns the new node, or null when the node itself
// cannot be allocated. A node whose kind record cannot be allocated is still
// returned, with data null. None of them links the node into its parent.
XmlNode* XmlCreateNode(const char* name, XmlNode* parent);
XmlNode* XmlCreateDocument(const char* fileName);
XmlNode* XmlCreateElement(const char* name, XmlNode* parent);
XmlNode* XmlCreateAttribute(const char* name, XmlNode* parent);
XmlNode* XmlCreateComment(XmlNode* parent);
XmlNode* XmlCreateText(XmlNode* parent);
XmlNode* XmlCreateUnknown(XmlNode* parent);
XmlNode* XmlCreateDeclaration(XmlNode* parent);

// Makes child the last child of parent, unlinking it from a former parent
// first. Returns parent. A null child changes nothing.
XmlNode* XmlAppendChild(XmlNode* parent, XmlNode* child);
// Unlinks child from parent's child list when parent is its parent.
void XmlRemoveChild(XmlNode* parent, XmlNode* child);
// Merges parsed character data into the element's single text child; takes
// ownership of text and frees it when it is merged into an existing one.
void XmlAppendText(XmlNode* element, XmlNode* text);
// The element's text child, or null (also for nodes that are not elements).
XmlNode* XmlGetText(XmlNode* element);
// Frees the node with its name, record, attributes and children. Null is ok.
void XmlFreeNode(XmlNode* node);

// Dispatch through the handler tables by the node's kind.
const char* XmlParseNode(XmlNode* node, const char* position, XmlParseOptions* options);
void XmlPrintNode(XmlNode* node, FILE* stream);

// Records message with code -1 in document's error slot (if it has one).
// Always returns null, so a parse function can fail and report in one step.
const char* XmlSetError(XmlNode* document, const char* message);
