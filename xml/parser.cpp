// parser.cpp - the recursive-descent parser: reads a zero-terminated text in
// place, one construct per call, and builds nodes with private string copies.
#include "parser.h"

#include <cstdlib>
#include <cstring>

#include "text.h"

struct XmlToken {
    const char* text;
    int32_t length;
};

// Markup tokens, compared byte for byte.
static const XmlToken XmlMarkupTokens[4] = {{"<?xml", 5}, {"<!--", 4}, {"-->", 3}, {"<!", 2}};
static const XmlToken& XmlDeclarationOpen = XmlMarkupTokens[0];
static const XmlToken& XmlCommentOpen = XmlMarkupTokens[1];
static const XmlToken& XmlCommentClose = XmlMarkupTokens[2];
static const XmlToken& XmlMarkupOpen = XmlMarkupTokens[3];

static bool XmlStartsWithToken(const char* text, const XmlToken& token) {
    return XmlStartsWith(text, token.text, token.length);
}

static void XmlSetErrorCode(XmlNode* document, const char* message, int32_t code) {
    XmlSetError(document, message);
    if (document && document->kind == XmlKindDocument && document->data) {
        static_cast<XmlDocumentData*>(document->data)->errorCode = code;
    }
}

static XmlNode* XmlDocumentOf(XmlNode* node) { return node ? node->document : nullptr; }

// Null unless a caller asked for element lines: then one test per element.
static thread_local XmlElementLines* XmlLinesToRecord = nullptr;

void XmlRecordElementLines(XmlElementLines* lines) { XmlLinesToRecord = lines; }

// A letter of the "C" locale, as XmlIsSpace.
static bool XmlIsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The end of a name at position: the first white-space byte, stop or
// otherStop, or the end of the text. Every name is read this way: tag names
// end at '>' or '/', end-tag names and declaration words at '>', attribute
// names at '='; anything else, quotes and bytes above 0x7F included, belongs
// to the name.
static const char* XmlScanName(const char* position, char stop, char otherStop) {
    while (*position && *position != stop && *position != otherStop && !XmlIsSpace(*position)) {
        ++position;
    }
    return position;
}

// Whether a node of this kind needs a kind record to be filled.
static bool XmlNeedsRecord(int32_t kind) {
    return kind == XmlKindDocument || kind == XmlKindElement || kind == XmlKindAttribute ||
           kind == XmlKindDeclaration;
}

// The kind of node the bytes at position call for.
static int32_t XmlKindAt(const char* position) {
    const char c = position[0];
    if (XmlStartsWithToken(position, XmlDeclarationOpen)) return XmlKindDeclaration;
    if (XmlStartsWithToken(position, XmlCommentOpen)) return XmlKindComment;
    if (XmlStartsWithToken(position, XmlMarkupOpen)) return XmlKindUnknown;
    if (c == XmlLess && (XmlIsLetter(position[1]) || position[1] == XmlUnderscore ||
                         XmlIsSpace(position[1]))) {
        return XmlKindElement;
    }
    if (c == '\0' || c == XmlLess || c == XmlGreater) return XmlKindUnknown;
    return XmlKindText;
}

XmlNode* XmlCreateNodeAt(XmlNode* parent, const char* position) {
    if (!position) return nullptr;
    XmlNode* node = nullptr;
    switch (XmlKindAt(position)) {
    case XmlKindDeclaration: node = XmlCreateDeclaration(parent); break;
    case XmlKindComment: node = XmlCreateComment(parent); break;
    case XmlKindElement: node = XmlCreateElement("", parent); break;
    case XmlKindText: node = XmlCreateText(parent); break;
    default: node = XmlCreateUnknown(parent); break;
    }
    // Out of memory for the record: the node could not be created usefully.
    if (node && !node->data && XmlNeedsRecord(node->kind)) {
        XmlFreeNode(node);
        return nullptr;
    }
    return node;
}

const char* XmlParseChildren(XmlNode* document, const char* position, XmlParseOptions* options) {
    if (!document) return nullptr;
    XmlNode* owner = document->document ? document->document : document;
    if (!position) {
        XmlSetErrorCode(owner, "NULL pointer data !", -4);
        return nullptr;
    }
    while (*position) {
        position = XmlSkipSpace(position);
        if (!*position) break;
        XmlNode* child = XmlCreateNodeAt(document, position);
        const char* next = child ? XmlParseNode(child, position, options) : nullptr;
        if (!next) {
            XmlFreeNode(child);
            XmlSetErrorCode(owner, "can't parse node data !", -5);
            return nullptr;
        }
        XmlAppendChild(document, child);
        position = next;
    }
    return position;
}

// The end of XmlReadTagName, at the byte that ended the name.
static const char* XmlAfterTagName(const char* position, bool* empty) {
    if (*position == XmlSlash) {
        if (position[1] != XmlGreater) return nullptr;
        *empty = true;
        return position + 2;
    }
    return position;
}

const char* XmlReadTagName(const char* position, XmlNode* element, bool* empty) {
    *empty = false;
    if (!position || !element) return nullptr;
    position = XmlSkipSpace(position);
    if (!*position) return nullptr;
    const char* start = position;
    position = XmlScanName(position, XmlGreater, XmlSlash);
    if (position == start) return nullptr;
    if (!XmlStoreString(&element->name, &element->nameLength, start,
                        static_cast<size_t>(position - start))) {
        return nullptr;
    }
    return XmlAfterTagName(position, empty);
}

// XmlParseAttribute from the byte after the attribute's name, which the
// attribute holds already.
static const char* XmlReadAttributeValue(XmlNode* attribute, const char* position,
                                         XmlParseOptions* options) {
    XmlNode* document = XmlDocumentOf(attribute);
    if (*position != XmlEquals) position = XmlSkipSpace(position);
    if (*position != XmlEquals) {
        return XmlSetError(document, "unexpected symbol( expect '=' ) while parsing attribute !");
    }
    position = XmlSkipSpace(position + 1);
    const char quote = *position;
    if (quote != XmlApostrophe && quote != XmlQuote) {
        return XmlSetError(document,
                           "unexpected symbol( expect opening quote ) while parsing attribute !");
    }
    if (attribute->kind != XmlKindAttribute || !attribute->data) return nullptr;
    XmlAttributeData* record = static_cast<XmlAttributeData*>(attribute->data);
    return XmlReadText(position + 1, &quote, 1, options, &record->value, &record->valueLength);
}

const char* XmlReadAttributes(const char* position, XmlNode* element, XmlParseOptions* options,
                              bool* empty) {
    *empty = false;
    if (!position || !element) return nullptr;
    XmlNode* document = XmlDocumentOf(element);
    XmlElementData* record = element->kind == XmlKindElement
                                 ? static_cast<XmlElementData*>(element->data)
                                 : nullptr;
    XmlNode* tail = nullptr;  // the chain's end, once found
    while (*position) {
        position = XmlSkipSpace(position);
        if (!*position) return XmlSetError(document, "error while parsing element tag !");
        if (*position == XmlGreater) return position + 1;
        if (*position == XmlSlash) {
            if (position[1] != XmlGreater) {
                return XmlSetError(document,
                                   "find incorrect symbol after '/' while parsing element tag !");
            }
            *empty = true;
            return position + 2;
        }
        // Made with its name, read once here.
        const char* name = position;
        position = XmlScanName(position, XmlEquals, XmlEquals);
        XmlNode* attribute =
            record ? XmlCreateSizedNode(XmlKindAttribute, static_cast<size_t>(position - name),
                                        element)
                   : nullptr;
        if (attribute) memcpy(attribute->name, name, static_cast<size_t>(position - name));
        const char* next =
            attribute ? XmlReadAttributeValue(attribute, position, options) : nullptr;
        if (!next) {
            XmlFreeNode(attribute);
            return XmlSetError(document, "error while parsing element tag !");
        }
        XmlLinkAttribute(element, record, attribute, &tail);
        position = next;
    }
    return position;
}

static const char* XmlParseElementAt(XmlNode* element, const char* position,
                                     XmlParseOptions* options, int32_t depth,
                                     const char* afterName);

// XmlCreateNodeAt for a child inside an element. An element is made with
// its tag name in place, read once, which spares the empty name and its
// resizing; *afterName is then the byte after the name, else null.
static XmlNode* XmlCreateChildAt(XmlNode* parent, const char* position, const char** afterName) {
    *afterName = nullptr;
    if (XmlKindAt(position) != XmlKindElement) return XmlCreateNodeAt(parent, position);
    const char* start = XmlSkipSpace(position + 1);
    const char* end = XmlScanName(start, XmlGreater, XmlSlash);
    if (end == start) return XmlCreateNodeAt(parent, position);  // fails as it should
    XmlNode* node = XmlCreateSizedNode(XmlKindElement, static_cast<size_t>(end - start), parent);
    if (!node) return nullptr;
    memcpy(node->name, start, static_cast<size_t>(end - start));
    *afterName = end;
    return node;
}

// Character data of one element's content, merged as XmlAppendText merges
// it. After the first piece the merged text is known, so each further piece
// is read straight onto its end, without a node of its own, into a block
// that keeps room to grow, so that many pieces cost linear time; the room is
// given back at the end.
struct XmlTextMerge {
    XmlNode* text = nullptr;  // the element's last text child, once known
    size_t room = 0;          // bytes allocated behind text->name
};

// The first piece, a parsed text node, which the element takes.
static bool XmlMergeFirstText(XmlNode* element, XmlNode* piece, XmlTextMerge* merge) {
    if (XmlAppendText(element, piece) < 0) return false;
    XmlElementData* record = element->kind == XmlKindElement
                                 ? static_cast<XmlElementData*>(element->data)
                                 : nullptr;
    merge->text = record ? record->lastText : nullptr;
    merge->room = merge->text ? static_cast<size_t>(merge->text->nameLength) + 1 : 0;
    return true;
}

// A further piece at position, read as XmlParseText reads it.
static const char* XmlMergeNextText(const char* position, XmlTextMerge* merge) {
    XmlParseOptions none = {};  // character data keeps its white space
    const char terminator = XmlLess;
    const char* stop = nullptr;
    XmlNode* text = merge->text;
    if (!XmlReadTextAt(position, &terminator, 1, &none, &text->name, &text->nameLength, &stop,
                       &merge->room)) {
        return nullptr;
    }
    return stop;
}

static void XmlEndTextMerge(XmlTextMerge* merge) {
    XmlNode* text = merge->text;
    if (!text || merge->room <= static_cast<size_t>(text->nameLength) + 1) return;
    size_t length = static_cast<size_t>(text->nameLength);
    char* fitted = static_cast<char*>(realloc(text->name, length + 1));
    if (fitted) text->name = fitted;
}

// XmlReadContent for an element at the given nesting depth.
static const char* XmlReadContentAt(const char* position, XmlNode* element,
                                    XmlParseOptions* options, int32_t depth) {
    XmlTextMerge merge;
    while (*position) {
        position = XmlSkipSpace(position);
        if (position[0] == XmlLess && position[1] == XmlSlash) break;
        if (merge.text && XmlKindAt(position) == XmlKindText) {
            const char* next = XmlMergeNextText(position, &merge);
            if (!next) {
                XmlEndTextMerge(&merge);
                return XmlSetError(XmlDocumentOf(element),
                                   "can't read inner data while parsing element !");
            }
            position = next;
            continue;
        }
        const char* afterName = nullptr;
        XmlNode* child = XmlCreateChildAt(element, position, &afterName);
        const char* next = nullptr;
        if (child && child->kind == XmlKindElement) {
            next = XmlParseElementAt(child, position, options, depth + 1, afterName);
        } else if (child) {
            next = XmlParseNode(child, position, options);
        }
        if (next && child->kind == XmlKindText) {
            if (!XmlMergeFirstText(element, child, &merge)) next = nullptr;  // child is gone
            child = nullptr;
        }
        if (!next) {
            XmlFreeNode(child);
            XmlEndTextMerge(&merge);
            return XmlSetError(XmlDocumentOf(element),
                               "can't read inner data while parsing element !");
        }
        if (child) XmlAppendChild(element, child);
        position = next;
    }
    XmlEndTextMerge(&merge);
    return position;
}

// afterName, when not null, is the byte after the tag name the element
// already holds.
static const char* XmlParseElementAt(XmlNode* element, const char* position,
                                     XmlParseOptions* options, int32_t depth,
                                     const char* afterName) {
    XmlNode* document = XmlDocumentOf(element);
    if (depth > XmlMaxElementDepth) {
        return XmlSetError(document, "element nesting too deep while parsing element tag !");
    }
    bool empty = false;
    if (afterName) {
        if (XmlLinesToRecord) XmlElementLinesNote(XmlLinesToRecord, element, position);
        position = XmlAfterTagName(afterName, &empty);
    } else {
        position = XmlSkipSpace(position);
        if (!position || *position != XmlLess) {
            return XmlSetError(document, "unexpected character while parsing element tag !");
        }
        if (XmlLinesToRecord) XmlElementLinesNote(XmlLinesToRecord, element, position);
        position = XmlReadTagName(position + 1, element, &empty);
    }
    if (!position) return XmlSetError(document, "can't read tag name while parsing element tag !");
    if (empty) return position;
    position = XmlReadAttributes(position, element, options, &empty);
    if (!position) {
        return XmlSetError(document, "can't read attributes while parsing element tag !");
    }
    if (empty) return position;
    position = XmlReadContentAt(position, element, options, depth);
    if (!position) return XmlSetError(document, "error while parsing element tag !");
    if (position[0] != XmlLess || position[1] != XmlSlash) {
        return XmlSetError(document, "not found '</' while parsing element tag !");
    }
    position = XmlSkipSpace(position + 2);
    const char* name = position;
    position = XmlScanName(position, XmlGreater, XmlGreater);
    size_t nameLength = static_cast<size_t>(position - name);
    position = XmlSkipSpace(position);
    if (*position != XmlGreater) {
        return XmlSetError(document, "not found closing '>' while parsing element tag !");
    }
    if (nameLength == 0 || nameLength != static_cast<size_t>(element->nameLength) ||
        memcmp(name, element->name, nameLength) != 0) {
        return XmlSetError(document,
                           "end tag not match with open tag while parsing element tag !");
    }
    return position + 1;
}

// The nesting depth of an element: 1 plus its element ancestors, counted no
// further than just past the limit.
static int32_t XmlElementDepth(const XmlNode* element) {
    int32_t depth = 1;
    for (const XmlNode* up = element->parent; up && depth <= XmlMaxElementDepth; up = up->parent) {
        if (up->kind == XmlKindElement) ++depth;
    }
    return depth;
}

const char* XmlReadContent(const char* position, XmlNode* element, XmlParseOptions* options) {
    if (!position || !element) return nullptr;
    return XmlReadContentAt(position, element, options, XmlElementDepth(element));
}

const char* XmlParseElement(XmlNode* element, const char* position, XmlParseOptions* options) {
    if (!element) return nullptr;
    return XmlParseElementAt(element, position, options, XmlElementDepth(element), nullptr);
}

const char* XmlParseAttribute(XmlNode* attribute, const char* position, XmlParseOptions* options) {
    if (!attribute) return nullptr;
    if (!position) return XmlSetError(XmlDocumentOf(attribute), "error while parsing attribute !");
    position = XmlSkipSpace(position);
    const char* name = position;
    position = XmlScanName(position, XmlEquals, XmlEquals);
    if (!XmlStoreString(&attribute->name, &attribute->nameLength, name,
                        static_cast<size_t>(position - name))) {
        return nullptr;
    }
    return XmlReadAttributeValue(attribute, position, options);
}

const char* XmlParseText(XmlNode* text, const char* position, XmlParseOptions* options) {
    if (!text) return nullptr;
    if (!position || *position == '\0' || *position == XmlLess || *position == XmlGreater) {
        return XmlSetError(XmlDocumentOf(text), "error while parsing text!");
    }
    // Character data keeps its white space whatever the caller asked for.
    XmlParseOptions none = {};
    if (!options) options = &none;
    const int32_t stripSpace = options->stripSpace;
    options->stripSpace = 0;
    const char terminator = XmlLess;
    const char* stop = nullptr;
    const char* read = XmlReadTextAt(position, &terminator, 1, options, &text->name,
                                     &text->nameLength, &stop);
    options->stripSpace = stripSpace;
    if (!read) return nullptr;
    return stop;  // the '<' that ended the text stays for the caller
}

const char* XmlParseComment(XmlNode* comment, const char* position, XmlParseOptions*) {
    if (!comment) return nullptr;
    XmlNode* document = XmlDocumentOf(comment);
    if (!position || !XmlStartsWithToken(position, XmlCommentOpen)) {
        return XmlSetError(document, "incorrect open tag while parsing comment element !");
    }
    const char* start = position + XmlCommentOpen.length;
    const char* end = start;
    while (*end && !XmlStartsWithToken(end, XmlCommentClose)) ++end;
    if (!*end) {
        return XmlSetError(document, "can't find closing '-->' while parsing comment element !");
    }
    if (!XmlStoreString(&comment->name, &comment->nameLength, start,
                        static_cast<size_t>(end - start))) {
        return nullptr;
    }
    return end + XmlCommentClose.length;
}

namespace {

// A pseudo-attribute of the declaration and the record fields it fills.
struct XmlDeclarationField {
    const char* keyword;
    int32_t keywordLength;
    char* XmlDeclarationData::*value;
    int32_t XmlDeclarationData::*length;
};

const XmlDeclarationField XmlDeclarationFields[3] = {
    {"version", 7, &XmlDeclarationData::version, &XmlDeclarationData::versionLength},
    {"encoding", 8, &XmlDeclarationData::encoding, &XmlDeclarationData::encodingLength},
    {"standalone", 10, &XmlDeclarationData::standalone, &XmlDeclarationData::standaloneLength},
};

}  // namespace

static bool XmlEqualsNoCase(const char* text, int32_t length, const char* word) {
    int32_t wordLength = static_cast<int32_t>(strlen(word));
    return length == wordLength && XmlStartsWithNoCase(text, word, wordLength);
}

const char* XmlParseDeclaration(XmlNode* declaration, const char* position,
                                XmlParseOptions* options) {
    if (!declaration || declaration->kind != XmlKindDeclaration || !declaration->data) {
        return XmlSetError(XmlDocumentOf(declaration), "NULL declaraton object");
    }
    XmlNode* document = declaration->document;
    XmlDeclarationData* record = static_cast<XmlDeclarationData*>(declaration->data);
    position = XmlSkipSpace(position);
    if (!position || *position != XmlLess) {
        return XmlSetError(document, "unexpected character while parsing declaration tag !");
    }
    if (!XmlStartsWithToken(position, XmlDeclarationOpen)) {
        return XmlSetError(document, "incorrect tag while parsing declaration tag !");
    }
    if (!XmlStoreString(&declaration->name, &declaration->nameLength, "?xml", 4)) return nullptr;
    position += XmlDeclarationOpen.length;
    while (*position && *position != XmlGreater) {
        position = XmlSkipSpace(position);
        const XmlDeclarationField* field = nullptr;
        for (const XmlDeclarationField& candidate : XmlDeclarationFields) {
            if (XmlStartsWithNoCase(position, candidate.keyword, candidate.keywordLength)) {
                field = &candidate;
                break;
            }
        }
        if (!field) {
            // Passes over the '?' of "?>" and any other pseudo-attribute.
            position = XmlScanName(position, XmlGreater, XmlGreater);
            continue;
        }
        XmlNode* attribute = XmlCreateAttribute("", declaration);
        const char* next = attribute ? XmlParseAttribute(attribute, position, options) : nullptr;
        if (!next) {
            XmlFreeNode(attribute);
            return XmlSetError(document, "can't parse attribute while parsing declaration tag !");
        }
        // The value moves over; a repeated pseudo-attribute keeps its last value.
        XmlAttributeData* value = static_cast<XmlAttributeData*>(attribute->data);
        free(record->*(field->value));
        record->*(field->value) = value->value;
        record->*(field->length) = value->valueLength;
        value->value = nullptr;
        XmlFreeNode(attribute);
        position = next;
    }
    if (record->standaloneLength > 0 &&
        !XmlEqualsNoCase(record->standalone, record->standaloneLength, "yes") &&
        !XmlEqualsNoCase(record->standalone, record->standaloneLength, "no")) {
        return XmlSetError(document,
                           "declaration's tag attribute 'standalone' has invalid value !");
    }
    if (*position != XmlGreater) {
        return XmlSetError(document, "can't find closing '>' while parsing declaration tag !");
    }
    return position + 1;
}

const char* XmlParseUnknown(XmlNode* node, const char* position, XmlParseOptions*) {
    if (!node) return nullptr;
    XmlNode* document = XmlDocumentOf(node);
    position = XmlSkipSpace(position);
    if (!position || *position != XmlLess) {
        return XmlSetError(document, "unexpected character while parsing unknown tag !");
    }
    const char* end = position + 1;
    while (*end && *end != XmlGreater) ++end;
    if (!*end) return XmlSetError(document, "can't find closing '>' while parsing unknown tag !");
    if (!XmlStoreString(&node->name, &node->nameLength, position,
                        static_cast<size_t>(end - position) + 1)) {
        return nullptr;
    }
    return end + 1;
}
