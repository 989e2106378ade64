// The SAVING phase: growth at the end marker, the regions at their new
// offsets, the tail moved intact, and every way writing can be refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <new>
#include <ostream>
#include <streambuf>
#include <string>

#include "dual_log.h"
#include "files.h"
#include "journal.h"
#include "patch_harness.h"
#include "platform/signals.h"
#include "save_patcher.h"
#include "savebuilder.h"

// Memory that runs out on demand: while armed, operator new fails from the
// k-th allocation on. Unarmed, it is malloc.
namespace {
long g_allocations_left = -1;  // -1: not armed
}  // namespace

void* operator new(size_t size) {
    if (g_allocations_left == 0) throw std::bad_alloc();
    if (g_allocations_left > 0) --g_allocations_left;
    void* block = std::malloc(size ? size : 1);
    if (!block) throw std::bad_alloc();
    return block;
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }

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

// Where the log goes while memory is short: a buffer reserved beforehand.
class ReservedLog : public std::streambuf {
public:
    ReservedLog() : text_(1 << 16, '\0') { setp(&text_[0], &text_[0] + text_.size()); }
    std::string text() const { return std::string(pbase(), pptr()); }

private:
    std::string text_;
};

// Memory runs out at each allocation of a growing run in turn, and stays
// out: every run that fails leaves the save exactly as it was (put back from
// the journal when the failure came after it was written, with nothing
// allocated), and one that got through is patched in full. The tail is
// longer than the journal's copy buffer, so that it moves through a buffer
// of its own, allocated after the journal is written.
TEST(SavingMemory, ExhaustedAtEachAllocationLeavesTheSaveWhole) {
    const SaveParams params = DefaultSaveParams(6, (1 << 20) + 4000);
    SaveParams patched = params;
    patched.gvars[12] = 9;
    patched.gvars.push_back(1);
    const std::string original = BuildSave(params);
    TempDir dir(FastScratchFolder());
    const std::string save_path = (dir / "SAVE.DAT").string();
    long rolled_back = 0;
    for (long k = 0;; ++k) {
        SCOPED_TRACE("allocation " + std::to_string(k));
        WriteFileBytes(dir / "SAVE.DAT", original);
        FILE* save = fopen(save_path.c_str(), "r+b");
        ASSERT_NE(save, nullptr);
        PatchPlan plan = MakePlan({Add(700, 1), Change(12, 9)});
        ReservedLog buffer;
        std::ostream log(&buffer);
        const DualLog saved = g_log;
        g_log.console = &log;
        g_log.file = nullptr;
        bool exhausted = false;
        char other[128] = "";  // no allocation while memory is short
        {
            StopSignalGuard stop_signals;
            g_allocations_left = k;
            try {
                SavePatcher patcher(save, save_path);
                patcher.run(plan, stop_signals);
            } catch (const std::bad_alloc&) {
                exhausted = true;
            } catch (const std::exception& error) {
                std::snprintf(other, sizeof other, "%s", error.what());
            }
            g_allocations_left = -1;
        }
        g_log = saved;
        fclose(save);
        const std::string text = buffer.text();
        EXPECT_STREQ(other, "") << text;
        if (!exhausted) {
            EXPECT_TRUE(ReadFileBytes(dir / "SAVE.DAT") == BuildSave(patched));
            EXPECT_GT(rolled_back, 0) << "no allocation came after the journal";
            break;
        }
        if (text.find(RESTORING + "CRITICAL ERROR !") != std::string::npos) {
            ADD_FAILURE() << "the restore failed:\n" << text;
        }
        if (text.size() >= RESTORING.size() &&
            text.compare(text.size() - RESTORING.size(), RESTORING.size(), RESTORING) == 0) {
            ++rolled_back;
        }
        EXPECT_TRUE(ReadFileBytes(dir / "SAVE.DAT") == original) << "the save was not put back";
        // A journal the rollback could not delete goes with the next run,
        // which changes nothing.
        save = fopen(save_path.c_str(), "r+b");
        ASSERT_NE(save, nullptr);
        const PatchOutcome recovery = RunLogged([&] { RecoverSave(save, save_path); });
        fclose(save);
        EXPECT_EQ(recovery.error, "");
        EXPECT_TRUE(ReadFileBytes(dir / "SAVE.DAT") == original);
        EXPECT_FALSE(fs::exists(save_path + "-journal"));
        if (k > 10000) FAIL() << "no end of allocations";
    }
}

}  // namespace
