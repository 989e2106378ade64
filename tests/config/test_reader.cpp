// Which gvar elements of a configuration become requests, and how.
#include <gtest/gtest.h>

#include <vector>

#include "model.h"
#include "parsed_document.h"
#include "reader.h"

namespace {

// The plan built from a configuration text, as "action:index=value" items
// per list, in list order.
struct PlanText {
    std::vector<std::string> adds, removes, changes;
};

std::vector<std::string> Describe(const std::vector<GvarRequest>& list) {
    std::vector<std::string> items;
    for (const GvarRequest& r : list) {
        items.push_back(std::to_string(static_cast<int>(r.action)) + ":" +
                        std::to_string(r.index) + "=" + std::to_string(r.value));
    }
    return items;
}

PlanText BuildFrom(const char* text) {
    NodePtr document = Parse(text);
    PatchPlan plan;
    BuildPatchPlan(document.get(), plan);
    return {Describe(plan.add_list), Describe(plan.remove_list), Describe(plan.change_list)};
}

using List = std::vector<std::string>;

TEST(BuildPatchPlan, SelectsGvarsWithActionInDocumentOrder) {
    PlanText plan = BuildFrom(
        "<save_patcher><gvars>"
        "<gvar action='add' index='700' value='1'/>"
        "<gvar index='5' value='2'/>"
        "<!-- old -->"
        "<gvar action='change' index='12' value='3'/>"
        "<gvar action='remove' index='9' value='0'/>"
        "</gvars></save_patcher>");
    EXPECT_EQ(plan.adds, (List{"0:700=1"}));
    EXPECT_EQ(plan.removes, (List{"1:9=0"}));
    EXPECT_EQ(plan.changes, (List{"2:12=3"}));
}

TEST(BuildPatchPlan, SkipsElementsMissingIndexOrValueAndGoesOn) {
    PlanText plan = BuildFrom(
        "<save_patcher><gvars>"
        "<gvar action='add' index='1'/>"
        "<gvar action='add' value='1'/>"
        "<gvar action='set' value='4' index='3'/>"
        "<gvar action='set' value='5' index='3'/>"
        "</gvars></save_patcher>");
    EXPECT_TRUE(plan.adds.empty());
    EXPECT_EQ(plan.changes, (List{"2:3=4", "2:3=5"}));
}

TEST(BuildPatchPlan, NamesAreCaseSensitiveAndFirstAttributeCounts) {
    PlanText plan = BuildFrom(
        "<save_patcher><gvars>"
        "<GVAR action='add' index='1' value='1'/>"
        "<Gvar action='add' index='2' value='1'/>"
        "<gvar action='add' Index='3' value='1'/>"
        "<gvar action='ADD' index='4' value='7' value='8' index='5'/>"
        "</gvars></save_patcher>");
    EXPECT_EQ(plan.adds, (List{"0:4=7"}));
}

TEST(BuildPatchPlan, ReadsEveryGvarsElementAndOnlyUnderTheRightRoot) {
    PlanText plan = BuildFrom(
        "<save_patcher>"
        "<gvars><gvar action='x' index='1' value='1'/></gvars>"
        "<gvar action='x' index='99' value='1'/>"
        "<gvars><gvar action='x' index='2' value='&#50;&amp;'/></gvars>"
        "</save_patcher>"
        "<patcher><gvars><gvar action='x' index='3' value='1'/></gvars></patcher>");
    EXPECT_EQ(plan.changes, (List{"2:1=1", "2:2=2"}));
}

TEST(BuildPatchPlan, OtherRootGivesAnEmptyPlan) {
    PlanText plan = BuildFrom("<config><gvars><gvar action='add' index='1' value='1'/></gvars></config>");
    EXPECT_TRUE(plan.adds.empty());
    EXPECT_TRUE(plan.removes.empty());
    EXPECT_TRUE(plan.changes.empty());
}

}  // namespace
