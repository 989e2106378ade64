// path.h - file names as the programs hold them (UTF-8 on every
// system) and the resolved name that places a save's journal.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// fopen by a UTF-8 name. Windows takes the name as UTF-16, so folders
// outside the system's ANSI code page open too.
FILE* OpenFileUtf8(const std::string& name, const char* mode);

// Creates the file by a UTF-8 name for reading and writing ("w+b"), only if
// no file of that name exists yet: null, with errno EEXIST, when one does.
FILE* CreateNewFileUtf8(const std::string& name);

// Removes the file by a UTF-8 name. Returns false when the system refuses.
bool RemoveFileUtf8(const std::string& name);

// The name of the journal of the file open as stream under name: the file's
// resolved path (links followed) with "-journal" appended, so every spelling
// of one file finds one journal. Falls back to name itself when the path
// cannot be resolved.
std::string JournalPath(FILE* stream, const std::string& name);

// The program's arguments as UTF-8 (argument 0 first). Windows programs
// take them from wmain, as UTF-16, so no name is lost to the ANSI code page.
#ifdef _WIN32
std::vector<std::string> Utf8Arguments(int argc, wchar_t* argv[]);

// A UTF-8 name as Windows takes it; empty when it is not valid UTF-8.
std::wstring WideFromUtf8(const std::string& text);
#else
std::vector<std::string> Utf8Arguments(int argc, char* argv[]);
#endif
