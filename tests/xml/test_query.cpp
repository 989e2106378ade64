// Path queries and attribute look-up: what a configuration's paths select,
// in which order, and the result list's growth.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "model.h"
#include "parsed_document.h"
#include "query.h"

namespace {

const char* const CONFIGURATION =
    "<save_patcher><gvars>"
    "<gvar action='add' index='700' value='1'/>"
    "<gvar index='5' value='2'/>"
    "<!-- old -->"
    "<gvar action='change' index='12' value='3'/>"
    "</gvars></save_patcher>";

// A short name for a selected node: an element by its name and its "index"
// attribute, an attribute by name and value, other kinds by kind and name.
std::string Label(XmlNode* node) {
    switch (node->kind) {
    case XmlKindDocument: return "#document";
    case XmlKindAttribute: {
        XmlAttributeData* data = static_cast<XmlAttributeData*>(node->data);
        return "@" + std::string(node->name) + "=" + std::string(data->value, data->valueLength);
    }
    case XmlKindElement: {
        XmlNode* index = XmlFindAttribute(node, "index");
        std::string label = node->name;
        if (index) label += ":" + std::string(static_cast<XmlAttributeData*>(index->data)->value);
        return label;
    }
    case XmlKindText: return "text(" + std::string(node->name) + ")";
    case XmlKindComment: return "comment(" + std::string(node->name) + ")";
    case XmlKindUnknown: return "unknown(" + std::string(node->name) + ")";
    case XmlKindDeclaration: return "declaration";
    default: return "?";
    }
}

std::string Labels(const XmlNodeList& list) {
    std::string text;
    for (uint32_t i = 0; i < list.count; ++i) text += (i ? " " : "") + Label(list.items[i]);
    return text;
}

// Runs one query into a fresh empty list: "result | labels".
std::string Select(XmlNode* context, const char* path) {
    XmlNodeList list{nullptr, 0, 0};
    int32_t result = XmlSelectNodes(context, path, &list);
    std::string text = std::to_string(result) + " |";
    if (list.count) text += " " + Labels(list);
    XmlNodeListFree(&list);
    return text;
}

XmlNode* Child(XmlNode* node, const char* name) {
    for (XmlNode* child = node->firstChild; child; child = child->nextSibling) {
        if (child->name && strcmp(child->name, name) == 0) return child;
    }
    return nullptr;
}

class QueryTest : public ::testing::Test {
protected:
    void SetUp() override {
        document = Parse(CONFIGURATION);
        root = document->firstChild;
        ASSERT_NE(root, nullptr);
        gvars = Child(root, "gvars");
        ASSERT_NE(gvars, nullptr);
    }
    NodePtr document;
    XmlNode* root = nullptr;
    XmlNode* gvars = nullptr;
};

TEST_F(QueryTest, ConfigurationPathSelectsTheGvarsWithAnAction) {
    EXPECT_EQ(Select(document.get(), "save_patcher/gvars/gvar[@action]"), "0 | gvar:700 gvar:12");
    EXPECT_EQ(Select(document.get(), "save_patcher/gvars/gvar"), "0 | gvar:700 gvar:5 gvar:12");
    EXPECT_EQ(Select(document.get(), "child::save_patcher/child::gvars/child::gvar[attribute::action]"),
              "0 | gvar:700 gvar:12");
}

TEST_F(QueryTest, ResultsComeDepthFirstAcrossSeveralBranches) {
    NodePtr two = Parse("<save_patcher><gvars><gvar action='a' index='1'/></gvars><other/>"
                        "<gvars><gvar action='b' index='2'/><gvar action='c' index='3'/></gvars>"
                        "</save_patcher><save_patcher><gvars><gvar action='d' index='4'/></gvars>"
                        "</save_patcher>");
    EXPECT_EQ(Select(two.get(), "save_patcher/gvars/gvar[@action]"),
              "0 | gvar:1 gvar:2 gvar:3 gvar:4");
}

TEST_F(QueryTest, NamesAreMatchedByteForByte) {
    NodePtr odd = Parse("<save_patcher><GVARS><gvar action='a'/></GVARS><Gvars/></save_patcher>");
    EXPECT_EQ(Select(odd.get(), "save_patcher/gvars/gvar[@action]"), "0 |");
    EXPECT_EQ(Select(gvars, "gvar[@ACTION]"), "0 |");
    EXPECT_EQ(Select(gvars, "GVAR"), "0 |");
}

TEST_F(QueryTest, AttributeValuePredicateComparesExactly) {
    NodePtr values = Parse("<gvars><gvar action='add' index='1'/><gvar action='Add' index='2'/>"
                           "<gvar action='add ' index='3'/><gvar action='' index='4'/>"
                           "<gvar action='a&amp;b' index='5'/><gvar index='6'/></gvars>");
    XmlNode* list = values->firstChild;
    EXPECT_EQ(Select(list, "gvar[@action='add']"), "0 | gvar:1");
    EXPECT_EQ(Select(list, "gvar[@action=\"add\"]"), "0 | gvar:1");
    EXPECT_EQ(Select(list, "gvar[@action = 'add']"), "0 | gvar:1");
    EXPECT_EQ(Select(list, "gvar[@action=\t'Add']"), "0 | gvar:2");
    EXPECT_EQ(Select(list, "gvar[@action='add ']"), "0 | gvar:3");
    EXPECT_EQ(Select(list, "gvar[@action='']"), "0 | gvar:4");
    // Nothing after "=" asks for an empty value.
    EXPECT_EQ(Select(list, "gvar[@action="), "0 | gvar:4");
    // The value is taken literally, not decoded.
    EXPECT_EQ(Select(list, "gvar[@action='a&amp;b']"), "0 |");
    EXPECT_EQ(Select(list, "gvar[@action='a&b']"), "0 | gvar:5");
    // Any character delimits the value, not only quotes.
    EXPECT_EQ(Select(list, "gvar[@action=|Add|]"), "0 | gvar:2");
}

TEST_F(QueryTest, ValueWithoutClosingDelimiterFailsOnlyAsTheFirstStep) {
    EXPECT_EQ(Select(gvars, "gvar[@action=add]"), "-1 |");
    EXPECT_EQ(Select(root, "gvars/gvar[@action=add]"), "0 |");
    EXPECT_EQ(Select(gvars, "gvar[@action='add"), "-1 |");
    // "/" ends a step even inside quotes.
    EXPECT_EQ(Select(gvars, "gvar[@note='a/b']"), "-1 |");
    EXPECT_EQ(Select(root, "gvars/gvar[@note='a/b']"), "0 |");
}

TEST_F(QueryTest, FailedFirstStepLeavesTheCallersListAsItWas) {
    XmlNodeList list{nullptr, 0, 0};
    XmlNodeListAppend(&list, root);
    EXPECT_EQ(XmlSelectNodes(gvars, "gvar[@action=add]", &list), -1);
    EXPECT_EQ(list.count, 1u);
    EXPECT_EQ(list.items[0], root);
    XmlNodeListFree(&list);
}

TEST_F(QueryTest, PredicateSyntaxIsReadLiterally) {
    // White space after "[" leaves the child axis and an empty name.
    EXPECT_EQ(Select(gvars, "gvar[ @action]"), "0 |");
    NodePtr empty = Parse("<gvars><gvar index='1'><!----></gvar><gvar index='2'/></gvars>");
    EXPECT_EQ(Select(empty->firstChild, "gvar[ @action]"), "0 | gvar:1");
    // A predicate counts only right after the name.
    EXPECT_EQ(Select(gvars, "gvar [@action]"), "0 | gvar:700 gvar:5 gvar:12");
    // No closing bracket needed; a second predicate is ignored.
    EXPECT_EQ(Select(gvars, "gvar[@action"), "0 | gvar:700 gvar:12");
    NodePtr partial = Parse("<gvars><gvar action='a' index='1'/><gvar action='b'/><gvar index='3'/>"
                            "</gvars>");
    EXPECT_EQ(Select(partial->firstChild, "gvar[@action][@index]"), "0 | gvar:1 gvar");
    // Names in predicates are never wildcards.
    EXPECT_EQ(Select(gvars, "gvar[@*]"), "0 |");
}

TEST_F(QueryTest, WildcardsSelectEveryChildOrAttribute) {
    NodePtr mixed = Parse("<gvars>note<gvar action='add' index='1' value='9'/><!-- c --><!x y>"
                          "<gvar index='2'/></gvars>");
    XmlNode* list = mixed->firstChild;
    EXPECT_EQ(Select(list, "*"), "0 | text(note) gvar:1 comment( c ) unknown(<!x y>) gvar:2");
    EXPECT_EQ(Select(list, "*[@action]"), "0 | gvar:1");
    EXPECT_EQ(Select(list, "gvar/@*"), "0 | @action=add @index=1 @value=9 @index=2");
    EXPECT_EQ(Select(list, "gvar/@value"), "0 | @value=9");
    EXPECT_EQ(Select(list, "@*"), "0 |");
    EXPECT_EQ(Select(mixed.get(), "@*"), "0 |");
    // The name test reads the name of every kind: a text's content too.
    EXPECT_EQ(Select(list, "note"), "0 | text(note)");
}

TEST_F(QueryTest, ParentAxisClimbsOneLevel) {
    EXPECT_EQ(Select(root, "parent::*"), "0 | #document");
    EXPECT_EQ(Select(root, "parent::t.xml"), "0 | #document");
    EXPECT_EQ(Select(document.get(), "parent::*"), "0 |");
    EXPECT_EQ(Select(root, "gvars/gvar/parent::gvars"), "0 | gvars gvars gvars");
    EXPECT_EQ(Select(root, "gvars/gvar[@action]/parent::*/parent::save_patcher"),
              "0 | save_patcher save_patcher");
    EXPECT_EQ(Select(gvars, "gvar/@index/parent::gvar"), "0 | gvar:700 gvar:5 gvar:12");
}

TEST_F(QueryTest, ParentPredicate) {
    EXPECT_EQ(Select(gvars, "gvar[parent::gvars]"), "0 | gvar:700 gvar:5 gvar:12");
    EXPECT_EQ(Select(gvars, "gvar[parent::other]"), "0 |");
    // With a value it holds for any candidate that has a parent.
    EXPECT_EQ(Select(gvars, "gvar[parent::other='x']"), "0 | gvar:700 gvar:5 gvar:12");
}

TEST_F(QueryTest, ChildPredicateLooksAtTheChildsTextWithAValue) {
    NodePtr texts = Parse("<gvars><gvar index='1'><note>hi</note></gvar>"
                          "<gvar index='2'><note>hi </note></gvar>"
                          "<gvar index='3'><note>h<b/>i</note></gvar>"
                          "<gvar index='4'><note/></gvar>"
                          "<gvar index='5'>note</gvar>"
                          "<gvar index='6'><other>hi</other><note>x</note><note>hi</note></gvar>"
                          "</gvars>");
    XmlNode* list = texts->firstChild;
    EXPECT_EQ(Select(list, "gvar[note='hi']"), "0 | gvar:1 gvar:3 gvar:6");
    EXPECT_EQ(Select(list, "gvar[child::note='hi ']"), "0 | gvar:2");
    EXPECT_EQ(Select(list, "gvar[note='']"), "0 |");
    // Without a value a child of any kind counts, a text named "note" too.
    EXPECT_EQ(Select(list, "gvar[note]"), "0 | gvar:1 gvar:2 gvar:3 gvar:4 gvar:5 gvar:6");
}

TEST_F(QueryTest, NoPositionsAndNoShortcuts) {
    NodePtr numbered = Parse("<gvars><gvar index='1'/><gvar index='2'>3</gvar>"
                             "<gvar index='3'>2</gvar></gvars>");
    EXPECT_EQ(Select(numbered->firstChild, "gvar[2]"), "0 | gvar:3");
    EXPECT_EQ(Select(gvars, "."), "0 |");
    EXPECT_EQ(Select(gvars, ".."), "0 |");
    EXPECT_EQ(Select(root, "./gvars"), "0 |");
    XmlNode* dot = XmlCreateElement(".", gvars);
    XmlAppendChild(gvars, dot);
    EXPECT_EQ(Select(gvars, "."), "0 | .");
}

TEST_F(QueryTest, StepsUpTo127CharactersAreRead) {
    std::string name127(127, 'n');
    std::string name128(128, 'n');
    NodePtr longer = Parse("<save_patcher><" + name127 + " index='1'/><" + name128 +
                           " index='2'/></save_patcher>");
    XmlNode* top = longer->firstChild;
    EXPECT_EQ(Select(top, name127.c_str()), "0 | " + name127 + ":1");
    EXPECT_EQ(Select(top, name128.c_str()), "-1 |");
    EXPECT_EQ(Select(longer.get(), ("save_patcher/" + name127).c_str()), "0 | " + name127 + ":1");
    EXPECT_EQ(Select(longer.get(), ("save_patcher/" + name128).c_str()), "0 |");
    // The limit counts the whole step, predicate included.
    std::string step = std::string(117, 'g') + "[@index]";  // 125
    EXPECT_EQ(Select(top, (step + "xx").c_str()), "0 |");
    EXPECT_EQ(Select(top, (step + "xxx").c_str()), "-1 |");
}

TEST_F(QueryTest, EmptyStepsSelectNothing) {
    EXPECT_EQ(Select(document.get(), ""), "-1 |");
    EXPECT_EQ(Select(document.get(), nullptr), "-1 |");
    EXPECT_EQ(Select(document.get(), "/"), "0 |");
    EXPECT_EQ(Select(document.get(), "/save_patcher"), "0 |");
    EXPECT_EQ(Select(document.get(), "save_patcher/"), "0 |");
    EXPECT_EQ(Select(document.get(), "save_patcher//gvars"), "0 |");
    EXPECT_EQ(Select(document.get(), "save_patcher/gvars/"), "0 |");
}

TEST_F(QueryTest, NullContextOrListSelectsNothing) {
    EXPECT_EQ(Select(nullptr, "save_patcher/gvars/gvar[@action]"), "0 |");
    EXPECT_EQ(Select(nullptr, "parent::*"), "0 |");
    EXPECT_EQ(XmlSelectNodes(document.get(), "save_patcher", nullptr), -1);
}

TEST_F(QueryTest, QueriesAppendAfterWhatTheListHolds) {
    XmlNodeList list{nullptr, 0, 0};
    EXPECT_EQ(XmlSelectNodes(document.get(), "save_patcher/gvars/gvar[@action]", &list), 0);
    EXPECT_EQ(XmlSelectNodes(gvars, "gvar[@index='5']", &list), 0);
    EXPECT_EQ(XmlSelectNodes(gvars, "gvar[@index='none']", &list), 0);
    EXPECT_EQ(Labels(list), "gvar:700 gvar:12 gvar:5");
    XmlNodeListFree(&list);
    EXPECT_EQ(list.items, nullptr);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.capacity, 0u);
    XmlNodeListFree(&list);
    XmlNodeListFree(nullptr);
}

TEST_F(QueryTest, ManyMatchesKeepTheirOrder) {
    std::string text = "<gvars>";
    for (int i = 0; i < 200; ++i) text += "<gvar index='" + std::to_string(i) + "'/>";
    NodePtr many = Parse(text + "</gvars>");
    XmlNodeList list{nullptr, 0, 0};
    ASSERT_EQ(XmlSelectNodes(many.get(), "gvars/gvar", &list), 0);
    ASSERT_EQ(list.count, 200u);
    for (uint32_t i = 0; i < list.count; ++i) EXPECT_EQ(Label(list.items[i]), "gvar:" + std::to_string(i));
    XmlNodeListFree(&list);
}

TEST_F(QueryTest, LongPathsNeedNoStackPerStep) {
    // 40,001 steps down and up again: as many steps as a path has, without
    // running out of stack, and a faulty step late in one route still only
    // adds nothing.
    std::string path;
    for (int i = 0; i < 20000; ++i) path += "save_patcher/parent::*/";
    EXPECT_EQ(Select(document.get(), (path + "save_patcher").c_str()), "0 | save_patcher");
    EXPECT_EQ(Select(document.get(), (path + "save_patcher/gvars/gvar[@index='").c_str()), "0 |");
}

TEST(NodeList, ListWithoutRoomGrowsWhenFull) {
    XmlNode nodes[3] = {};
    XmlNodeList empty{nullptr, 0, 0};
    XmlNodeListAppend(&empty, &nodes[0]);
    ASSERT_NE(empty.items, nullptr);
    EXPECT_EQ(empty.count, 1u);
    EXPECT_EQ(empty.capacity, 32u);
    EXPECT_EQ(empty.items[0], &nodes[0]);
    XmlNodeListFree(&empty);

    XmlNodeList one{static_cast<XmlNode**>(malloc(sizeof(XmlNode*))), 0, 1};
    XmlNodeListAppend(&one, &nodes[0]);
    EXPECT_EQ(one.capacity, 1u);
    XmlNodeListAppend(&one, &nodes[1]);
    XmlNodeListAppend(&one, &nodes[2]);
    EXPECT_EQ(one.count, 3u);
    EXPECT_EQ(one.capacity, 32u);
    EXPECT_EQ(one.items[0], &nodes[0]);
    EXPECT_EQ(one.items[1], &nodes[1]);
    EXPECT_EQ(one.items[2], &nodes[2]);
    XmlNodeListFree(&one);

    XmlNodeListAppend(nullptr, &nodes[0]);  // nothing to append to
}

TEST(NodeList, FullListGrowsByHalf) {
    XmlNode node = {};
    XmlNodeList list{nullptr, 0, 0};
    std::string capacities;
    uint32_t last = 0;
    for (int i = 0; i < 200; ++i) {
        XmlNodeListAppend(&list, &node);
        if (list.capacity != last) capacities += " " + std::to_string(last = list.capacity);
    }
    EXPECT_EQ(capacities, " 32 48 72 108 162 243");
    EXPECT_EQ(list.count, 200u);
    XmlNodeListFree(&list);
}

TEST_F(QueryTest, FindAttributeIsCaseSensitiveAndTakesTheFirst) {
    NodePtr twice = Parse("<gvar action='add' index='1' index='2' Value='3'/>");
    XmlNode* gvar = twice->firstChild;
    XmlNode* index = XmlFindAttribute(gvar, "index");
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(Label(index), "@index=1");
    EXPECT_EQ(Select(gvar, "@index"), "0 | @index=1 @index=2");
    EXPECT_EQ(XmlFindAttribute(gvar, "ACTION"), nullptr);
    EXPECT_EQ(XmlFindAttribute(gvar, "value"), nullptr);
    EXPECT_EQ(Label(XmlFindAttribute(gvar, "Value")), "@Value=3");
    EXPECT_EQ(XmlFindAttribute(gvar, "inde"), nullptr);
    EXPECT_EQ(XmlFindAttribute(gvar, nullptr), nullptr);
    EXPECT_EQ(XmlFindAttribute(nullptr, "index"), nullptr);
    EXPECT_EQ(XmlFindAttribute(root, "index"), nullptr);             // no attributes
    EXPECT_EQ(XmlFindAttribute(document.get(), "index"), nullptr);  // not an element
}

}  // namespace
