// model.cpp - placeholder document model: just enough for the driver.
#include "model.h"

#include <cstdlib>
#include <cstring>

static const char* ParseNothing(XmlNode*, const char*, XmlParseOptions*) { return nullptr; }
static void PrintNothing(XmlNode*, FILE*) {}

const XmlParseHandler XmlParseHandlers[XmlKindCount] = {
    ParseNothing, ParseNothing, ParseNothing, ParseNothing,
    ParseNothing, ParseNothing, ParseNothing, ParseNothing};
const XmlPrintHandler XmlPrintHandlers[XmlKindCount] = {
    PrintNothing, PrintNothing, PrintNothing, PrintNothing,
    PrintNothing, PrintNothing, PrintNothing, PrintNothing};

XmlNode* XmlCreateDocument(const char* fileName) {
    XmlNode* node = static_cast<XmlNode*>(calloc(1, sizeof(XmlNode)));
    if (!node) return nullptr;
    size_t length = strlen(fileName);
    node->name = static_cast<char*>(malloc(length + 1));
    if (node->name) memcpy(node->name, fileName, length + 1);
    node->nameLength = static_cast<int32_t>(length);
    node->kind = XmlKindDocument;
    node->document = node;
    XmlDocumentData* data = static_cast<XmlDocumentData*>(calloc(1, sizeof(XmlDocumentData)));
    if (data) data->errorText = "";
    node->data = data;
    return node;
}

void XmlFreeNode(XmlNode* node) {
    if (!node) return;
    free(node->data);
    free(node->name);
    free(node);
}
