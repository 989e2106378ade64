// open.h - every file the programs open, by its UTF-8 name. Nothing opened
// here is handed to a child process: descriptors are close-on-exec, Windows
// handles not inheritable.
#pragma once

#include <cstdio>
#include <string>

// Opens the regular file with the UTF-8 name in the fopen mode given ('r' or
// 'a', with '+', 'b' or 't'; nothing opened here is ever truncated by its
// opening). Returns null when the name is a FIFO, a device, a folder or
// anything else that is not a regular file, or cannot be opened. Never
// blocks: a FIFO or a device is refused before it is opened, and the open
// file is checked again in case the name changed in between. The rule for
// the save, the log and the configuration alike.
FILE* OpenRegularFileUtf8(const char* name, const char* mode);

// What OpenExistingFileUtf8 found at a name.
enum class OpenOutcome {
    Opened,       // a regular file, open now
    Missing,      // nothing is there
    NameTooLong,  // the name is over the system's limit: nothing can be there
    NotRegular,   // a FIFO, a folder, a device, a link loop, ...
    Failed,       // it could not be looked at: too many open files, an I/O error, ...
};

// Opens the regular file with the UTF-8 name for reading ("rb") or for
// reading and writing ("r+b"), as OpenRegularFileUtf8 does: never blocking,
// never acting on a device. *outcome says what was found; the stream is
// null unless it is Opened. Asks the fault seam first (platform/fault_seam.h):
// a fault is Failed.
FILE* OpenExistingFileUtf8(const std::string& name, const char* mode, OpenOutcome* outcome);

// fopen by a UTF-8 name. Windows takes the name as UTF-16, so folders
// outside the system's ANSI code page open too.
FILE* OpenFileUtf8(const std::string& name, const char* mode);

// Creates the file by a UTF-8 name for reading and writing ("w+b"), only if
// no file of that name exists yet: null, with errno EEXIST, when one does.
// The file may be renamed or removed while it is open, on Windows too.
FILE* CreateNewFileUtf8(const std::string& name);
