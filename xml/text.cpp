// text.cpp - reading character data and attribute values: white space,
// references decoded to bytes, and the bytes gathered into one heap string.
#include "text.h"

#include <cassert>
#include <climits>
#include <cstdlib>
#include <cstring>

const XmlEntity XmlEntities[5] = {
    {"&amp;", 5, '&'}, {"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&quot;", 6, '"'}, {"&apos;", 6, '\''}};

// Classes of the "C" locale, as XmlIsSpace.
static bool XmlIsDigit(char c) { return c >= '0' && c <= '9'; }
static char XmlLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool XmlStartsWithNoCase(const char* text, const char* bytes, int32_t length) {
    for (int32_t i = 0; i < length; ++i) {
        if (text[i] == '\0' || XmlLower(text[i]) != XmlLower(bytes[i])) return false;
    }
    return true;
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

// Decoded bytes of one text: a stack buffer for the common short text, and
// beyond it a heap spill grown by doubling; moved once into the result.
struct XmlTextBytes {
    char stack[512];
    size_t used = 0;
    char* spill = nullptr;
    size_t spillLength = 0;
    size_t spillCapacity = 0;
    bool failed = false;
};

}  // namespace

static void XmlSpillBytes(XmlTextBytes* text, const char* bytes, size_t count) {
    if (text->failed || count == 0) return;
    if (text->spillLength + count > text->spillCapacity) {
        size_t wanted = text->spillCapacity ? text->spillCapacity * 2 : 1024;
        while (wanted < text->spillLength + count) wanted *= 2;
        char* grown = static_cast<char*>(realloc(text->spill, wanted));
        if (!grown) {
            text->failed = true;
            return;
        }
        text->spill = grown;
        text->spillCapacity = wanted;
    }
    memcpy(text->spill + text->spillLength, bytes, count);
    text->spillLength += count;
}

static void XmlAddBytes(XmlTextBytes* text, const char* bytes, size_t count) {
    if (text->used + count > sizeof(text->stack)) {
        XmlSpillBytes(text, text->stack, text->used);
        text->used = 0;
        if (count > sizeof(text->stack)) {
            XmlSpillBytes(text, bytes, count);
            return;
        }
    }
    memcpy(text->stack + text->used, bytes, count);
    text->used += count;
}

// The heap size for a string of total bytes: exact, unless room (the
// string's present block size, for a text that keeps growing) is given;
// then the block grows at least twofold. The caller sets *room once the
// block has that size.
static size_t XmlBlockSize(size_t total, const size_t* room) {
    if (!room) return total + 1;
    if (total + 1 <= *room) return *room;
    size_t grown = *room * 2 > total + 1 ? *room * 2 : total + 1;
    return grown > static_cast<size_t>(INT32_MAX) ? static_cast<size_t>(INT32_MAX) : grown;
}

const char* XmlReadTextAt(const char* position, const char* terminator, int32_t terminatorLength,
                          XmlParseOptions* options, char** output, int32_t* outputLength,
                          const char** stop, size_t* room) {
    if (!position || !output || !outputLength) return nullptr;
    if (!terminator) terminatorLength = 0;
    const bool strip = options && options->stripSpace;
    const char first = terminatorLength > 0 ? terminator[0] : '\0';
    size_t oldLength = (*outputLength > 0 && *output) ? static_cast<size_t>(*outputLength) : 0;

    // Most values are plain bytes up to a one-byte terminator: found in one
    // scan and copied once, straight from the text.
    const char* end = position;
    if (!strip) {
        while (*end && *end != XmlAmpersand && *end != first) ++end;
    }
    if (!strip && (*end == '\0' || (*end == first &&
                                    XmlStartsWith(end, terminator, terminatorLength)))) {
        size_t count = static_cast<size_t>(end - position);
        if (oldLength + count >= static_cast<size_t>(INT32_MAX)) return nullptr;
        // An old string is resized, whether it is kept or replaced: a fresh
        // node's empty name then costs no allocation of its own.
        size_t size = XmlBlockSize(oldLength + count, room);
        char* result = room && size == *room && *output
                           ? *output
                           : static_cast<char*>(realloc(*output, size));
        if (!result) return nullptr;
        if (room) *room = size;
        memcpy(result + oldLength, position, count);
        result[oldLength + count] = '\0';
        *output = result;
        *outputLength = static_cast<int32_t>(oldLength + count);
        *stop = end;
        return *end ? end + terminatorLength : end;
    }

    // Otherwise decode, keeping the plain bytes already scanned.
    XmlTextBytes bytes;
    XmlAddBytes(&bytes, position, static_cast<size_t>(end - position));
    position = end;
    if (strip) position = XmlSkipSpace(position);
    while (*position && !(terminatorLength > 0 &&
                          XmlStartsWith(position, terminator, terminatorLength))) {
        char byte = *position;
        if (byte == XmlAmpersand) {
            position = XmlDecodeReference(position, &byte);
        } else {
            ++position;
        }
        if (byte) {  // a zero byte cannot live in the text
            if (bytes.used == sizeof(bytes.stack)) {
                XmlSpillBytes(&bytes, bytes.stack, bytes.used);
                bytes.used = 0;
            }
            bytes.stack[bytes.used++] = byte;
        }
        if (strip) position = XmlSkipSpace(position);
    }
    *stop = position;
    if (*position) position += terminatorLength;

    size_t total = oldLength + bytes.spillLength + bytes.used;
    if (bytes.failed || total >= static_cast<size_t>(INT32_MAX)) {
        free(bytes.spill);
        return nullptr;
    }
    char* result = nullptr;
    size_t size = XmlBlockSize(total, room);
    if (oldLength == 0 && bytes.spill) {
        result = static_cast<char*>(realloc(bytes.spill, size));  // the spill becomes it
        if (result) {
            bytes.spill = nullptr;
            free(*output);
        }
    } else if (room && size == *room && *output) {
        result = *output;  // it fits the room it has
    } else {
        result = static_cast<char*>(realloc(*output, size));
    }
    if (!result) {
        free(bytes.spill);
        return nullptr;
    }
    if (room) *room = size;
    if (bytes.spill) memcpy(result + oldLength, bytes.spill, bytes.spillLength);
    memcpy(result + oldLength + bytes.spillLength, bytes.stack, bytes.used);
    result[total] = '\0';
    free(bytes.spill);
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
