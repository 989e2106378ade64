// journal.h - the save's rollback journal. Before the SAVING phase
// changes a byte of the save, the original bytes of every region it may
// change go to "<save's resolved path>-journal" and are made durable; once
// the new save is durable the journal is invalidated (the commit) and
// deleted. A failure before the commit puts the save back from it, and so
// does the next run when a run was interrupted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class StopSignalGuard;

// The journal file, all numbers little-endian: a header of fields at these
// offsets (their sizes in bytes after them), then the payload. The
// checksums are JournalChecksum values (checksum.h).
constexpr size_t JOURNAL_MAGIC_AT = 0;           // 8: JOURNAL_MAGIC; zeroed at the commit
constexpr size_t JOURNAL_VERSION_AT = 8;         // 4: JOURNAL_VERSION
constexpr size_t JOURNAL_ORIGINAL_SIZE_AT = 12;  // 8: the save's size L before the run
constexpr size_t JOURNAL_FINAL_SIZE_AT = 20;     // 8: its size after (L + N; L if it does not grow)
constexpr size_t JOURNAL_REGION_OFFSET_AT = 28;  // 8: where the bytes held come from in the save
constexpr size_t JOURNAL_REGION_LENGTH_AT = 36;  // 8: how many bytes the payload holds
constexpr size_t JOURNAL_HEAD_CHECKSUM_AT = 44;  // 8: checksum of the save's first 30055 bytes
constexpr size_t JOURNAL_CHECKSUM_AT = 52;       // 8: checksum of bytes 0 to 51 and the payload
constexpr size_t JOURNAL_HEADER_SIZE = 60;       // the payload: the region's original bytes
constexpr uint32_t JOURNAL_VERSION = 1;
extern const uint8_t JOURNAL_MAGIC[8];

struct JournalHeader {
    uint32_t version = JOURNAL_VERSION;
    int64_t original_size = 0;
    int64_t final_size = 0;
    int64_t region_offset = 0;
    int64_t region_length = 0;
    uint64_t head_checksum = 0;
    uint64_t checksum = 0;
};

// The header's bytes, with the magic value.
void EncodeJournalHeader(const JournalHeader& header, uint8_t* bytes);
// The fields of a header's bytes (the magic value is not looked at).
JournalHeader DecodeJournalHeader(const uint8_t* bytes);

// Where the journal of the save open as save_file under save_path lies: the
// save's resolved path with "-journal" appended, so that every spelling of
// one save finds one journal; save_path with it when the path cannot be
// resolved.
std::string JournalPath(FILE* save_file, const std::string& save_path);

// The journal of one SAVING phase over the save open as save_file under
// save_path. With an empty path there is no journal: write only measures
// the save, commit only flushes it and roll_back does nothing.
class SaveJournal {
public:
    // journal_path, when not empty, is the journal's path as this run
    // resolved it already. stop_signals is armed when the journal is
    // created; its owner releases it.
    SaveJournal(FILE* save_file, const std::string& save_path, StopSignalGuard& stop_signals,
                const std::string& journal_path = std::string());
    // Closes the journal's stream. A journal neither committed nor rolled
    // back stays on the disk, as after an interrupted run.
    ~SaveJournal();
    SaveJournal(const SaveJournal&) = delete;
    SaveJournal& operator=(const SaveJournal&) = delete;

    // Writes the journal, before anything of the save changes: the phase
    // will insert growth bytes (moving everything from its insertion point
    // to the end) and write in place up to changed_end. The journal holds
    // the bytes from 30055 to the end of the file when the save grows, to
    // changed_end (within the file) when it does not; it is created
    // exclusively, written whole and synced, and so is its folder. Arms the
    // stop-signal guard right before creating it. Critical
    // error "can't write journal file !" when it cannot be written, after
    // removing what was written: the save is then unchanged.
    // head, when given, holds the save's first 30055 bytes as this run read
    // them, so they need not be read again for their checksum.
    void write(int64_t changed_end, int32_t growth, const uint8_t* head = nullptr);

    // The save's size before the phase, and the size it has after it (the
    // growth, or writes running past a damaged file's end). Set by write.
    int64_t original_size() const { return header_.original_size; }
    int64_t final_size() const { return header_.final_size; }

    // The save's original bytes from offset on, when the journal still
    // holds all length of them in memory (a region that fits in one copy
    // chunk); null otherwise. Valid until commit or roll_back.
    const uint8_t* held_bytes(int64_t offset, int64_t length) const;

    // After the phase's last write: syncs the save, then zeroes the magic
    // value and syncs the journal (the commit point), then deletes it and
    // syncs the folder. Critical error "error while writing SAVE file !"
    // when anything up to the commit point fails; what fails after it is
    // left to the next run, which deletes a committed journal silently.
    void commit();

    // After a failure of the phase: logs "restoring SAVE file from journal
    // ...", writes the region back, cuts the save to its original size,
    // syncs it and deletes the journal; the save is then byte-identical to
    // what it was. Critical error "can't restore SAVE file from journal !"
    // when that fails: the journal stays for the next run.
    void roll_back();

private:
    void close_journal();

    FILE* save_file_;
    StopSignalGuard& stop_signals_;
    std::string journal_path_;  // empty: no journal
    FILE* journal_ = nullptr;
    JournalHeader header_;
    std::vector<uint8_t> buffer_;  // the copy buffer, holding the region's last chunk
    bool written_ = false;
    bool commit_tried_ = false;
};

// What a journal beside a save says, from JudgeJournal.
enum class JournalVerdict {
    Committed,   // its run finished (magic value zeroed): delete it
    Incomplete,  // its run died writing it, before the save changed: delete it
    Restorable,  // complete, valid and matching the save: restore the save
    Mismatch,    // anything else: keep both files, change nothing
    Unreadable,  // reading the journal or the save failed
};

// The verdict on the journal open as journal for the save open as save.
// When it is Restorable, *header receives the journal's header.
JournalVerdict JudgeJournal(FILE* journal, FILE* save, JournalHeader* header);

// Writes the journal's region back into the save, cuts the save to its
// original size and syncs it. Returns false when any of it fails.
bool RestoreFromJournal(FILE* journal, const JournalHeader& header, FILE* save);

// The recovery step of a run, before the configuration is read: looks for
// the journal of the save open as save_file under save_path and acts on its
// verdict. Committed and incomplete journals are deleted silently; a
// restorable one is announced with "restoring SAVE file from journal ...",
// restored and deleted. Critical errors: "journal file does not match SAVE
// file !" (both files kept as they are) and "can't restore SAVE file from
// journal !" (the journal kept). An empty path looks for nothing.
// journal_path, when given, receives the journal's resolved path, for the
// rest of the run to reuse.
void RecoverSave(FILE* save_file, const std::string& save_path,
                 std::string* journal_path = nullptr);
