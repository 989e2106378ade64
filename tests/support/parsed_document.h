// parsed_document.h - a document parsed from a text for tests, freed with
// its whole tree when it goes out of scope.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "model.h"

struct NodeDeleter {
    void operator()(XmlNode* node) const { XmlFreeNode(node); }
};
using NodePtr = std::unique_ptr<XmlNode, NodeDeleter>;

// Parses text as a whole document; a parse failure fails the calling test.
inline NodePtr Parse(const std::string& text) {
    NodePtr document(XmlCreateDocument("t.xml"));
    XmlParseOptions options{};
    EXPECT_NE(XmlParseNode(document.get(), text.c_str(), &options), nullptr) << text;
    return document;
}
