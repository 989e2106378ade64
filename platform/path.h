// path.h - file names as the programs hold them (UTF-8 on every system):
// what a name reaches, its resolved form, whether two names reach one file,
// and removing and renaming the file it names.
#pragma once

#include <cstdio>
#include <string>

// Removes the file by a UTF-8 name. Returns false when the system refuses.
// Asks the fault seam first (platform/fault_seam.h).
bool RemoveFileUtf8(const std::string& name);

// Gives the file named from (UTF-8) the name to, replacing a file of that
// name, in one step: the name to reaches either the old file or this one,
// never neither. Windows: MoveFileExW with write-through, so the new name is
// on the disk when this returns; elsewhere SyncFolderOf (file.h) makes it
// durable. Returns false when the system refuses. Asks the fault seam first.
bool RenameFileUtf8(const std::string& from, const std::string& to);

enum class FileKind {
    None,     // the name reaches nothing, or nothing that can be looked at
    Regular,  // a regular file
    Other,    // a folder, a FIFO, a device, ...
};

// What the UTF-8 name reaches, links followed.
FileKind KindOfFile(const std::string& name);

// The resolved path (absolute, links followed) of the file open as stream
// under name, so that every spelling of one file gives one path. Falls back
// to name itself when it cannot be resolved.
std::string ResolvedPath(FILE* stream, const std::string& name);

// Whether the UTF-8 name, links followed, reaches the file open as stream
// (one device and inode; on Windows one volume and file index). False when
// the name reaches nothing.
bool IsSameFile(FILE* stream, const std::string& name);

// Whether two UTF-8 names, links followed, reach one regular file or folder.
// False when either reaches nothing, or a device, a FIFO or the like:
// writing to one of those never overwrites a file.
bool NamesReachOneFile(const std::string& a, const std::string& b);
