// builder.h - builds a document in memory, node by node, for printing with
// the writer: elements, attributes with values, comments, the declaration.
#pragma once

#include "model.h"

// Each function creates its node, links it last under parent (attributes
// last in the element's chain) and returns it; the parent owns it. Texts are
// copied. Null, with the tree unchanged, when parent is null or of the wrong
// kind, or memory runs out.

// An element named name.
XmlNode* XmlAddElement(XmlNode* parent, const char* name);
// An attribute name="value" of an element.
XmlNode* XmlAddAttribute(XmlNode* element, const char* name, const char* value);
// A comment holding text, printed as "<!-- text -->".
XmlNode* XmlAddComment(XmlNode* parent, const char* text);
// A declaration with the version and encoding given; null leaves one out.
XmlNode* XmlAddDeclaration(XmlNode* document, const char* version, const char* encoding);
