// Loading a configuration file: the error slot's codes and messages, line
// ends, zero bytes inside lines, and what a failed load leaves behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "files.h"
#include "loader.h"
#include "model.h"

namespace {

std::string NameOf(const XmlNode* node) { return std::string(node->name, node->nameLength); }

// Elements with their attributes and text, one per line, indented by depth.
void Outline(const XmlNode* node, int depth, std::string& out) {
    for (const XmlNode* child = node->firstChild; child; child = child->nextSibling) {
        out += std::string(depth * 2, ' ');
        if (child->kind == XmlKindElement) {
            out += NameOf(child);
            const XmlElementData* record = static_cast<const XmlElementData*>(child->data);
            for (const XmlNode* a = record->firstAttribute; a; a = a->nextSibling) {
                const XmlAttributeData* value = static_cast<const XmlAttributeData*>(a->data);
                out += " " + NameOf(a) + "=" + std::string(value->value, value->valueLength);
            }
        } else {
            out += std::to_string(child->kind) + ":" + NameOf(child);
        }
        out += "\n";
        Outline(child, depth + 1, out);
    }
}

// A document for a file, loaded once, freed at the end.
class Loaded {
public:
    explicit Loaded(const std::string& fileName) : document_(XmlCreateDocument(fileName.c_str())) {
        result_ = XmlLoadFile(document_);
    }
    ~Loaded() { XmlFreeNode(document_); }
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;

    int32_t result() const { return result_; }
    XmlNode* document() const { return document_; }
    std::string error() const { return record()->errorText; }
    int32_t code() const { return record()->errorCode; }
    std::string outline() const {
        std::string out;
        Outline(document_, 0, out);
        return out;
    }

private:
    const XmlDocumentData* record() const {
        return static_cast<const XmlDocumentData*>(document_->data);
    }
    XmlNode* document_;
    int32_t result_ = 0;
};

const char kConfigLines[][64] = {
    "<?xml version=\"1.0\"?>",
    "<save_patcher>",
    "  <gvars>",
    "    <gvar action=\"add\" index=\"700\" value=\"1\"/>",
    "    <gvar action=\"change\" index=\"3\" value=\"-2\"/>",
    "    <note>two",
    "lines</note>",
    "  </gvars>",
    "</save_patcher>",
};

std::string Config(const std::string& lineEnd, bool finalLineEnd) {
    std::string text;
    for (const char* line : kConfigLines) text += std::string(line) + lineEnd;
    if (!finalLineEnd) text.resize(text.size() - lineEnd.size());
    return text;
}

const char kConfigOutline[] =
    "6:?xml\n"
    "save_patcher\n"
    "  gvars\n"
    "    gvar action=add index=700 value=1\n"
    "    gvar action=change index=3 value=-2\n"
    "    note\n"
    "      5:two\nlines\n";

TEST(LoadErrors, EmptyFileNameIsRefusedWithCodeEight) {
    Loaded loaded("");
    EXPECT_EQ(loaded.result(), -1);
    EXPECT_EQ(loaded.code(), -8);
    EXPECT_EQ(loaded.error(), "empty file name !");
}

TEST(LoadErrors, MissingFileCannotBeOpened) {
    TempDir dir;
    Loaded loaded((dir / "missing.xml").string());
    EXPECT_EQ(loaded.result(), -1);
    EXPECT_EQ(loaded.code(), -1);
    EXPECT_EQ(loaded.error(), "can't open file !");
}

TEST(LoadErrors, FolderCannotBeOpened) {
    TempDir dir;
    std::filesystem::create_directory(dir / "config.xml");
    Loaded loaded((dir / "config.xml").string());
    EXPECT_EQ(loaded.result(), -1);
    EXPECT_EQ(loaded.code(), -1);
    EXPECT_EQ(loaded.error(), "can't open file !");
}

TEST(LoadErrors, EmptyFileHasZeroLength) {
    TempDir dir;
    WriteFileBytes(dir / "empty.xml", "");
    Loaded loaded((dir / "empty.xml").string());
    EXPECT_EQ(loaded.result(), -1);
    EXPECT_EQ(loaded.code(), -2);
    EXPECT_EQ(loaded.error(), "zero file length !");
}

TEST(LoadErrors, MalformedFileKeepsTheNodesBeforeTheFault) {
    TempDir dir;
    WriteFileBytes(dir / "bad.xml", "<?xml version=\"1.0\"?>\n<a/>\n<b><c></b>\n<d/>\n");
    Loaded loaded((dir / "bad.xml").string());
    EXPECT_EQ(loaded.result(), -1);
    EXPECT_EQ(loaded.code(), -5);
    EXPECT_EQ(loaded.error(), "can't parse node data !");
    EXPECT_EQ(loaded.outline(), "6:?xml\na\n");
}

TEST(LoadErrors, NoDocumentGivesMinusOne) { EXPECT_EQ(XmlLoadFile(nullptr), -1); }

TEST(Loading, SuccessLeavesAClearErrorSlot) {
    TempDir dir;
    WriteFileBytes(dir / "cfg.xml", Config("\n", true));
    Loaded loaded((dir / "cfg.xml").string());
    EXPECT_EQ(loaded.result(), 0);
    EXPECT_EQ(loaded.code(), 0);
    EXPECT_EQ(loaded.error(), "");
    EXPECT_EQ(loaded.outline(), kConfigOutline);
}

TEST(Loading, OnlyWhiteSpaceGivesNoChildren) {
    TempDir dir;
    WriteFileBytes(dir / "blank.xml", " \n\t\r\n  ");
    Loaded loaded((dir / "blank.xml").string());
    EXPECT_EQ(loaded.result(), 0);
    EXPECT_EQ(loaded.document()->firstChild, nullptr);
}

TEST(Loading, LineEndStylesGiveTheSameTree) {
    TempDir dir;
    int index = 0;
    for (const char* lineEnd : {"\n", "\r\n"}) {
        for (bool finalLineEnd : {true, false}) {
            std::string name = "cfg" + std::to_string(index++) + ".xml";
            WriteFileBytes(dir / name, Config(lineEnd, finalLineEnd));
            Loaded loaded((dir / name).string());
            EXPECT_EQ(loaded.result(), 0) << name;
            EXPECT_EQ(loaded.outline(), kConfigOutline) << name;
        }
    }
}

// Only a carriage return right before the line feed is dropped, and only
// once: the same text on every platform.
TEST(Loading, CarriageReturnsBeforeTheLineFeedLoseOnlyOne) {
    TempDir dir;
    WriteFileBytes(dir / "cr.xml", "<a k='1'>x\r\r\ny\rz\r\n</a>\r\r\n");
    Loaded loaded((dir / "cr.xml").string());
    EXPECT_EQ(loaded.result(), 0) << loaded.error();
    EXPECT_EQ(loaded.outline(), "a k=1\n  5:x\r\ny\rz\n\n");
}

// Measured with a 64-bit length on every platform, so both refuse these the
// same way: a 32-bit length cannot hold them.
TEST(LoadErrors, TwoGibibytesOrMoreAreRefusedAsTooLarge) {
    TempDir dir;
    for (uint64_t size : {uint64_t{0x7FFFFFFF}, uint64_t{0x80000000}, uint64_t{0x100000010}}) {
        WriteFileBytes(dir / "huge.xml", "<a/>");
        std::filesystem::resize_file(dir / "huge.xml", size);  // sparse
        Loaded loaded((dir / "huge.xml").string());
        EXPECT_EQ(loaded.result(), -1) << size;
        EXPECT_EQ(loaded.code(), -2) << size;
        EXPECT_EQ(loaded.error(), "memory allocation failed !") << size;
    }
}

TEST(Loading, ZeroByteEndsTheTextOfItsLine) {
    TempDir dir;
    std::string text = "<a k='1'/>";
    text += '\0';
    text += "<lost/>\n<b/>\n<c/>";
    text += '\0';
    WriteFileBytes(dir / "zero.xml", text);
    Loaded loaded((dir / "zero.xml").string());
    EXPECT_EQ(loaded.result(), 0) << loaded.error();
    EXPECT_EQ(loaded.outline(), "a k=1\nb\nc\n");
}

TEST(Loading, SecondLoadResetsTheSlotAndAppends) {
    TempDir dir;
    WriteFileBytes(dir / "bad.xml", "<a/><b>");
    XmlNode* document = XmlCreateDocument((dir / "bad.xml").string().c_str());
    EXPECT_EQ(XmlLoadFile(document), -1);
    WriteFileBytes(dir / "bad.xml", "<c/>");
    EXPECT_EQ(XmlLoadFile(document), 0);
    const XmlDocumentData* record = static_cast<const XmlDocumentData*>(document->data);
    EXPECT_STREQ(record->errorText, "");
    EXPECT_EQ(record->errorCode, 0);
    ASSERT_NE(document->firstChild, nullptr);
    EXPECT_EQ(NameOf(document->firstChild), "a");
    EXPECT_EQ(NameOf(document->lastChild), "c");
    XmlFreeNode(document);
}

}  // namespace
