// writer.cpp - placeholder: prints nothing yet.
#include "writer.h"

void XmlPrintDocument(XmlNode*, FILE*) {}
void XmlPrintElement(XmlNode*, FILE*) {}
void XmlPrintComment(XmlNode*, FILE*) {}
void XmlPrintAttribute(XmlNode*, FILE*) {}
void XmlPrintText(XmlNode*, FILE*) {}
void XmlPrintDeclaration(XmlNode*, FILE*) {}
void XmlPrintUnknown(XmlNode*, FILE*) {}
void XmlPrintEscaped(const char*, int32_t, FILE*) {}
