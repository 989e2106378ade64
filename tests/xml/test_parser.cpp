// The parser: node kinds chosen by the factory, elements, attributes, text
// and references, comments, declarations, other markup, every failure
// message, nesting depth and long inputs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "model.h"
#include "parsed_document.h"
#include "parser.h"
#include "text.h"

namespace {

std::string NameOf(const XmlNode* node) { return std::string(node->name, node->nameLength); }

std::string Field(const char* value, int32_t length) {
    return value ? std::string(value, length) : "-";
}

// A compact picture of a subtree: E name[k='v' ...]{children}, T"text",
// C"comment", U"markup", D(version,encoding,standalone).
std::string Dump(const XmlNode* node) {
    std::string out;
    switch (node->kind) {
    case XmlKindElement: {
        out = "E " + NameOf(node);
        const XmlElementData* record = static_cast<const XmlElementData*>(node->data);
        if (record->firstAttribute) {
            out += "[";
            for (const XmlNode* a = record->firstAttribute; a; a = a->nextSibling) {
                const XmlAttributeData* value = static_cast<const XmlAttributeData*>(a->data);
                out += NameOf(a) + "='" + Field(value->value, value->valueLength) + "'";
                if (a->nextSibling) out += " ";
            }
            out += "]";
        }
        break;
    }
    case XmlKindText: out = "T\"" + NameOf(node) + "\""; break;
    case XmlKindComment: out = "C\"" + NameOf(node) + "\""; break;
    case XmlKindUnknown: out = "U\"" + NameOf(node) + "\""; break;
    case XmlKindDeclaration: {
        const XmlDeclarationData* d = static_cast<const XmlDeclarationData*>(node->data);
        out = "D(" + Field(d->version, d->versionLength) + "," +
              Field(d->encoding, d->encodingLength) + "," +
              Field(d->standalone, d->standaloneLength) + ")";
        break;
    }
    default: out = "?"; break;
    }
    if (node->firstChild) {
        out += "{";
        for (const XmlNode* child = node->firstChild; child; child = child->nextSibling) {
            out += Dump(child);
            if (child->nextSibling) out += " ";
        }
        out += "}";
    }
    return out;
}

// The compact picture of the document's top-level nodes.
std::string TreeOf(const ParsedDocument& parsed) {
    std::string out;
    for (const XmlNode* child = parsed.first(); child; child = child->nextSibling) {
        out += Dump(child);
        if (child->nextSibling) out += " ";
    }
    return out;
}

// The tree of a text that must parse.
std::string TreeOf(const std::string& text) {
    ParsedDocument parsed(text);
    EXPECT_TRUE(parsed.ok()) << text << " -> " << parsed.error();
    return TreeOf(parsed);
}

// Parses text as a node of the kind, directly through its handler, and
// returns the message its document holds (it must fail).
std::string FailureOf(int32_t kind, const char* text) {
    XmlNode* document = XmlCreateDocument("test.xml");
    XmlNode* node = nullptr;
    switch (kind) {
    case XmlKindElement: node = XmlCreateElement("", document); break;
    case XmlKindComment: node = XmlCreateComment(document); break;
    case XmlKindAttribute: node = XmlCreateAttribute("", document); break;
    case XmlKindText: node = XmlCreateText(document); break;
    case XmlKindDeclaration: node = XmlCreateDeclaration(document); break;
    case XmlKindUnknown: node = XmlCreateUnknown(document); break;
    default: node = document; break;
    }
    XmlParseOptions options = {};
    EXPECT_EQ(XmlParseNode(node, text, &options), nullptr) << text;
    std::string message = static_cast<XmlDocumentData*>(document->data)->errorText;
    if (node != document) XmlFreeNode(node);
    XmlFreeNode(document);
    return message;
}

// The single text child of the root element of "<a>" + content + "</a>".
std::string TextIn(const std::string& content) {
    ParsedDocument parsed("<a>" + content + "</a>");
    EXPECT_TRUE(parsed.ok()) << parsed.error();
    if (!parsed.ok()) return "<failed>";
    XmlNode* text = XmlGetText(parsed.first());
    return text ? NameOf(text) : "<none>";
}

TEST(Factory, KindFollowsTheLeadingBytes) {
    struct Case {
        const char* text;
        int32_t kind;
    } cases[] = {
        {"<?xml version='1.0'?>", XmlKindDeclaration},
        {"<?xml-stylesheet?>", XmlKindDeclaration},  // matched as a prefix
        {"<!-- c -->", XmlKindComment},
        {"<!DOCTYPE cfg>", XmlKindUnknown},
        {"<![CDATA[x]]>", XmlKindUnknown},
        {"<a>", XmlKindElement},
        {"<_a>", XmlKindElement},
        {"< a>", XmlKindElement},
        {"", XmlKindUnknown},
        {" x", XmlKindText},
        {"word", XmlKindText},
        {"7", XmlKindText},
        {"<1a>", XmlKindUnknown},
        {"</a>", XmlKindUnknown},
        {"<?pi?>", XmlKindUnknown},
        {"<", XmlKindUnknown},
        {">", XmlKindUnknown},
        {"&amp;", XmlKindText},
        {"\x80", XmlKindText},
        {"-", XmlKindText},
    };
    XmlNode* document = XmlCreateDocument("d");
    for (const Case& c : cases) {
        XmlNode* node = XmlCreateNodeAt(document, c.text);
        ASSERT_NE(node, nullptr) << c.text;
        EXPECT_EQ(node->kind, c.kind) << c.text;
        EXPECT_EQ(node->parent, document);
        EXPECT_EQ(document->firstChild, nullptr);  // created, not linked
        XmlFreeNode(node);
    }
    EXPECT_EQ(XmlCreateNodeAt(document, nullptr), nullptr);
    XmlFreeNode(document);
}

TEST(Elements, EmptyElementInThreeForms) {
    EXPECT_EQ(TreeOf("<a/>"), "E a");
    EXPECT_EQ(TreeOf("<a />"), "E a");
    EXPECT_EQ(TreeOf("<a></a>"), "E a");
    EXPECT_EQ(TreeOf("< a></a>"), "E a");
    EXPECT_EQ(TreeOf("<a></ a >"), "E a");
}

TEST(Elements, NamesTakeEveryByteButDelimiters) {
    EXPECT_EQ(TreeOf("<ns:a.b-c></ns:a.b-c>"), "E ns:a.b-c");
    EXPECT_EQ(TreeOf("<a=b\"c'/>"), "E a=b\"c'");
    EXPECT_EQ(TreeOf("<t\xC3\xA9\xFF k='1'></t\xC3\xA9\xFF>"), "E t\xC3\xA9\xFF[k='1']");
    // A name must start with a letter, '_' or white space to make an element.
    EXPECT_EQ(TreeOf("<\xC3\xA9/>"), "U\"<\xC3\xA9/>\"");
    EXPECT_EQ(TreeOf("<_x\t/>"), "E _x");
}

TEST(Elements, NestingAndSiblingsKeepDocumentOrder) {
    ParsedDocument parsed("<r><a/><b><c/></b><a/></r>");
    ASSERT_TRUE(parsed.ok());
    EXPECT_EQ(TreeOf(parsed), "E r{E a E b{E c} E a}");
    XmlNode* b = parsed.first()->firstChild->nextSibling;
    EXPECT_EQ(b->parent, parsed.first());
    EXPECT_EQ(b->document, parsed.document());
    EXPECT_EQ(b->firstChild->parent, b);
}

TEST(Elements, EndTagMustMatchExactly) {
    EXPECT_EQ(FailureOf(XmlKindElement, "<abc></ab>"),
              "end tag not match with open tag while parsing element tag !");
    EXPECT_EQ(FailureOf(XmlKindElement, "<ab></abc>"),
              "end tag not match with open tag while parsing element tag !");
    EXPECT_EQ(FailureOf(XmlKindElement, "<a></>"),
              "end tag not match with open tag while parsing element tag !");
    EXPECT_EQ(FailureOf(XmlKindElement, "<a></A>"),
              "end tag not match with open tag while parsing element tag !");
    // An end-tag name ends at '>' or white space only: the '/' belongs to it.
    EXPECT_EQ(FailureOf(XmlKindElement, "<a></a/>"),
              "end tag not match with open tag while parsing element tag !");
}

TEST(Attributes, QuotingAndOrder) {
    EXPECT_EQ(TreeOf("<a b = 'x' c=\"y\"/>"), "E a[b='x' c='y']");
    EXPECT_EQ(TreeOf("<a q=\"it's\" r='say \"hi\"'/>"), "E a[q='it's' r='say \"hi\"']");
    EXPECT_EQ(TreeOf("<a =\"x\"/>"), "E a[='x']");
    EXPECT_EQ(TreeOf("<a b/\"c>\xFF='x'/>"), "E a[b/\"c>\xFF='x']");  // a name ends at '=' only
    EXPECT_EQ(TreeOf("<a k='1' k='2'></a>"), "E a[k='1' k='2']");
    EXPECT_EQ(TreeOf("<a k='<b>\nc' e=''/>"), "E a[k='<b>\nc' e='']");
    EXPECT_EQ(TreeOf("<a k='&lt;&#65;&quot;'/>"), "E a[k='<A\"']");
}

TEST(Attributes, LinksFormAChainUnderTheElement) {
    ParsedDocument parsed("<a x='1' y='2' z='3'/>");
    ASSERT_TRUE(parsed.ok());
    const XmlElementData* record = static_cast<XmlElementData*>(parsed.first()->data);
    const XmlNode* x = record->firstAttribute;
    const XmlNode* y = x->nextSibling;
    const XmlNode* z = y->nextSibling;
    EXPECT_EQ(x->prevSibling, nullptr);
    EXPECT_EQ(y->prevSibling, x);
    EXPECT_EQ(z->prevSibling, y);
    EXPECT_EQ(z->nextSibling, nullptr);
    EXPECT_EQ(z->parent, parsed.first());
    EXPECT_EQ(parsed.first()->firstChild, nullptr);  // attributes are no children
}

TEST(Attributes, LinkingAppendsAfterTheParsedOnes) {
    ParsedDocument parsed("<a x='1'/>");
    ASSERT_TRUE(parsed.ok());
    XmlNode* a = parsed.first();
    XmlElementData* record = static_cast<XmlElementData*>(a->data);
    XmlNode* y = XmlCreateAttribute("y", nullptr);
    XmlLinkAttribute(a, record, y);
    EXPECT_EQ(record->firstAttribute->nextSibling, y);
    EXPECT_EQ(y->prevSibling, record->firstAttribute);
    EXPECT_EQ(y->nextSibling, nullptr);
    EXPECT_EQ(y->parent, a);
    // With the caller's cursor: walked to the end once, then kept there.
    XmlNode* tail = nullptr;
    XmlNode* z = XmlCreateAttribute("z", nullptr);
    XmlNode* w = XmlCreateAttribute("w", nullptr);
    XmlLinkAttribute(a, record, z, &tail);
    EXPECT_EQ(tail, z);
    XmlLinkAttribute(a, record, w, &tail);
    EXPECT_EQ(tail, w);
    EXPECT_EQ(Dump(a), "E a[x='1' y='-' z='-' w='-']");
    EXPECT_EQ(w->prevSibling, z);
    EXPECT_EQ(z->prevSibling, y);
}

TEST(Attributes, StripSpaceDropsWhiteSpaceInValuesOnly) {
    ParsedDocument parsed("<a k=' 1 2\t3 '> t  x </a>", 1);
    ASSERT_TRUE(parsed.ok());
    EXPECT_EQ(TreeOf(parsed), "E a[k='123']{T\"t  x \"}");
    ParsedDocument kept("<a k=' 1 2 '/>");
    EXPECT_EQ(TreeOf(kept), "E a[k=' 1 2 ']");
}

TEST(Attributes, TextStripFlagIsRestoredAfterText) {
    XmlNode* text = XmlCreateText(nullptr);
    XmlParseOptions options = {};
    options.stripSpace = 1;
    EXPECT_NE(XmlParseText(text, "a b<", &options), nullptr);
    EXPECT_EQ(NameOf(text), "a b");
    EXPECT_EQ(options.stripSpace, 1);
    XmlFreeNode(text);
}

TEST(References, NamedAndNumericReferencesDecode) {
    EXPECT_EQ(TextIn("&lt;&GT;&#65;&#x41;&amp;"), "<>AA&");
    EXPECT_EQ(TextIn("&AMP;&Lt;&QuOt;&apos;&#X42;"), "&<\"'B");
    EXPECT_EQ(TextIn("a & b"), "a & b");
    EXPECT_EQ(TextIn("&amp &ampx"), "&amp &ampx");  // no ";": not an entity
    EXPECT_EQ(TextIn("&#65 x"), "Ax");        // one byte after the number, whatever it is
    EXPECT_EQ(TextIn("&#x0x41;&#-191;"), "AA");  // read as strtol reads numbers
    EXPECT_EQ(TextIn("&# 66;&#+67;"), "BC");
    EXPECT_EQ(TextIn("&#;x&#x;y"), "xy");     // no digits: value 0, ';' consumed
    EXPECT_EQ(TextIn("&#99999999999999999999999;"), "\xFF");  // clamped like strtol
}

TEST(References, ZeroLowByteAddsNothing) {
    EXPECT_EQ(TextIn("a&#0;b&#256;c&#x100;d"), "abcd");
    EXPECT_EQ(TextIn("&#-99999999999999999999999;e"), "e");
    ParsedDocument parsed("<a k='&#0;'/>");
    EXPECT_EQ(TreeOf(parsed), "E a[k='']");
}

TEST(References, ReferenceAtTheEndOfTheTextStaysInside) {
    EXPECT_EQ(TreeOf("&#65"), "T\"A\"");
    EXPECT_EQ(TreeOf("x&#"), "T\"x\"");
    EXPECT_EQ(TreeOf("x&#x"), "T\"x\"");
    EXPECT_EQ(TreeOf("x&"), "T\"x&\"");
    EXPECT_EQ(TreeOf("x&am"), "T\"x&am\"");
    // The byte after the number is taken even when it is the '<' of an end tag.
    EXPECT_EQ(FailureOf(XmlKindElement, "<a>&#65</a>"), "not found '</' while parsing element tag !");
}

TEST(References, FindEntityUsesTableOrderAndFullText) {
    ASSERT_NE(XmlFindEntity("&QUOT;"), nullptr);
    EXPECT_EQ(XmlFindEntity("&QUOT;")->character, '"');
    EXPECT_EQ(XmlFindEntity("&amp"), nullptr);
    EXPECT_EQ(XmlFindEntity("&nbsp;"), nullptr);
    char byte = 0;
    const char* text = "&gt;rest";
    EXPECT_EQ(XmlDecodeReference(text, &byte), text + 4);
    EXPECT_EQ(byte, '>');
}

TEST(Text, LeadingSpaceDroppedTrailingKept) {
    EXPECT_EQ(TextIn("  hello  "), "hello  ");
    EXPECT_EQ(TextIn("\n\tline one\n  line two\n"), "line one\n  line two\n");
    EXPECT_EQ(TextIn("a > b"), "a > b");
    EXPECT_EQ(TreeOf("<a>\n<b/>\n</a>"), "E a{E b}");
}

TEST(Text, PiecesMergeIntoOneTextChildWhereTheFirstStood) {
    ParsedDocument parsed("<a>x<b/>y</a>");
    ASSERT_TRUE(parsed.ok());
    EXPECT_EQ(TreeOf(parsed), "E a{T\"xy\" E b}");
    XmlNode* a = parsed.first();
    EXPECT_EQ(XmlGetText(a), a->firstChild);
    EXPECT_EQ(TreeOf("<a><b/>x<c/>y<!--c-->z</a>"), "E a{E b T\"xyz\" E c C\"c\"}");
    EXPECT_EQ(TreeOf("<a>x<b>y</b>z</a>"), "E a{T\"xz\" E b{T\"y\"}}");
}

TEST(Text, LaterPiecesAreDecodedOntoTheFirst) {
    EXPECT_EQ(TreeOf("<a>x<b/>&lt;y<c/>  z&amp;<!--c--> </a>"), "E a{T\"x<yz&\" E b E c C\"c\"}");
    std::string pieces = "<a>";
    for (int i = 0; i < 3000; ++i) pieces += "&#65;<b/>";
    ParsedDocument merged(pieces + "</a>");
    ASSERT_TRUE(merged.ok());
    XmlNode* text = XmlGetText(merged.first());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(NameOf(text), std::string(3000, 'A'));
    EXPECT_EQ(text->name[text->nameLength], '\0');
}

TEST(Text, TopLevelTextIsKeptWholeAndNotMerged) {
    EXPECT_EQ(TreeOf("just some words"), "T\"just some words\"");
    EXPECT_EQ(TreeOf("x<a/>y"), "T\"x\" E a T\"y\"");
}

TEST(Text, ReadTextAppendsToExistingOutput) {
    char* output = static_cast<char*>(malloc(4));
    memcpy(output, "abc", 4);
    int32_t length = 3;
    const char* text = "de&amp;f'g";
    const char* end = XmlReadText(text, "'", 1, nullptr, &output, &length);
    EXPECT_EQ(end, text + 9);
    EXPECT_EQ(std::string(output, length), "abcde&f");
    EXPECT_EQ(output[length], '\0');
    length = 0;  // an empty output is replaced
    end = XmlReadText(text + 9, "'", 1, nullptr, &output, &length);
    EXPECT_EQ(std::string(output, length), "g");
    EXPECT_EQ(*end, '\0');
    free(output);
}

// Texts around the 512-byte stack buffer, with a reference placed at every
// position near the points where the buffer is emptied.
TEST(Text, LongTextsAroundTheBufferSizeAreStoredExactly) {
    for (size_t size = 507; size <= 513; ++size) {
        std::string plain(size, 'p');
        for (size_t i = 0; i < size; ++i) plain[i] = static_cast<char>('a' + i % 26);
        EXPECT_EQ(TextIn(plain), plain) << size;
        for (size_t at = 500; at <= size; ++at) {
            std::string source = plain.substr(0, at) + "&lt;" + plain.substr(at);
            std::string expected = plain.substr(0, at) + "<" + plain.substr(at);
            EXPECT_EQ(TextIn(source), expected) << size << " " << at;
            std::string attribute = "<a k='" + source + "'/>";
            ParsedDocument parsed(attribute);
            EXPECT_EQ(TreeOf(parsed), "E a[k='" + expected + "']") << size << " " << at;
        }
    }
}

TEST(Text, VeryLongTextWithManyReferences) {
    std::string source;
    std::string expected;
    for (int i = 0; i < 20000; ++i) {
        source += "ab&amp;c&#0;";
        expected += "ab&c";
    }
    EXPECT_EQ(TextIn(source), expected);
}

TEST(Comments, TextBetweenTheMarkersIsKept) {
    EXPECT_EQ(TreeOf("<!-- a -- b -->"), "C\" a -- b \"");
    EXPECT_EQ(TreeOf("<!---->"), "C\"\"");
    EXPECT_EQ(TreeOf("<!--<a>&amp;-->"), "C\"<a>&amp;\"");
    EXPECT_EQ(TreeOf("<a><!--x--></a>"), "E a{C\"x\"}");
}

TEST(Declarations, ValuesAndStandalone) {
    EXPECT_EQ(TreeOf("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>"),
              "D(1.0,UTF-8,no)");
    EXPECT_EQ(TreeOf("<?xml standalone='YES'?>"), "D(-,-,YES)");
    EXPECT_EQ(TreeOf("<?xml standalone=\"\"?>"), "D(-,-,)");
    EXPECT_EQ(TreeOf("<?xml?>"), "D(-,-,-)");
    EXPECT_EQ(TreeOf("<?xml VERSION='1' version='2' other='z' versionx='3' ?>"), "D(3,-,-)");
    EXPECT_EQ(TreeOf("<?xml version='1.0'?><r/><?xml?>"), "D(1.0,-,-) E r D(-,-,-)");
    ParsedDocument parsed("<?xml version='1.0'?>");
    EXPECT_EQ(NameOf(parsed.first()), "?xml");
}

TEST(Declarations, StandaloneMaybeIsRefused) {
    EXPECT_EQ(FailureOf(XmlKindDeclaration, "<?xml standalone=\"maybe\"?>"),
              "declaration's tag attribute 'standalone' has invalid value !");
    EXPECT_EQ(FailureOf(XmlKindDeclaration, "<?xml standalone='yess'?>"),
              "declaration's tag attribute 'standalone' has invalid value !");
}

TEST(Declarations, MissingClosingBracketFails) {
    EXPECT_EQ(FailureOf(XmlKindDeclaration, "<?xml version='1.0'"),
              "can't find closing '>' while parsing declaration tag !");
    EXPECT_EQ(FailureOf(XmlKindDeclaration, "<?xml"),
              "can't find closing '>' while parsing declaration tag !");
    EXPECT_EQ(FailureOf(XmlKindDeclaration, "<?xml version='1.0"),
              "can't find closing '>' while parsing declaration tag !");
}

TEST(Unknown, MarkupIsKeptVerbatimUpToTheFirstBracket) {
    ParsedDocument parsed("<!DOCTYPE cfg>");
    ASSERT_TRUE(parsed.ok());
    EXPECT_EQ(parsed.first()->kind, XmlKindUnknown);
    EXPECT_EQ(NameOf(parsed.first()), "<!DOCTYPE cfg>");
    EXPECT_EQ(parsed.first()->nameLength, 14);
    EXPECT_EQ(TreeOf("<1a>"), "U\"<1a>\"");
    EXPECT_EQ(TreeOf("</x> <?pi a?>"), "U\"</x>\" U\"<?pi a?>\"");
    EXPECT_EQ(TreeOf("<!DOCTYPE r [<!ENTITY e 'v'>]>"),
              "U\"<!DOCTYPE r [<!ENTITY e 'v'>\" T\"]>\"");
    EXPECT_EQ(TreeOf("<a><![CDATA[x]]></a>"), "E a{U\"<![CDATA[x]]>\"}");
}

TEST(TopLevel, SeveralNodesOfAnyKind) {
    EXPECT_EQ(TreeOf("<a/><b/>"), "E a E b");
    EXPECT_EQ(TreeOf("  <?xml version='1'?>\n<!--c-->\n<a/>\n\n"), "D(1,-,-) C\"c\" E a");
    EXPECT_EQ(TreeOf(""), "");
    EXPECT_EQ(TreeOf(" \r\n\t "), "");
}

TEST(TopLevel, ConfigurationLayoutGivesNoTextNodes) {
    const char* text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<save_patcher>\n"
        "    <gvars>\n"
        "        <gvar action=\"add\" index=\"700\" value=\"1\"/>\n"
        "        <gvar action=\"change\" index=\"12\" value=\"-5\" />\n"
        "    </gvars>\n"
        "</save_patcher>\n";
    EXPECT_EQ(TreeOf(text),
              "D(1.0,UTF-8,-) E save_patcher{E gvars{E gvar[action='add' index='700' value='1'] "
              "E gvar[action='change' index='12' value='-5']}}");
}

TEST(TopLevel, FailureKeepsEarlierNodesAndReportsCodeFive) {
    ParsedDocument parsed("<a/><!--ok--><b><c></b>");
    EXPECT_FALSE(parsed.ok());
    EXPECT_EQ(parsed.error(), "can't parse node data !");
    EXPECT_EQ(parsed.code(), -5);
    EXPECT_EQ(TreeOf(parsed), "E a C\"ok\"");
}

TEST(TopLevel, NullTextIsReportedWithCodeFour) {
    XmlNode* document = XmlCreateDocument("d");
    EXPECT_EQ(XmlParseChildren(document, nullptr, nullptr), nullptr);
    const XmlDocumentData* record = static_cast<XmlDocumentData*>(document->data);
    EXPECT_STREQ(record->errorText, "NULL pointer data !");
    EXPECT_EQ(record->errorCode, -4);
    XmlFreeNode(document);
}

// Every message of an inner function, seen by parsing that kind directly;
// through a document each of these ends as "can't parse node data !".
TEST(Failures, ElementMessages) {
    EXPECT_EQ(FailureOf(XmlKindElement, "  x"), "unexpected character while parsing element tag !");
    EXPECT_EQ(FailureOf(XmlKindElement, "<a/x>"), "can't read tag name while parsing element tag !");
    EXPECT_EQ(FailureOf(XmlKindElement, "<"), "can't read tag name while parsing element tag !");
    EXPECT_EQ(FailureOf(XmlKindElement, "<>"), "can't read tag name while parsing element tag !");
    EXPECT_EQ(FailureOf(XmlKindElement, "<a b>"),
              "can't read attributes while parsing element tag !");
    EXPECT_EQ(FailureOf(XmlKindElement, "<a b=\"1\"/x>"),
              "can't read attributes while parsing element tag !");
    EXPECT_EQ(FailureOf(XmlKindElement, "<a ><!-- x</a>"), "error while parsing element tag !");
    EXPECT_EQ(FailureOf(XmlKindElement, "<a>"), "not found '</' while parsing element tag !");
    EXPECT_EQ(FailureOf(XmlKindElement, "<a>text"), "not found '</' while parsing element tag !");
    EXPECT_EQ(FailureOf(XmlKindElement, "<a"), "not found '</' while parsing element tag !");
    EXPECT_EQ(FailureOf(XmlKindElement, "<a k='unterminated/>"),
              "not found '</' while parsing element tag !");
    EXPECT_EQ(FailureOf(XmlKindElement, "<a></a"), "not found closing '>' while parsing element tag !");
    EXPECT_EQ(FailureOf(XmlKindElement, "<a></"), "not found closing '>' while parsing element tag !");
    EXPECT_EQ(FailureOf(XmlKindElement, "<a></a x>"),
              "not found closing '>' while parsing element tag !");
    // White space at the end inside an open element reaches the factory.
    EXPECT_EQ(FailureOf(XmlKindElement, "<a>  "), "error while parsing element tag !");
}

TEST(Failures, ElementStepMessages) {
    XmlNode* document = XmlCreateDocument("d");
    XmlNode* element = XmlCreateElement("", document);
    const XmlDocumentData* record = static_cast<XmlDocumentData*>(document->data);
    bool empty = true;
    EXPECT_EQ(XmlReadAttributes(" b='1'/x>", element, nullptr, &empty), nullptr);
    EXPECT_STREQ(record->errorText, "find incorrect symbol after '/' while parsing element tag !");
    EXPECT_EQ(XmlReadAttributes(" b='1' ", element, nullptr, &empty), nullptr);
    EXPECT_STREQ(record->errorText, "error while parsing element tag !");
    EXPECT_EQ(XmlReadAttributes(" b>", element, nullptr, &empty), nullptr);
    EXPECT_STREQ(record->errorText, "error while parsing element tag !");
    EXPECT_EQ(XmlReadContent("<!-- x", element, nullptr), nullptr);
    EXPECT_STREQ(record->errorText, "can't read inner data while parsing element !");
    EXPECT_EQ(XmlReadContent(">", element, nullptr), nullptr);
    EXPECT_STREQ(record->errorText, "can't read inner data while parsing element !");

    const char* text = " k='v'/>rest";
    EXPECT_EQ(XmlReadAttributes(text, element, nullptr, &empty), text + 8);
    EXPECT_TRUE(empty);
    text = "a b='1'>";
    EXPECT_EQ(XmlReadTagName(text, element, &empty), text + 1);
    EXPECT_FALSE(empty);
    EXPECT_EQ(NameOf(element), "a");
    EXPECT_EQ(XmlReadTagName(" /", element, &empty), nullptr);
    XmlFreeNode(element);
    XmlFreeNode(document);
}

TEST(Failures, AttributeMessages) {
    EXPECT_EQ(FailureOf(XmlKindAttribute, nullptr), "error while parsing attribute !");
    EXPECT_EQ(FailureOf(XmlKindAttribute, "b>"),
              "unexpected symbol( expect '=' ) while parsing attribute !");
    EXPECT_EQ(FailureOf(XmlKindAttribute, "b"),
              "unexpected symbol( expect '=' ) while parsing attribute !");
    EXPECT_EQ(FailureOf(XmlKindAttribute, "b=x>"),
              "unexpected symbol( expect opening quote ) while parsing attribute !");
    EXPECT_EQ(FailureOf(XmlKindAttribute, "b = "),
              "unexpected symbol( expect opening quote ) while parsing attribute !");
}

TEST(Failures, TextCommentUnknownMessages) {
    EXPECT_EQ(FailureOf(XmlKindText, ""), "error while parsing text!");
    EXPECT_EQ(FailureOf(XmlKindText, "<a"), "error while parsing text!");
    EXPECT_EQ(FailureOf(XmlKindText, ">"), "error while parsing text!");
    EXPECT_EQ(FailureOf(XmlKindComment, " <!-- x -->"),
              "incorrect open tag while parsing comment element !");
    EXPECT_EQ(FailureOf(XmlKindComment, "<!- x -->"),
              "incorrect open tag while parsing comment element !");
    EXPECT_EQ(FailureOf(XmlKindComment, "<!-- x"),
              "can't find closing '-->' while parsing comment element !");
    EXPECT_EQ(FailureOf(XmlKindComment, "<!-->"),
              "can't find closing '-->' while parsing comment element !");
    EXPECT_EQ(FailureOf(XmlKindUnknown, ">"), "unexpected character while parsing unknown tag !");
    EXPECT_EQ(FailureOf(XmlKindUnknown, ""), "unexpected character while parsing unknown tag !");
    EXPECT_EQ(FailureOf(XmlKindUnknown, "<!DOCTYPE x"),
              "can't find closing '>' while parsing unknown tag !");
}

TEST(Failures, DeclarationMessages) {
    EXPECT_EQ(FailureOf(XmlKindDeclaration, "x"),
              "unexpected character while parsing declaration tag !");
    EXPECT_EQ(FailureOf(XmlKindDeclaration, "<?XML?>"),
              "incorrect tag while parsing declaration tag !");
    EXPECT_EQ(FailureOf(XmlKindDeclaration, "<?xm"), "incorrect tag while parsing declaration tag !");
    EXPECT_EQ(FailureOf(XmlKindDeclaration, "<?xml version=1.0?>"),
              "can't parse attribute while parsing declaration tag !");
    EXPECT_EQ(FailureOf(XmlKindDeclaration, "<?xml encoding?>"),
              "can't parse attribute while parsing declaration tag !");

    XmlNode* document = XmlCreateDocument("d");
    XmlNode* declaration = XmlCreateDeclaration(document);
    free(declaration->data);  // as if its record could not be allocated
    declaration->data = nullptr;
    EXPECT_EQ(XmlParseDeclaration(declaration, "<?xml?>", nullptr), nullptr);
    EXPECT_STREQ(static_cast<XmlDocumentData*>(document->data)->errorText,
                 "NULL declaraton object");
    XmlFreeNode(declaration);
    XmlFreeNode(document);
}

TEST(Failures, EveryInnerFailureEndsAsCodeFiveInADocument) {
    for (const char* text : {"<a/x>", "<a b>", "<a></b>", "<!-- x", "<?xml standalone='maybe'?>",
                             "<?xml", "<!DOCTYPE", ">", "<a><b></a>", "</", "<a>\n"}) {
        ParsedDocument parsed(text);
        EXPECT_FALSE(parsed.ok()) << text;
        EXPECT_EQ(parsed.error(), "can't parse node data !") << text;
        EXPECT_EQ(parsed.code(), -5) << text;
        EXPECT_EQ(parsed.first(), nullptr) << text;
    }
}

std::string Nested(int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<e>";
    for (int i = 0; i < depth; ++i) text += "</e>";
    return text;
}

TEST(Depth, ThousandsOfLevelsUpToTheLimitParse) {
    ParsedDocument thousand(Nested(1000));
    EXPECT_TRUE(thousand.ok());
    ParsedDocument limit(Nested(XmlMaxElementDepth));
    ASSERT_TRUE(limit.ok()) << limit.error();
    int levels = 0;
    for (XmlNode* node = limit.first(); node; node = node->firstChild) ++levels;
    EXPECT_EQ(levels, XmlMaxElementDepth);
}

TEST(Depth, OneLevelBeyondTheLimitFails) {
    ParsedDocument parsed(Nested(XmlMaxElementDepth + 1));
    EXPECT_FALSE(parsed.ok());
    EXPECT_EQ(parsed.error(), "can't parse node data !");
    EXPECT_EQ(parsed.code(), -5);
    EXPECT_EQ(parsed.first(), nullptr);

    // The element that goes too deep reports it itself.
    XmlNode* document = XmlCreateDocument("d");
    XmlNode* parent = document;
    for (int i = 0; i < XmlMaxElementDepth; ++i) {
        XmlNode* child = XmlCreateElement("e", parent);
        XmlAppendChild(parent, child);
        parent = child;
    }
    XmlNode* deepest = XmlCreateElement("", parent);
    EXPECT_EQ(XmlParseElement(deepest, "<x/>", nullptr), nullptr);
    EXPECT_STREQ(static_cast<XmlDocumentData*>(document->data)->errorText,
                 "element nesting too deep while parsing element tag !");
    XmlFreeNode(deepest);
    XmlFreeNode(document);
}

TEST(Depth, AMillionOpenTagsFailWithoutExhaustingTheStack) {
    std::string text;
    for (int i = 0; i < 1000000; ++i) text += "<e>";
    ParsedDocument parsed(text);
    EXPECT_FALSE(parsed.ok());
    EXPECT_EQ(parsed.error(), "can't parse node data !");
}

TEST(LongInputs, ManyAttributesAndManyTextPieces) {
    std::string attributes = "<a";
    for (int i = 0; i < 100000; ++i) attributes += " k" + std::to_string(i) + "='" + std::to_string(i) + "'";
    attributes += "/>";
    ParsedDocument wide(attributes);
    ASSERT_TRUE(wide.ok());
    int count = 0;
    const XmlNode* last = nullptr;
    for (const XmlNode* a = static_cast<XmlElementData*>(wide.first()->data)->firstAttribute; a;
         a = a->nextSibling) {
        last = a;
        ++count;
    }
    EXPECT_EQ(count, 100000);
    EXPECT_EQ(NameOf(last), "k99999");

    std::string pieces = "<a>";
    std::string expected;
    for (int i = 0; i < 100000; ++i) {
        pieces += "t<b/>";
        expected += "t";
    }
    pieces += "</a>";
    ParsedDocument merged(pieces);
    ASSERT_TRUE(merged.ok());
    XmlNode* text = XmlGetText(merged.first());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(NameOf(text), expected);
    EXPECT_EQ(merged.first()->firstChild, text);
}

TEST(LongInputs, BinaryJunkEndsInATreeOrAMessage) {
    std::string junk;
    unsigned state = 12345;
    for (int round = 0; round < 200; ++round) {
        junk.clear();
        for (int i = 0; i < 300; ++i) {
            state = state * 1103515245u + 12345u;
            char c = static_cast<char>((state >> 16) & 0xFF);
            if (c == '\0') c = '<';
            junk += c;
        }
        ParsedDocument parsed(junk);
        if (!parsed.ok()) {
            EXPECT_EQ(parsed.error(), "can't parse node data !");
        }
    }
}

}  // namespace
