// The ADDING and CHANGING phases: their log lines and warnings, and the
// entries that reach the file.
#include <gtest/gtest.h>

#include <string>

#include "files.h"
#include "patch_harness.h"
#include "savebuilder.h"

namespace {

// Patches the default save (700 entries) with the plan.
class Phases : public ::testing::Test {
protected:
    void SetUp() override {
        params_ = DefaultSaveParams();
        original_ = BuildSave(params_);
        WriteFileBytes(dir_ / "SAVE.DAT", original_);
    }
    PatchOutcome Patch(const std::vector<GvarRequest>& requests) {
        return PatchSaveFile(dir_ / "SAVE.DAT", MakePlan(requests));
    }
    // The file a correct run leaves for this table.
    std::string Expected(const std::vector<int32_t>& gvars) const {
        SaveParams params = params_;
        params.gvars = gvars;
        return BuildSave(params);
    }
    std::string File() const { return ReadFileBytes(dir_ / "SAVE.DAT"); }

    TempDir dir_;
    SaveParams params_;
    std::string original_;
};

// The lines between a phase's heading and the next separator.
std::string Section(const std::string& log, const std::string& heading) {
    const std::string start = heading + "\n" + SEPARATOR;
    size_t from = log.find(start);
    if (from == std::string::npos) return "<no " + heading + ">";
    from += start.size();
    return log.substr(from, log.find(SEPARATOR, from) - from);
}

TEST_F(Phases, EmptyListsLogOnlyTheirCounts) {
    PatchOutcome out = Patch({});
    EXPECT_EQ(Section(out.log, "ADDING"), "adding new GVARs (0) to SAVE file\n");
    EXPECT_EQ(Section(out.log, "CHANGING"), "setting GVARs (0) in SAVE file\n");
}

TEST_F(Phases, AddAtTheEndAppendsOneEntry) {
    PatchOutcome out = Patch({Add(700, 5)});
    EXPECT_EQ(Section(out.log, "ADDING"),
              "adding new GVARs (1) to SAVE file\n\tadding GVAR (1 of 1)\n"
              "\t{ index = 700, value = 5 }\n\n");
    std::vector<int32_t> gvars = params_.gvars;
    gvars.push_back(5);
    EXPECT_EQ(File(), Expected(gvars));
}

TEST_F(Phases, AddPastTheEndFillsTheGapWithZeros) {
    Patch({Add(703, -9)});
    std::vector<int32_t> gvars = params_.gvars;
    gvars.insert(gvars.end(), {0, 0, 0, -9});
    EXPECT_EQ(File(), Expected(gvars));
}

TEST_F(Phases, AddInsideTheTableWarnsAndChangesNothing) {
    PatchOutcome out = Patch({Add(5, 1), Add(0, 2)});
    EXPECT_EQ(Section(out.log, "ADDING"),
              "adding new GVARs (2) to SAVE file\n"
              "\tadding GVAR (1 of 2)\n\t{ index = 0, value = 2 }\n\n"
              "\twhile adding, detected index(0) in range [0, 700), expected index >= 700\n"
              "\tadding GVAR (2 of 2)\n\t{ index = 5, value = 1 }\n\n"
              "\twhile adding, detected index(5) in range [0, 700), expected index >= 700\n");
    EXPECT_EQ(out.error, "");
    EXPECT_EQ(File(), original_);
}

TEST_F(Phases, AddsAreSortedAndASecondAddOfAnIndexIsRefused) {
    PatchOutcome out = Patch({Add(702, 3), Add(700, 1), Add(701, 2), Add(701, 2)});
    EXPECT_EQ(Section(out.log, "ADDING"),
              "adding new GVARs (4) to SAVE file\n"
              "\tadding GVAR (1 of 4)\n\t{ index = 700, value = 1 }\n\n"
              "\tadding GVAR (2 of 4)\n\t{ index = 701, value = 2 }\n\n"
              "\tadding GVAR (3 of 4)\n\t{ index = 701, value = 2 }\n\n"
              "\twhile adding, detected index(701) in range [0, 702), expected index >= 702\n"
              "\tadding GVAR (4 of 4)\n\t{ index = 702, value = 3 }\n\n");
    std::vector<int32_t> gvars = params_.gvars;
    gvars.insert(gvars.end(), {1, 2, 3});
    EXPECT_EQ(File(), Expected(gvars));
}

TEST_F(Phases, IndexTheTableCannotHoldEndsTheRunWithFileUnchanged) {
    // 268435455 fits the table, but its growth would take the file past 2 GiB.
    for (int32_t index : {-1, 1073741823, -2147483647 - 1, 268435455}) {
        PatchOutcome out = Patch({Add(700, 1), Add(index, 9)});
        const std::string text = "can't add GVAR with index " + std::to_string(index) + " !";
        EXPECT_EQ(out.error, text);
        // The run stops right after the request's lines, with no warning.
        const std::string request = "\t{ index = " + std::to_string(index) + ", value = 9 }\n\n";
        EXPECT_EQ(out.log.substr(out.log.size() - request.size()), request);
        EXPECT_EQ(File(), original_);
    }
}

TEST_F(Phases, ChangeInsideTheTableSetsTheEntry) {
    PatchOutcome out = Patch({Change(699, 7)});
    EXPECT_EQ(Section(out.log, "CHANGING"),
              "setting GVARs (1) in SAVE file\n\tset GVAR value (1 of 1)\n"
              "\t{ index = 699, value = 7 }\n\n");
    std::vector<int32_t> gvars = params_.gvars;
    gvars[699] = 7;
    EXPECT_EQ(File(), Expected(gvars));
}

TEST_F(Phases, ChangeOutOfRangeWarnsWithTheSignedIndex) {
    PatchOutcome out = Patch({Change(700, 1), Change(-1, 2)});
    EXPECT_EQ(Section(out.log, "CHANGING"),
              "setting GVARs (2) in SAVE file\n"
              "\tset GVAR value (1 of 2)\n\t{ index = 700, value = 1 }\n\n"
              "\twhile changing, detected index(700) out of range [0, 700), expected index < 700\n"
              "\tset GVAR value (2 of 2)\n\t{ index = -1, value = 2 }\n\n"
              "\twhile changing, detected index(-1) out of range [0, 700), expected index < 700\n");
    EXPECT_EQ(File(), original_);
}

TEST_F(Phases, ChangesApplyInOrderAndReachAddedEntries) {
    Patch({Change(12, 1), Change(700, 8), Change(12, -2), Add(700, 5), Change(12, 3)});
    std::vector<int32_t> gvars = params_.gvars;
    gvars[12] = 3;
    gvars.push_back(8);
    EXPECT_EQ(File(), Expected(gvars));
}

TEST_F(Phases, RemoveRequestsChangeNothingAndSayNothing) {
    const std::string empty_log = Patch({}).log;
    PatchOutcome out = Patch({Remove(3, 0), Remove(700, 1)});
    EXPECT_EQ(out.log, empty_log);
    EXPECT_EQ(File(), original_);
}

}  // namespace
