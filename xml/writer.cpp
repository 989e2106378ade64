// writer.cpp - prints nodes back as XML text, one handler per node kind.
// Formats are fixed: " />" for empty elements, one tab before every child line.
#include "writer.h"

#include "text.h"

namespace {

const int32_t ENTITY_COUNT = static_cast<int32_t>(sizeof(XmlEntities) / sizeof(XmlEntities[0]));

const char* XmlEntityFor(char character) {
    for (int32_t i = 0; i < ENTITY_COUNT; ++i) {
        if (XmlEntities[i].character == character) return XmlEntities[i].text;
    }
    return "";  // unreachable: the set below is built from the same table
}

}  // namespace

// Prints every top-level node of the document, each followed by a line feed.
void XmlPrintDocument(XmlNode* node, FILE* stream) {
    if (!node) return;
    for (XmlNode* child = node->firstChild; child; child = child->nextSibling) {
        XmlPrintNode(child, stream);
        fprintf(stream, "\n");
    }
}

// Prints the element with its attributes, its text first, then the other
// children, each on a line of its own starting with one tab. An element
// without a name prints nothing.
void XmlPrintElement(XmlNode* node, FILE* stream) {
    if (!node || !node->name || node->nameLength == 0) return;
    XmlElementData* data = static_cast<XmlElementData*>(node->data);
    fprintf(stream, "<%s", node->name);
    if (data) {
        for (XmlNode* attribute = data->firstAttribute; attribute; attribute = attribute->nextSibling) {
            XmlPrintAttribute(attribute, stream);
        }
    }
    if (!node->firstChild) {
        fprintf(stream, " />");
        return;
    }
    fprintf(stream, " >\n\t");
    XmlNode* text = data ? data->textChild : nullptr;
    if (text) {
        XmlPrintText(text, stream);
        fprintf(stream, "\n\t");
    }
    for (XmlNode* child = node->firstChild; child; child = child->nextSibling) {
        if (child == text) continue;
        XmlPrintNode(child, stream);
        fprintf(stream, "\n\t");
    }
    fprintf(stream, "</%s>", node->name);
}

// Prints "<!-- content -->"; the surrounding spaces are written even for an
// empty comment.
void XmlPrintComment(XmlNode* node, FILE* stream) {
    if (!node) return;
    fprintf(stream, "<!-- ");
    XmlPrintEscaped(node->name, node->nameLength, stream);
    fprintf(stream, " -->");
}

// Prints ` name="value"` with its leading space. An attribute with an empty
// name or value, or without its record, prints nothing at all.
void XmlPrintAttribute(XmlNode* node, FILE* stream) {
    if (!node || !node->name || node->nameLength == 0) return;
    XmlAttributeData* data = static_cast<XmlAttributeData*>(node->data);
    if (!data || !data->value || data->valueLength == 0) return;
    fprintf(stream, " %s=\"", node->name);
    XmlPrintEscaped(data->value, data->valueLength, stream);
    fprintf(stream, "\"");
}

// Prints the character data escaped; nothing when it is empty.
void XmlPrintText(XmlNode* node, FILE* stream) {
    if (!node || !node->name || node->nameLength == 0) return;
    XmlPrintEscaped(node->name, node->nameLength, stream);
}

// Prints "<?xml", each non-empty pseudo-attribute as stored, then " ?>".
// Values are not escaped. A declaration without its record prints nothing.
void XmlPrintDeclaration(XmlNode* node, FILE* stream) {
    if (!node) return;
    XmlDeclarationData* data = static_cast<XmlDeclarationData*>(node->data);
    if (!data) return;
    fprintf(stream, "<?xml");
    if (data->version && data->versionLength > 0) {
        fprintf(stream, " version=\"%.*s\"", static_cast<int>(data->versionLength), data->version);
    }
    if (data->encoding && data->encodingLength > 0) {
        fprintf(stream, " encoding=\"%.*s\"", static_cast<int>(data->encodingLength), data->encoding);
    }
    if (data->standalone && data->standaloneLength > 0) {
        fprintf(stream, " standalone=\"%.*s\"", static_cast<int>(data->standaloneLength),
                data->standalone);
    }
    fprintf(stream, " ?>");
}

// Prints the markup exactly as it was read: it already runs from its own "<"
// through its ">", so adding brackets would not read back as the same node.
// Nothing for empty markup.
void XmlPrintUnknown(XmlNode* node, FILE* stream) {
    if (!node || !node->name || node->nameLength <= 0) return;
    fprintf(stream, "%.*s", static_cast<int>(node->nameLength), node->name);
}

// Writes at most length bytes of text, stopping early at a zero byte, with
// the five special characters replaced by their named entities. Each run of
// ordinary bytes goes out in one print together with the entity that ends it.
// Nothing for a missing stream or text or a length of 0 or less.
void XmlPrintEscaped(const char* text, int32_t length, FILE* stream) {
    if (!stream || !text || length <= 0) return;
    bool special[256] = {};
    for (int32_t i = 0; i < ENTITY_COUNT; ++i) {
        special[static_cast<unsigned char>(XmlEntities[i].character)] = true;
    }
    const char* run = text;
    const char* position = text;
    const char* end = text + length;
    while (position < end && *position != '\0') {
        if (special[static_cast<unsigned char>(*position)]) {
            // A run is not zero-terminated where the special byte follows.
            fprintf(stream, "%.*s%s", static_cast<int>(position - run), run, XmlEntityFor(*position));
            run = position + 1;
        }
        ++position;
    }
    if (position > run) fprintf(stream, "%.*s", static_cast<int>(position - run), run);
}
