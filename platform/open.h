// open.h - every file the programs open, by its UTF-8 name. Nothing opened
// here is handed to a child process: descriptors are close-on-exec, Windows
// handles not inheritable.
#pragma once

#include <cstdio>
#include <string>

// Why a name could not be opened, told apart the same way on every system,
// so that a program can say it in its own words.
enum class OpenFailure {
    None,
    NoSuchFile,        // the name, or a folder on its way, does not exist
    PermissionDenied,  // the system refuses the access asked for
    IsFolder,          // the name is a folder
    NotAFile,          // a FIFO, a device, a loop of links, anything not a regular file
    NameTooLong,       // over the system's limit: nothing can be there
    Other,             // anything else: no memory, too many open files, ...
};

// Opens the regular file with the UTF-8 name in the fopen mode given ('r' or
// 'a', with '+', 'b' or 't'; nothing opened here is ever truncated by its
// opening). Returns null when the name is a FIFO, a device, a folder or
// anything else that is not a regular file, or cannot be opened. Never
// blocks: a FIFO or a device is refused before it is opened, and the open
// file is checked again in case the name changed in between. The rule for
// the save, the log and the configuration alike. On failure, *failure
// (when given) tells why.
FILE* OpenRegularFileUtf8(const char* name, const char* mode, OpenFailure* failure = nullptr);

// Opens the regular file with the UTF-8 name for reading ("rb") or for
// reading and writing ("r+b") as OpenRegularFileUtf8 does, asking the fault
// seam first (platform/fault_seam.h): a fault is Other. For files that a
// run finds beside the save (a journal, an undo record), where what is
// there decides what the run does: *failure is always set, None when open.
FILE* OpenExistingFileUtf8(const std::string& name, const char* mode, OpenFailure* failure);

// fopen by a UTF-8 name. Windows takes the name as UTF-16, so folders
// outside the system's ANSI code page open too. On failure, *failure (when
// given) tells why.
FILE* OpenFileUtf8(const std::string& name, const char* mode, OpenFailure* failure = nullptr);

// Makes the open stream pass its bytes as they are: Windows then writes no
// carriage return before each line feed. Nothing elsewhere.
void UseBinaryMode(FILE* stream);

// Creates the file by a UTF-8 name for reading and writing ("w+b"), only if
// no file of that name exists yet: null, with errno EEXIST, when one does.
// The file may be renamed or removed while it is open, on Windows too.
FILE* CreateNewFileUtf8(const std::string& name);
