// parsed_document.h - a document parsed from a text for tests, freed with
// its whole tree when it goes out of scope.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

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
