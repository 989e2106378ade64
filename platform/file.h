// file.h - where the SAVING phase and its journal reach the
// operating system: the stream calls they make, and the file beneath an open
// stream, whose size they read, grow and cut, and whose bytes they sync.
// Every call here but FileSizeBeneath, EmptyStreamFile and ReadFromStream
// asks the fault seam first (platform/fault_seam.h). SyncFolderOf allocates
// nothing, so that a rollback can make its removal durable when memory has
// run out.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// fseek, ftell, fread, fwrite and fflush, with their results.
int StreamSeek(FILE* stream, long offset, int origin);
long StreamTell(FILE* stream);
size_t StreamRead(void* buffer, size_t size, size_t count, FILE* stream);
size_t StreamWrite(const void* buffer, size_t size, size_t count, FILE* stream);
int StreamFlush(FILE* stream);

// Reads up to length bytes from the stream's position into buffer, carrying
// on after a signal interrupts a read. Returns how many bytes were read
// (fewer only at the end of the file), or -1 on a read error. For files a
// run reads but never changes.
int64_t ReadFromStream(FILE* stream, void* buffer, size_t length);

// Stores the size of the file beneath the stream in *size, as the system
// sees it: no flush, for checks made before anything is written. Returns
// false when the stream has no file beneath it.
bool FileSizeBeneath(FILE* stream, int64_t* size);

// Stores in *links how many names (hard links) the file beneath the stream
// has. Returns false when the system cannot tell.
bool FileLinkCount(FILE* stream, uint64_t* links);

// Flushes the stream and stores the size of the file beneath it in *size.
// Returns false when the stream has no file beneath it or the size cannot
// be read.
bool StreamFileSize(FILE* stream, int64_t* size);

// Flushes the stream and makes the file beneath it, old_size bytes long,
// exactly growth bytes longer; the new bytes may hold anything. The space is
// reserved on disk (posix_fallocate; SetEndOfFile allocates), so a full disk
// refuses the growth rather than a later write. Returns false when the
// system refuses or the size read back is not old_size + growth. Later reads
// and writes through the stream see the new size.
bool GrowStreamFile(FILE* stream, int64_t old_size, int32_t growth);

// Flushes the stream and sets the size of the file beneath it to size bytes,
// cutting off what lies beyond. Returns false when the system refuses.
bool CutStreamFile(FILE* stream, int64_t size);

// As CutStreamFile to 0 bytes, for a file that is not the save (the log).
bool EmptyStreamFile(FILE* stream);

// Flushes the stream and makes what it wrote durable: the file's bytes and
// size are on the disk when this returns true (fsync; FlushFileBuffers).
bool SyncStreamFile(FILE* stream);

// Makes the entry of the file named (UTF-8) in its folder durable: its
// creation or its removal. File systems that cannot sync a folder count as
// synced, and so does Windows, whose file systems keep their folders'
// entries in their own log and which offers programs no folder sync.
bool SyncFolderOf(const std::string& file);
