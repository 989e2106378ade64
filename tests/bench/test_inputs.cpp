// test_inputs.cpp - the benchmark generators: the same seed gives the same
// bytes, and what they write parses into the requests they say it holds.
#include <gtest/gtest.h>

#include <string>

#include "inputs.h"
#include "model.h"
#include "parsed_document.h"
#include "query.h"
#include "reader.h"

namespace {

int Depth(const XmlNode* node) {
    int deepest = 0;
    for (const XmlNode* child = node->firstChild; child; child = child->nextSibling) {
        if (child->kind != XmlKindElement) continue;
        int depth = 1 + Depth(child);
        if (depth > deepest) deepest = depth;
    }
    return deepest;
}

int CountElements(const XmlNode* node) {
    int count = node->kind == XmlKindElement ? 1 : 0;
    for (const XmlNode* child = node->firstChild; child; child = child->nextSibling)
        count += CountElements(child);
    return count;
}

const char SMALL_CONFIG[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!-- generated patch list, seed 1 -->\n"
    "<save_patcher>\n"
    "    <gvars>\n"
    "        <gvar action=\"Change\" index=\"0\" value=\"34621\" note=\"fallow &amp; vale\"/>\n"
    "        <gvar action=\"add\" index=\"10\" value=\"44168\" note=\"kestrel &amp; isle\"/>\n"
    "        <gvar action=\"Remove\" index=\"1\" value=\"&#57;0739\"/>\n"
    "        <gvar action=\"change\" index=\"6\" value=\"-69784\"/>\n"
    "        <gvar action=\"add\" index=\"11\" value=\"8122\"/>\n"
    "        <gvar action=\"add\" index=\"12\" value=\"92264\"/>\n"
    "        <gvar action=\"ADD\" index=\"13\" value=\"-40059\"/>\n"
    "        <gvar action=\"set\" index=\"1\" value=\"94776\"/>\n"
    "    </gvars>\n"
    "</save_patcher>\n";

}  // namespace

// Results of different runs are comparable only while the inputs stay the
// same bytes: this pins them.
TEST(ConfigText, SeedGivesTheSameBytesEveryTime) {
    ConfigShape shape;
    shape.seed = 1;
    shape.gvar_count = 8;
    shape.table_size = 10;
    ConfigFacts facts;
    EXPECT_EQ(MakeConfigText(shape, &facts), SMALL_CONFIG);
    EXPECT_EQ(facts.gvar_count, 8u);
    EXPECT_EQ(facts.add_count, 4u);
    EXPECT_EQ(facts.change_count, 3u);
    EXPECT_EQ(facts.remove_count, 1u);
    EXPECT_EQ(facts.comment_count, 1u);

    shape.seed = 2;
    EXPECT_NE(MakeConfigText(shape), SMALL_CONFIG);

    shape.adds = false;
    std::string text = MakeConfigText(shape, &facts);
    EXPECT_EQ(facts.add_count, 0u);
    EXPECT_EQ(facts.change_count + facts.remove_count, 8u);
    for (const char* add : {"\"add\"", "\"ADD\"", "\"Add\""})
        EXPECT_EQ(text.find(add), std::string::npos) << add;
}

TEST(ConfigText, ReadsBackAsTheRequestsItWasMadeOf) {
    PatchPlan plan;
    BuildPatchPlan(Parse(SMALL_CONFIG).get(), plan);

    ASSERT_EQ(plan.add_list.size(), 4u);
    const int32_t add_values[] = {44168, 8122, 92264, -40059};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(plan.add_list[i].index, 10 + i);
        EXPECT_EQ(plan.add_list[i].value, add_values[i]);
    }
    ASSERT_EQ(plan.change_list.size(), 3u);
    EXPECT_EQ(plan.change_list[0].value, 34621);
    EXPECT_EQ(plan.change_list[1].index, 6);
    EXPECT_EQ(plan.change_list[2].value, 94776);
    ASSERT_EQ(plan.remove_list.size(), 1u);
    EXPECT_EQ(plan.remove_list[0].value, 90739);  // "&#57;0739"
}

TEST(ConfigText, LargeConfigsHoldWhatTheFactsSay) {
    ConfigShape shape;
    shape.seed = 9;
    shape.target_bytes = 200 * 1000;
    ConfigFacts facts;
    std::string text = MakeConfigText(shape, &facts);
    EXPECT_GE(text.size(), shape.target_bytes);
    EXPECT_LT(text.size(), shape.target_bytes + 200);
    EXPECT_EQ(text.compare(text.size() - 16, 16, "</save_patcher>\n"), 0);
    EXPECT_NE(text.find("&#"), std::string::npos);
    EXPECT_NE(text.find("&amp;"), std::string::npos);

    const NodePtr parsed = Parse(text);
    XmlNode* document = parsed.get();
    XmlNodeList list = {nullptr, 0, 0};
    EXPECT_EQ(XmlSelectNodes(document, "save_patcher/gvars/gvar[@action]", &list), 0);
    EXPECT_EQ(list.count, facts.gvar_count);
    XmlNodeListFree(&list);
    EXPECT_EQ(XmlSelectNodes(document, "save_patcher/gvars/*", &list), 0);
    EXPECT_EQ(list.count, facts.gvar_count + facts.comment_count - 1);  // one is top-level
    XmlNodeListFree(&list);

    PatchPlan plan;
    BuildPatchPlan(document, plan);
    EXPECT_EQ(plan.add_list.size(), facts.add_count);
    EXPECT_EQ(plan.change_list.size(), facts.change_count);
    EXPECT_EQ(plan.remove_list.size(), facts.remove_count);
    for (size_t i = 0; i < plan.add_list.size(); ++i)
        EXPECT_EQ(plan.add_list[i].index, static_cast<int32_t>(700 + i));
}

TEST(DocumentText, NestsAsDeepAsAskedAndCountsItsElements) {
    uint32_t elements = 0;
    std::string text = MakeDocumentText(100 * 1000, 20, 3, &elements);
    EXPECT_EQ(text, MakeDocumentText(100 * 1000, 20, 3));
    EXPECT_GE(text.size(), 100u * 1000u);

    const NodePtr document = Parse(text);
    // manual, chapter, 21 sections, para, inline element
    EXPECT_EQ(Depth(document.get()), 25);
    EXPECT_EQ(CountElements(document.get()), static_cast<int>(elements));
}
