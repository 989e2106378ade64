// The document model: construction, tree links, text merging, text look-up,
// freeing, dispatch and the error slot.
#include <gtest/gtest.h>

#include <string>

#include "model.h"
#include "parsed_document.h"
#include "parser.h"
#include "writer.h"

namespace {

std::string NameOf(const XmlNode* node) { return std::string(node->name, node->nameLength); }

XmlElementData* ElementRecord(XmlNode* node) { return static_cast<XmlElementData*>(node->data); }

XmlDocumentData* DocumentRecord(XmlNode* node) {
    return static_cast<XmlDocumentData*>(node->data);
}

// A text node holding the given bytes, as the parser would make it.
XmlNode* MakeText(XmlNode* parent, const char* text) {
    XmlNode* node = XmlCreateText(parent);
    XmlParseOptions options = {};
    XmlParseText(node, text, &options);
    return node;
}

TEST(Construction, DocumentNamesItsFileAndIsItsOwnDocument) {
    XmlNode* document = XmlCreateDocument("cfg.xml");
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->kind, XmlKindDocument);
    EXPECT_EQ(NameOf(document), "cfg.xml");
    EXPECT_EQ(document->nameLength, 7);
    EXPECT_EQ(document->document, document);
    EXPECT_EQ(document->parent, nullptr);
    EXPECT_STREQ(DocumentRecord(document)->errorText, "");
    EXPECT_EQ(DocumentRecord(document)->errorCode, 0);
    XmlFreeNode(document);
}

TEST(Construction, NodeRecordsParentWithoutBeingLinked) {
    XmlNode* document = XmlCreateDocument("d");
    XmlNode* root = XmlCreateElement("root", document);
    XmlAppendChild(document, root);
    XmlNode* loose = XmlCreateElement("loose", root);
    EXPECT_EQ(loose->parent, root);
    EXPECT_EQ(loose->document, document);
    EXPECT_EQ(root->firstChild, nullptr);
    EXPECT_EQ(root->lastChild, nullptr);
    XmlFreeNode(loose);
    XmlFreeNode(document);
}

TEST(Construction, EachKindStartsWithItsNameAndEmptyRecord) {
    XmlNode* document = XmlCreateDocument("d");
    XmlNode* comment = XmlCreateComment(document);
    XmlNode* text = XmlCreateText(document);
    XmlNode* unknown = XmlCreateUnknown(document);
    XmlNode* declaration = XmlCreateDeclaration(document);
    XmlNode* attribute = XmlCreateAttribute("id", document);
    XmlNode* element = XmlCreateElement("e", document);
    XmlNode* plain = XmlCreateNode(nullptr, nullptr);

    EXPECT_EQ(comment->kind, XmlKindComment);
    EXPECT_EQ(text->kind, XmlKindText);
    EXPECT_EQ(unknown->kind, XmlKindUnknown);
    for (XmlNode* node : {comment, text, unknown}) {
        EXPECT_EQ(NameOf(node), "");
        EXPECT_EQ(node->data, nullptr);
    }
    EXPECT_EQ(declaration->kind, XmlKindDeclaration);
    EXPECT_EQ(NameOf(declaration), "?xml");
    const XmlDeclarationData* values = static_cast<XmlDeclarationData*>(declaration->data);
    EXPECT_EQ(values->version, nullptr);
    EXPECT_EQ(values->encoding, nullptr);
    EXPECT_EQ(values->standalone, nullptr);
    EXPECT_EQ(values->versionLength + values->encodingLength + values->standaloneLength, 0);
    EXPECT_EQ(attribute->kind, XmlKindAttribute);
    EXPECT_EQ(static_cast<XmlAttributeData*>(attribute->data)->value, nullptr);
    EXPECT_EQ(ElementRecord(element)->firstAttribute, nullptr);
    EXPECT_EQ(ElementRecord(element)->textChild, nullptr);
    EXPECT_EQ(plain->kind, XmlKindNone);
    EXPECT_EQ(plain->document, nullptr);
    EXPECT_EQ(NameOf(plain), "");

    for (XmlNode* node : {comment, text, unknown, declaration, attribute, element, plain}) {
        XmlFreeNode(node);
    }
    XmlFreeNode(document);
}

class TreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        document = XmlCreateDocument("tree.xml");
        a = XmlCreateElement("a", document);
        b = XmlCreateElement("b", document);
        XmlAppendChild(document, a);
        XmlAppendChild(document, b);
    }
    void TearDown() override { XmlFreeNode(document); }

    XmlNode* document = nullptr;
    XmlNode* a = nullptr;
    XmlNode* b = nullptr;
};

TEST_F(TreeTest, AppendLinksChildrenInOrder) {
    XmlNode* x = XmlCreateElement("x", nullptr);
    XmlNode* y = XmlCreateElement("y", nullptr);
    EXPECT_EQ(XmlAppendChild(a, x), a);
    XmlAppendChild(a, y);
    EXPECT_EQ(a->firstChild, x);
    EXPECT_EQ(a->lastChild, y);
    EXPECT_EQ(x->nextSibling, y);
    EXPECT_EQ(y->prevSibling, x);
    EXPECT_EQ(x->prevSibling, nullptr);
    EXPECT_EQ(y->nextSibling, nullptr);
    EXPECT_EQ(y->parent, a);
    EXPECT_EQ(x->document, document);  // taken from the new parent
    EXPECT_EQ(XmlAppendChild(a, nullptr), a);
    EXPECT_EQ(a->lastChild, y);
}

TEST_F(TreeTest, AppendMovesNodeFromItsFormerParent) {
    XmlNode* x = XmlCreateElement("x", a);
    XmlNode* y = XmlCreateElement("y", a);
    XmlAppendChild(a, x);
    XmlAppendChild(a, y);
    XmlAppendChild(b, x);
    EXPECT_EQ(a->firstChild, y);
    EXPECT_EQ(a->lastChild, y);
    EXPECT_EQ(y->prevSibling, nullptr);
    EXPECT_EQ(b->firstChild, x);
    EXPECT_EQ(b->lastChild, x);
    EXPECT_EQ(x->parent, b);
    EXPECT_EQ(x->prevSibling, nullptr);
    EXPECT_EQ(x->nextSibling, nullptr);
}

TEST_F(TreeTest, RemoveOnlyTouchesItsOwnParent) {
    XmlNode* x = XmlCreateElement("x", a);
    XmlAppendChild(a, x);
    XmlRemoveChild(b, x);  // not b's child: nothing happens
    EXPECT_EQ(a->firstChild, x);
    EXPECT_EQ(x->parent, a);

    XmlRemoveChild(a, x);
    EXPECT_EQ(a->firstChild, nullptr);
    EXPECT_EQ(a->lastChild, nullptr);
    EXPECT_EQ(x->parent, nullptr);
    XmlFreeNode(x);

    XmlNode* fresh = XmlCreateElement("fresh", a);  // names a, never linked
    XmlRemoveChild(a, fresh);
    EXPECT_EQ(a->firstChild, nullptr);
    EXPECT_EQ(fresh->parent, nullptr);
    XmlFreeNode(fresh);
}

TEST_F(TreeTest, RemoveMiddleChildRelinksNeighbours) {
    XmlRemoveChild(document, a);
    XmlAppendChild(b, a);
    XmlNode* c = XmlCreateElement("c", nullptr);
    XmlNode* d = XmlCreateElement("d", nullptr);
    XmlAppendChild(document, c);
    XmlAppendChild(document, d);
    XmlRemoveChild(document, c);
    EXPECT_EQ(b->nextSibling, d);
    EXPECT_EQ(d->prevSibling, b);
    XmlFreeNode(c);
}

TEST_F(TreeTest, AppendTextMergesIntoTheLastTextChild) {
    ASSERT_EQ(XmlAppendText(a, MakeText(a, "x")), 0);
    XmlNode* b2 = XmlCreateElement("b", nullptr);
    XmlAppendChild(a, b2);
    ASSERT_EQ(XmlAppendText(a, MakeText(a, "yz")), 0);
    XmlNode* text = a->firstChild;
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->kind, XmlKindText);
    EXPECT_EQ(NameOf(text), "xyz");
    EXPECT_EQ(text->nextSibling, b2);
    EXPECT_EQ(b2->nextSibling, nullptr);
    EXPECT_EQ(ElementRecord(a)->textChild, text);
    EXPECT_EQ(XmlGetText(a), text);
}

TEST_F(TreeTest, AppendTextReplacesAnEmptyTextChild) {
    XmlNode* empty = XmlCreateText(a);
    XmlAppendChild(a, empty);
    ASSERT_EQ(XmlAppendText(a, MakeText(a, "abc")), 0);
    EXPECT_EQ(a->firstChild, empty);
    EXPECT_EQ(a->lastChild, empty);
    EXPECT_EQ(NameOf(empty), "abc");
}

TEST_F(TreeTest, ManyPiecesMergeIntoOneText) {
    std::string expected;
    for (int i = 0; i < 3000; ++i) {
        std::string piece = std::to_string(i) + ",";
        expected += piece;
        ASSERT_EQ(XmlAppendText(a, MakeText(a, piece.c_str())), 0);
        XmlAppendChild(a, XmlCreateElement("e", nullptr));
    }
    XmlNode* text = XmlGetText(a);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(NameOf(text), expected);
    EXPECT_EQ(text->name[text->nameLength], '\0');
    EXPECT_EQ(a->firstChild, text);
}

TEST_F(TreeTest, RemovingTheTextChildForgetsIt) {
    XmlAppendText(a, MakeText(a, "one"));
    XmlNode* text = a->firstChild;
    XmlRemoveChild(a, text);
    XmlFreeNode(text);
    EXPECT_EQ(XmlGetText(a), nullptr);
    // New text starts a fresh text child instead of merging into the old one.
    XmlAppendText(a, MakeText(a, "two"));
    ASSERT_NE(XmlGetText(a), nullptr);
    EXPECT_EQ(NameOf(XmlGetText(a)), "two");
}

TEST_F(TreeTest, GetTextFindsAndRecordsTheFirstTextChild) {
    XmlAppendChild(a, XmlCreateElement("x", nullptr));
    XmlNode* text = MakeText(nullptr, "t");
    XmlAppendChild(a, text);  // appended directly: not yet recorded
    EXPECT_EQ(ElementRecord(a)->textChild, nullptr);
    EXPECT_EQ(XmlGetText(a), text);
    EXPECT_EQ(ElementRecord(a)->textChild, text);
    EXPECT_EQ(XmlGetText(b), nullptr);
}

TEST_F(TreeTest, GetTextOnOtherKindsGivesNone) {
    XmlNode* attribute = XmlCreateAttribute("k", a);
    XmlNode* text = MakeText(document, "t");
    XmlAppendChild(document, text);
    EXPECT_EQ(XmlGetText(attribute), nullptr);
    EXPECT_EQ(XmlGetText(text), nullptr);
    EXPECT_EQ(XmlGetText(document), nullptr);  // even with a text child
    EXPECT_EQ(XmlGetText(nullptr), nullptr);
    XmlFreeNode(attribute);
}

TEST(Freeing, NoneIsIgnoredAndDeepTreesNeedNoRecursion) {
    XmlFreeNode(nullptr);
    XmlNode* document = XmlCreateDocument("deep");
    XmlNode* parent = document;
    for (int i = 0; i < 200000; ++i) {
        XmlNode* child = XmlCreateElement("e", parent);
        XmlAppendChild(parent, child);
        XmlNode* attribute = XmlCreateAttribute("", child);
        XmlParseAttribute(attribute, "k='v'", nullptr);
        ElementRecord(child)->firstAttribute = attribute;
        parent = child;
    }
    XmlFreeNode(document);  // leak checkers see every node, record and string go
}

TEST(Freeing, HandBuiltLinksAreFollowedWhateverTheyLeaveOut) {
    XmlNode* document = XmlCreateDocument("d");
    XmlNode* element = XmlCreateElement("e", document);
    XmlAppendChild(document, element);
    // Attributes chained forward only, without back links or a known tail.
    XmlNode* first = XmlCreateAttribute("a", element);
    XmlNode* second = XmlCreateAttribute("b", element);
    ElementRecord(element)->firstAttribute = first;
    first->nextSibling = second;
    // A child that names another node as its parent.
    XmlNode* stray = XmlCreateElement("s", element);
    XmlAppendChild(element, stray);
    XmlNode* other = XmlCreateElement("o", nullptr);
    stray->parent = other;
    XmlAppendChild(stray, XmlCreateText(stray));
    XmlFreeNode(document);  // leak checkers see all of them go but other
    XmlFreeNode(other);
}

TEST(Freeing, BlocksTheCallerFreedOrReplacedAreNotTouched) {
    XmlNode* document = XmlCreateDocument("d");
    XmlNode* element = XmlCreateElement("e", document);
    XmlAppendChild(document, element);
    XmlParseOptions options = {};
    ASSERT_NE(XmlParseElement(element, "<e a='1' b='2' c='3'/>", &options), nullptr);
    XmlNode* first = ElementRecord(element)->firstAttribute;
    // The first attribute's record replaced, the last attribute unlinked and freed.
    free(static_cast<XmlAttributeData*>(first->data)->value);
    free(first->data);
    first->data = calloc(1, sizeof(XmlAttributeData));
    XmlNode* last = first->nextSibling->nextSibling;
    first->nextSibling->nextSibling = nullptr;
    XmlFreeNode(last);
    bool empty = false;
    ASSERT_NE(XmlReadAttributes(" d='4'>", element, &options, &empty), nullptr);
    EXPECT_EQ(NameOf(first->nextSibling->nextSibling), "d");
    XmlFreeNode(document);  // sanitizers see no block freed twice or read after its free
}

TEST(Freeing, ElementTakesItsAttributesWithIt) {
    XmlNode* document = XmlCreateDocument("d");
    XmlNode* element = XmlCreateElement("e", document);
    XmlParseOptions options = {};
    ASSERT_NE(XmlParseElement(element, "<e a='1' b=\"2\"><x/>text</e>", &options), nullptr);
    XmlFreeNode(element);  // never linked: owned by the caller
    EXPECT_EQ(document->firstChild, nullptr);
    XmlFreeNode(document);
}

// Each kind reaches its own handlers: a construct parsed through
// XmlParseNode into a node of its kind prints back through XmlPrintNode in
// that kind's form. A table row out of step with the kind codes fails the
// parse or prints another kind's form.
TEST(Dispatch, EachKindParsesAndPrintsItsOwnConstruct) {
    struct Case {
        XmlNode* (*create)(XmlNode* parent);
        const char* text;
        const char* printed;
    } cases[] = {
        {[](XmlNode*) { return XmlCreateDocument("d"); }, "<a k='1'/><!--c-->",
         "<a k=\"1\" />\n<!-- c -->\n"},
        {[](XmlNode* parent) { return XmlCreateElement("", parent); }, "<a k='1'>t</a>",
         "<a k=\"1\" >\n\tt\n\t</a>"},
        {XmlCreateComment, "<!-- c -->", "<!--  c  -->"},
        {[](XmlNode* parent) { return XmlCreateAttribute("", parent); }, "k='&lt;1'",
         " k=\"&lt;1\""},
        {XmlCreateText, "a&amp;b", "a&amp;b"},
        {XmlCreateDeclaration, "<?xml version='1.0'?>", "<?xml version=\"1.0\" ?>"},
        {XmlCreateUnknown, "<!DOCTYPE cfg>", "<!DOCTYPE cfg>"},
    };
    for (const Case& c : cases) {
        XmlNode* document = XmlCreateDocument("d");
        XmlNode* node = c.create(document);
        XmlParseOptions options = {};
        const std::string text = c.text;
        EXPECT_EQ(XmlParseNode(node, text.c_str(), &options), text.c_str() + text.size()) << text;
        EXPECT_EQ(Printed(node), c.printed) << text;
        if (node != document) XmlFreeNode(node);
        XmlFreeNode(document);
    }
}

TEST(Dispatch, NoneAndKindNoneParseAndPrintNothing) {
    XmlParseOptions options = {};
    EXPECT_EQ(XmlParseNode(nullptr, "<a/>", &options), nullptr);
    EXPECT_EQ(Printed(nullptr), "");
    XmlNode* plain = XmlCreateNode("n", nullptr);
    EXPECT_EQ(XmlParseNode(plain, "<a/>", &options), nullptr);
    EXPECT_EQ(Printed(plain), "");
    plain->kind = XmlKindCount;  // no such kind
    EXPECT_EQ(XmlParseNode(plain, "<a/>", &options), nullptr);
    EXPECT_EQ(Printed(plain), "");
    plain->kind = XmlKindNone;
    XmlFreeNode(plain);
}

TEST(ErrorSlot, SetErrorRecordsOnlyInADocument) {
    XmlNode* document = XmlCreateDocument("d");
    EXPECT_EQ(XmlSetError(document, "boom"), nullptr);
    EXPECT_STREQ(DocumentRecord(document)->errorText, "boom");
    EXPECT_EQ(DocumentRecord(document)->errorCode, -1);
    EXPECT_EQ(XmlSetError(nullptr, "ignored"), nullptr);
    XmlNode* element = XmlCreateElement("e", nullptr);
    EXPECT_EQ(XmlSetError(element, "ignored"), nullptr);  // not a document
    XmlFreeNode(element);
    XmlFreeNode(document);
}

}  // namespace
