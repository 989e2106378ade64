// loader.h - reads a configuration file whole and parses it into a document.
#pragma once

#include "model.h"

// Loads the file named by the document's name. Returns 0 on success, -1 on
// failure with the reason in the document's error slot:
//   -8 "empty file name !", -1 "can't open file !", -2 "zero file length !",
//   -2 "memory allocation failed !", -5 "can't parse node data !".
int32_t XmlLoadFile(XmlNode* document);
