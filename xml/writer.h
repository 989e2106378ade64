// writer.h - prints nodes and documents back as XML text to a C stream.
#pragma once

#include <cstdint>
#include <cstdio>

#include "model.h"

// Every printer takes a node (null prints nothing) and an open stream that
// the caller owns; none of them opens, flushes or closes it, checks write
// results or changes the tree. Names and declaration values are written as
// stored; text, comment content and attribute values go through
// XmlPrintEscaped.

// Each top-level node, followed by "\n".
void XmlPrintDocument(XmlNode* node, FILE* stream);
// "<name attrs />" without children; otherwise "<name attrs >", then the text
// child and each other child after "\n\t", then "\n\t</name>". Nothing when
// the name is empty.
void XmlPrintElement(XmlNode* node, FILE* stream);
// "<!-- content -->", also for empty content.
void XmlPrintComment(XmlNode* node, FILE* stream);
// ` name="value"`; nothing when the name or value is empty or the record is
// missing.
void XmlPrintAttribute(XmlNode* node, FILE* stream);
// The character data; nothing when empty.
void XmlPrintText(XmlNode* node, FILE* stream);
// "<?xml", the non-empty version, encoding and standalone values, " ?>";
// nothing without the record.
void XmlPrintDeclaration(XmlNode* node, FILE* stream);
// The stored markup verbatim; nothing when empty.
void XmlPrintUnknown(XmlNode* node, FILE* stream);
// Writes text with & < > " ' replaced by their named entities. Reads at most
// length bytes and stops early at a zero byte; other bytes, 0x80 to 0xFF
// included, go out unchanged. Nothing for a null stream or text or a length
// of 0 or less.
void XmlPrintEscaped(const char* text, int32_t length, FILE* stream);
