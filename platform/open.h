// open.h - opening files that must be what their names promise:
// regular files only, opened without blocking, and telling whether two names
// reach one file.
#pragma once

#include <cstdio>
#include <string>

// Opens the regular file with the UTF-8 name in the fopen mode given ('r' or
// 'a', with '+', 'b' or 't'; nothing opened here is ever truncated by its
// opening). Returns null when the name is a FIFO, a device, a folder or
// anything else that is not a regular file, or cannot be opened. Never
// blocks: a FIFO or a device is refused before it is opened, and the open
// file is checked again in case the name changed in between.
FILE* OpenRegularFileUtf8(const std::string& name, const char* mode);

// Whether the UTF-8 name, links followed, reaches the file open as stream
// (one device and inode; on Windows one volume and file index). False when
// the name reaches nothing.
bool IsSameFile(FILE* stream, const std::string& name);

// Flushes the stream and cuts the file beneath it to 0 bytes. Returns false
// when the system refuses.
bool EmptyStreamFile(FILE* stream);
