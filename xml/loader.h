// loader.h - reads a configuration file whole and parses it into a document.
#pragma once

#include "element_lines.h"
#include "model.h"

// Loads the file named (UTF-8) by the document's name (read in binary, each
// carriage return + line feed pair turned into a line feed once) and parses
// it into the document's children, appended after any it already has.
// Resets the error slot first. Returns 0 on success, -1 on failure with the
// reason in the document's error slot:
//   -8 "empty file name !", -1 "can't open file !" (also a folder, a FIFO, a
//   device or any file that cannot be read), -2 "zero file length !",
//   -2 "memory allocation failed !" (also a file of 2 GiB - 1 bytes or more,
//   too large for 32-bit lengths),
//   -5 "can't parse node data !" (nodes parsed before the fault stay).
// A null document gives -1 and records nothing. The text buffer is freed
// before returning; the tree keeps copies only.
int32_t XmlLoadFile(XmlNode* document);

// XmlLoadFile, and in lines the line of each element's start tag, counted in
// the text as parsed: after each carriage return + line feed became a line
// feed. XmlLoadFile is this without a table. After a failed load the table
// may name elements that were freed with the node that failed: use it only
// after a load that succeeded.
int32_t XmlLoadFileWithLines(XmlNode* document, XmlElementLines* lines);
