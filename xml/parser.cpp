// parser.cpp - the recursive-descent parser: reads a zero-terminated text in
// place, one construct per call, and builds nodes with private string copies.
#include "parser.h"

#include <cassert>
#include <climits>
#include <cstdlib>
#include <cstring>

const XmlEntity XmlEntities[5] = {
    {"&amp;", 5, '&'}, {"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&quot;", 6, '"'}, {"&apos;", 6, '\''}};

// The parser's special characters, named by their place in the table.
static constexpr char XmlSpecialChars[] = "_<>&#xX;='\"/-";
static constexpr char XmlUnderscore = XmlSpecialChars[0];
static constexpr char XmlLess = XmlSpecialChars[1];
static constexpr char XmlGreater = XmlSpecialChars[2];
static constexpr char XmlAmpersand = XmlSpecialChars[3];
static constexpr char XmlHash = XmlSpecialChars[4];
static constexpr char XmlLowerX = XmlSpecialChars[5];
static constexpr char XmlUpperX = XmlSpecialChars[6];
static constexpr char XmlEquals = XmlSpecialChars[8];
static constexpr char XmlApostrophe = XmlSpecialChars[9];
static constexpr char XmlQuote = XmlSpecialChars[10];
static constexpr char XmlSlash = XmlSpecialChars[11];

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

// Character classes of the "C" locale, whatever the process locale is;
// bytes 0x80 and above are in none.
static bool XmlIsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
static bool XmlIsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
static bool XmlIsDigit(char c) { return c >= '0' && c <= '9'; }
static char XmlLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether the text starts with the bytes; stops at the text's zero, which
// never matches a byte of a token.
static bool XmlStartsWith(const char* text, const char* bytes, int32_t length) {
    for (int32_t i = 0; i < length; ++i) {
        if (text[i] != bytes[i]) return false;
    }
    return true;
}

static bool XmlStartsWithToken(const char* text, const XmlToken& token) {
    return XmlStartsWith(text, token.text, token.length);
}

// As XmlStartsWith, ignoring the case of ASCII letters.
static bool XmlStartsWithNoCase(const char* text, const char* bytes, int32_t length) {
    for (int32_t i = 0; i < length; ++i) {
        if (text[i] == '\0' || XmlLower(text[i]) != XmlLower(bytes[i])) return false;
    }
    return true;
}

// Replaces *output by a heap copy of length bytes. False when it cannot be
// allocated, leaving *output as it was. The old string is resized rather
// than freed: a fresh node's empty name usually has room for the new one.
static bool XmlStoreString(char** output, int32_t* outputLength, const char* bytes, size_t length) {
    if (length >= static_cast<size_t>(INT32_MAX)) return false;
    char* copy = static_cast<char*>(realloc(*output, length + 1));
    if (!copy) return false;
    memcpy(copy, bytes, length);
    copy[length] = '\0';
    *output = copy;
    *outputLength = static_cast<int32_t>(length);
    return true;
}

static void XmlSetErrorCode(XmlNode* document, const char* message, int32_t code) {
    XmlSetError(document, message);
    if (document && document->kind == XmlKindDocument && document->data) {
        static_cast<XmlDocumentData*>(document->data)->errorCode = code;
    }
}

static XmlNode* XmlDocumentOf(XmlNode* node) { return node ? node->document : nullptr; }

const char* XmlSkipSpace(const char* position) {
    if (!position) return nullptr;
    while (XmlIsSpace(*position)) ++position;
    return position;
}

const XmlEntity* XmlFindEntity(const char* position) {
    if (!position) return nullptr;
    for (const XmlEntity& entity : XmlEntities) {
        if (XmlStartsWithNoCase(position, entity.text, entity.length)) return &entity;
    }
    return nullptr;
}

static int XmlDigitValue(char c) {
    if (XmlIsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// Reads a number the way strtol does (white space, sign, "0x" prefix in base
// 16, clamping on overflow) without reading past the text's zero. *end is
// start when there are no digits.
static long XmlReadNumber(const char* start, int base, const char** end) {
    const char* p = start;
    while (XmlIsSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (base == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && XmlDigitValue(p[2]) < 16) {
        p += 2;
    }
    const unsigned long limit =
        negative ? static_cast<unsigned long>(LONG_MAX) + 1u : static_cast<unsigned long>(LONG_MAX);
    unsigned long magnitude = 0;
    bool overflow = false;
    const char* digits = p;
    while (XmlDigitValue(*p) < base) {
        unsigned long digit = static_cast<unsigned long>(XmlDigitValue(*p));
        if (magnitude > (limit - digit) / static_cast<unsigned long>(base)) {
            overflow = true;
        } else {
            magnitude = magnitude * static_cast<unsigned long>(base) + digit;
        }
        ++p;
    }
    if (p == digits) {
        *end = start;
        return 0;
    }
    *end = p;
    if (overflow) return negative ? LONG_MIN : LONG_MAX;
    // Negating in unsigned arithmetic keeps LONG_MIN exact.
    return negative ? static_cast<long>(0u - magnitude) : static_cast<long>(magnitude);
}

const char* XmlDecodeReference(const char* position, char* byte) {
    assert(position && *position == XmlAmpersand);
    if (position[0] == XmlAmpersand && position[1] == XmlHash) {
        bool hex = position[2] == XmlLowerX || position[2] == XmlUpperX;
        const char* end = nullptr;
        long number = XmlReadNumber(position + (hex ? 3 : 2), hex ? 16 : 10, &end);
        *byte = static_cast<char>(static_cast<unsigned long>(number) & 0xFFu);
        return *end ? end + 1 : end;  // the ';', or whatever stands there
    }
    const XmlEntity* entity = XmlFindEntity(position);
    if (entity) {
        *byte = entity->character;
        return position + entity->length;
    }
    *byte = XmlAmpersand;
    return position + 1;
}

namespace {

// Bytes gathered by XmlReadText beyond its stack buffer, grown by doubling.
struct XmlTextSpill {
    char* bytes = nullptr;
    size_t length = 0;
    size_t capacity = 0;
};

}  // namespace

static bool XmlSpillBytes(XmlTextSpill* spill, const char* bytes, size_t count) {
    if (spill->length + count > spill->capacity) {
        size_t wanted = spill->capacity ? spill->capacity * 2 : 1024;
        while (wanted < spill->length + count) wanted *= 2;
        char* grown = static_cast<char*>(realloc(spill->bytes, wanted));
        if (!grown) return false;
        spill->bytes = grown;
        spill->capacity = wanted;
    }
    memcpy(spill->bytes + spill->length, bytes, count);
    spill->length += count;
    return true;
}

// XmlReadText, also telling where reading stopped: at the terminator or at
// the end of the text (*stop).
static const char* XmlReadTextAt(const char* position, const char* terminator,
                                 int32_t terminatorLength, XmlParseOptions* options,
                                 char** output, int32_t* outputLength, const char** stop) {
    if (!position || !output || !outputLength) return nullptr;
    if (!terminator) terminatorLength = 0;
    const bool strip = options && options->stripSpace;
    char buffer[512];
    size_t used = 0;
    XmlTextSpill spill;
    bool failed = false;
    if (strip) position = XmlSkipSpace(position);
    while (*position && !(terminatorLength > 0 &&
                          XmlStartsWith(position, terminator, terminatorLength))) {
        if (*position == XmlAmpersand) {
            if (used >= 508) {
                failed = failed || !XmlSpillBytes(&spill, buffer, used);
                used = 0;
            }
            char byte = 0;
            position = XmlDecodeReference(position, &byte);
            if (byte) buffer[used++] = byte;  // a zero byte cannot live in the text
        } else {
            if (used >= 511) {
                failed = failed || !XmlSpillBytes(&spill, buffer, used);
                used = 0;
            }
            buffer[used++] = *position++;
        }
        if (strip) position = XmlSkipSpace(position);
    }
    *stop = position;
    if (*position) position += terminatorLength;

    size_t oldLength = (*outputLength > 0 && *output) ? static_cast<size_t>(*outputLength) : 0;
    size_t total = oldLength + spill.length + used;
    if (failed || total >= static_cast<size_t>(INT32_MAX)) {
        free(spill.bytes);
        return nullptr;
    }
    char* result = nullptr;
    if (oldLength > 0) {
        result = static_cast<char*>(realloc(*output, total + 1));
    } else if (spill.bytes) {
        result = static_cast<char*>(realloc(spill.bytes, total + 1));
        if (result) spill.bytes = nullptr;
    } else {
        result = static_cast<char*>(malloc(total + 1));
    }
    if (!result) {
        free(spill.bytes);
        return nullptr;
    }
    if (oldLength > 0) {
        if (spill.length) memcpy(result + oldLength, spill.bytes, spill.length);
    } else if (*output != result) {
        free(*output);
    }
    memcpy(result + oldLength + spill.length, buffer, used);
    result[total] = '\0';
    free(spill.bytes);
    *output = result;
    *outputLength = static_cast<int32_t>(total);
    return position;
}

const char* XmlReadText(const char* position, const char* terminator, int32_t terminatorLength,
                        XmlParseOptions* options, char** output, int32_t* outputLength) {
    const char* stop = nullptr;
    return XmlReadTextAt(position, terminator, terminatorLength, options, output, outputLength,
                         &stop);
}

// Whether a node of this kind needs a kind record to be filled.
static bool XmlNeedsRecord(int32_t kind) {
    return kind == XmlKindDocument || kind == XmlKindElement || kind == XmlKindAttribute ||
           kind == XmlKindDeclaration;
}

XmlNode* XmlCreateNodeAt(XmlNode* parent, const char* position) {
    if (!position) return nullptr;
    XmlNode* node = nullptr;
    const char c = position[0];
    if (XmlStartsWithToken(position, XmlDeclarationOpen)) {
        node = XmlCreateDeclaration(parent);
    } else if (XmlStartsWithToken(position, XmlCommentOpen)) {
        node = XmlCreateComment(parent);
    } else if (XmlStartsWithToken(position, XmlMarkupOpen)) {
        node = XmlCreateUnknown(parent);
    } else if (c == XmlLess && (XmlIsLetter(position[1]) || position[1] == XmlUnderscore ||
                                XmlIsSpace(position[1]))) {
        node = XmlCreateElement("", parent);
    } else if (c == '\0') {
        node = XmlCreateUnknown(parent);
    } else if (XmlIsSpace(c) || XmlIsLetter(c) || XmlIsDigit(c)) {
        node = XmlCreateText(parent);
    } else if (c == XmlLess || c == XmlGreater) {
        node = XmlCreateUnknown(parent);
    } else {
        node = XmlCreateText(parent);
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

const char* XmlReadTagName(const char* position, XmlNode* element, bool* empty) {
    *empty = false;
    if (!position || !element) return nullptr;
    position = XmlSkipSpace(position);
    if (!*position) return nullptr;
    const char* start = position;
    while (*position && *position != XmlGreater && *position != XmlSlash && !XmlIsSpace(*position)) {
        ++position;
    }
    if (position == start) return nullptr;
    if (!XmlStoreString(&element->name, &element->nameLength, start,
                        static_cast<size_t>(position - start))) {
        return nullptr;
    }
    if (*position == XmlSlash) {
        if (position[1] != XmlGreater) return nullptr;
        *empty = true;
        return position + 2;
    }
    return position;
}

// The tail is kept in the record so that long chains cost constant time per
// attribute; it is trusted only while it still ends this element's chain.
void XmlLinkAttribute(XmlNode* element, XmlElementData* record, XmlNode* attribute) {
    attribute->parent = element;
    attribute->nextSibling = nullptr;
    XmlNode* tail = record->lastAttribute;
    if (!record->firstAttribute) {
        tail = nullptr;
    } else if (!tail || tail->parent != element || tail->nextSibling) {
        tail = record->firstAttribute;
        while (tail->nextSibling) tail = tail->nextSibling;
    }
    attribute->prevSibling = tail;
    if (tail) {
        tail->nextSibling = attribute;
    } else {
        record->firstAttribute = attribute;
    }
    record->lastAttribute = attribute;
}

const char* XmlReadAttributes(const char* position, XmlNode* element, XmlParseOptions* options,
                              bool* empty) {
    *empty = false;
    if (!position || !element) return nullptr;
    XmlNode* document = XmlDocumentOf(element);
    XmlElementData* record = element->kind == XmlKindElement
                                 ? static_cast<XmlElementData*>(element->data)
                                 : nullptr;
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
        XmlNode* attribute = record ? XmlCreateAttribute("", element) : nullptr;
        const char* next = attribute ? XmlParseAttribute(attribute, position, options) : nullptr;
        if (!next) {
            XmlFreeNode(attribute);
            return XmlSetError(document, "error while parsing element tag !");
        }
        XmlLinkAttribute(element, record, attribute);
        position = next;
    }
    return position;
}

static const char* XmlParseElementAt(XmlNode* element, const char* position,
                                     XmlParseOptions* options, int32_t depth);

// XmlReadContent for an element at the given nesting depth.
static const char* XmlReadContentAt(const char* position, XmlNode* element,
                                    XmlParseOptions* options, int32_t depth) {
    while (*position) {
        position = XmlSkipSpace(position);
        if (position[0] == XmlLess && position[1] == XmlSlash) return position;
        XmlNode* child = XmlCreateNodeAt(element, position);
        const char* next = nullptr;
        if (child && child->kind == XmlKindElement) {
            next = XmlParseElementAt(child, position, options, depth + 1);
        } else if (child) {
            next = XmlParseNode(child, position, options);
        }
        if (next && child->kind == XmlKindText) {
            if (XmlAppendText(element, child) < 0) next = nullptr;  // child is gone
            child = nullptr;
        }
        if (!next) {
            XmlFreeNode(child);
            return XmlSetError(XmlDocumentOf(element),
                               "can't read inner data while parsing element !");
        }
        if (child) XmlAppendChild(element, child);
        position = next;
    }
    return position;
}

static const char* XmlParseElementAt(XmlNode* element, const char* position,
                                     XmlParseOptions* options, int32_t depth) {
    XmlNode* document = XmlDocumentOf(element);
    if (depth > XmlMaxElementDepth) {
        return XmlSetError(document, "element nesting too deep while parsing element tag !");
    }
    position = XmlSkipSpace(position);
    if (!position || *position != XmlLess) {
        return XmlSetError(document, "unexpected character while parsing element tag !");
    }
    bool empty = false;
    position = XmlReadTagName(position + 1, element, &empty);
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
    while (*position && *position != XmlGreater && !XmlIsSpace(*position)) ++position;
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
    return XmlParseElementAt(element, position, options, XmlElementDepth(element));
}

const char* XmlParseAttribute(XmlNode* attribute, const char* position, XmlParseOptions* options) {
    if (!attribute) return nullptr;
    XmlNode* document = XmlDocumentOf(attribute);
    if (!position) return XmlSetError(document, "error while parsing attribute !");
    position = XmlSkipSpace(position);
    const char* name = position;
    while (*position && *position != XmlEquals && !XmlIsSpace(*position)) ++position;
    if (!XmlStoreString(&attribute->name, &attribute->nameLength, name,
                        static_cast<size_t>(position - name))) {
        return nullptr;
    }
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
            while (*position && *position != XmlGreater && !XmlIsSpace(*position)) ++position;
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
