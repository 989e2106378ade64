// utf8_arguments.h - the command line's arguments as UTF-8 on every system.
#pragma once

#include <string>
#include <vector>

// The arguments after argument 0. Windows hands main its arguments in the
// system's ANSI code page, which cannot name every folder; there they are
// taken from the wide command line instead. Elsewhere they are argv as is.
std::vector<std::string> Utf8Arguments(int argc, char* argv[]);
