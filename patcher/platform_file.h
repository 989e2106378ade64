// platform_file.h - the one place that asks the operating system about the
// size of the file beneath an open stream, and grows it.
#pragma once

#include <cstdint>
#include <cstdio>

// Flushes the stream and stores the size of the file beneath it in *size.
// Returns false when the stream has no file beneath it or the size cannot
// be read.
bool StreamFileSize(FILE* stream, int64_t* size);

// Flushes the stream and makes the file beneath it, old_size bytes long,
// exactly growth bytes longer; the new bytes may hold anything. Returns false
// when the system refuses or the size read back is not old_size + growth.
// Later reads and writes through the stream see the new size.
bool GrowStreamFile(FILE* stream, int64_t old_size, int32_t growth);
