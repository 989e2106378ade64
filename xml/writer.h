// writer.h - prints nodes and documents back as XML text to a C stream.
#pragma once

#include <cstdint>
#include <cstdio>

#include "model.h"

void XmlPrintDocument(XmlNode* node, FILE* stream);
void XmlPrintElement(XmlNode* node, FILE* stream);
void XmlPrintComment(XmlNode* node, FILE* stream);
void XmlPrintAttribute(XmlNode* node, FILE* stream);
void XmlPrintText(XmlNode* node, FILE* stream);
void XmlPrintDeclaration(XmlNode* node, FILE* stream);
void XmlPrintUnknown(XmlNode* node, FILE* stream);
// Writes text with & < > " ' replaced by their named entities.
void XmlPrintEscaped(const char* text, int32_t length, FILE* stream);
