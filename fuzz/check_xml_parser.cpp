// check_xml_parser.cpp - the XML parser on arbitrary bytes: the tree it
// builds must be well linked, printable and freeable, whatever the input.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "checks.h"
#include "element_lines.h"
#include "model.h"
#include "parser.h"
#include "writer.h"

namespace {

bool LengthMatches(const char* text, int32_t length) {
    return text && length >= 0 && strlen(text) == static_cast<size_t>(length);
}

// Optional strings of a declaration: absent, or with the right length.
bool OptionalMatches(const char* text, int32_t length) {
    return text ? LengthMatches(text, length) : length == 0;
}

std::string Where(const XmlNode* node) {
    return " (kind " + std::to_string(node->kind) + ", name \"" +
           std::string(node->name ? node->name : "<null>").substr(0, 40) + "\")";
}

std::string CheckAttributes(XmlNode* element, XmlNode* document) {
    const XmlElementData* data = static_cast<const XmlElementData*>(element->data);
    XmlNode* previous = nullptr;
    for (XmlNode* attribute = data->firstAttribute; attribute; attribute = attribute->nextSibling) {
        if (attribute->kind != XmlKindAttribute) return "attribute chain holds another kind" + Where(element);
        if (attribute->parent != element) return "attribute's parent is not its element" + Where(attribute);
        if (attribute->document != document) return "attribute's document is wrong" + Where(attribute);
        if (attribute->prevSibling != previous) return "attribute's previous link is wrong" + Where(attribute);
        if (attribute->firstChild || attribute->lastChild) return "attribute has children" + Where(attribute);
        if (!LengthMatches(attribute->name, attribute->nameLength)) {
            return "attribute nameLength differs from its name" + Where(attribute);
        }
        const XmlAttributeData* value = static_cast<const XmlAttributeData*>(attribute->data);
        if (!value) return "attribute without its record" + Where(attribute);
        if (!LengthMatches(value->value, value->valueLength)) {
            return "attribute valueLength differs from its value" + Where(attribute);
        }
        previous = attribute;
    }
    return "";
}

// What a node must hold whatever its children.
std::string CheckNode(XmlNode* node, XmlNode* document) {
    if (node->kind <= XmlKindNone || node->kind >= XmlKindCount || node->kind == XmlKindAttribute) {
        return "node of kind " + std::to_string(node->kind) + " in the tree";
    }
    if (node->document != document) return "node's document is wrong" + Where(node);
    if (!LengthMatches(node->name, node->nameLength)) return "nameLength differs from the name" + Where(node);
    if (node->kind != XmlKindDocument && node->kind != XmlKindElement && node->firstChild) {
        return "a leaf kind has children" + Where(node);
    }
    if (node->kind == XmlKindElement) {
        if (!node->data) return "element without its record" + Where(node);
        return CheckAttributes(node, document);
    }
    if (node->kind == XmlKindDeclaration) {
        const XmlDeclarationData* data = static_cast<const XmlDeclarationData*>(node->data);
        if (!data) return "declaration without its record";
        if (strcmp(node->name, "?xml") != 0) return "declaration not named ?xml" + Where(node);
        if (!OptionalMatches(data->version, data->versionLength) ||
            !OptionalMatches(data->encoding, data->encodingLength) ||
            !OptionalMatches(data->standalone, data->standaloneLength)) {
            return "declaration value length differs from its value";
        }
    }
    return "";
}

// The child list of a node, walked both ways; an element keeps its text in
// one child, which its record names once it knows it.
std::string CheckChildren(XmlNode* node) {
    if (!node->firstChild != !node->lastChild) return "only one of first/last child set" + Where(node);
    XmlNode* previous = nullptr;
    XmlNode* text = nullptr;
    for (XmlNode* child = node->firstChild; child; child = child->nextSibling) {
        if (child->parent != node) return "child's parent is not its parent" + Where(child);
        if (child->prevSibling != previous) return "child's previous link is wrong" + Where(child);
        if (child->kind == XmlKindText && node->kind == XmlKindElement) {
            if (text) return "element with two text children" + Where(node);
            text = child;
        }
        previous = child;
    }
    if (node->lastChild != previous) return "last child is not the end of the list" + Where(node);
    if (node->kind == XmlKindElement) {
        const XmlElementData* data = static_cast<const XmlElementData*>(node->data);
        if (data->textChild && data->textChild != text) {
            return "element's text child is not its text node" + Where(node);
        }
    }
    return "";
}

FILE* NullStream() {
#ifdef _WIN32
    static FILE* stream = fopen("NUL", "w");
#else
    static FILE* stream = fopen("/dev/null", "w");
#endif
    return stream;
}

// After a parse that succeeded: one line per element, in document order
// (each element before its children), never decreasing, within the text.
std::string CheckElementLines(XmlNode* document, const XmlElementLines& lines, const char* text) {
    int32_t last_line = 1;
    for (const char* c = text; *c; ++c) last_line += *c == '\n';
    std::vector<XmlNode*> pending{document};
    uint32_t next = 0;
    int32_t line = 1;
    while (!pending.empty()) {
        XmlNode* node = pending.back();
        pending.pop_back();
        if (node->kind == XmlKindElement) {
            if (next >= lines.count || lines.items[next].element != node) {
                return "element lines out of document order" + Where(node);
            }
            if (lines.items[next].line < line || lines.items[next].line > last_line) {
                return "element line " + std::to_string(lines.items[next].line) + " out of order";
            }
            line = lines.items[next++].line;
        }
        std::vector<XmlNode*> children;
        for (XmlNode* child = node->firstChild; child; child = child->nextSibling) {
            children.push_back(child);
        }
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return next == lines.count ? "" : "element lines for elements not in the tree";
}

}  // namespace

std::string CheckXmlTree(XmlNode* document, size_t max_nodes) {
    if (!document || document->kind != XmlKindDocument || document->document != document) {
        return "not a document";
    }
    if (document->parent || document->nextSibling || document->prevSibling) {
        return "document is linked to something";
    }
    // An explicit stack: trees nest thousands of levels deep.
    std::vector<XmlNode*> pending{document};
    size_t visited = 0;
    while (!pending.empty()) {
        XmlNode* node = pending.back();
        pending.pop_back();
        if (++visited > max_nodes) return "more nodes than the input can make: a cycle";
        std::string problem = CheckNode(node, document);
        if (problem.empty()) problem = CheckChildren(node);
        if (!problem.empty()) return problem;
        for (XmlNode* child = node->firstChild; child; child = child->nextSibling) {
            pending.push_back(child);
        }
    }
    return "";
}

std::string CheckXmlParser(const uint8_t* data, size_t size) {
    // The parser takes a zero-terminated text; it ends at the first zero.
    const std::string input(reinterpret_cast<const char*>(data), size);
    const char* text = input.c_str();
    XmlNode* document = XmlCreateDocument("fuzz.xml");
    if (!document) return "";  // out of memory: nothing to check
    XmlParseOptions options = {};
    // Parsed with element lines recorded, as gvdump parses.
    XmlElementLines lines = {};
    XmlElementLinesBegin(&lines, text);
    XmlRecordElementLines(&lines);
    const char* end = XmlParseChildren(document, text, &options);
    XmlRecordElementLines(nullptr);
    const XmlDocumentData* record = static_cast<const XmlDocumentData*>(document->data);
    std::string problem;
    if (end && end != text + strlen(text)) {
        problem = "parse stopped before the end of the text";
    } else if (!end && (record->errorCode != -5 ||
                        strcmp(record->errorText, "can't parse node data !") != 0)) {
        problem = std::string("failed parse left \"") + record->errorText + "\"";
    }
    // Every node holds at least one byte of the text, the empty text none.
    if (problem.empty()) problem = CheckXmlTree(document, 2 * strlen(text) + 2);
    if (problem.empty() && end) problem = CheckElementLines(document, lines, text);
    if (problem.empty()) XmlPrintNode(document, NullStream());
    XmlElementLinesFree(&lines);
    XmlFreeNode(document);
    return problem;
}
