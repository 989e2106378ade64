// text.h - reading the bytes of a text: its special characters, white space,
// and character data or attribute values with their references decoded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model.h"

// A named entity and the byte it stands for. The same table serves the
// parser (decoding) and the writer (escaping).
struct XmlEntity {
    const char* text;
    int32_t length;
    char character;
};

extern const XmlEntity XmlEntities[5];

// The parser's special characters, kept in one table and named by their
// place in it.
constexpr char XmlSpecialChars[] = "_<>&#xX;='\"/-";
constexpr char XmlUnderscore = XmlSpecialChars[0];
constexpr char XmlLess = XmlSpecialChars[1];
constexpr char XmlGreater = XmlSpecialChars[2];
constexpr char XmlAmpersand = XmlSpecialChars[3];
constexpr char XmlHash = XmlSpecialChars[4];
constexpr char XmlLowerX = XmlSpecialChars[5];
constexpr char XmlUpperX = XmlSpecialChars[6];
constexpr char XmlEquals = XmlSpecialChars[8];
constexpr char XmlApostrophe = XmlSpecialChars[9];
constexpr char XmlQuote = XmlSpecialChars[10];
constexpr char XmlSlash = XmlSpecialChars[11];

// White space of the "C" locale, whatever the process locale is; bytes
// 0x80 and above are no white space. Inline: it is asked of every byte.
inline bool XmlIsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Whether the text starts with length bytes; stops at the text's zero,
// which never matches a byte of a token.
inline bool XmlStartsWith(const char* text, const char* bytes, int32_t length) {
    for (int32_t i = 0; i < length; ++i) {
        if (text[i] != bytes[i]) return false;
    }
    return true;
}

// As XmlStartsWith, ignoring the case of ASCII letters.
bool XmlStartsWithNoCase(const char* text, const char* bytes, int32_t length);

// The first byte at or after position that is not white space (possibly the
// terminating zero); null for null. Inline, as XmlIsSpace.
inline const char* XmlSkipSpace(const char* position) {
    if (!position) return nullptr;
    while (XmlIsSpace(*position)) ++position;
    return position;
}

// The first XmlEntities entry whose full text the text at position starts
// with, compared case-insensitively; null when none does.
const XmlEntity* XmlFindEntity(const char* position);

// Decodes the reference at position (which holds '&'): "&#x" hex or "&#"
// decimal numbers read as strtol reads them, then one more byte unless the
// text ends; else a named entity, case-insensitively; else the '&' itself.
// Stores the byte in *byte (0 for a number whose low 8 bits are 0, which
// adds no byte to the text) and returns the position after the reference.
const char* XmlDecodeReference(const char* position, char* byte);

// Reads bytes from position until the text at hand starts with terminator
// (terminatorLength bytes) or the text ends, decoding references and, with
// options->stripSpace, dropping white space. The bytes are appended to
// *output when *outputLength is not 0, else they replace *output (which is
// freed); *output stays a heap string owned by the caller. Returns the
// position after the terminator, or the end of the text; null when the
// result cannot be allocated or would not fit a 32-bit length, leaving
// *output unchanged.
const char* XmlReadText(const char* position, const char* terminator, int32_t terminatorLength,
                        XmlParseOptions* options, char** output, int32_t* outputLength);
// XmlReadText, also setting *stop to where reading stopped: the terminator
// or the end of the text. room, when given, is the size of the block behind
// *output for a text that keeps growing: the block then grows at least
// twofold and *room is set to its new size, so that many appends cost
// linear time; the caller trims the block when it is done.
const char* XmlReadTextAt(const char* position, const char* terminator, int32_t terminatorLength,
                          XmlParseOptions* options, char** output, int32_t* outputLength,
                          const char** stop, size_t* room = nullptr);
