// Printing nodes and documents back as XML text: exact output per kind, and
// parse(print(doc)) keeping elements and attributes over generated trees.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "builder.h"
#include "model.h"
#include "parsed_document.h"
#include "writer.h"

namespace {

std::string PrintDocument(const std::string& source) {
    NodePtr document = Parse(source);
    return Captured([&](FILE* stream) { XmlPrintDocument(document.get(), stream); });
}

std::string Escape(const std::string& text) {
    return Captured([&](FILE* stream) {
        XmlPrintEscaped(text.c_str(), static_cast<int32_t>(text.size()), stream);
    });
}

void SetName(XmlNode* node, const char* text) {
    free(node->name);
    node->name = strdup(text);
    node->nameLength = static_cast<int32_t>(strlen(text));
}

TEST(WriterDocument, PrintsTheConfigurationExampleAsSixLines) {
    EXPECT_EQ(PrintDocument("<?xml version=\"1.0\"?><save_patcher><gvars><gvar action='a&amp;b' "
                            "index='7' value='1'/></gvars></save_patcher>"),
              "<?xml version=\"1.0\" ?>\n"
              "<save_patcher >\n"
              "\t<gvars >\n"
              "\t<gvar action=\"a&amp;b\" index=\"7\" value=\"1\" />\n"
              "\t</gvars>\n"
              "\t</save_patcher>\n");
}

// A tree built node by node prints as a parsed one does.
TEST(WriterDocument, BuiltDocumentPrintsLikeAParsedOne) {
    NodePtr document(XmlCreateDocument("built.xml"));
    ASSERT_NE(XmlAddDeclaration(document.get(), "1.0", nullptr), nullptr);
    ASSERT_NE(XmlAddComment(document.get(), "3 GVARs"), nullptr);
    XmlNode* gvar = XmlAddElement(XmlAddElement(XmlAddElement(document.get(), "save_patcher"),
                                                "gvars"), "gvar");
    for (const char* name : {"action", "index", "value"}) {
        ASSERT_NE(XmlAddAttribute(gvar, name, name[0] == 'a' ? "a&b" : "7"), nullptr);
    }
    const std::string printed =
        Captured([&](FILE* stream) { XmlPrintDocument(document.get(), stream); });
    EXPECT_EQ(printed, "<?xml version=\"1.0\" ?>\n<!-- 3 GVARs -->\n<save_patcher >\n"
                       "\t<gvars >\n\t<gvar action=\"a&amp;b\" index=\"7\" value=\"7\" />\n"
                       "\t</gvars>\n\t</save_patcher>\n");
    // Nothing to hang the node on: no node, and the tree is unchanged.
    EXPECT_EQ(XmlAddAttribute(document->firstChild->nextSibling, "x", "1"), nullptr);
    EXPECT_EQ(XmlAddElement(nullptr, "x"), nullptr);
    EXPECT_EQ(Printed(document->firstChild->nextSibling), "<!-- 3 GVARs -->");
}

TEST(WriterDocument, PrintsEachTopLevelNodeOnItsOwnLine) {
    EXPECT_EQ(PrintDocument(""), "");
    EXPECT_EQ(PrintDocument("<gvars/>"), "<gvars />\n");
    EXPECT_EQ(PrintDocument("<!-- a --><a/><b></b>"), "<!--  a  -->\n<a />\n<b />\n");
    NodePtr empty(XmlCreateDocument("t.xml"));
    EXPECT_EQ(Printed(empty.get()), "");
}

TEST(WriterElement, EveryChildLineStartsWithOneTabWhateverTheDepth) {
    EXPECT_EQ(PrintDocument("<a><b><c/></b><d x='1'/></a>"),
              "<a >\n\t<b >\n\t<c />\n\t</b>\n\t<d x=\"1\" />\n\t</a>\n");
}

TEST(WriterElement, PrintsTheTextBeforeTheChildElements) {
    EXPECT_EQ(PrintDocument("<a><b/>x</a>"), "<a >\n\tx\n\t<b />\n\t</a>\n");
    EXPECT_EQ(PrintDocument("<a>x<b/>y<c/>z</a>"), "<a >\n\txyz\n\t<b />\n\t<c />\n\t</a>\n");
    EXPECT_EQ(PrintDocument("<a>only</a>"), "<a >\n\tonly\n\t</a>\n");
}

TEST(WriterElement, PrintsCommentsAndUnknownMarkupAmongTheChildren) {
    EXPECT_EQ(PrintDocument("<a><!--c--><!x y><b/></a>"),
              "<a >\n\t<!-- c -->\n\t<!x y>\n\t<b />\n\t</a>\n");
}

TEST(WriterElement, NamelessElementPrintsNothing) {
    NodePtr element(XmlCreateElement("", nullptr));
    EXPECT_EQ(Printed(element.get()), "");
    EXPECT_EQ(Printed(nullptr), "");
    EXPECT_EQ(Captured([](FILE* stream) { XmlPrintElement(nullptr, stream); }), "");
}

TEST(WriterElement, TextChildNotRecordedAsTheTextIsPrintedInPlace) {
    NodePtr element(XmlCreateElement("a", nullptr));
    XmlNode* child = XmlCreateElement("b", element.get());
    XmlAppendChild(element.get(), child);
    XmlNode* text = XmlCreateText(element.get());
    SetName(text, "t");
    XmlAppendChild(element.get(), text);
    EXPECT_EQ(Printed(element.get()), "<a >\n\t<b />\n\tt\n\t</a>");
}

TEST(WriterAttribute, EmptyValueOrNameIsLeftOut) {
    EXPECT_EQ(PrintDocument("<gvar note=''/>"), "<gvar />\n");
    EXPECT_EQ(PrintDocument("<gvar note='' index=\"7\"/>"), "<gvar index=\"7\" />\n");
    EXPECT_EQ(PrintDocument("<gvar ='x' index='7'/>"), "<gvar index=\"7\" />\n");
    NodePtr bare(XmlCreateAttribute("index", nullptr));
    EXPECT_EQ(Printed(bare.get()), "");  // never given a value
}

TEST(WriterAttribute, ValuesAreEscapedAndHighBytesKept) {
    EXPECT_EQ(PrintDocument("<g a='say \"hi\"' b=\"it's &lt;&gt;\" c='\xC3\xA9\xFF'/>"),
              "<g a=\"say &quot;hi&quot;\" b=\"it&apos;s &lt;&gt;\" c=\"\xC3\xA9\xFF\" />\n");
}

TEST(WriterEscaping, ReplacesTheFiveSpecialCharactersOnly) {
    EXPECT_EQ(Escape("a<b & 'c'"), "a&lt;b &amp; &apos;c&apos;");
    EXPECT_EQ(Escape("\"x\" > y"), "&quot;x&quot; &gt; y");
    EXPECT_EQ(Escape("<<>>"), "&lt;&lt;&gt;&gt;");
    EXPECT_EQ(Escape("plain text;#x41 %s %d"), "plain text;#x41 %s %d");
    EXPECT_EQ(Escape("\x80\xC3\xA9&\xFF"), "\x80\xC3\xA9&amp;\xFF");
    EXPECT_EQ(Escape(std::string(600, 'q') + "&" + std::string(600, 'r')),
              std::string(600, 'q') + "&amp;" + std::string(600, 'r'));
}

TEST(WriterEscaping, WritesNoMoreThanTheLengthAndStopsAtAZeroByte) {
    const char text[] = "a<bc";
    EXPECT_EQ(Captured([&](FILE* stream) { XmlPrintEscaped(text, 2, stream); }), "a&lt;");
    EXPECT_EQ(Captured([&](FILE* stream) { XmlPrintEscaped(text, 3, stream); }), "a&lt;b");
    const char zero[] = "ab\0<d";
    EXPECT_EQ(Captured([&](FILE* stream) { XmlPrintEscaped(zero, 5, stream); }), "ab");
    EXPECT_EQ(Captured([&](FILE* stream) { XmlPrintEscaped(text, 0, stream); }), "");
    EXPECT_EQ(Captured([&](FILE* stream) { XmlPrintEscaped(text, -1, stream); }), "");
    EXPECT_EQ(Captured([&](FILE* stream) { XmlPrintEscaped(nullptr, 4, stream); }), "");
    XmlPrintEscaped(text, 4, nullptr);  // no stream: nothing happens
}

TEST(WriterText, TextIsEscapedAndHighBytesKept) {
    EXPECT_EQ(PrintDocument("<t>a&lt;b &amp; &apos;c&apos;</t>"),
              "<t >\n\ta&lt;b &amp; &apos;c&apos;\n\t</t>\n");
    EXPECT_EQ(PrintDocument("<t>\xE9t\xE9 \x80</t>"), "<t >\n\t\xE9t\xE9 \x80\n\t</t>\n");
    NodePtr text(XmlCreateText(nullptr));
    EXPECT_EQ(Printed(text.get()), "");
}

TEST(WriterComment, ContentIsEscapedBetweenSpaces) {
    EXPECT_EQ(PrintDocument("<!---->"), "<!--  -->\n");
    EXPECT_EQ(PrintDocument("<!-- a<b & 'c' -->"), "<!--  a&lt;b &amp; &apos;c&apos;  -->\n");
    NodePtr comment(XmlCreateComment(nullptr));
    EXPECT_EQ(Printed(comment.get()), "<!--  -->");
}

TEST(WriterDeclaration, PrintsThePresentValuesAsStored) {
    EXPECT_EQ(PrintDocument("<?xml version='1.0'?>"), "<?xml version=\"1.0\" ?>\n");
    EXPECT_EQ(PrintDocument("<?xml ?>"), "<?xml ?>\n");
    EXPECT_EQ(PrintDocument("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n");
    EXPECT_EQ(PrintDocument("<?xml encoding='a&amp;b' version=''?>"),
              "<?xml encoding=\"a&b\" ?>\n");
    NodePtr declaration(XmlCreateDeclaration(nullptr));
    EXPECT_EQ(Printed(declaration.get()), "<?xml ?>");
}

TEST(WriterUnknown, MarkupIsWrittenVerbatim) {
    EXPECT_EQ(PrintDocument("<!DOCTYPE cfg><cfg/>"), "<!DOCTYPE cfg>\n<cfg />\n");
    EXPECT_EQ(PrintDocument("<![CDATA[a<b & c]]>"), "<![CDATA[a<b & c]]>\n");
    NodePtr unknown(XmlCreateUnknown(nullptr));
    EXPECT_EQ(Printed(unknown.get()), "");
}

TEST(WriterUnknown, PrintedMarkupReadsBackAsTheSameNode) {
    NodePtr document = Parse("<!DOCTYPE cfg>");
    std::string printed = Captured([&](FILE* stream) { XmlPrintDocument(document.get(), stream); });
    NodePtr again = Parse(printed);
    ASSERT_NE(again->firstChild, nullptr);
    EXPECT_EQ(again->firstChild->kind, XmlKindUnknown);
    EXPECT_STREQ(again->firstChild->name, "<!DOCTYPE cfg>");
    EXPECT_EQ(again->firstChild->nextSibling, nullptr);
}

// Round trip over generated documents. Only elements and attributes are
// compared: the writer's layout adds white space to text by design.
class TreeGenerator {
public:
    explicit TreeGenerator(uint32_t seed) : random_(seed) {}

    std::string document() {
        std::string text;
        if (pick(2) == 0) text += "<?xml version='1.0'?>\n";
        int roots = 1 + pick(2);
        for (int i = 0; i < roots; ++i) text += element(0);
        return text;
    }

private:
    int pick(int n) { return static_cast<int>(random_() % static_cast<uint32_t>(n)); }

    std::string name() {
        static const char FIRST[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_";
        static const char REST[] = "abcxyzABC019_-.:\x80\xC3\xA9\xFF";
        std::string text(1, FIRST[pick(sizeof(FIRST) - 1)]);
        int length = pick(8);
        for (int i = 0; i < length; ++i) text += REST[pick(sizeof(REST) - 1)];
        return text;
    }

    // Escaped as the source of a quoted value; never empty, since the writer
    // leaves empty values out.
    std::string value(char quote) {
        static const char BYTES[] = "ab z09 \t\n\r&<>\"'/=;#\x80\xE9\xFF";
        std::string text;
        int length = 1 + pick(12);
        for (int i = 0; i < length; ++i) {
            char c = BYTES[pick(sizeof(BYTES) - 1)];
            if (c == '&') text += "&amp;";
            else if (c == '<') text += "&lt;";
            else if (c == quote) text += quote == '"' ? "&quot;" : "&apos;";
            else text += c;
        }
        return text;
    }

    std::string element(int depth) {
        std::string tag = name();
        std::string text = "<" + tag;
        int attributes = pick(4);
        for (int i = 0; i < attributes; ++i) {
            char quote = pick(2) ? '"' : '\'';
            text += " " + name() + "=" + quote + value(quote) + quote;
        }
        int children = depth < 4 ? pick(4) : 0;
        if (children == 0 && pick(2) == 0) return text + "/>";
        text += ">";
        for (int i = 0; i < children; ++i) {
            switch (pick(4)) {
            case 0: text += "some &lt;text&gt; \xE9"; break;
            case 1: text += "<!-- note -->"; break;
            default: text += element(depth + 1); break;
            }
        }
        return text + "</" + tag + ">";
    }

    std::mt19937 random_;
};

void Outline(XmlNode* node, int depth, std::vector<std::string>& out) {
    for (XmlNode* child = node->firstChild; child; child = child->nextSibling) {
        if (child->kind != XmlKindElement) continue;
        std::string line = std::to_string(depth) + " <" + child->name + ">";
        XmlElementData* data = static_cast<XmlElementData*>(child->data);
        for (XmlNode* attribute = data->firstAttribute; attribute; attribute = attribute->nextSibling) {
            XmlAttributeData* value = static_cast<XmlAttributeData*>(attribute->data);
            line += " [" + std::string(attribute->name) + "]=[" +
                    std::string(value->value, static_cast<size_t>(value->valueLength)) + "]";
        }
        out.push_back(line);
        Outline(child, depth + 1, out);
    }
}

TEST(WriterRoundTrip, ParsingThePrintedDocumentKeepsElementsAndAttributes) {
    TreeGenerator generator(20240601u);
    for (int round = 0; round < 300; ++round) {
        std::string source = generator.document();
        NodePtr document = Parse(source);
        std::vector<std::string> before;
        Outline(document.get(), 0, before);
        ASSERT_FALSE(before.empty()) << source;

        std::string printed = Captured([&](FILE* stream) { XmlPrintDocument(document.get(), stream); });
        NodePtr again = Parse(printed);
        std::vector<std::string> after;
        Outline(again.get(), 0, after);
        ASSERT_EQ(after, before) << "source:\n" << source << "\nprinted:\n" << printed;
    }
}

}  // namespace
