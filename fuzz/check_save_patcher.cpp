// check_save_patcher.cpp - the recovery step and the patcher on arbitrary
// save and journal bytes, on real files: a journal changes the save only
// when it is complete, valid and matches it byte by byte, and then exactly
// as it holds; then a run with a small fixed plan that fails leaves the file
// as it was, and a run that succeeds leaves exactly the file that the
// located regions predict, and an undo record that gives the file before
// back. None leaves a journal behind.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "byte_order.h"
#include "checks.h"
#include "checksum.h"
#include "dual_log.h"
#include "journal.h"
#include "platform/open.h"
#include "platform/path.h"
#include "platform/signals.h"
#include "save_patcher.h"
#include "savebuilder.h"
#include "undo.h"

namespace {

// The patcher never reads the first 30055 bytes, so the input starts after
// a fixed header and every byte of it reaches the code.
constexpr size_t HEADER_SIZE = static_cast<size_t>(GVARS_OFFSET);

// An add past the usual table (growth with a zero gap), a change inside it
// and a change out of range.
constexpr int32_t ADD_INDEX = 701;
constexpr int32_t ADD_VALUE = 0x11223344;
constexpr int32_t CHANGE_INDEX = 2;
constexpr int32_t CHANGE_VALUE = -7;
constexpr int32_t FAR_INDEX = 1 << 20;
constexpr int32_t FAR_VALUE = 5;

const std::string& Header() {
    static const std::string header = BuildSave(DefaultSaveParams()).substr(0, HEADER_SIZE);
    return header;
}

PatchPlan FixedPlan() {
    PatchPlan plan;
    plan.append(GvarRequest{ADD_VALUE, ADD_INDEX, GvarAction::Add});
    plan.append(GvarRequest{CHANGE_VALUE, CHANGE_INDEX, GvarAction::Change});
    plan.append(GvarRequest{FAR_VALUE, FAR_INDEX, GvarAction::Change});
    return plan;
}

uint32_t LittleEndianAt(const std::string& bytes, size_t offset) {
    return ReadLittleEndian32(reinterpret_cast<const uint8_t*>(bytes.data() + offset));
}

std::string TableBytes(const std::vector<int32_t>& table) {
    std::string bytes;
    for (int32_t entry : table) bytes += LittleEndianBytes(static_cast<uint32_t>(entry));
    return bytes;
}

void Overlay(std::string& file, size_t at, const std::string& bytes) {
    if (file.size() < at + bytes.size()) file.resize(at + bytes.size(), '\0');
    file.replace(at, bytes.size(), bytes);
}

// The file a successful run must leave, from the regions the patcher
// located; "" with a description in *problem when the regions are not
// where the file says.
std::string Predicted(const std::string& before, const TableLocation& located,
                      std::string* problem) {
    const size_t n = located.gvars_count;
    const size_t block_offset = static_cast<size_t>(located.cities_block_offset);
    const size_t d = located.cities_list_size;
    const size_t marker = static_cast<size_t>(GVARS_END_SEARCH_OFFSET) +
                          static_cast<size_t>(located.gvars_end_offset);
    if (located.cities_block_offset < GVARS_OFFSET || block_offset != HEADER_SIZE + 4 * n ||
        d < 8 || block_offset + d > before.size() ||
        LittleEndianAt(before, block_offset + d - 4) != CITIES_LIST_END_MARKER) {
        *problem = "the located table and cities list do not match the file";
        return "";
    }
    if (located.gvars_end_offset < 0 || marker + 4 > before.size() ||
        LittleEndianAt(before, marker) != GVARS_END_MARKER) {
        *problem = "the located GVARs end marker is not in the file";
        return "";
    }
    std::vector<int32_t> table(n);
    for (size_t i = 0; i < n; ++i) {
        table[i] = static_cast<int32_t>(LittleEndianAt(before, HEADER_SIZE + 4 * i));
    }
    if (static_cast<uint32_t>(ADD_INDEX) >= table.size()) {
        table.resize(static_cast<size_t>(ADD_INDEX) + 1, 0);
        table[ADD_INDEX] = ADD_VALUE;
    }
    if (static_cast<uint32_t>(CHANGE_INDEX) < table.size()) table[CHANGE_INDEX] = CHANGE_VALUE;
    if (static_cast<uint32_t>(FAR_INDEX) < table.size()) table[FAR_INDEX] = FAR_VALUE;
    const size_t m = table.size();

    std::string after = before;
    if (m > n) after.insert(marker, 8 * (m - n), '\0');  // overwritten below
    const std::string entries = TableBytes(table);
    Overlay(after, HEADER_SIZE, entries);
    size_t position = HEADER_SIZE + 4 * m;
    if (m > n) {
        std::string block = before.substr(block_offset, d + 3);
        block.resize(d + 3, '\0');  // bytes past the end read as 0
        Overlay(after, position, block);
    }
    position += d + 3;
    Overlay(after, position, entries);
    return after;
}

// The input: a control byte, the save's length after the header (32-bit
// little-endian), the save's bytes, the journal's bytes. Missing bytes are 0.
enum Control : uint8_t {
    JOURNAL_PRESENT = 1,  // a journal file is there, holding the journal's bytes
    JOURNAL_SEALED = 2,   // the harness sets its magic value, version and checksums
    JOURNAL_HEADED = 4,   // the harness sets its checksum of the save's head
    JOURNAL_FIRST = 8,    // sealed as a journal of the first release (version 1)
};

constexpr int64_t MAX_FILE_SIZE = std::numeric_limits<int32_t>::max();
constexpr int64_t MAX_FIELD = int64_t{1} << 62;

struct Input {
    uint8_t control = 0;
    std::string save;     // whole, the fixed header first
    std::string journal;  // as the file holds it
};

uint64_t Checksum(const std::string& bytes, size_t from, size_t count) {
    JournalChecksum checksum;
    checksum.add(reinterpret_cast<const uint8_t*>(bytes.data()) + from, count);
    return checksum.value();
}

// Seals the journal's header as a run of that version would have.
void Seal(std::string& journal, const std::string& save, uint8_t control) {
    const bool first = control & JOURNAL_FIRST;
    const size_t header_size = first ? JOURNAL_V1_PAYLOAD_AT : JOURNAL_HEADER_SIZE;
    if (journal.size() < header_size || !(control & (JOURNAL_SEALED | JOURNAL_HEADED))) return;
    uint8_t bytes[JOURNAL_HEADER_SIZE] = {};
    std::memcpy(bytes, journal.data(), header_size);
    JournalHeader header = DecodeJournalHeader(bytes);
    if (control & JOURNAL_HEADED) header.head_checksum = Checksum(save, 0, HEADER_SIZE);
    if (control & JOURNAL_SEALED) {
        header.version = first ? 1 : JOURNAL_VERSION;
        EncodeJournalHeader(header, bytes);
        JournalChecksum checksum;
        if (first) checksum.add(bytes, JOURNAL_CHECKSUM_AT);
        const size_t payload_at = first ? JOURNAL_V1_PAYLOAD_AT : JOURNAL_PAYLOAD_AT;
        if (journal.size() > payload_at) {
            checksum.add(reinterpret_cast<const uint8_t*>(journal.data()) + payload_at,
                         journal.size() - payload_at);
        }
        header.checksum = checksum.value();
    }
    const uint32_t version = header.version;
    header.version = first ? 1 : 2;  // which fields there are
    EncodeJournalHeader(header, bytes);
    WriteLittleEndian32(bytes + JOURNAL_VERSION_AT, version);
    if (!first && (control & JOURNAL_SEALED)) {
        WriteLittleEndian64(bytes + JOURNAL_HEADER_CHECKSUM_AT, JournalHeaderChecksum(bytes));
    }
    if (!(control & JOURNAL_SEALED)) {
        std::memcpy(bytes, journal.data(), sizeof JOURNAL_MAGIC);  // as given
    }
    journal.replace(0, header_size, reinterpret_cast<const char*>(bytes), header_size);
}

Input Decode(const uint8_t* data, size_t size) {
    Input input;
    input.control = size > 0 ? data[0] : 0;
    uint8_t length_bytes[4] = {};
    for (size_t i = 0; i < 4 && 1 + i < size; ++i) length_bytes[i] = data[1 + i];
    const size_t rest = size > 5 ? size - 5 : 0;
    const size_t save_length = std::min<size_t>(ReadLittleEndian32(length_bytes), rest);
    const char* body = size > 5 ? reinterpret_cast<const char*>(data) + 5 : "";
    input.save = Header() + std::string(body, save_length);
    input.journal.assign(body + save_length, rest - save_length);
    Seal(input.journal, input.save, input.control);
    return input;
}

// The first release's verdict, judged from the format alone.
JournalVerdict FirstVerdict(const std::string& journal, const std::string& save,
                            const JournalHeader& header) {
    const int64_t size = static_cast<int64_t>(save.size());
    const bool size_known = journal.size() >= JOURNAL_FINAL_SIZE_AT;
    const JournalVerdict cut_short = size_known && size == header.original_size
                                         ? JournalVerdict::Incomplete
                                         : JournalVerdict::Mismatch;
    if (journal.size() < JOURNAL_V1_PAYLOAD_AT) return cut_short;
    JournalChecksum checksum;
    checksum.add(reinterpret_cast<const uint8_t*>(journal.data()), JOURNAL_CHECKSUM_AT);
    checksum.add(reinterpret_cast<const uint8_t*>(journal.data()) + JOURNAL_V1_PAYLOAD_AT,
                 journal.size() - JOURNAL_V1_PAYLOAD_AT);
    if (static_cast<int64_t>(journal.size() - JOURNAL_V1_PAYLOAD_AT) != header.region_length ||
        checksum.value() != header.checksum) {
        return cut_short;
    }
    const JournalHeader& h = header;
    const bool fits = h.original_size >= 0 && h.original_size <= MAX_FILE_SIZE &&
                      h.region_offset >= GVARS_OFFSET && h.region_offset <= MAX_FILE_SIZE &&
                      h.region_length >= 0 && h.region_length <= MAX_FILE_SIZE &&
                      h.region_offset + h.region_length <= h.original_size &&
                      h.final_size >= h.original_size &&
                      (size == h.original_size || size == h.final_size) &&
                      Checksum(save, 0, HEADER_SIZE) == h.head_checksum;
    return fits ? JournalVerdict::Restorable : JournalVerdict::Mismatch;
}

// The save a version 2 journal's run leaves, from 30055 on, built as the
// run builds it from the original bytes the journal holds: the tail moved
// up, the table, the cities block moved by half the growth, the copy. Empty
// when the fields describe no run.
std::string FinalImage(const std::string& journal, const JournalHeader& h) {
    const int64_t m = h.table_count;
    const int64_t n = m - h.tail_shift / 8;
    const int64_t copy_end = GVARS_OFFSET + 8 * m + h.block_size;
    const bool fields_fit =
        h.original_size >= 0 && h.original_size <= MAX_FIELD && h.final_size >= h.original_size &&
        h.final_size <= MAX_FIELD && h.region_offset == GVARS_OFFSET && h.region_length >= 0 &&
        h.region_offset + h.region_length <= h.original_size && m <= (int64_t{1} << 30) &&
        h.block_size >= 3 && h.block_size <= (1 << 16) && h.tail_shift >= 0 &&
        h.tail_shift % 8 == 0 && n >= 0 && h.tail_from == copy_end - h.tail_shift &&
        (h.tail_shift > 0
             ? h.tail_from <= h.original_size && h.final_size == h.original_size + h.tail_shift &&
                   h.region_offset + h.region_length == h.original_size
             : h.final_size == std::max(copy_end, h.original_size) &&
                   h.region_offset + h.region_length == std::min(copy_end, h.original_size));
    const size_t payload = static_cast<size_t>(h.region_length) + 4 * static_cast<size_t>(m);
    if (!fields_fit || journal.size() != JOURNAL_PAYLOAD_AT + payload) return "";
    const std::string original = journal.substr(JOURNAL_PAYLOAD_AT, static_cast<size_t>(h.region_length));
    const std::string table = journal.substr(JOURNAL_PAYLOAD_AT + static_cast<size_t>(h.region_length));
    std::string image = original;
    const size_t block_at = table.size();
    if (h.tail_shift > 0) {
        image.insert(static_cast<size_t>(h.tail_from - GVARS_OFFSET),
                     static_cast<size_t>(h.tail_shift), '\0');
        image.replace(block_at, h.block_size, original.substr(4 * static_cast<size_t>(n), h.block_size));
    }
    if (image.size() < static_cast<size_t>(copy_end - GVARS_OFFSET)) {
        image.resize(static_cast<size_t>(copy_end - GVARS_OFFSET), '\0');
    }
    image.replace(0, table.size(), table);
    image.replace(block_at + h.block_size, table.size(), table);
    return image;
}

// What recovery must do with the journal, judged here from the format alone.
JournalVerdict Verdict(const std::string& journal, const std::string& save, JournalHeader* header) {
    static const std::string zero(8, '\0');
    const std::string magic(reinterpret_cast<const char*>(JOURNAL_MAGIC), 8);
    if (journal.size() < 8) return JournalVerdict::Incomplete;
    if (journal.compare(0, 8, zero) == 0) return JournalVerdict::Committed;
    std::string head = journal.substr(0, JOURNAL_HEADER_SIZE);
    head.resize(JOURNAL_HEADER_SIZE, '\0');
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(head.data());
    *header = DecodeJournalHeader(bytes);
    const bool has_magic = journal.compare(0, 8, magic) == 0;
    if (has_magic && (journal.size() < 12 || header->version == 1)) {
        return FirstVerdict(journal, save, *header);
    }
    const bool valid = has_magic && journal.size() >= JOURNAL_HEADER_SIZE && header->version == 2 &&
                       header->header_checksum == JournalHeaderChecksum(bytes);
    if (!valid) {
        // Each byte of a header cut off while written over zeros is zero or its own.
        const std::string own = magic + std::string("\x02\0\0\0", 4);
        for (size_t i = 0; i < 12 && i < journal.size(); ++i) {
            if (journal[i] != 0 && journal[i] != own[i]) return JournalVerdict::Mismatch;
        }
        return JournalVerdict::Incomplete;
    }
    const std::string image = FinalImage(journal, *header);
    const JournalHeader& h = *header;
    const int64_t size = static_cast<int64_t>(save.size());
    if (image.empty() || Checksum(journal, JOURNAL_PAYLOAD_AT, journal.size() - JOURNAL_PAYLOAD_AT) != h.checksum ||
        size < h.original_size || size > h.final_size ||
        Checksum(save, 0, HEADER_SIZE) != h.head_checksum) {
        return JournalVerdict::Mismatch;
    }
    for (int64_t at = 0; at < h.region_length; ++at) {
        const char now = save[static_cast<size_t>(GVARS_OFFSET + at)];
        if (now != journal[JOURNAL_PAYLOAD_AT + static_cast<size_t>(at)] &&
            now != image[static_cast<size_t>(at)]) {
            return JournalVerdict::Mismatch;
        }
    }
    return JournalVerdict::Restorable;
}

// The scratch folder of this process, on /dev/shm when it exists; removed
// when the process ends.
class ScratchFolder {
public:
    ScratchFolder() {
        namespace fs = std::filesystem;
        std::error_code error;
        const fs::path parent = fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm")
                                                                    : fs::temp_directory_path(error);
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const fs::path candidate =
                parent / ("gvtool-fuzz-" + std::to_string(stamp) + "-" + std::to_string(attempt));
            if (fs::create_directory(candidate, error)) path_ = candidate;
        }
    }
    ~ScratchFolder() {
        std::error_code error;
        if (!path_.empty()) std::filesystem::remove_all(path_, error);
    }
    // Empty when no folder could be made.
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

bool WriteWhole(const std::string& name, const std::string& bytes) {
    FILE* file = OpenFileUtf8(name, "wb");
    if (!file) return false;
    const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

std::string ReadWhole(const std::string& name) {
    std::string bytes;
    FILE* file = OpenFileUtf8(name, "rb");
    if (!file) return bytes;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
    fclose(file);
    return bytes;
}

bool Exists(const std::string& name) {
    std::error_code error;
    return std::filesystem::exists(name, error);
}

std::string FirstDifference(const std::string& after, const std::string& predicted) {
    size_t at = 0;
    while (at < after.size() && at < predicted.size() && after[at] == predicted[at]) ++at;
    return "offset " + std::to_string(at) + " (size " + std::to_string(after.size()) +
           ", predicted " + std::to_string(predicted.size()) + ")";
}

// Runs one step with the log silenced; returns the what() of the exception
// that ended it, "" when none did.
template <typename Step>
std::string Silently(Step step, std::string* problem) {
    const DualLog saved = g_log;
    g_log.console = nullptr;
    g_log.file = nullptr;
    std::string error;
    try {
        step();
    } catch (const std::exception& exception) {
        error = exception.what();
        if (error.empty()) error = "?";
    } catch (...) {
        *problem = "a step ended with an exception of no standard type";
    }
    g_log = saved;
    return error;
}

}  // namespace

std::string SaveHarnessInput(uint8_t control, const std::string& save_after_header,
                             const std::string& journal) {
    std::string input(1, static_cast<char>(control));
    input += LittleEndianBytes(static_cast<uint32_t>(save_after_header.size()));
    return input + save_after_header + journal;
}

std::string CheckSavePatcher(const uint8_t* data, size_t size) {
    const Input input = Decode(data, size);
    static const ScratchFolder folder;
    if (folder.path().empty()) return "";  // no scratch folder: nothing to check
    const std::string save_name = (folder.path() / "SAVE.DAT").string();
    if (!WriteWhole(save_name, input.save)) return "";  // no scratch file: nothing to check
    FILE* file = OpenFileUtf8(save_name, "r+b");
    if (!file) return "";
    const std::string journal_name = JournalPath(file, save_name);
    const std::string record_name = UndoRecordPath(file, save_name);
    const bool journal_present = input.control & JOURNAL_PRESENT;
    RemoveFileUtf8(journal_name);
    RemoveFileUtf8(record_name);
    if (journal_present && !WriteWhole(journal_name, input.journal)) {
        fclose(file);
        return "";
    }

    // Recovery: the save changes only as a restorable journal says.
    std::string problem;
    const std::string recovery_error = Silently([&] { RecoverSave(file, save_name); }, &problem);
    fflush(file);
    std::string before = ReadWhole(save_name);
    if (problem.empty() && journal_present) {
        JournalHeader header;
        const JournalVerdict verdict = Verdict(input.journal, input.save, &header);
        std::string expected = input.save;
        if (verdict == JournalVerdict::Restorable) {
            expected.resize(static_cast<size_t>(header.original_size));
            expected.replace(static_cast<size_t>(header.region_offset),
                             static_cast<size_t>(header.region_length),
                             input.journal.substr(JournalPayloadAt(header),
                                                  static_cast<size_t>(header.region_length)));
        }
        const bool mismatch = verdict == JournalVerdict::Mismatch;
        if (recovery_error != (mismatch ? "journal file does not match SAVE file !" : "")) {
            problem = "recovery ended with \"" + recovery_error + "\", verdict " +
                      std::to_string(static_cast<int>(verdict));
        } else if (before != expected) {
            problem = verdict == JournalVerdict::Restorable
                          ? "the restored save differs from the journal at " +
                                FirstDifference(before, expected)
                          : "recovery changed the save without a restorable journal";
        } else if (Exists(journal_name) != mismatch) {
            problem = mismatch ? "a journal that does not match was removed"
                               : "recovery left the journal behind";
        } else if (mismatch && ReadWhole(journal_name) != input.journal) {
            problem = "a journal that does not match was changed";
        }
    } else if (problem.empty() && !recovery_error.empty()) {
        problem = "recovery without a journal ended with \"" + recovery_error + "\"";
    }
    if (!problem.empty() || !recovery_error.empty()) {
        fclose(file);
        RemoveFileUtf8(journal_name);
        return problem;
    }

    // The patch run, with its own journal. A stop request held back from
    // its creation ends the process when the guard ends, as in a real run.
    StopSignalGuard stop_signals;
    SavePatcher patcher(file, save_name);
    const std::string run_error = Silently(
        [&] {
            PatchPlan plan = FixedPlan();
            patcher.run(plan, stop_signals);
        },
        &problem);
    fclose(file);
    const std::string after = ReadWhole(save_name);
    if (!problem.empty()) return problem;
    if (Exists(journal_name)) {
        RemoveFileUtf8(journal_name);
        return "the run left its journal behind";
    }
    if (!run_error.empty()) {
        if (Exists(record_name)) return "a failed run left an undo record";
        return after == before ? "" : "a failed run changed the file";
    }
    const std::string predicted = Predicted(before, patcher.location(), &problem);
    if (!problem.empty()) return problem;
    if (after != predicted) {
        return "the patched file differs from the prediction at " + FirstDifference(after, predicted);
    }
    // A run that changed bytes leaves the record that takes it back, and
    // only such a run.
    if (Exists(record_name) != (after != before)) {
        return after != before ? "a run that changed the save left no undo record"
                               : "a run that changed nothing left an undo record";
    }
    if (after == before) return "";
    file = OpenFileUtf8(save_name, "r+b");
    if (!file) return "";
    UndoResult undone = UndoResult::Unreadable;
    Silently([&] { undone = UndoLastPatch(file, save_name, stop_signals); }, &problem);
    fclose(file);
    if (!problem.empty()) return problem;
    if (undone != UndoResult::Undone) {
        return "the undo refused with " + std::to_string(static_cast<int>(undone));
    }
    if (ReadWhole(save_name) != before) return "the undo did not give back the save before the run";
    if (Exists(record_name) || Exists(journal_name)) return "the undo left its record or journal";
    return "";
}
