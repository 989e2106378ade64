// parsed_document.h - a document parsed from a text for tests, freed with
// its whole tree when it goes out of scope, and the text printing gives.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "files.h"
#include "model.h"

struct NodeDeleter {
    void operator()(XmlNode* node) const { XmlFreeNode(node); }
};
using NodePtr = std::unique_ptr<XmlNode, NodeDeleter>;

// A text parsed as a whole document, as the loader parses a configuration.
// After a failure the document keeps what the parser left in it.
class ParsedDocument {
public:
    explicit ParsedDocument(const std::string& text, int32_t stripSpace = 0)
        : document_(XmlCreateDocument("t.xml")) {
        XmlParseOptions options{};
        options.stripSpace = stripSpace;
        ok_ = XmlParseNode(document_.get(), text.c_str(), &options) == text.c_str() + text.size();
    }

    // Whether the parse succeeded and took the whole text.
    bool ok() const { return ok_; }
    XmlNode* document() const { return document_.get(); }
    XmlNode* first() const { return document_->firstChild; }
    std::string error() const { return record()->errorText ? record()->errorText : ""; }
    int32_t code() const { return record()->errorCode; }
    NodePtr release() { return std::move(document_); }

private:
    const XmlDocumentData* record() const {
        return static_cast<const XmlDocumentData*>(document_->data);
    }

    NodePtr document_;
    bool ok_ = false;
};

// Parses text as a whole document; a parse failure fails the calling test.
inline NodePtr Parse(const std::string& text) {
    ParsedDocument parsed(text);
    EXPECT_TRUE(parsed.ok()) << text.substr(0, 200) << " -> " << parsed.error();
    return parsed.release();
}

// The bytes the printer writes to the stream it is given.
template <typename Printer>
std::string Captured(Printer print) {
#ifdef _WIN32
    // No memory streams on Windows: a binary file gives the bytes back as
    // printed.
    TempDir dir;
    FILE* stream = fopen((dir / "printed").string().c_str(), "w+b");
    if (!stream) return "<no stream>";
    print(stream);
    fclose(stream);
    return ReadFileBytes(dir / "printed");
#else
    char* buffer = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&buffer, &size);
    if (!stream) return "<no stream>";
    print(stream);
    fclose(stream);
    std::string text(buffer, size);
    free(buffer);
    return text;
#endif
}

// What XmlPrintNode prints of the node.
inline std::string Printed(XmlNode* node) {
    return Captured([&](FILE* stream) { XmlPrintNode(node, stream); });
}
