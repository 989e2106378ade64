// journal.cpp - the rollback journal: its format, writing it before
// the SAVING phase changes the save, the commit to the undo record and the
// rollback. Every I/O call is one of platform/'s, where a test build can
// make it fail.
#include "journal.h"

#include <algorithm>
#include <cstring>

#include "byte_order.h"
#include "checksum.h"
#include "dual_log.h"
#include "journal_io.h"
#include "messages.h"
#include "platform/file.h"
#include "platform/open.h"
#include "platform/path.h"
#include "platform/signals.h"
#include "save_patcher.h"

const uint8_t JOURNAL_MAGIC[8] = {'G', 'V', 'J', 'O', 'U', 'R', 'N', 'L'};

namespace {

// Entries go to the journal through a small buffer rather than a copy of
// the table.
constexpr size_t ENTRIES_PER_WRITE = 1024;

uint8_t TableByte(const std::vector<int32_t>& table, int64_t index) {
    return static_cast<uint8_t>(static_cast<uint32_t>(table[static_cast<size_t>(index / 4)]) >>
                                (8 * (index % 4)));
}

// Whether the save's bytes from offset on are what a run writing the table
// in place leaves there: the table at 30055 and its copy after the block.
bool SameAsWritten(const uint8_t* bytes, int64_t offset, size_t count,
                   const std::vector<int32_t>& table, uint32_t block_size) {
    const int64_t table_bytes = 4 * static_cast<int64_t>(table.size());
    const int64_t starts[] = {GVARS_OFFSET, GVARS_OFFSET + table_bytes + block_size};
    for (size_t k = 0; k < count; ++k) {
        const int64_t at = offset + static_cast<int64_t>(k);
        for (int64_t start : starts) {
            if (at >= start && at < start + table_bytes && bytes[k] != TableByte(table, at - start)) {
                return false;
            }
        }
    }
    return true;
}

// Copies the save's region, from the stream's position, into the journal at
// its position, adding it to the checksum; *unchanged stays true only while
// every byte is what the run will write there.
bool CopyRegion(FILE* save, FILE* journal, const JournalHeader& header,
                const std::vector<int32_t>& table, std::vector<uint8_t>& buffer,
                JournalChecksum& checksum, bool* unchanged) {
    int64_t offset = header.region_offset;
    for (int64_t remaining = header.region_length; remaining > 0;) {
        const size_t chunk = static_cast<size_t>(
            std::min<int64_t>(remaining, static_cast<int64_t>(buffer.size())));
        if (StreamRead(buffer.data(), 1, chunk, save) != chunk) return false;
        checksum.add(buffer.data(), chunk);
        *unchanged = *unchanged && SameAsWritten(buffer.data(), offset, chunk, table, header.block_size);
        if (StreamWrite(buffer.data(), 1, chunk, journal) != chunk) return false;
        offset += static_cast<int64_t>(chunk);
        remaining -= static_cast<int64_t>(chunk);
    }
    return true;
}

// Writes the table's entries, little-endian, at the journal's position.
bool WriteTable(FILE* journal, const std::vector<int32_t>& table, JournalChecksum& checksum) {
    uint8_t bytes[4 * ENTRIES_PER_WRITE];
    for (size_t done = 0; done < table.size();) {
        const size_t count = std::min(ENTRIES_PER_WRITE, table.size() - done);
        for (size_t i = 0; i < count; ++i) {
            WriteLittleEndian32(bytes + 4 * i, static_cast<uint32_t>(table[done + i]));
        }
        checksum.add(bytes, 4 * count);
        if (StreamWrite(bytes, 1, 4 * count, journal) != 4 * count) return false;
        done += count;
    }
    return true;
}

}  // namespace

std::string JournalPath(FILE* save_file, const std::string& save_path) {
    return ResolvedPath(save_file, save_path) + JOURNAL_SUFFIX;
}

std::string UndoRecordPath(FILE* save_file, const std::string& save_path) {
    return ResolvedPath(save_file, save_path) + UNDO_SUFFIX;
}

void EncodeJournalHeader(const JournalHeader& header, uint8_t* bytes) {
    std::memcpy(bytes + JOURNAL_MAGIC_AT, JOURNAL_MAGIC, sizeof JOURNAL_MAGIC);
    WriteLittleEndian32(bytes + JOURNAL_VERSION_AT, header.version);
    const auto put = [bytes](size_t at, int64_t value) {
        WriteLittleEndian64(bytes + at, static_cast<uint64_t>(value));
    };
    put(JOURNAL_ORIGINAL_SIZE_AT, header.original_size);
    put(JOURNAL_FINAL_SIZE_AT, header.final_size);
    put(JOURNAL_REGION_OFFSET_AT, header.region_offset);
    put(JOURNAL_REGION_LENGTH_AT, header.region_length);
    WriteLittleEndian64(bytes + JOURNAL_HEAD_CHECKSUM_AT, header.head_checksum);
    WriteLittleEndian64(bytes + JOURNAL_CHECKSUM_AT, header.checksum);
    if (header.version == 1) return;
    WriteLittleEndian32(bytes + JOURNAL_TABLE_COUNT_AT, header.table_count);
    WriteLittleEndian32(bytes + JOURNAL_BLOCK_SIZE_AT, header.block_size);
    put(JOURNAL_TAIL_FROM_AT, header.tail_from);
    put(JOURNAL_TAIL_SHIFT_AT, header.tail_shift);
    WriteLittleEndian64(bytes + JOURNAL_HEADER_CHECKSUM_AT, header.header_checksum);
}

JournalHeader DecodeJournalHeader(const uint8_t* bytes) {
    const auto get = [bytes](size_t at) {
        return static_cast<int64_t>(ReadLittleEndian64(bytes + at));
    };
    JournalHeader header;
    header.version = ReadLittleEndian32(bytes + JOURNAL_VERSION_AT);
    header.original_size = get(JOURNAL_ORIGINAL_SIZE_AT);
    header.final_size = get(JOURNAL_FINAL_SIZE_AT);
    header.region_offset = get(JOURNAL_REGION_OFFSET_AT);
    header.region_length = get(JOURNAL_REGION_LENGTH_AT);
    header.head_checksum = ReadLittleEndian64(bytes + JOURNAL_HEAD_CHECKSUM_AT);
    header.checksum = ReadLittleEndian64(bytes + JOURNAL_CHECKSUM_AT);
    header.table_count = ReadLittleEndian32(bytes + JOURNAL_TABLE_COUNT_AT);
    header.block_size = ReadLittleEndian32(bytes + JOURNAL_BLOCK_SIZE_AT);
    header.tail_from = get(JOURNAL_TAIL_FROM_AT);
    header.tail_shift = get(JOURNAL_TAIL_SHIFT_AT);
    header.header_checksum = ReadLittleEndian64(bytes + JOURNAL_HEADER_CHECKSUM_AT);
    return header;
}

uint64_t JournalHeaderChecksum(const uint8_t* bytes) {
    JournalChecksum checksum;
    checksum.add(bytes, JOURNAL_HEADER_CHECKSUM_AT);
    return checksum.value();
}

size_t JournalPayloadAt(const JournalHeader& header) {
    return header.version == 1 ? JOURNAL_V1_PAYLOAD_AT : JOURNAL_PAYLOAD_AT;
}

SaveJournal::SaveJournal(FILE* save_file, const std::string& save_path,
                         StopSignalGuard& stop_signals, const std::string& resolved_path)
    : save_file_(save_file), stop_signals_(stop_signals), restore_error_(RESTORE_FAILED) {
    if (save_path.empty()) return;
    const std::string base = resolved_path.empty() ? ResolvedPath(save_file, save_path)
                                                   : resolved_path;
    journal_path_ = base + JOURNAL_SUFFIX;
    undo_path_ = base + UNDO_SUFFIX;
}

SaveJournal::~SaveJournal() { close_journal(); }

void SaveJournal::close_journal() {
    if (journal_) fclose(journal_);
    journal_ = nullptr;
}

bool SaveJournal::invalidate() {
    return WriteAt(journal_, 0, ZERO_MAGIC, sizeof ZERO_MAGIC) && SyncStreamFile(journal_);
}

void SaveJournal::restore_failed() {
    LogCritical(RESTORE_FAILED);
    // Copying the exception made beforehand allocates nothing.
    throw restore_error_;
}

void SaveJournal::write(const std::vector<int32_t>& gvar_table, uint32_t block_size,
                        int32_t growth, const uint8_t* head) {
    int64_t size = 0;
    if (!StreamFileSize(save_file_, &size)) CriticalError(JOURNAL_WRITE_FAILED);
    // When the save grows, everything from the old copy's end to the end
    // moves; otherwise only the bytes up to the copy's end change.
    const int64_t copy_end =
        int64_t{GVARS_OFFSET} + 8 * static_cast<int64_t>(gvar_table.size()) + block_size;
    const int64_t region_end = growth > 0 ? size : std::min(copy_end, size);
    header_ = JournalHeader();
    header_.original_size = size;
    header_.final_size = growth > 0 ? size + growth : std::max(size, copy_end);
    header_.region_offset = GVARS_OFFSET;
    header_.region_length = std::max<int64_t>(0, region_end - GVARS_OFFSET);
    header_.table_count = static_cast<uint32_t>(gvar_table.size());
    header_.block_size = block_size;
    header_.tail_shift = growth;
    header_.tail_from = copy_end - growth;
    if (journal_path_.empty()) return;

    buffer_ = CopyBuffer(header_.region_length);
    if (head) {
        JournalChecksum sum;
        sum.add(head, static_cast<size_t>(GVARS_OFFSET));
        header_.head_checksum = sum.value();
    } else if (!HeadChecksum(save_file_, &header_.head_checksum)) {
        CriticalError(JOURNAL_WRITE_FAILED);
    }
    // From here until the guard's owner has closed the log, a stop request
    // waits for the end.
    stop_signals_.arm();
    // A journal that exists already is not this run's to remove.
    journal_ = CreateNewFileUtf8(journal_path_);
    if (!journal_) CriticalError(JOURNAL_WRITE_FAILED);

    // The payload first, made durable while the header's sector is still
    // empty: a journal cut anywhere in it has no valid header, and is known
    // to come from a run that never touched the save. Then the header.
    JournalChecksum checksum;
    unchanged_ = growth == 0 && header_.final_size == size;
    bool whole = SeekTo(journal_, JOURNAL_PAYLOAD_AT) && SeekTo(save_file_, header_.region_offset) &&
                 CopyRegion(save_file_, journal_, header_, gvar_table, buffer_, checksum,
                            &unchanged_) &&
                 WriteTable(journal_, gvar_table, checksum) && SyncStreamFile(journal_);
    if (whole) {
        header_.checksum = checksum.value();
        uint8_t bytes[JOURNAL_HEADER_SIZE];
        EncodeJournalHeader(header_, bytes);
        header_.header_checksum = JournalHeaderChecksum(bytes);
        EncodeJournalHeader(header_, bytes);
        whole = WriteAt(journal_, 0, bytes, sizeof bytes) && SyncStreamFile(journal_) &&
                SyncFolderOf(journal_path_);
    }
    if (!whole) {
        close_journal();
        (void)RemoveFileUtf8(journal_path_);
        CriticalError(JOURNAL_WRITE_FAILED);
    }
    written_ = true;
}

const uint8_t* SaveJournal::held_bytes(int64_t offset, int64_t length) const {
    // The buffer holds the region's last chunk: all of it when it fits.
    const bool whole = written_ && header_.region_length <= static_cast<int64_t>(buffer_.size());
    if (!whole || offset < header_.region_offset || length < 0 ||
        offset + length > header_.region_offset + header_.region_length) {
        return nullptr;
    }
    return buffer_.data() + (offset - header_.region_offset);
}

void SaveJournal::commit() {
    if (!written_) {
        if (StreamFlush(save_file_) != 0) CriticalError(SAVE_WRITE_FAILED);
        return;
    }
    if (!SyncStreamFile(save_file_)) CriticalError(SAVE_WRITE_FAILED);
    commit_tried_ = true;
    // Renamed open, the journal needs no reopening, which could fail, should
    // anything after this fail.
    if (!unchanged_ && RenameFileUtf8(journal_path_, undo_path_)) {
        // Committed: the journal is the undo record now.
        written_ = false;
        // A rename not known to be on the disk may come undone and bring
        // the journal back: it is invalidated, so that it then goes
        // silently, and the record is given up.
        if (!SyncFolderOf(undo_path_) && invalidate()) {
            close_journal();
            (void)RemoveFileUtf8(undo_path_);
        }
        close_journal();
        return;
    }
    if (!invalidate()) CriticalError(SAVE_WRITE_FAILED);
    // Committed. What fails from here on is left to the next run.
    written_ = false;
    close_journal();
    (void)RemoveFileUtf8(journal_path_);
    // The save changed: an older record no longer fits it.
    if (!unchanged_) (void)RemoveFileUtf8(undo_path_);
    (void)SyncFolderOf(journal_path_);
}

void SaveJournal::roll_back() {
    if (!written_) return;
    LogLine(RESTORING_FROM_JOURNAL);
    written_ = false;
    // After a failed commit the magic value may be zero on the disk: the
    // journal must be valid again before the save changes.
    bool restored = true;
    if (commit_tried_) {
        uint8_t bytes[JOURNAL_HEADER_SIZE];
        EncodeJournalHeader(header_, bytes);
        restored = WriteAt(journal_, 0, bytes, sizeof bytes) && SyncStreamFile(journal_);
    }
    restored = restored && RestoreFromJournal(journal_, header_, save_file_, buffer_);
    close_journal();
    if (!restored) restore_failed();
    (void)RemoveFileUtf8(journal_path_);
    (void)SyncFolderOf(journal_path_);
}
