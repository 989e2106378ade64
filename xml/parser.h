// parser.h - the recursive-descent parser behind the parse handler table.
#pragma once

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
