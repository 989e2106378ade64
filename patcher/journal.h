// journal.h - the save's rollback journal. Before the SAVING phase
// changes a byte of the save, the original bytes of every region it may
// change, and what it will write there, go to "<save's resolved path>-journal"
// and are made durable; once the new save is durable the journal becomes the
// save's undo record, "<save's resolved path>-undo" (the commit). A failure
// before the commit puts the save back from it, and so does the next run
// when a run was interrupted; gvundo puts it back from the undo record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

class StopSignalGuard;

// The journal file, all numbers little-endian: a header of fields at these
// offsets (their sizes in bytes after them), then the payload. The
// checksums are JournalChecksum values (checksum.h).
constexpr size_t JOURNAL_MAGIC_AT = 0;           // 8: JOURNAL_MAGIC
constexpr size_t JOURNAL_VERSION_AT = 8;         // 4: JOURNAL_VERSION
constexpr size_t JOURNAL_ORIGINAL_SIZE_AT = 12;  // 8: the save's size L before the run
constexpr size_t JOURNAL_FINAL_SIZE_AT = 20;     // 8: its size F after it
constexpr size_t JOURNAL_REGION_OFFSET_AT = 28;  // 8: where the bytes held come from in the save
constexpr size_t JOURNAL_REGION_LENGTH_AT = 36;  // 8: how many bytes of the save the payload holds
constexpr size_t JOURNAL_HEAD_CHECKSUM_AT = 44;  // 8: checksum of the save's first 30055 bytes
constexpr size_t JOURNAL_CHECKSUM_AT = 52;       // 8: checksum of the payload (see below)
// From version 2 on: what the run writes, so that the final byte of every
// offset follows from the journal alone, and the header's own checksum.
constexpr size_t JOURNAL_TABLE_COUNT_AT = 60;      // 4: m, the entries of the table written
constexpr size_t JOURNAL_BLOCK_SIZE_AT = 64;       // 4: the cities block's size (list and 3)
constexpr size_t JOURNAL_TAIL_FROM_AT = 68;        // 8: P, where the bytes that move start
constexpr size_t JOURNAL_TAIL_SHIFT_AT = 76;       // 8: N, how far they move up (0: in place)
constexpr size_t JOURNAL_HEADER_CHECKSUM_AT = 84;  // 8: checksum of bytes 0 to 83
constexpr size_t JOURNAL_HEADER_SIZE = 92;
// Version 2's payload starts a sector after the header, which is written
// last, alone in its sector: the region's original bytes, then the m
// entries of the table the run writes. Its checksum covers both.
constexpr size_t JOURNAL_PAYLOAD_AT = 512;
// Version 1 (the first release) had a 60-byte header and the region's
// original bytes right after it; its checksum covers bytes 0 to 51 and
// those. Such journals are still judged and restored.
constexpr size_t JOURNAL_V1_PAYLOAD_AT = 60;
constexpr uint32_t JOURNAL_VERSION = 2;
extern const uint8_t JOURNAL_MAGIC[8];

struct JournalHeader {
    uint32_t version = JOURNAL_VERSION;
    int64_t original_size = 0;
    int64_t final_size = 0;
    int64_t region_offset = 0;
    int64_t region_length = 0;
    uint64_t head_checksum = 0;
    uint64_t checksum = 0;
    uint32_t table_count = 0;
    uint32_t block_size = 0;
    int64_t tail_from = 0;
    int64_t tail_shift = 0;
    uint64_t header_checksum = 0;
};

// The header's bytes (JOURNAL_HEADER_SIZE of them; version 1 uses the
// first 60), with the magic value, as the fields say: no checksum is
// computed.
void EncodeJournalHeader(const JournalHeader& header, uint8_t* bytes);
// The fields of a header's bytes (the magic value is not looked at).
JournalHeader DecodeJournalHeader(const uint8_t* bytes);
// The checksum a version 2 header's bytes must hold at
// JOURNAL_HEADER_CHECKSUM_AT.
uint64_t JournalHeaderChecksum(const uint8_t* bytes);
// Where the payload of a journal of the header's version starts.
size_t JournalPayloadAt(const JournalHeader& header);

// Where the journal and the undo record of the save open as save_file under
// save_path lie: the save's resolved path with "-journal" or "-undo"
// appended, so that every spelling of one save finds them; save_path with it
// when the path cannot be resolved.
std::string JournalPath(FILE* save_file, const std::string& save_path);
std::string UndoRecordPath(FILE* save_file, const std::string& save_path);

// The journal of one SAVING phase over the save open as save_file under
// save_path. With an empty path there is no journal: write only measures
// the save, commit only flushes it and roll_back does nothing.
class SaveJournal {
public:
    // resolved_path, when not empty, is the save's resolved path as this
    // run found it already. stop_signals is armed when the journal is
    // created; its owner releases it.
    SaveJournal(FILE* save_file, const std::string& save_path, StopSignalGuard& stop_signals,
                const std::string& resolved_path = std::string());
    // Closes the journal's stream. A journal neither committed nor rolled
    // back stays on the disk, as after an interrupted run.
    ~SaveJournal();
    SaveJournal(const SaveJournal&) = delete;
    SaveJournal& operator=(const SaveJournal&) = delete;

    // Writes the journal, before anything of the save changes: the phase
    // will write gvar_table at 30055, a cities block of block_size bytes
    // after it and the table again after that, and, when growth is above 0,
    // insert growth bytes where the old copy ended (moving everything from
    // there to the end). The journal holds the bytes from 30055 to the end
    // of the file when the save grows, to the copy's end (within the file)
    // when it does not, and the table. It is created exclusively; the
    // payload is written and synced, then the header, and the folder is
    // synced. Arms the stop-signal guard right before creating it. Critical
    // error "can't write journal file !" when it cannot be written, after
    // removing what was written: the save is then unchanged. head, when
    // given, holds the save's first 30055 bytes as this run read them, so
    // they need not be read again for their checksum. Whatever a rollback
    // needs is reserved here.
    void write(const std::vector<int32_t>& gvar_table, uint32_t block_size, int32_t growth,
               const uint8_t* head = nullptr);

    // The save's size before the phase, and the size it has after it (the
    // growth, or writes running past a damaged file's end). Set by write.
    int64_t original_size() const { return header_.original_size; }
    int64_t final_size() const { return header_.final_size; }

    // The save's original bytes from offset on, when the journal still
    // holds all length of them in memory (a region that fits in one copy
    // chunk); null otherwise. Valid until commit or roll_back.
    const uint8_t* held_bytes(int64_t offset, int64_t length) const;

    // After the phase's last write: syncs the save, then (the commit point)
    // renames the journal, still open, to the undo record, replacing an
    // older one, and syncs the folder. When the run changed no byte the
    // journal is invalidated and deleted instead, and an older record stays;
    // so it is when the rename fails, and an older record, which no longer
    // fits the save, goes too. Critical error "error while writing SAVE file
    // !" when anything up to the commit point fails; what fails after it is
    // left to the next run.
    void commit();

    // After a failure of the phase: logs "restoring SAVE file from journal
    // ...", writes the region back, cuts the save to its original size,
    // syncs it and deletes the journal; the save is then byte-identical to
    // what it was. Critical error "can't restore SAVE file from journal !"
    // when any of that fails, memory included: the journal stays for the
    // next run. Allocates nothing.
    void roll_back();

private:
    void close_journal();
    // Zeroes the journal's magic value and syncs it.
    bool invalidate();
    [[noreturn]] void restore_failed();

    FILE* save_file_;
    StopSignalGuard& stop_signals_;
    std::string journal_path_;  // empty: no journal
    std::string undo_path_;
    FILE* journal_ = nullptr;  // open from write until the commit or the rollback
    JournalHeader header_;
    std::vector<uint8_t> buffer_;  // the copy buffer, holding the region's last chunk
    std::runtime_error restore_error_;  // made before it is needed, as memory may run out
    bool written_ = false;
    bool commit_tried_ = false;
    bool unchanged_ = false;  // the final bytes are the original ones
};

// What a journal beside a save says, from JudgeJournal.
enum class JournalVerdict {
    Committed,   // its run finished (magic value zeroed): delete it
    Incomplete,  // its run died writing it, before the save changed: delete it
    Restorable,  // whole, valid and matching the save: restore the save
    Mismatch,    // anything else: keep both files, change nothing
    Unreadable,  // reading the journal or the save failed
};

// The verdict on the journal open as journal for the save open as save.
// Version 2: restorable when the save's first 30055 bytes are as recorded,
// its size lies between the original and the final size, and every byte of
// the region holds its original or its final value; a valid header over a
// payload that is short or wrong is a mismatch. When it is Restorable,
// *header receives the journal's header. Allocates its buffers: may throw
// std::bad_alloc.
JournalVerdict JudgeJournal(FILE* journal, FILE* save, JournalHeader* header);

// What an undo record says of the save, from JudgeUndoRecord.
enum class UndoVerdict {
    Fits,        // the save is exactly what the record's run left
    Changed,     // the save is something else now
    Damaged,     // not a valid, whole record
    Unreadable,  // reading the record or the save failed
};

// The verdict on the undo record open as record for the save open as save:
// Fits when the save's first 30055 bytes, its size and every byte the run
// wrote are what the run left. When it Fits, *header receives the record's
// header. Allocates its buffers: may throw std::bad_alloc.
UndoVerdict JudgeUndoRecord(FILE* record, FILE* save, JournalHeader* header);

// Writes the journal's region back into the save, cuts the save to its
// original size and syncs it, through buffer (not empty). Returns false when
// any of it fails.
bool RestoreFromJournal(FILE* journal, const JournalHeader& header, FILE* save,
                        std::vector<uint8_t>& buffer);

// What the recovery step did with the journal at a name.
enum class Recovery {
    NoJournal,      // none there, or none can be there
    Deleted,        // one whose run never touched the save, deleted
    Restored,       // the save put back, the journal deleted
    Mismatch,       // one that does not fit the save, or not a file: both kept
    Unreadable,     // it could not be looked at or read
    RestoreFailed,  // putting the save back failed: the journal kept
};

// Acts on the journal at journal_path for the save open as save_file:
// deletes a committed or incomplete one, restores from a restorable one,
// announced first with "restoring SAVE file from journal ...", and deletes
// it; leaves everything else as it is.
Recovery RecoverJournal(FILE* save_file, const std::string& journal_path);

// The recovery step of a run, before the configuration is read: looks for
// the journal of the save open as save_file under save_path and acts on it
// (RecoverJournal). Critical errors: "journal file does not match SAVE file
// !" (both files kept as they are), "can't read journal file !" and "can't
// restore SAVE file from journal !" (the journal kept). An empty path looks
// for nothing. resolved_path, when given, receives the save's resolved path,
// for the rest of the run to reuse.
void RecoverSave(FILE* save_file, const std::string& save_path,
                 std::string* resolved_path = nullptr);
