// The journal beside a save, judged and acted on by the recovery step: a
// save from the builder, with the journal a run writes, beside the save as
// that run may leave it (untouched, torn byte by byte between its original
// and its final bytes, cut back), or with the journal cut short, committed,
// damaged or not matching. Each row checks the verdict and then what the
// recovery step does to both files and what it reports. Then the undo
// record's verdicts, and journals of the first release.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "byte_order.h"
#include "files.h"
#include "journal.h"
#include "patch_harness.h"
#include "savebuilder.h"

namespace {

const std::string MISMATCH = "journal file does not match SAVE file !";

struct Row {
    const char* label;
    std::string save;
    std::string journal;
    JournalVerdict verdict;
};

// The journal's fields changed, and sealed again as a run would seal them.
template <typename Edit>
std::string Resealed(const std::string& journal, Edit edit) {
    JournalHeader header = DecodeJournalHeader(reinterpret_cast<const uint8_t*>(journal.data()));
    edit(header);
    return SealJournal(header, journal.substr(JournalPayloadAt(header)));
}

// Each byte from 30055 on taken from the original or the final save as
// pick says, at the size given: what a run or a restore cut off leaves.
std::string Mixed(const std::string& original, const std::string& final_save, size_t size,
                  const std::function<bool(size_t)>& pick_final) {
    std::string mixed = final_save.size() >= size ? final_save.substr(0, size) : original;
    mixed.resize(size, '\0');
    for (size_t at = 30055; at < size; ++at) {
        if (at < original.size() && !pick_final(at)) mixed[at] = original[at];
    }
    return mixed;
}

// A run growing the default save by three entries and changing one.
struct GrowingRun {
    SaveParams params = DefaultSaveParams();
    SaveParams patched_params = Patched();
    std::string original = BuildSave(params);
    std::string patched = BuildSave(patched_params);
    std::string journal = BuildJournal(params, patched_params.gvars);

    static SaveParams Patched() {
        SaveParams patched = DefaultSaveParams();
        patched.gvars[12] = 9;
        patched.gvars.insert(patched.gvars.end(), {1, 0, 3});
        return patched;
    }
};

std::vector<Row> Rows() {
    const GrowingRun run;
    const std::string& save = run.original;
    const std::string& journal = run.journal;
    const size_t size = save.size();
    const size_t grown = run.patched.size();
    // The tail moved from the end back to the middle, the table not yet.
    const std::string torn = Mixed(save, run.patched, grown, [&](size_t at) { return at > size / 2; });
    std::string foreign = torn;
    foreign[30055 + 4 * 5] ^= 0x40;  // neither what was there nor what the run writes
    std::string backup_params_save;
    {
        SaveParams older = run.params;
        older.gvars[20] += 1;  // an older copy of the save: same size, same head
        backup_params_save = BuildSave(older);
    }
    std::string other_head = save;
    other_head[100] ^= 1;
    std::string committed = journal;
    committed.replace(0, 8, 8, '\0');
    std::string payload_only = journal;  // the header not written yet
    payload_only.replace(0, JOURNAL_HEADER_SIZE, JOURNAL_HEADER_SIZE, '\0');
    std::string header_cut = journal;  // the header's writing cut off
    header_cut.replace(3, JOURNAL_HEADER_SIZE - 3, JOURNAL_HEADER_SIZE - 3, '\0');
    std::string header_fields_cut = journal;
    header_fields_cut.replace(40, 20, 20, '\0');
    std::string payload_changed = journal;
    payload_changed[JOURNAL_PAYLOAD_AT + 5] ^= 1;

    // A run in place on a save cut 5 bytes into its copy: the copy runs
    // past the end, and the file grows by what it needs, not by a multiple
    // of 8.
    SaveParams in_place = run.params;
    in_place.gvars[7] = -7;
    const std::string in_place_journal = BuildJournal(run.params, in_place.gvars);
    const size_t copy_end = size - 1024 - 4;  // before the tail and the end marker
    const std::string damaged = save.substr(0, copy_end - 5);
    JournalHeader damaged_header =
        DecodeJournalHeader(reinterpret_cast<const uint8_t*>(in_place_journal.data()));
    damaged_header.original_size = static_cast<int64_t>(damaged.size());
    damaged_header.region_length = damaged_header.original_size - 30055;
    damaged_header.final_size = static_cast<int64_t>(copy_end);
    const std::string damaged_journal = SealJournal(
        damaged_header, damaged.substr(30055) + in_place_journal.substr(JOURNAL_PAYLOAD_AT + copy_end - 30055));
    const std::string damaged_torn =
        Mixed(damaged, BuildSave(in_place).substr(0, copy_end), damaged.size() + 2,
              [](size_t at) { return at < 30055 + 40; });

    using V = JournalVerdict;
    return {
        {"whole, the save not yet changed", save, journal, V::Restorable},
        {"whole, the save torn", torn, journal, V::Restorable},
        {"whole, every byte written, not committed", run.patched, journal, V::Restorable},
        {"whole, original and final bytes alternating", Mixed(save, run.patched, grown, [](size_t at) {
             return at % 2 == 0;
         }), journal, V::Restorable},
        {"whole, the save cut back to its first size by a restore", torn.substr(0, size), journal,
         V::Restorable},
        {"whole, a byte neither original nor final", foreign, journal, V::Mismatch},
        {"whole, an older copy of the save put back", backup_params_save, journal, V::Mismatch},
        {"whole, another save's", other_head, journal, V::Mismatch},
        {"whole, a size below the first", save.substr(0, size - 1), journal, V::Mismatch},
        {"whole, a size past the final", run.patched + "x", journal, V::Mismatch},
        {"committed", torn, committed, V::Committed},
        {"empty", save, "", V::Incomplete},
        {"the payload written, not the header", save, payload_only, V::Committed},
        {"the header's writing cut off in the magic value", save, header_cut, V::Incomplete},
        {"the header's writing cut off in the fields", save, header_fields_cut, V::Incomplete},
        {"a valid header, the payload cut short", torn, journal.substr(0, journal.size() - 10),
         V::Mismatch},
        {"a valid header, the payload cut short, the save untouched", save,
         journal.substr(0, journal.size() - 10), V::Mismatch},
        {"a valid header, a payload byte changed", save, payload_changed, V::Mismatch},
        {"a valid header, bytes after the payload", save, journal + "x", V::Mismatch},
        {"not a journal at all", save, "not a journal at all", V::Mismatch},
        {"another version", save, Resealed(journal, [](JournalHeader& h) { h.version = 3; }),
         V::Mismatch},
        {"a region past the first size", save,
         Resealed(journal, [](JournalHeader& h) { h.region_offset += 1; }), V::Mismatch},
        {"a region inside the header", save,
         Resealed(journal, [](JournalHeader& h) { h.region_offset -= 1; }), V::Mismatch},
        {"a final size below the first", save,
         Resealed(journal, [](JournalHeader& h) { h.final_size = h.original_size - 1; }),
         V::Mismatch},
        {"growth not a multiple of 8", save, Resealed(journal, [](JournalHeader& h) {
             h.tail_shift -= 4;
             h.tail_from += 4;
             h.final_size -= 4;
         }), V::Mismatch},
        {"the tail moving from elsewhere", save,
         Resealed(journal, [](JournalHeader& h) { h.tail_from -= 8; }), V::Mismatch},
        {"a table of another size", save,
         Resealed(journal, [](JournalHeader& h) { h.table_count += 1; }), V::Mismatch},
        {"in place, the copy past a damaged save's end, torn", damaged_torn, damaged_journal,
         V::Restorable},
        {"first release, whole, the save torn", torn, BuildVersion1Journal(save, 24), V::Restorable},
        {"first release, cut within the magic value", save,
         BuildVersion1Journal(save, 24).substr(0, 7), V::Incomplete},
        {"first release, cut after the sizes", save, BuildVersion1Journal(save, 24).substr(0, 30),
         V::Incomplete},
        {"first release, cut in the payload, the save grown", torn,
         BuildVersion1Journal(save, 24).substr(0, 700), V::Mismatch},
        {"first release, cut before the sizes", save, BuildVersion1Journal(save, 24).substr(0, 12),
         V::Mismatch},
    };
}

TEST(Journal, VerdictAndRecoveryForEachJournalLeftBehind) {
    const std::string original = BuildSave(DefaultSaveParams());
    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.label);
        TempDir dir;
        const std::filesystem::path save_path = dir / "SAVE.DAT";
        WriteFileBytes(save_path, row.save);
        FILE* save = fopen(save_path.string().c_str(), "r+b");
        ASSERT_NE(save, nullptr);
        const std::string journal_path = JournalPath(save, save_path.string());
        WriteFileBytes(journal_path, row.journal);

        FILE* journal = fopen(journal_path.c_str(), "rb");
        ASSERT_NE(journal, nullptr);
        JournalHeader header;
        EXPECT_EQ(JudgeJournal(journal, save, &header), row.verdict);
        fclose(journal);

        const PatchOutcome recovery = RunLogged([&] { RecoverSave(save, save_path.string()); });
        fclose(save);
        switch (row.verdict) {
        case JournalVerdict::Restorable:
            EXPECT_EQ(recovery.log, RESTORING);
            EXPECT_EQ(recovery.error, "");
            EXPECT_TRUE(ReadFileBytes(save_path) ==
                        original.substr(0, static_cast<size_t>(header.original_size)))
                << "not restored";
            EXPECT_FALSE(std::filesystem::exists(journal_path));
            break;
        case JournalVerdict::Mismatch:
            EXPECT_EQ(recovery.log, Critical(MISMATCH));
            EXPECT_EQ(recovery.error, MISMATCH);
            EXPECT_TRUE(ReadFileBytes(save_path) == row.save) << "the save was changed";
            EXPECT_TRUE(ReadFileBytes(journal_path) == row.journal) << "the journal was changed";
            break;
        default:  // deleted silently, the save as it is
            EXPECT_EQ(recovery.log, "");
            EXPECT_EQ(recovery.error, "");
            EXPECT_TRUE(ReadFileBytes(save_path) == row.save) << "the save was changed";
            EXPECT_FALSE(std::filesystem::exists(journal_path));
        }
    }
}

// A change-only run may patch a save of any size; the journal it leaves when
// it is cut off puts such a save back too.
TEST(Journal, SaveOverTwoGiBIsRestored) {
    const SaveParams params = DefaultSaveParams();
    SaveParams changed = params;
    changed.gvars[3] = 33;
    const std::string original = BuildSave(params);
    const int64_t size = (int64_t{1} << 31) + 4096;
    const std::string journal = Resealed(BuildJournal(params, changed.gvars), [&](JournalHeader& h) {
        h.original_size = h.final_size = size;
    });
    TempDir dir(FastScratchFolder());
    const std::filesystem::path save_path = dir / "SAVE.DAT";
    // Torn: the changed entry written, the copy not yet.
    WriteFileBytes(save_path, BuildSave(changed).substr(0, 30055 + 2800) + original.substr(30055 + 2800));
    std::filesystem::resize_file(save_path, static_cast<uintmax_t>(size));  // sparse
    FILE* save = fopen(save_path.string().c_str(), "r+b");
    ASSERT_NE(save, nullptr);
    WriteFileBytes(JournalPath(save, save_path.string()), journal);
    const PatchOutcome recovery = RunLogged([&] { RecoverSave(save, save_path.string()); });
    fclose(save);
    EXPECT_EQ(recovery.log, RESTORING);
    EXPECT_EQ(recovery.error, "");
    EXPECT_EQ(std::filesystem::file_size(save_path), static_cast<uintmax_t>(size));
    FILE* in = fopen(save_path.string().c_str(), "rb");
    ASSERT_NE(in, nullptr);
    std::string head(original.size(), '\0');
    EXPECT_EQ(fread(&head[0], 1, head.size(), in), head.size());
    fclose(in);
    EXPECT_TRUE(head == original) << "not restored";
}

TEST(Journal, RestoringPutsBackTheRegionAndTheFirstSize) {
    const SaveParams params = DefaultSaveParams(5, 3000);
    SaveParams grown = params;
    grown.gvars.insert(grown.gvars.end(), 3, 8);
    const std::string original = BuildSave(params);
    TempDir dir;
    WriteFileBytes(dir / "SAVE.DAT", BuildSave(grown));
    WriteFileBytes(dir / "journal", BuildJournal(params, grown.gvars));
    FILE* save = fopen((dir / "SAVE.DAT").string().c_str(), "r+b");
    FILE* journal = fopen((dir / "journal").string().c_str(), "rb");
    ASSERT_TRUE(save && journal);
    JournalHeader header;
    ASSERT_EQ(JudgeJournal(journal, save, &header), JournalVerdict::Restorable);
    EXPECT_EQ(header.original_size, static_cast<int64_t>(original.size()));
    EXPECT_EQ(header.final_size, static_cast<int64_t>(original.size()) + 24);
    EXPECT_EQ(header.region_offset, 30055);
    EXPECT_EQ(header.tail_shift, 24);
    EXPECT_EQ(header.table_count, 703u);
    std::vector<uint8_t> buffer(100);  // any size: the copy goes in pieces
    EXPECT_TRUE(RestoreFromJournal(journal, header, save, buffer));
    fclose(journal);
    fclose(save);
    EXPECT_TRUE(ReadFileBytes(dir / "SAVE.DAT") == original);
}

// The undo record is the journal of the last run that changed the save: it
// applies only to exactly what that run left.
TEST(Journal, UndoRecordFitsOnlyWhatItsRunLeft) {
    const GrowingRun run;
    std::string changed = run.patched;
    changed[30055 + 4 * 650] ^= 1;  // the game saved since
    std::string tail_changed = run.patched;
    tail_changed[tail_changed.size() - 1] ^= 1;
    std::string cut_header = run.journal;
    cut_header[50] ^= 1;
    const struct {
        const char* label;
        std::string save;
        std::string record;
        UndoVerdict verdict;
    } rows[] = {
        {"what the run left", run.patched, run.journal, UndoVerdict::Fits},
        {"a table byte changed since", changed, run.journal, UndoVerdict::Changed},
        {"the moved tail changed since", tail_changed, run.journal, UndoVerdict::Changed},
        {"the save before the run", run.original, run.journal, UndoVerdict::Changed},
        {"one byte more", run.patched + "x", run.journal, UndoVerdict::Changed},
        {"a header that fails its checksum", run.patched, cut_header, UndoVerdict::Damaged},
        {"a payload cut short", run.patched, run.journal.substr(0, run.journal.size() - 1),
         UndoVerdict::Damaged},
        {"a journal of the first release", run.patched, BuildVersion1Journal(run.original, 24),
         UndoVerdict::Damaged},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        TempDir dir;
        WriteFileBytes(dir / "SAVE.DAT", row.save);
        WriteFileBytes(dir / "record", row.record);
        FILE* save = fopen((dir / "SAVE.DAT").string().c_str(), "rb");
        FILE* record = fopen((dir / "record").string().c_str(), "rb");
        ASSERT_TRUE(save && record);
        JournalHeader header;
        EXPECT_EQ(JudgeUndoRecord(record, save, &header), row.verdict);
        fclose(record);
        fclose(save);
    }
}

}  // namespace
