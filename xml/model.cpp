// model.cpp - the XML document model: node construction, tree links, text
// merging, freeing, dispatch by kind and the document's error slot.
#include "model.h"

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

XmlNode* XmlCreateNode(const char* name, XmlNode* parent) {
    if (!name) name = "";
    size_t length = strlen(name);
    if (length >= INT32_MAX) return nullptr;  // lengths are 32-bit
    XmlNode* node = static_cast<XmlNode*>(calloc(1, sizeof(XmlNode)));
    if (!node) return nullptr;
    node->name = static_cast<char*>(malloc(length + 1));
    if (!node->name) {
        free(node);
        return nullptr;
    }
    memcpy(node->name, name, length + 1);
    node->nameLength = static_cast<int32_t>(length);
    node->parent = parent;
    node->document = parent ? parent->document : nullptr;
    node->kind = XmlKindNone;
    return node;
}

// A node of the kind with a zero-filled record of recordSize bytes (none for
// 0); a failed record leaves data null but still gives the node.
static XmlNode* XmlCreateKind(const char* name, XmlNode* parent, int32_t kind, size_t recordSize) {
    XmlNode* node = XmlCreateNode(name, parent);
    if (!node) return nullptr;
    node->kind = kind;
    if (recordSize) node->data = calloc(1, recordSize);
    return node;
}

XmlNode* XmlCreateDocument(const char* fileName) {
    XmlNode* node = XmlCreateKind(fileName, nullptr, XmlKindDocument, sizeof(XmlDocumentData));
    if (!node) return nullptr;
    node->document = node;
    if (node->data) static_cast<XmlDocumentData*>(node->data)->errorText = "";
    return node;
}

XmlNode* XmlCreateElement(const char* name, XmlNode* parent) {
    return XmlCreateKind(name, parent, XmlKindElement, sizeof(XmlElementData));
}

XmlNode* XmlCreateAttribute(const char* name, XmlNode* parent) {
    return XmlCreateKind(name, parent, XmlKindAttribute, sizeof(XmlAttributeData));
}

XmlNode* XmlCreateComment(XmlNode* parent) {
    return XmlCreateKind("", parent, XmlKindComment, 0);
}

XmlNode* XmlCreateText(XmlNode* parent) {
    return XmlCreateKind("", parent, XmlKindText, 0);
}

XmlNode* XmlCreateUnknown(XmlNode* parent) {
    return XmlCreateKind("", parent, XmlKindUnknown, 0);
}

XmlNode* XmlCreateDeclaration(XmlNode* parent) {
    return XmlCreateKind("?xml", parent, XmlKindDeclaration, sizeof(XmlDeclarationData));
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
    if (record && child->kind == XmlKindText) {
        record->lastText = child;
        record->textCapacity = 0;
    }
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
            record->textCapacity = 0;
        }
    }
    child->parent = nullptr;
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
        if (record) record->textCapacity = 0;
        return 0;
    }
    size_t needed = oldLength + addLength + 1;
    if (needed > static_cast<size_t>(INT32_MAX)) {
        XmlFreeNode(text);
        return -1;
    }
    size_t capacity = oldLength + 1;  // what an unknown name surely has
    if (record && record->textCapacity > 0 && record->textBuffer == last->name &&
        record->textLength == last->nameLength) {
        capacity = static_cast<size_t>(record->textCapacity);
    }
    if (needed > capacity) {
        // Grow by doubling so that many small pieces cost linear time overall.
        size_t grown = capacity * 2 > needed ? capacity * 2 : needed;
        if (grown > static_cast<size_t>(INT32_MAX)) grown = static_cast<size_t>(INT32_MAX);
        char* bigger = static_cast<char*>(realloc(last->name, grown));
        if (!bigger) {
            XmlFreeNode(text);
            return -1;
        }
        last->name = bigger;
        capacity = grown;
    }
    memcpy(last->name + oldLength, text->name, addLength);
    last->name[oldLength + addLength] = '\0';
    last->nameLength = static_cast<int32_t>(oldLength + addLength);
    if (record) {
        record->textBuffer = last->name;
        record->textLength = last->nameLength;
        record->textCapacity = static_cast<int32_t>(capacity);
    }
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

// Puts the sibling chain starting at first in front of pending, linked
// through nextSibling, and returns the new head.
static XmlNode* XmlPushChain(XmlNode* pending, XmlNode* first) {
    if (!first) return pending;
    XmlNode* tail = first;
    while (tail->nextSibling) tail = tail->nextSibling;
    tail->nextSibling = pending;
    return first;
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

void XmlFreeNode(XmlNode* node) {
    // Nodes waiting to be freed are chained through their nextSibling (they
    // are all going anyway), so a tree of any depth needs no recursion.
    XmlNode* pending = nullptr;
    XmlNode* current = node;
    while (current) {
        pending = XmlPushChain(pending, current->firstChild);
        XmlElementData* record = XmlElementRecord(current);
        if (record) pending = XmlPushChain(pending, record->firstAttribute);
        XmlFreeRecord(current);
        free(current->name);
        free(current);
        current = pending;
        if (pending) pending = pending->nextSibling;
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

const char* XmlSetError(XmlNode* document, const char* message) {
    if (document && document->kind == XmlKindDocument && document->data) {
        XmlDocumentData* record = static_cast<XmlDocumentData*>(document->data);
        record->errorText = message;
        record->errorCode = -1;
    }
    return nullptr;
}
