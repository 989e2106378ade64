// builder.cpp - nodes made from values rather than parsed text, linked
// where the parser would have linked them.
#include "builder.h"

#include <cstring>

// A heap copy of text in place of *copy, with its length.
static bool XmlCopyText(const char* text, char** copy, int32_t* length) {
    return XmlStoreString(copy, length, text, strlen(text));
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
    if (!comment || !XmlCopyText(text, &comment->name, &comment->nameLength)) {
        XmlFreeNode(comment);
        return nullptr;
    }
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
