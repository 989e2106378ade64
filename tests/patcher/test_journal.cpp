// The journal beside a save, judged and acted on by the recovery step: a
// save from the builder, with the journal a run growing it writes, left
// whole, cut short, committed, or not matching. Each row checks the verdict
// and then what the recovery step does to both files and what it reports.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

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
    return SealJournal(header, journal.substr(JOURNAL_HEADER_SIZE));
}

std::vector<Row> Rows(const std::string& save) {
    const std::string journal = BuildJournal(save, 32);
    // Torn as by a tail move cut short: grown, the table overwritten.
    std::string torn = save + std::string(32, '\xee');
    torn.replace(30055, 1000, std::string(1000, '\xee'));
    std::string other_head = save;
    other_head[100] ^= 1;
    std::string committed = journal;
    committed.replace(0, 8, 8, '\0');
    std::string payload_changed = journal;
    payload_changed[JOURNAL_HEADER_SIZE + 5] ^= 1;
    using V = JournalVerdict;
    return {
        {"whole, the save not yet changed", save, journal, V::Restorable},
        {"whole, the save torn", torn, journal, V::Restorable},
        {"whole, the save cut back to its first size", torn.substr(0, save.size()), journal,
         V::Restorable},
        {"committed", torn, committed, V::Committed},
        {"empty", save, "", V::Incomplete},
        {"cut within the magic value", save, journal.substr(0, 7), V::Incomplete},
        {"cut after the sizes", save, journal.substr(0, 30), V::Incomplete},
        {"cut in the payload", save, journal.substr(0, journal.size() - 10), V::Incomplete},
        {"a payload byte changed", save, payload_changed, V::Incomplete},
        // Cut short while the save no longer has its first size: not from
        // a run that died writing it.
        {"cut in the payload, the save grown", torn, journal.substr(0, journal.size() - 1),
         V::Mismatch},
        {"cut before the sizes", save, journal.substr(0, 12), V::Mismatch},
        {"another save's journal", other_head, journal, V::Mismatch},
        {"a size neither before nor after the run", save + "abc", journal, V::Mismatch},
        {"not a journal at all", save, "not a journal at all", V::Mismatch},
        {"another version", save, Resealed(journal, [](JournalHeader& h) { ++h.version; }),
         V::Mismatch},
        {"a region past the first size", save,
         Resealed(journal, [](JournalHeader& h) { h.region_offset += 1; }), V::Mismatch},
        {"a region inside the header", save,
         Resealed(journal, [](JournalHeader& h) { h.region_offset -= 1; }), V::Mismatch},
        {"a final size below the first", save,
         Resealed(journal, [](JournalHeader& h) { h.final_size = h.original_size - 1; }),
         V::Mismatch},
    };
}

TEST(Journal, VerdictAndRecoveryForEachJournalLeftBehind) {
    const std::string original = BuildSave(DefaultSaveParams());
    for (const Row& row : Rows(original)) {
        SCOPED_TRACE(row.label);
        TempDir dir;
        const std::filesystem::path save_path = dir / "SAVE.DAT";
        WriteFileBytes(save_path, row.save);
        FILE* save = fopen(save_path.string().c_str(), "r+b");
        ASSERT_NE(save, nullptr);
        // The name recovery looks for, asked of it while there is none.
        std::string journal_path;
        RecoverSave(save, save_path.string(), &journal_path);
        ASSERT_FALSE(journal_path.empty());
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
            EXPECT_TRUE(ReadFileBytes(save_path) == original) << "not restored";
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

TEST(Journal, RestoringPutsBackTheRegionAndTheFirstSize) {
    const std::string original = BuildSave(DefaultSaveParams(5, 3000));
    TempDir dir;
    WriteFileBytes(dir / "SAVE.DAT", original + std::string(24, 'x'));
    WriteFileBytes(dir / "journal", BuildJournal(original, 24));
    FILE* save = fopen((dir / "SAVE.DAT").string().c_str(), "r+b");
    FILE* journal = fopen((dir / "journal").string().c_str(), "rb");
    ASSERT_TRUE(save && journal);
    JournalHeader header;
    ASSERT_EQ(JudgeJournal(journal, save, &header), JournalVerdict::Restorable);
    EXPECT_EQ(header.original_size, static_cast<int64_t>(original.size()));
    EXPECT_EQ(header.final_size, static_cast<int64_t>(original.size()) + 24);
    EXPECT_EQ(header.region_offset, 30055);
    EXPECT_TRUE(RestoreFromJournal(journal, header, save));
    fclose(journal);
    fclose(save);
    EXPECT_TRUE(ReadFileBytes(dir / "SAVE.DAT") == original);
}

}  // namespace
