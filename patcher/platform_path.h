// platform_path.h - file names as the programs hold them (UTF-8 on every
// system) and the resolved name that places a save's journal.
#pragma once

#include <cstdio>
#include <string>

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
