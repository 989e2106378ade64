// recovery.cpp - judging what lies at the journal's name, byte by byte, and
// acting on it: the recovery step of every run, and the undo record's test.
// Nothing is guessed: a journal is restored only onto a save that holds, at
// every byte it covers, what was there before its run or what its run
// writes there.
#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "byte_order.h"
#include "checksum.h"
#include "dual_log.h"
#include "journal.h"
#include "journal_io.h"
#include "messages.h"
#include "platform/file.h"
#include "platform/open.h"
#include "platform/path.h"
#include "save_patcher.h"

namespace {

const char MISMATCH[] = "journal file does not match SAVE file !";
const char JOURNAL_READ_FAILED[] = "can't read journal file !";

// Sizes a header may state at all: far beyond any save, far below overflow.
constexpr int64_t MAX_FILE_SIZE = int64_t{1} << 62;
constexpr uint32_t MAX_TABLE_COUNT = uint32_t{1} << 30;
constexpr uint32_t MAX_BLOCK_SIZE = uint32_t{1} << 16;
// The save and the journal are compared through buffers of this.
constexpr size_t COMPARE_CHUNK_SIZE = 256 * 1024;

// The journal's first bytes, as many as there are up to a header's size.
// Fewer without the end of the file is a read that failed.
bool ReadHead(FILE* journal, uint8_t* bytes, size_t* got) {
    clearerr(journal);
    if (!SeekTo(journal, 0)) return false;
    *got = StreamRead(bytes, 1, JOURNAL_HEADER_SIZE, journal);
    return *got == JOURNAL_HEADER_SIZE || (feof(journal) && !ferror(journal));
}

bool HasMagic(const uint8_t* bytes) {
    return std::memcmp(bytes, JOURNAL_MAGIC, sizeof JOURNAL_MAGIC) == 0;
}

bool IsValidHeader(const uint8_t* bytes, size_t got) {
    return got == JOURNAL_HEADER_SIZE && HasMagic(bytes) &&
           ReadLittleEndian32(bytes + JOURNAL_VERSION_AT) == JOURNAL_VERSION &&
           ReadLittleEndian64(bytes + JOURNAL_HEADER_CHECKSUM_AT) == JournalHeaderChecksum(bytes);
}

// Whether the bytes could be a version 2 header whose writing was cut off:
// written over zeros, each byte of the magic value and the version number
// is either zero or its own.
bool MayBeCutHeader(const uint8_t* bytes, size_t got) {
    uint8_t version[4];
    WriteLittleEndian32(version, JOURNAL_VERSION);
    for (size_t i = 0; i < got && i < JOURNAL_ORIGINAL_SIZE_AT; ++i) {
        const uint8_t own = i < sizeof JOURNAL_MAGIC ? JOURNAL_MAGIC[i]
                                                     : version[i - JOURNAL_VERSION_AT];
        if (bytes[i] != 0 && bytes[i] != own) return false;
    }
    return true;
}

// The fields of a version 2 header, checked against each other and against
// what a run writes before any of them is trusted: the region within both
// sizes, and the table, the block and the move as one run makes them. A
// growing run journals everything from 30055 on and moves the tail by a
// multiple of 8; a run in place journals up to its copy's end, which may
// lie past the end of a damaged save.
bool Consistent(const JournalHeader& h) {
    if (h.original_size < 0 || h.original_size > MAX_FILE_SIZE ||
        h.final_size < h.original_size || h.final_size > MAX_FILE_SIZE ||
        h.region_offset != GVARS_OFFSET || h.region_length < 0 ||
        h.region_length > h.original_size - h.region_offset ||
        h.table_count > MAX_TABLE_COUNT || h.block_size < 3 || h.block_size > MAX_BLOCK_SIZE) {
        return false;
    }
    const int64_t m = h.table_count;
    const int64_t copy_end = GVARS_OFFSET + 8 * m + h.block_size;
    if (h.tail_shift < 0 || h.tail_shift % 8 != 0 || h.tail_shift / 8 > m ||
        h.tail_from != copy_end - h.tail_shift) {
        return false;
    }
    const int64_t region_end = h.region_offset + h.region_length;
    if (h.tail_shift > 0) {
        return h.tail_from <= h.original_size && region_end == h.original_size &&
               h.final_size == h.original_size + h.tail_shift;
    }
    return region_end == std::min(copy_end, h.original_size) &&
           h.final_size == std::max(copy_end, h.original_size);
}

// Where the run put the final byte of each offset from 30055 on: a stretch
// of the table it wrote, or the original bytes from `from` on (the cities
// block and the tail, moved up by half the growth and by all of it).
struct Piece {
    int64_t begin;
    int64_t end;
    bool from_table;
    int64_t from;  // the table's byte, or the save's original offset, at begin
};

std::array<Piece, 4> FinalPieces(const JournalHeader& h) {
    const int64_t table = 4 * static_cast<int64_t>(h.table_count);
    const int64_t block_at = GVARS_OFFSET + table;
    const int64_t copy_at = block_at + h.block_size;
    const int64_t copy_end = copy_at + table;
    return {{{GVARS_OFFSET, block_at, true, 0},
             {block_at, copy_at, false, block_at - h.tail_shift / 2},
             {copy_at, copy_end, true, 0},
             {copy_end, std::max(copy_end, h.final_size), false, h.tail_from}}};
}

enum class Comparison { Fits, Differs, Unreadable };

// What each byte of the save must hold.
enum class Expected {
    OriginalOrFinal,  // a run under way, or its restore: either, byte by byte
    Final,            // exactly what the run left
};

// Compares the save's bytes from begin to end with the journal's, where the
// journal knows the final byte (an original byte the region does not hold
// is not known); with OriginalOrFinal each byte may also be its original.
class Comparer {
public:
    Comparer(FILE* journal, FILE* save, const JournalHeader& header)
        : journal_(journal),
          save_(save),
          header_(header),
          saved_(COMPARE_CHUNK_SIZE),
          final_(COMPARE_CHUNK_SIZE),
          original_(COMPARE_CHUNK_SIZE) {}

    Comparison compare(Expected expected, int64_t begin, int64_t end) {
        const int64_t region_begin = header_.region_offset;
        const int64_t region_end = region_begin + header_.region_length;
        for (const Piece& piece : FinalPieces(header_)) {
            int64_t low = std::max(begin, piece.begin);
            int64_t high = std::min(end, piece.end);
            if (!piece.from_table) {
                low = std::max(low, piece.begin + region_begin - piece.from);
                high = std::min(high, piece.begin + region_end - piece.from);
            }
            for (int64_t at = low; at < high;) {
                const size_t count = static_cast<size_t>(
                    std::min<int64_t>(high - at, static_cast<int64_t>(COMPARE_CHUNK_SIZE)));
                const int64_t source = piece.from + (at - piece.begin);
                const int64_t final_at = piece.from_table
                                             ? payload_at() + header_.region_length + source
                                             : payload_at() + (source - region_begin);
                const bool both = expected == Expected::OriginalOrFinal;
                if (!ReadAt(save_, at, saved_.data(), count) ||
                    !ReadAt(journal_, final_at, final_.data(), count) ||
                    (both && !ReadAt(journal_, payload_at() + (at - region_begin),
                                     original_.data(), count))) {
                    return Comparison::Unreadable;
                }
                for (size_t i = 0; i < count; ++i) {
                    if (saved_[i] != final_[i] && (!both || saved_[i] != original_[i])) {
                        return Comparison::Differs;
                    }
                }
                at += static_cast<int64_t>(count);
            }
        }
        return Comparison::Fits;
    }

private:
    int64_t payload_at() const { return static_cast<int64_t>(JournalPayloadAt(header_)); }

    FILE* journal_;
    FILE* save_;
    const JournalHeader& header_;
    std::vector<uint8_t> saved_;
    std::vector<uint8_t> final_;
    std::vector<uint8_t> original_;
};

// Whether the payload of a version 2 journal is whole: exactly the region
// and the table, as its checksum says.
Comparison CheckPayload(FILE* journal, const JournalHeader& header) {
    int64_t size = 0;
    if (!StreamFileSize(journal, &size)) return Comparison::Unreadable;
    const int64_t payload = header.region_length + 4 * static_cast<int64_t>(header.table_count);
    if (size != static_cast<int64_t>(JOURNAL_PAYLOAD_AT) + payload) return Comparison::Differs;
    std::vector<uint8_t> buffer = CopyBuffer(payload);
    JournalChecksum checksum;
    if (!SeekTo(journal, JOURNAL_PAYLOAD_AT)) return Comparison::Unreadable;
    for (int64_t remaining = payload; remaining > 0;) {
        const size_t chunk = static_cast<size_t>(
            std::min<int64_t>(remaining, static_cast<int64_t>(buffer.size())));
        if (StreamRead(buffer.data(), 1, chunk, journal) != chunk) return Comparison::Unreadable;
        checksum.add(buffer.data(), chunk);
        remaining -= static_cast<int64_t>(chunk);
    }
    return checksum.value() == header.checksum ? Comparison::Fits : Comparison::Differs;
}

// The save's first 30055 bytes against the header's checksum of them.
Comparison CheckHead(FILE* save, const JournalHeader& header) {
    uint64_t checksum = 0;
    if (!HeadChecksum(save, &checksum)) return Comparison::Unreadable;
    return checksum == header.head_checksum ? Comparison::Fits : Comparison::Differs;
}

// A journal of the first release, judged as that release judged it.
JournalVerdict JudgeVersion1(FILE* journal, FILE* save, const uint8_t* bytes, size_t got,
                             JournalHeader* header_out) {
    int64_t save_size = 0;
    if (!StreamFileSize(save, &save_size)) return JournalVerdict::Unreadable;
    const JournalHeader header = DecodeJournalHeader(bytes);
    // A journal cut short or failing its checksum was being written when its
    // run died, before the save changed; the save's size must say so too.
    const bool size_known = got >= JOURNAL_FINAL_SIZE_AT;  // the original size is whole
    const JournalVerdict cut_short = size_known && save_size == header.original_size
                                         ? JournalVerdict::Incomplete
                                         : JournalVerdict::Mismatch;
    if (got < JOURNAL_V1_PAYLOAD_AT) return cut_short;

    JournalChecksum checksum;
    checksum.add(bytes, JOURNAL_CHECKSUM_AT);
    // The length is not trusted yet: it only sizes the buffer, within bounds.
    std::vector<uint8_t> buffer = CopyBuffer(std::max<int64_t>(header.region_length, 1 << 16));
    if (!SeekTo(journal, JOURNAL_V1_PAYLOAD_AT)) return JournalVerdict::Unreadable;
    int64_t payload = 0;
    for (;;) {
        const size_t read = StreamRead(buffer.data(), 1, buffer.size(), journal);
        checksum.add(buffer.data(), read);
        payload += static_cast<int64_t>(read);
        if (read < buffer.size()) break;
    }
    if (!feof(journal) || ferror(journal)) return JournalVerdict::Unreadable;
    if (payload != header.region_length || checksum.value() != header.checksum) return cut_short;

    for (int64_t field : {header.original_size, header.region_offset, header.region_length}) {
        if (field < 0 || field > MAX_SAVE_SIZE) return JournalVerdict::Mismatch;
    }
    if (header.region_offset < GVARS_OFFSET ||
        header.region_offset + header.region_length > header.original_size ||
        header.final_size < header.original_size ||
        (save_size != header.original_size && save_size != header.final_size)) {
        return JournalVerdict::Mismatch;
    }
    switch (CheckHead(save, header)) {
        case Comparison::Unreadable: return JournalVerdict::Unreadable;
        case Comparison::Differs: return JournalVerdict::Mismatch;
        case Comparison::Fits: break;
    }
    *header_out = header;
    return JournalVerdict::Restorable;
}

JournalVerdict JudgeVersion2(FILE* journal, FILE* save, const JournalHeader& header,
                             JournalHeader* header_out) {
    if (!Consistent(header)) return JournalVerdict::Mismatch;
    int64_t save_size = 0;
    Comparison result = CheckPayload(journal, header);
    if (result == Comparison::Fits) {
        if (!StreamFileSize(save, &save_size)) return JournalVerdict::Unreadable;
        if (save_size < header.original_size || save_size > header.final_size) {
            return JournalVerdict::Mismatch;
        }
        result = CheckHead(save, header);
    }
    if (result == Comparison::Fits) {
        result = Comparer(journal, save, header)
                     .compare(Expected::OriginalOrFinal, header.region_offset,
                              header.region_offset + header.region_length);
    }
    switch (result) {
        case Comparison::Unreadable: return JournalVerdict::Unreadable;
        case Comparison::Differs: return JournalVerdict::Mismatch;
        case Comparison::Fits: break;
    }
    *header_out = header;
    return JournalVerdict::Restorable;
}

}  // namespace

JournalVerdict JudgeJournal(FILE* journal, FILE* save, JournalHeader* header) {
    uint8_t bytes[JOURNAL_HEADER_SIZE] = {};
    size_t got = 0;
    if (!ReadHead(journal, bytes, &got)) return JournalVerdict::Unreadable;
    // Created, and nothing written yet: the save was not touched.
    if (got < sizeof JOURNAL_MAGIC) return JournalVerdict::Incomplete;
    if (std::memcmp(bytes, ZERO_MAGIC, sizeof ZERO_MAGIC) == 0) return JournalVerdict::Committed;
    if (HasMagic(bytes) &&
        (got < JOURNAL_ORIGINAL_SIZE_AT || ReadLittleEndian32(bytes + JOURNAL_VERSION_AT) == 1)) {
        return JudgeVersion1(journal, save, bytes, got, header);
    }
    if (IsValidHeader(bytes, got)) {
        return JudgeVersion2(journal, save, DecodeJournalHeader(bytes), header);
    }
    // A header whose writing was cut off: its run never touched the save.
    return MayBeCutHeader(bytes, got) ? JournalVerdict::Incomplete : JournalVerdict::Mismatch;
}

UndoVerdict JudgeUndoRecord(FILE* record, FILE* save, JournalHeader* header_out) {
    uint8_t bytes[JOURNAL_HEADER_SIZE] = {};
    size_t got = 0;
    if (!ReadHead(record, bytes, &got)) return UndoVerdict::Unreadable;
    if (!IsValidHeader(bytes, got)) return UndoVerdict::Damaged;
    const JournalHeader header = DecodeJournalHeader(bytes);
    if (!Consistent(header)) return UndoVerdict::Damaged;
    Comparison result = CheckPayload(record, header);
    if (result == Comparison::Differs) return UndoVerdict::Damaged;
    if (result == Comparison::Fits) {
        int64_t save_size = 0;
        if (!StreamFileSize(save, &save_size)) return UndoVerdict::Unreadable;
        if (save_size != header.final_size) return UndoVerdict::Changed;
        result = CheckHead(save, header);
    }
    if (result == Comparison::Fits) {
        result = Comparer(record, save, header)
                     .compare(Expected::Final, header.region_offset, header.final_size);
    }
    switch (result) {
        case Comparison::Unreadable: return UndoVerdict::Unreadable;
        case Comparison::Differs: return UndoVerdict::Changed;
        case Comparison::Fits: break;
    }
    *header_out = header;
    return UndoVerdict::Fits;
}

bool RestoreFromJournal(FILE* journal, const JournalHeader& header, FILE* save,
                        std::vector<uint8_t>& buffer) {
    clearerr(journal);
    clearerr(save);
    return SeekTo(journal, static_cast<int64_t>(JournalPayloadAt(header))) &&
           SeekTo(save, header.region_offset) &&
           CopyBytes(journal, save, header.region_length, buffer, nullptr) &&
           CutStreamFile(save, header.original_size) && SyncStreamFile(save);
}

Recovery RecoverJournal(FILE* save_file, const std::string& journal_path) {
    // Opened as the save is: a FIFO, a folder or a device there is not read,
    // and nothing waits.
    OpenFailure found = OpenFailure::None;
    FILE* journal = OpenExistingFileUtf8(journal_path, "rb", &found);
    if (!journal) {
        switch (found) {
            case OpenFailure::NoSuchFile:
            case OpenFailure::NameTooLong: return Recovery::NoJournal;
            case OpenFailure::IsFolder:
            case OpenFailure::NotAFile: return Recovery::Mismatch;
            default: return Recovery::Unreadable;
        }
    }
    JournalHeader header;
    JournalVerdict verdict = JournalVerdict::Unreadable;
    try {
        verdict = JudgeJournal(journal, save_file, &header);
    } catch (const std::bad_alloc&) {
    }
    bool restored = false;
    if (verdict == JournalVerdict::Restorable) {
        LogLine(RESTORING_FROM_JOURNAL);
        try {
            std::vector<uint8_t> buffer = CopyBuffer(header.region_length);
            restored = RestoreFromJournal(journal, header, save_file, buffer);
        } catch (const std::bad_alloc&) {
        }
    }
    fclose(journal);
    switch (verdict) {
        case JournalVerdict::Mismatch: return Recovery::Mismatch;
        case JournalVerdict::Unreadable: return Recovery::Unreadable;
        case JournalVerdict::Restorable:
            if (!restored) return Recovery::RestoreFailed;
            break;
        default: break;
    }
    // Left behind, a journal is met again by the next run: deleted once
    // more, or restored once more onto the same bytes.
    (void)RemoveFileUtf8(journal_path);
    (void)SyncFolderOf(journal_path);
    return verdict == JournalVerdict::Restorable ? Recovery::Restored : Recovery::Deleted;
}

void RecoverSave(FILE* save_file, const std::string& save_path, std::string* resolved_path) {
    if (save_path.empty()) return;
    const std::string resolved = ResolvedPath(save_file, save_path);
    if (resolved_path) *resolved_path = resolved;
    switch (RecoverJournal(save_file, resolved + JOURNAL_SUFFIX)) {
        case Recovery::Mismatch: CriticalError(MISMATCH);
        case Recovery::Unreadable: CriticalError(JOURNAL_READ_FAILED);
        case Recovery::RestoreFailed: CriticalError(RESTORE_FAILED);
        default: break;
    }
}
