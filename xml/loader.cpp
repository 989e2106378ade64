// loader.cpp - placeholder loader: checks only that the file opens.
#include "loader.h"

int32_t XmlLoadFile(XmlNode* document) {
    if (!document) return -1;
    XmlDocumentData* data = static_cast<XmlDocumentData*>(document->data);
    FILE* file = fopen(document->name, "rt");
    if (!file) {
        if (data) {
            data->errorText = "can't open file !";
            data->errorCode = -1;
        }
        return -1;
    }
    fclose(file);
    return 0;
}
