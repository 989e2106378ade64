// The SAVING phase: growth at the end marker, the regions at their new
// offsets, the tail moved intact, and every way writing can be refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

#include "files.h"
#include "patch_harness.h"
#include "savebuilder.h"

namespace {

namespace fs = std::filesystem;

std::string Saving(const std::string& log) {
    const std::string start = std::string("SAVING\n") + SEPARATOR;
    const size_t from = log.find(start);
    return from == std::string::npos ? "<no SAVING>" : log.substr(from + start.size());
}

// Writes the save, runs the plan, and checks the file against what the
// same parameters build with the table given.
void ExpectPatched(const SaveParams& params, const std::vector<GvarRequest>& requests,
                   const std::vector<int32_t>& gvars) {
    TempDir dir;
    const std::string before = BuildSave(params);
    WriteFileBytes(dir / "SAVE.DAT", before);
    PatchOutcome out = PatchSaveFile(dir / "SAVE.DAT", MakePlan(requests));
    EXPECT_EQ(out.error, "");
    SaveParams expected = params;
    expected.gvars = gvars;
    const std::string after = ReadFileBytes(dir / "SAVE.DAT");
    EXPECT_EQ(after.substr(0, 30055), before.substr(0, 30055));
    EXPECT_TRUE(after == BuildSave(expected)) << "tail " << params.tail.size();
}

TEST(Saving, OneAddedEntryGrowsTheFileByEight) {
    SaveParams params = DefaultSaveParams();
    TempDir dir;
    WriteFileBytes(dir / "SAVE.DAT", BuildSave(params));
    PatchOutcome out = PatchSaveFile(dir / "SAVE.DAT", MakePlan({Add(700, 5)}));
    EXPECT_EQ(Saving(out.log),
              std::string("flushing buffer to SAVE file ...\n"
                          "resizing SAVE file on 8 bytes ...\n"
                          "write GVARs to SAVE file ( offset = 30055, count = 701 ) ...\n"
                          "write cities block to SAVE file( offset = 32859, size = 129 ) ...\n"
                          "write copy of GVARs to SAVE file ( offset = 32988, count = 701 ) ...\n") +
                  SEPARATOR);
    params.gvars.push_back(5);
    EXPECT_EQ(ReadFileBytes(dir / "SAVE.DAT"), BuildSave(params));
}

TEST(Saving, TailOfAnyLengthMovesIntact) {
    for (size_t tail : {0u, 2044u, 2045u, 5000u, 5u * 1024 * 1024 + 321}) {
        SaveParams params = DefaultSaveParams(3, tail);
        std::vector<int32_t> gvars = params.gvars;
        gvars.insert(gvars.end(), {0, 0, 11});
        ExpectPatched(params, {Add(702, 11)}, gvars);
    }
}

TEST(Saving, ChangesOnlyRewriteInPlace) {
    SaveParams params = DefaultSaveParams(4, 5000);
    std::vector<int32_t> gvars = params.gvars;
    gvars[0] = -1;
    gvars[699] = 123456789;
    ExpectPatched(params, {Change(0, -1), Change(699, 123456789)}, gvars);
}

TEST(Saving, EmptyPlanRewritesTheSameBytesAndMendsTheCopy) {
    SaveParams params = DefaultSaveParams();
    std::string bytes = BuildSave(params);
    TempDir dir;
    WriteFileBytes(dir / "SAVE.DAT", bytes);
    PatchOutcome out = PatchSaveFile(dir / "SAVE.DAT", PatchPlan());
    EXPECT_EQ(Saving(out.log),
              std::string("flushing buffer to SAVE file ...\n"
                          "write GVARs to SAVE file ( offset = 30055, count = 700 ) ...\n"
                          "write copy of GVARs to SAVE file ( offset = 32984, count = 700 ) ...\n") +
                  SEPARATOR);
    EXPECT_EQ(ReadFileBytes(dir / "SAVE.DAT"), bytes);
    // A copy out of step with the table is made equal to it.
    bytes[32984 + 4 * 10] = '\x7f';
    WriteFileBytes(dir / "SAVE.DAT", bytes);
    PatchSaveFile(dir / "SAVE.DAT", PatchPlan());
    EXPECT_EQ(ReadFileBytes(dir / "SAVE.DAT"), BuildSave(params));
}

// A run that must stop in the SAVING phase with the file as it was.
void ExpectRefused(const std::string& bytes, const std::vector<GvarRequest>& requests,
                   const std::string& lines, const std::string& message,
                   const PatchOptions& options = {}) {
    TempDir dir;
    WriteFileBytes(dir / "SAVE.DAT", bytes);
    PatchOutcome out = PatchSaveFile(dir / "SAVE.DAT", MakePlan(requests), options);
    EXPECT_EQ(Saving(out.log), "flushing buffer to SAVE file ...\n" + lines + Critical(message));
    EXPECT_EQ(out.error, message);
    EXPECT_EQ(ReadFileBytes(dir / "SAVE.DAT"), bytes);
}

TEST(SavingRefused, CopyNotEndingAtTheMarker) {
    SaveParams params = DefaultSaveParams();
    std::string bytes = BuildSave(params);
    bytes.insert(static_cast<size_t>(DescribeSave(params).end_marker_offset), "JUNK");
    ExpectRefused(bytes, {Add(700, 1)}, "", "wrong GVARs end marker offset !");

    // A value spelling the marker inside the copy is found first.
    params.gvars[690] = 0x50460000;
    ExpectRefused(BuildSave(params), {Add(700, 1)}, "", "wrong GVARs end marker offset !");
    std::vector<int32_t> gvars = params.gvars;
    gvars[3] = 4;
    ExpectPatched(params, {Change(3, 4)}, gvars);
}

TEST(SavingRefused, StreamThatCannotWrite) {
    const std::string bytes = BuildSave(DefaultSaveParams());
    ExpectRefused(bytes, {}, "write GVARs to SAVE file ( offset = 30055, count = 700 ) ...\n",
                  "error while writing SAVE file !", {"rb", {}});
    ExpectRefused(bytes, {Add(700, 1)}, "resizing SAVE file on 8 bytes ...\n",
                  "can't set new size to SAVE file !", {"rb", {}});
}

TEST(SavingRefused, GrowthBeyondTheSystemFileSizeLimit) {
#ifdef _WIN32
    GTEST_SKIP() << "a file size limit is per process on POSIX only; under Wine the "
                    "RefusedGrowth tests of tests/windows grow a save past a limit";
#endif
    SaveParams params = DefaultSaveParams();
    const std::string bytes = BuildSave(params);
    ExpectRefused(bytes, {Add(700, 1)}, "resizing SAVE file on 8 bytes ...\n",
                  "can't set new size to SAVE file !", {"r+b", bytes.size() + 4});
    // Exactly enough room is enough.
    TempDir dir;
    WriteFileBytes(dir / "SAVE.DAT", bytes);
    PatchOutcome out = PatchSaveFile(dir / "SAVE.DAT", MakePlan({Add(700, 1)}),
                                     {"r+b", bytes.size() + 8});
    EXPECT_EQ(out.error, "");
    params.gvars.push_back(1);
    EXPECT_EQ(ReadFileBytes(dir / "SAVE.DAT"), BuildSave(params));
}

TEST(SavingRefused, GrowthPastSignedThirtyTwoBitOffsets) {
    const std::string bytes = BuildSave(DefaultSaveParams());
    TempDir dir;
    WriteFileBytes(dir / "SAVE.DAT", bytes);
    const uintmax_t size = std::numeric_limits<int32_t>::max() - 4;
    fs::resize_file(dir / "SAVE.DAT", size);  // sparse: no disk used
    PatchOutcome out = PatchSaveFile(dir / "SAVE.DAT", MakePlan({Add(700, 1)}));
    EXPECT_EQ(out.error, "can't add GVAR with index 700 !");
    EXPECT_EQ(fs::file_size(dir / "SAVE.DAT"), size);
    std::ifstream in(dir / "SAVE.DAT", std::ios::binary);
    std::string head(bytes.size(), '\0');
    in.read(&head[0], static_cast<std::streamsize>(head.size()));
    EXPECT_EQ(head, bytes);
}

}  // namespace
