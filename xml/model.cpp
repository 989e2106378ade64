// model.cpp - the XML document model: node construction, tree links, text
// merging, freeing, dispatch by kind and the document's error slot.
#include "model.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "parser.h"
#include "writer.h"

static const char* XmlParseNothing(XmlNode*, const char*, XmlParseOptions*) { return nullptr; }
static void XmlPrintNothing(XmlNode*, FILE*) {}

const XmlParseHandler XmlParseHandlers[XmlKindCount] = {
    XmlParseNothing,   XmlParseChildren, XmlParseElement,     XmlParseComment,
    XmlParseAttribute, XmlParseText,     XmlParseDeclaration, XmlParseUnknown};
const XmlPrintHandler XmlPrintHandlers[XmlKindCount] = {
    XmlPrintNothing,   XmlPrintDocument, XmlPrintElement,     XmlPrintComment,
    XmlPrintAttribute, XmlPrintText,     XmlPrintDeclaration, XmlPrintUnknown};

// The element's record, or null for other kinds and a missing record.
static XmlElementData* XmlElementRecord(XmlNode* node) {
    if (!node || node->kind != XmlKindElement) return nullptr;
    return static_cast<XmlElementData*>(node->data);
}

// A node with a name block of length bytes and the terminator; the bytes
// are the caller's to fill.
static XmlNode* XmlCreateNodeSized(size_t length, XmlNode* parent) {
    if (length >= INT32_MAX) return nullptr;  // lengths are 32-bit
    // Nodes and records come from calloc: for trees of thousands of nodes it
    // measured faster than malloc with the fields set, whose small per-thread
    // cache only churns when blocks are made and freed by the thousand.
    XmlNode* node = static_cast<XmlNode*>(calloc(1, sizeof(XmlNode)));
    if (!node) return nullptr;
    node->name = static_cast<char*>(malloc(length + 1));
    if (!node->name) {
        free(node);
        return nullptr;
    }
    node->name[length] = '\0';
    node->nameLength = static_cast<int32_t>(length);
    node->parent = parent;
    node->document = parent ? parent->document : nullptr;
    node->kind = XmlKindNone;
    return node;
}

XmlNode* XmlCreateNode(const char* name, XmlNode* parent) {
    if (!name) name = "";
    size_t length = strlen(name);
    XmlNode* node = XmlCreateNodeSized(length, parent);
    if (node) memcpy(node->name, name, length);
    return node;
}

// The size of the kind's own record; 0 for kinds without one.
static size_t XmlRecordSize(int32_t kind) {
    switch (kind) {
    case XmlKindDocument: return sizeof(XmlDocumentData);
    case XmlKindElement: return sizeof(XmlElementData);
    case XmlKindAttribute: return sizeof(XmlAttributeData);
    case XmlKindDeclaration: return sizeof(XmlDeclarationData);
    default: return 0;
    }
}

// Gives a fresh node its kind and a zero-filled record; a failed record
// leaves data null but keeps the node.
static XmlNode* XmlSetKind(XmlNode* node, int32_t kind) {
    if (!node) return nullptr;
    node->kind = kind;
    size_t recordSize = XmlRecordSize(kind);
    if (recordSize) node->data = calloc(1, recordSize);
    return node;
}

static XmlNode* XmlCreateKind(const char* name, XmlNode* parent, int32_t kind) {
    return XmlSetKind(XmlCreateNode(name, parent), kind);
}

XmlNode* XmlCreateSizedNode(int32_t kind, size_t nameLength, XmlNode* parent) {
    if (kind != XmlKindElement && kind != XmlKindAttribute && kind != XmlKindComment &&
        kind != XmlKindText && kind != XmlKindUnknown) {
        return nullptr;
    }
    XmlNode* node = XmlSetKind(XmlCreateNodeSized(nameLength, parent), kind);
    if (node && !node->data && XmlRecordSize(kind)) {
        XmlFreeNode(node);
        return nullptr;
    }
    return node;
}

XmlNode* XmlCreateDocument(const char* fileName) {
    XmlNode* node = XmlCreateKind(fileName, nullptr, XmlKindDocument);
    if (!node) return nullptr;
    node->document = node;
    if (node->data) static_cast<XmlDocumentData*>(node->data)->errorText = "";
    return node;
}

XmlNode* XmlCreateElement(const char* name, XmlNode* parent) {
    return XmlCreateKind(name, parent, XmlKindElement);
}

XmlNode* XmlCreateAttribute(const char* name, XmlNode* parent) {
    return XmlCreateKind(name, parent, XmlKindAttribute);
}

XmlNode* XmlCreateComment(XmlNode* parent) {
    return XmlCreateKind("", parent, XmlKindComment);
}

XmlNode* XmlCreateText(XmlNode* parent) {
    return XmlCreateKind("", parent, XmlKindText);
}

XmlNode* XmlCreateUnknown(XmlNode* parent) {
    return XmlCreateKind("", parent, XmlKindUnknown);
}

XmlNode* XmlCreateDeclaration(XmlNode* parent) {
    return XmlCreateKind("?xml", parent, XmlKindDeclaration);
}

XmlNode* XmlAppendChild(XmlNode* parent, XmlNode* child) {
    if (!parent || !child) return parent;
    if (child->parent) XmlRemoveChild(child->parent, child);
    if (parent->lastChild) {
        parent->lastChild->nextSibling = child;
        child->prevSibling = parent->lastChild;
        parent->lastChild = child;
    } else {
        parent->firstChild = child;
        parent->lastChild = child;
        child->prevSibling = nullptr;
    }
    child->parent = parent;
    child->nextSibling = nullptr;
    if (!child->document) child->document = parent->document;
    XmlElementData* record = XmlElementRecord(parent);
    if (record && child->kind == XmlKindText) record->lastText = child;
    return parent;
}

void XmlRemoveChild(XmlNode* parent, XmlNode* child) {
    if (!parent || !child || child->parent != parent) return;
    if (child->nextSibling) child->nextSibling->prevSibling = child->prevSibling;
    if (child->prevSibling) child->prevSibling->nextSibling = child->nextSibling;
    if (parent->firstChild == child) parent->firstChild = child->nextSibling;
    if (parent->lastChild == child) parent->lastChild = child->prevSibling;
    XmlElementData* record = XmlElementRecord(parent);
    if (record) {
        // A removed node may be freed by its new owner: keep no pointer to it.
        if (record->textChild == child) record->textChild = nullptr;
        if (record->lastText == child) {
            XmlNode* text = child->prevSibling;
            while (text && text->kind != XmlKindText) text = text->prevSibling;
            record->lastText = text;
        }
    }
    child->parent = nullptr;
}

// The tail is found by walking the chain unless the caller's cursor knows
// it: the element keeps no pointer to it that a caller's own unlinking
// could leave dangling.
void XmlLinkAttribute(XmlNode* element, XmlElementData* record, XmlNode* attribute,
                      XmlNode** tail) {
    XmlNode* last = tail ? *tail : nullptr;
    if (!last) {
        last = record->firstAttribute;
        while (last && last->nextSibling) last = last->nextSibling;
    }
    attribute->parent = element;
    attribute->nextSibling = nullptr;
    attribute->prevSibling = last;
    if (last) {
        last->nextSibling = attribute;
    } else {
        record->firstAttribute = attribute;
    }
    if (tail) *tail = attribute;
}

// The last child of kind Text: the element's own record knows it; without a
// record (or for other kinds) the children are searched from the end.
static XmlNode* XmlLastText(XmlNode* element) {
    XmlElementData* record = XmlElementRecord(element);
    if (record) return record->lastText;
    XmlNode* text = element->lastChild;
    while (text && text->kind != XmlKindText) text = text->prevSibling;
    return text;
}

int32_t XmlAppendText(XmlNode* element, XmlNode* text) {
    if (!text) return 0;
    if (!element) {
        XmlFreeNode(text);
        return 0;
    }
    XmlElementData* record = XmlElementRecord(element);
    XmlNode* last = XmlLastText(element);
    if (!last) {
        XmlAppendChild(element, text);  // first: it forgets a text child it moves
        if (record) record->textChild = text;
        return 0;
    }
    size_t oldLength = last->nameLength > 0 ? static_cast<size_t>(last->nameLength) : 0;
    size_t addLength = text->nameLength > 0 ? static_cast<size_t>(text->nameLength) : 0;
    if (oldLength == 0 || !last->name) {
        // Replaced by a copy of the new text: simply take the new node's string.
        free(last->name);
        last->name = text->name;
        last->nameLength = static_cast<int32_t>(addLength);
        text->name = nullptr;
        XmlFreeNode(text);
        return 0;
    }
    size_t needed = oldLength + addLength + 1;
    if (needed > static_cast<size_t>(INT32_MAX)) {
        XmlFreeNode(text);
        return -1;
    }
    char* merged = static_cast<char*>(realloc(last->name, needed));
    if (!merged) {
        XmlFreeNode(text);
        return -1;
    }
    memcpy(merged + oldLength, text->name, addLength);
    merged[oldLength + addLength] = '\0';
    last->name = merged;
    last->nameLength = static_cast<int32_t>(oldLength + addLength);
    XmlFreeNode(text);
    return 0;
}

XmlNode* XmlGetText(XmlNode* element) {
    XmlElementData* record = XmlElementRecord(element);
    if (!record) return nullptr;
    if (record->textChild) return record->textChild;
    for (XmlNode* child = element->firstChild; child; child = child->nextSibling) {
        if (child->kind == XmlKindText) {
            record->textChild = child;
            return child;
        }
    }
    return nullptr;
}

// Frees what the node owns besides its children and attributes.
static void XmlFreeRecord(XmlNode* node) {
    switch (node->kind) {
    case XmlKindDocument:
    case XmlKindElement:
        free(node->data);  // errorText is static; attributes are freed as nodes
        break;
    case XmlKindAttribute:
        if (node->data) free(static_cast<XmlAttributeData*>(node->data)->value);
        free(node->data);
        break;
    case XmlKindDeclaration:
        if (node->data) {
            XmlDeclarationData* record = static_cast<XmlDeclarationData*>(node->data);
            free(record->encoding);
            free(record->standalone);
            free(record->version);
        }
        free(node->data);
        break;
    default:
        break;  // no record of their own
    }
}

// Frees the element's attributes in chain order.
static void XmlFreeAttributes(XmlElementData* record) {
    XmlNode* attribute = record->firstAttribute;
    while (attribute) {
        XmlNode* next = attribute->nextSibling;
        XmlFreeNode(attribute);
        attribute = next;
    }
}

// Frees the node's attributes, its record, its name and the node; its
// children are gone already.
static void XmlFreeOwnBlocks(XmlNode* node) {
    XmlElementData* record = XmlElementRecord(node);
    if (record) XmlFreeAttributes(record);
    XmlFreeRecord(node);
    free(node->name);
    free(node);
}

void XmlFreeNode(XmlNode* node) {
    // Last child first, each node after its children: about the reverse of
    // the order the parser allocated in. The allocator hands freed blocks out
    // last in, first out, so the next document parsed is laid out in memory
    // in order like this one, instead of in an order that drifts with every
    // parse and free and makes both slower. Parent links lead back up, so a
    // tree of any depth needs no recursion.
    XmlNode* current = node;
    while (current) {
        XmlNode* last = current->lastChild;
        if (last && last->parent == current) {
            current = last;
            continue;
        }
        if (last) {
            // A child that names another parent cannot lead back up here.
            current->lastChild = last->prevSibling;
            XmlFreeNode(last);
            continue;
        }
        XmlNode* parent = current == node ? nullptr : current->parent;
        if (parent) parent->lastChild = current->prevSibling;
        XmlFreeOwnBlocks(current);
        current = parent;
    }
}

const char* XmlParseNode(XmlNode* node, const char* position, XmlParseOptions* options) {
    if (!node || node->kind < 0 || node->kind >= XmlKindCount) return nullptr;
    return XmlParseHandlers[node->kind](node, position, options);
}

void XmlPrintNode(XmlNode* node, FILE* stream) {
    if (!node || node->kind < 0 || node->kind >= XmlKindCount) return;
    XmlPrintHandlers[node->kind](node, stream);
}

// The old string is resized rather than freed: a fresh node's empty name
// usually has room for the new one.
bool XmlStoreString(char** output, int32_t* outputLength, const char* bytes, size_t length) {
    if (length >= static_cast<size_t>(INT32_MAX)) return false;
    char* copy = static_cast<char*>(realloc(*output, length + 1));
    if (!copy) return false;
    memcpy(copy, bytes, length);
    copy[length] = '\0';
    *output = copy;
    *outputLength = static_cast<int32_t>(length);
    return true;
}

const char* XmlSetError(XmlNode* document, const char* message) {
    if (document && document->kind == XmlKindDocument && document->data) {
        XmlDocumentData* record = static_cast<XmlDocumentData*>(document->data);
        record->errorText = message;
        record->errorCode = -1;
    }
    return nullptr;
}
