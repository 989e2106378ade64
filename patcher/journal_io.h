// journal_io.h - what the journal's writer, its judge and the undo share:
// reads, writes and copies at offsets through platform/, where a test build
// can make each call fail. For the patcher's own sources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

// The journal and the save are copied through one buffer of at most this.
constexpr size_t COPY_CHUNK_SIZE = 1 << 20;

extern const uint8_t ZERO_MAGIC[8];
extern const char JOURNAL_SUFFIX[];
extern const char UNDO_SUFFIX[];

// A copy buffer for length bytes: at most one chunk, at least one byte.
std::vector<uint8_t> CopyBuffer(int64_t length);

// Places the stream at offset from the start; false when it cannot be
// reached.
bool SeekTo(FILE* stream, int64_t offset);

// Reads or writes exactly count bytes at offset.
bool ReadAt(FILE* stream, int64_t offset, uint8_t* bytes, size_t count);
bool WriteAt(FILE* stream, int64_t offset, const uint8_t* bytes, size_t count);

// Copies length bytes from one stream's position to the other's, adding
// them to the checksum when one is given.
class JournalChecksum;
bool CopyBytes(FILE* from, FILE* to, int64_t length, std::vector<uint8_t>& buffer,
               JournalChecksum* checksum);

// The checksum of the save's first 30055 bytes, which SAVING never writes.
bool HeadChecksum(FILE* save, uint64_t* checksum);
