// builder.cpp - nodes made from values rather than parsed text, linked
// where the parser would have linked them.
#include "builder.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "parser.h"

// A heap copy of text with its length, or false when memory runs out.
static bool XmlCopyText(const char* text, char** copy, int32_t* length) {
    const size_t size = strlen(text);
    if (size >= INT32_MAX) return false;  // lengths are 32-bit
    *copy = static_cast<char*>(malloc(size + 1));
    if (!*copy) return false;
    memcpy(*copy, text, size + 1);
    *length = static_cast<int32_t>(size);
    return true;
}

XmlNode* XmlAddElement(XmlNode* parent, const char* name) {
    if (!parent) return nullptr;
    XmlNode* element = XmlCreateElement(name, parent);
    if (!element || !element->data) {
        XmlFreeNode(element);
        return nullptr;
    }
    XmlAppendChild(parent, element);
    return element;
}

XmlNode* XmlAddAttribute(XmlNode* element, const char* name, const char* value) {
    if (!element || element->kind != XmlKindElement || !element->data) return nullptr;
    XmlNode* attribute = XmlCreateAttribute(name, element);
    XmlAttributeData* record = attribute ? static_cast<XmlAttributeData*>(attribute->data) : nullptr;
    if (!record || !XmlCopyText(value, &record->value, &record->valueLength)) {
        XmlFreeNode(attribute);
        return nullptr;
    }
    XmlLinkAttribute(element, static_cast<XmlElementData*>(element->data), attribute);
    return attribute;
}

XmlNode* XmlAddComment(XmlNode* parent, const char* text) {
    if (!parent) return nullptr;
    XmlNode* comment = XmlCreateComment(parent);
    char* content = nullptr;
    int32_t length = 0;
    if (!comment || !XmlCopyText(text, &content, &length)) {
        XmlFreeNode(comment);
        return nullptr;
    }
    free(comment->name);  // the constructor's empty name
    comment->name = content;
    comment->nameLength = length;
    XmlAppendChild(parent, comment);
    return comment;
}

XmlNode* XmlAddDeclaration(XmlNode* document, const char* version, const char* encoding) {
    if (!document) return nullptr;
    XmlNode* declaration = XmlCreateDeclaration(document);
    XmlDeclarationData* record =
        declaration ? static_cast<XmlDeclarationData*>(declaration->data) : nullptr;
    if (!record || (version && !XmlCopyText(version, &record->version, &record->versionLength)) ||
        (encoding && !XmlCopyText(encoding, &record->encoding, &record->encodingLength))) {
        XmlFreeNode(declaration);
        return nullptr;
    }
    XmlAppendChild(document, declaration);
    return declaration;
}
