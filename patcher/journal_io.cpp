// journal_io.cpp - reads, writes and copies at offsets for the journal.
#include "journal_io.h"

#include <algorithm>
#include <climits>

#include "checksum.h"
#include "platform/file.h"
#include "save_patcher.h"

const uint8_t ZERO_MAGIC[8] = {};
const char JOURNAL_SUFFIX[] = "-journal";
const char UNDO_SUFFIX[] = "-undo";

std::vector<uint8_t> CopyBuffer(int64_t length) {
    return std::vector<uint8_t>(static_cast<size_t>(
        std::max<int64_t>(1, std::min<int64_t>(length, static_cast<int64_t>(COPY_CHUNK_SIZE)))));
}

bool SeekTo(FILE* stream, int64_t offset) {
    // Seeks take a long, which is 32 bits on some systems.
    return offset >= 0 && offset <= LONG_MAX &&
           StreamSeek(stream, static_cast<long>(offset), SEEK_SET) == 0;
}

bool ReadAt(FILE* stream, int64_t offset, uint8_t* bytes, size_t count) {
    return SeekTo(stream, offset) && StreamRead(bytes, 1, count, stream) == count;
}

bool WriteAt(FILE* stream, int64_t offset, const uint8_t* bytes, size_t count) {
    return SeekTo(stream, offset) && StreamWrite(bytes, 1, count, stream) == count;
}

bool CopyBytes(FILE* from, FILE* to, int64_t length, std::vector<uint8_t>& buffer,
               JournalChecksum* checksum) {
    for (int64_t remaining = length; remaining > 0;) {
        const size_t chunk = static_cast<size_t>(
            std::min<int64_t>(remaining, static_cast<int64_t>(buffer.size())));
        if (StreamRead(buffer.data(), 1, chunk, from) != chunk) return false;
        if (checksum) checksum->add(buffer.data(), chunk);
        if (StreamWrite(buffer.data(), 1, chunk, to) != chunk) return false;
        remaining -= static_cast<int64_t>(chunk);
    }
    return true;
}

bool HeadChecksum(FILE* save, uint64_t* checksum) {
    std::vector<uint8_t> head(static_cast<size_t>(GVARS_OFFSET));
    if (!ReadAt(save, 0, head.data(), head.size())) return false;
    JournalChecksum sum;
    sum.add(head.data(), head.size());
    *checksum = sum.value();
    return true;
}
