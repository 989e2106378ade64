// console.h - the console: text for a person to read, and keeping a console
// window open until its reader is done, when a program was started by
// double-clicking it on Windows.
#pragma once

#include <cstdio>
#include <string>

// Called first thing in main. When standard input and output are both a
// console that this process alone uses (Explorer made it for the program),
// arranges for "press Enter to close ..." on that console at exit and a wait
// for Enter or the end of input. Does nothing otherwise, and nothing at all
// outside Windows.
void ArrangeConsolePause();

// Writes UTF-8 text, such as a line that names a file, to stdout or stderr.
// On Windows, when the stream is a console, the text goes to it through the
// console's wide-character interface, each '\n' as the stream would end a
// line, so that names in any script show as they are whatever the console's
// code page (which is left as it is); what the stream held before is
// written first. A file, a pipe, and any stream outside Windows get the
// bytes through the stream, as they are. Returns false when not all of it
// was written.
bool WriteUtf8(FILE* stream, const std::string& text);
