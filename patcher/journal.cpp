// journal.cpp - the rollback journal: its format, writing it before
// the SAVING phase changes the save, the commit, the rollback and the
// recovery of the next run. Every I/O call is one of platform/'s, where a
// test build can make it fail.
#include "journal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "byte_order.h"
#include "checksum.h"
#include "dual_log.h"
#include "messages.h"
#include "platform/file.h"
#include "platform/open.h"
#include "platform/path.h"
#include "platform/signals.h"
#include "save_patcher.h"

const uint8_t JOURNAL_MAGIC[8] = {'G', 'V', 'J', 'O', 'U', 'R', 'N', 'L'};

namespace {

// The journal and the save are copied through one buffer of at most this.
constexpr size_t COPY_CHUNK_SIZE = 1 << 20;
const uint8_t ZERO_MAGIC[8] = {};
const char JOURNAL_SUFFIX[] = "-journal";

const char RESTORE_FAILED[] = "can't restore SAVE file from journal !";
const char MISMATCH[] = "journal file does not match SAVE file !";

std::vector<uint8_t> CopyBuffer(int64_t length) {
    return std::vector<uint8_t>(static_cast<size_t>(
        std::max<int64_t>(1, std::min<int64_t>(length, static_cast<int64_t>(COPY_CHUNK_SIZE)))));
}

bool WriteAt(FILE* stream, int64_t offset, const uint8_t* bytes, size_t count) {
    return StreamSeek(stream, static_cast<long>(offset), SEEK_SET) == 0 &&
           StreamWrite(bytes, 1, count, stream) == count;
}

// The checksum of the save's first 30055 bytes, which SAVING never writes.
bool HeadChecksum(FILE* save, uint64_t* checksum) {
    std::vector<uint8_t> head(static_cast<size_t>(GVARS_OFFSET));
    if (StreamSeek(save, 0, SEEK_SET) != 0 ||
        StreamRead(head.data(), 1, head.size(), save) != head.size()) {
        return false;
    }
    JournalChecksum sum;
    sum.add(head.data(), head.size());
    *checksum = sum.value();
    return true;
}

// Copies length bytes from one stream's position to the other's, adding
// them to the checksum when one is given.
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

}  // namespace

std::string JournalPath(FILE* save_file, const std::string& save_path) {
    return ResolvedPath(save_file, save_path) + JOURNAL_SUFFIX;
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
    return header;
}

SaveJournal::SaveJournal(FILE* save_file, const std::string& save_path,
                         StopSignalGuard& stop_signals, const std::string& journal_path)
    : save_file_(save_file),
      stop_signals_(stop_signals),
      journal_path_(save_path.empty()       ? std::string()
                    : journal_path.empty() ? JournalPath(save_file, save_path)
                                           : journal_path) {}

SaveJournal::~SaveJournal() { close_journal(); }

void SaveJournal::close_journal() {
    if (journal_) fclose(journal_);
    journal_ = nullptr;
}

void SaveJournal::write(int64_t changed_end, int32_t growth, const uint8_t* head) {
    int64_t size = 0;
    if (!StreamFileSize(save_file_, &size)) CriticalError(JOURNAL_WRITE_FAILED);
    // When the save grows, everything from the insertion point to the end
    // moves; otherwise only the bytes up to the copy's end change.
    const int64_t region_end = growth > 0 ? size : std::min(changed_end, size);
    header_.original_size = size;
    header_.final_size = growth > 0 ? size + growth : std::max(size, changed_end);
    header_.region_offset = GVARS_OFFSET;
    header_.region_length = std::max<int64_t>(0, region_end - GVARS_OFFSET);
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

    // The header goes first with its checksum 0, so that a journal cut short
    // anywhere fails its checksum; then the payload, then the real header.
    uint8_t bytes[JOURNAL_HEADER_SIZE];
    header_.checksum = 0;
    EncodeJournalHeader(header_, bytes);
    JournalChecksum checksum;
    checksum.add(bytes, JOURNAL_CHECKSUM_AT);
    bool whole = StreamWrite(bytes, 1, sizeof bytes, journal_) == sizeof bytes &&
                 StreamSeek(save_file_, static_cast<long>(header_.region_offset), SEEK_SET) == 0 &&
                 CopyBytes(save_file_, journal_, header_.region_length, buffer_, &checksum);
    if (whole) {
        header_.checksum = checksum.value();
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
    if (!WriteAt(journal_, 0, ZERO_MAGIC, sizeof ZERO_MAGIC) || !SyncStreamFile(journal_)) {
        CriticalError(SAVE_WRITE_FAILED);
    }
    // Committed. What fails from here on is left to the next run.
    written_ = false;
    close_journal();
    (void)RemoveFileUtf8(journal_path_);
    (void)SyncFolderOf(journal_path_);
}

void SaveJournal::roll_back() {
    if (!written_) return;
    LogLine(RESTORING_FROM_JOURNAL);
    written_ = false;
    // After a failed commit the magic value may be zero on the disk: the
    // journal must be valid again before the save changes.
    bool restored = !commit_tried_ || (WriteAt(journal_, 0, JOURNAL_MAGIC, sizeof JOURNAL_MAGIC) &&
                                       SyncStreamFile(journal_));
    restored = restored && RestoreFromJournal(journal_, header_, save_file_);
    close_journal();
    if (!restored) CriticalError(RESTORE_FAILED);
    (void)RemoveFileUtf8(journal_path_);
    (void)SyncFolderOf(journal_path_);
}

JournalVerdict JudgeJournal(FILE* journal, FILE* save, JournalHeader* header_out) {
    uint8_t bytes[JOURNAL_HEADER_SIZE] = {};
    clearerr(journal);
    if (StreamSeek(journal, 0, SEEK_SET) != 0) return JournalVerdict::Unreadable;
    const size_t got = StreamRead(bytes, 1, sizeof bytes, journal);
    if (got < sizeof bytes && ferror(journal)) return JournalVerdict::Unreadable;
    // Created, and nothing written yet: the save was not touched.
    if (got < sizeof JOURNAL_MAGIC) return JournalVerdict::Incomplete;
    if (std::memcmp(bytes, ZERO_MAGIC, sizeof ZERO_MAGIC) == 0) return JournalVerdict::Committed;
    if (std::memcmp(bytes, JOURNAL_MAGIC, sizeof JOURNAL_MAGIC) != 0) return JournalVerdict::Mismatch;

    int64_t save_size = 0;
    if (!StreamFileSize(save, &save_size)) return JournalVerdict::Unreadable;
    const JournalHeader header = DecodeJournalHeader(bytes);
    // A journal cut short or failing its checksum was being written when its
    // run died, before the save changed; the save's size must say so too.
    const bool size_known = got >= JOURNAL_FINAL_SIZE_AT;  // the original size is whole
    const JournalVerdict cut_short = size_known && save_size == header.original_size
                                         ? JournalVerdict::Incomplete
                                         : JournalVerdict::Mismatch;
    if (got < sizeof bytes) return cut_short;
    if (header.version != JOURNAL_VERSION) return JournalVerdict::Mismatch;

    JournalChecksum checksum;
    checksum.add(bytes, JOURNAL_CHECKSUM_AT);
    // The length is not trusted yet: it only sizes the buffer, within bounds.
    std::vector<uint8_t> buffer = CopyBuffer(std::max<int64_t>(header.region_length, 1 << 16));
    int64_t payload = 0;
    for (;;) {
        const size_t read = StreamRead(buffer.data(), 1, buffer.size(), journal);
        checksum.add(buffer.data(), read);
        payload += static_cast<int64_t>(read);
        if (read < buffer.size()) break;
    }
    if (ferror(journal)) return JournalVerdict::Unreadable;
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
    uint64_t head_checksum = 0;
    if (!HeadChecksum(save, &head_checksum)) return JournalVerdict::Unreadable;
    if (head_checksum != header.head_checksum) return JournalVerdict::Mismatch;
    *header_out = header;
    return JournalVerdict::Restorable;
}

bool RestoreFromJournal(FILE* journal, const JournalHeader& header, FILE* save) {
    clearerr(journal);
    clearerr(save);
    std::vector<uint8_t> buffer = CopyBuffer(header.region_length);
    return StreamSeek(journal, static_cast<long>(JOURNAL_HEADER_SIZE), SEEK_SET) == 0 &&
           StreamSeek(save, static_cast<long>(header.region_offset), SEEK_SET) == 0 &&
           CopyBytes(journal, save, header.region_length, buffer, nullptr) &&
           CutStreamFile(save, header.original_size) && SyncStreamFile(save);
}

void RecoverSave(FILE* save_file, const std::string& save_path, std::string* journal_path) {
    if (save_path.empty()) return;
    const std::string path = JournalPath(save_file, save_path);
    if (journal_path) *journal_path = path;
    errno = 0;
    FILE* journal = OpenFileUtf8(path, "rb");
    if (!journal) {
        if (errno == ENOENT) return;  // the usual case: no journal
        CriticalError(RESTORE_FAILED);
    }
    JournalHeader header;
    const JournalVerdict verdict = JudgeJournal(journal, save_file, &header);
    bool restored = false;
    if (verdict == JournalVerdict::Restorable) {
        LogLine(RESTORING_FROM_JOURNAL);
        restored = RestoreFromJournal(journal, header, save_file);
    }
    fclose(journal);
    if (verdict == JournalVerdict::Mismatch) CriticalError(MISMATCH);
    if (verdict == JournalVerdict::Unreadable || (verdict == JournalVerdict::Restorable && !restored)) {
        CriticalError(RESTORE_FAILED);
    }
    // Left behind, a journal is met again by the next run: deleted once
    // more, or restored once more onto the same bytes.
    (void)RemoveFileUtf8(path);
    (void)SyncFolderOf(path);
}
