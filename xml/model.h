// model.h - the XML document model: one plain node record for every kind, a
// per-kind record hung off it, the two handler tables by kind code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Written C-style: free functions over plain records, results and an error
// slot, no exceptions.

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
    // Private bookkeeping, not part of the public model: the last child of
    // kind Text, kept by append and remove like textChild, so that merging
    // text stays linear however many children stand behind it.
    XmlNode* lastText;
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

// Behaviour by kind, indexed by the kind code; the None slots parse and
// print nothing. Reached through XmlParseNode and XmlPrintNode.
extern const XmlParseHandler XmlParseHandlers[XmlKindCount];
extern const XmlPrintHandler XmlPrintHandlers[XmlKindCount];

// Constructors. Each returns a new node that the caller owns until it is
// linked into a tree, or null when the node or its name cannot be allocated.
// The name is copied (null counts as ""). The node records parent and the
// parent's document but is not linked into the parent's child list or
// attribute chain. A node whose kind record cannot be allocated is still
// returned, with its kind set and data null.
XmlNode* XmlCreateNode(const char* name, XmlNode* parent);
// A Document node named by fileName; it is its own document and starts with
// errorText "" and errorCode 0.
XmlNode* XmlCreateDocument(const char* fileName);
XmlNode* XmlCreateElement(const char* name, XmlNode* parent);
XmlNode* XmlCreateAttribute(const char* name, XmlNode* parent);
// Comment, Text and Unknown nodes start with the empty name, which the
// parser fills in later.
XmlNode* XmlCreateComment(XmlNode* parent);
XmlNode* XmlCreateText(XmlNode* parent);
XmlNode* XmlCreateUnknown(XmlNode* parent);
// A Declaration node, named "?xml", with all three values absent.
XmlNode* XmlCreateDeclaration(XmlNode* parent);
// For the parser, which knows a name's length before it has a copy: a node
// of the kind (Element, Attribute, Comment, Text or Unknown) with its kind
// record and a name block of nameLength bytes and the terminator, the bytes
// left for the caller to fill. Null when the node, its name or its record
// cannot be allocated, or when nameLength does not fit a 32-bit length.
XmlNode* XmlCreateSizedNode(int32_t kind, size_t nameLength, XmlNode* parent);

// Makes child the last child of parent, unlinking it from a former parent
// first; the parent then owns it. Returns parent. A null child or parent
// changes nothing. child must not be parent or one of its ancestors.
XmlNode* XmlAppendChild(XmlNode* parent, XmlNode* child);
// Unlinks child from parent's child list when parent is its parent;
// otherwise does nothing. The caller owns the child afterwards. An element
// whose recorded text child is removed forgets it.
void XmlRemoveChild(XmlNode* parent, XmlNode* child);
// Adds parsed character data to an element: merged into the element's last
// Text child if it has one (text is then freed), else appended as a child
// and recorded as the element's text child. Always takes ownership of text.
// Returns 0, or -1 when the merged text cannot be allocated (text is freed
// and the element keeps its former text).
int32_t XmlAppendText(XmlNode* element, XmlNode* text);
// Links attribute at the end of the element's attribute chain (record is
// the element's own) and makes the element its parent; the element then
// owns it. tail, when given, is the caller's cursor on the chain: null at
// first, when the chain is walked to its end, and left at attribute, so
// that reading many attributes in a row costs no walk per attribute. It
// must not be kept across other changes to the chain.
void XmlLinkAttribute(XmlNode* element, XmlElementData* record, XmlNode* attribute,
                      XmlNode** tail = nullptr);
// The element's text child (recorded in its record on first use), or null:
// also for nodes that are not elements and for elements without a record.
XmlNode* XmlGetText(XmlNode* element);
// Frees the node with its name, kind record, attributes and whole subtree,
// without recursion, so any depth is safe. Null is ignored. A node still
// linked into a parent must be removed first (XmlRemoveChild), unless the
// parent is being freed with it.
void XmlFreeNode(XmlNode* node);

// Calls the node's parse handler: parses one construct of the node's kind
// from position (a zero-terminated text that is never modified) and
// returns the position after it, or null on failure with a message in the
// node's document. Null for a null node or an unknown kind.
const char* XmlParseNode(XmlNode* node, const char* position, XmlParseOptions* options);
// Calls the node's print handler on an open output stream; nothing for a
// null node or an unknown kind.
void XmlPrintNode(XmlNode* node, FILE* stream);

// Replaces *output (a heap string or null) by a heap copy of length bytes
// with its terminator and sets *outputLength. False when it cannot be
// allocated or length does not fit a 32-bit length, leaving *output as it
// was.
bool XmlStoreString(char** output, int32_t* outputLength, const char* bytes, size_t length);

// Records message (a static text that is never freed) with code -1 in the
// error slot of document, when it is a document with its record; otherwise
// does nothing. Always returns null, so a parse function can fail and
// report in one step.
const char* XmlSetError(XmlNode* document, const char* message);
