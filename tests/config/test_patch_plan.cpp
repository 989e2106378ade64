// Requests from attribute texts, appending by action, and plan ordering.
#include <gtest/gtest.h>

#include <vector>

#include "patch_plan.h"

namespace {

std::vector<int32_t> Indices(const std::vector<GvarRequest>& list) {
    std::vector<int32_t> indices;
    for (const GvarRequest& request : list) indices.push_back(request.index);
    return indices;
}

TEST(GvarNumber, ConvertsLikeTheCLibraryWithWrapAround) {
    EXPECT_EQ(ParseGvarNumber("0x10"), 0);
    EXPECT_EQ(ParseGvarNumber("12abc"), 12);
    EXPECT_EQ(ParseGvarNumber(" 42"), 42);
    EXPECT_EQ(ParseGvarNumber("\t\n\v\f\r 9"), 9);
    EXPECT_EQ(ParseGvarNumber("+7"), 7);
    EXPECT_EQ(ParseGvarNumber("-5"), -5);
    EXPECT_EQ(ParseGvarNumber(""), 0);
    EXPECT_EQ(ParseGvarNumber("-"), 0);
    EXPECT_EQ(ParseGvarNumber("+-3"), 0);
    EXPECT_EQ(ParseGvarNumber("2147483648"), -2147483647 - 1);
    EXPECT_EQ(ParseGvarNumber("4294967295"), -1);
    EXPECT_EQ(ParseGvarNumber("4294967296"), 0);
    EXPECT_EQ(ParseGvarNumber("-2147483649"), 2147483647);
    EXPECT_EQ(ParseGvarNumber("99999999999999999999"), static_cast<int32_t>(1661992959u));
}

TEST(GvarRequest, ActionTextIsMatchedIgnoringLetterCase) {
    EXPECT_EQ(ParseGvarRequest("ADD", "1", "2").action, GvarAction::Add);
    EXPECT_EQ(ParseGvarRequest("Add", "1", "2").action, GvarAction::Add);
    EXPECT_EQ(ParseGvarRequest("add", "1", "2").action, GvarAction::Add);
    EXPECT_EQ(ParseGvarRequest("REMOVE", "1", "2").action, GvarAction::Remove);
    EXPECT_EQ(ParseGvarRequest("Remove", "1", "2").action, GvarAction::Remove);
    for (const char* other : {"change", "set", "", " add", "add ", "adds", "remove\n"}) {
        EXPECT_EQ(ParseGvarRequest(other, "1", "2").action, GvarAction::Change) << other;
    }
}

TEST(GvarRequest, ValueAndIndexComeFromTheirOwnTexts) {
    GvarRequest request = ParseGvarRequest("add", "-17", "700");
    EXPECT_EQ(request.value, -17);
    EXPECT_EQ(request.index, 700);
}

TEST(PatchPlan, AppendsToTheListOfTheActionWithoutMerging) {
    PatchPlan plan;
    plan.append(ParseGvarRequest("change", "1", "12"));
    plan.append(ParseGvarRequest("add", "5", "700"));
    plan.append(ParseGvarRequest("remove", "0", "3"));
    plan.append(ParseGvarRequest("change", "2", "12"));
    ASSERT_EQ(plan.add_list.size(), 1u);
    ASSERT_EQ(plan.remove_list.size(), 1u);
    ASSERT_EQ(plan.change_list.size(), 2u);
    EXPECT_EQ(plan.change_list[0].value, 1);
    EXPECT_EQ(plan.change_list[1].value, 2);
}

TEST(PatchPlan, SortOrdersAddsAndRemovesByUnsignedIndex) {
    PatchPlan plan;
    for (int32_t index : {700, 5, -1}) plan.append({1, index, GvarAction::Add});
    for (int32_t index : {-2, 40, 0}) plan.append({1, index, GvarAction::Remove});
    for (int32_t index : {9, 3, -4, 3}) plan.append({index * 10, index, GvarAction::Change});
    SortPatchPlan(plan);
    EXPECT_EQ(Indices(plan.add_list), (std::vector<int32_t>{5, 700, -1}));
    EXPECT_EQ(Indices(plan.remove_list), (std::vector<int32_t>{0, 40, -2}));
    EXPECT_EQ(Indices(plan.change_list), (std::vector<int32_t>{9, 3, -4, 3}));
}

}  // namespace
