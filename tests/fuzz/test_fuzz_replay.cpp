// Every input of fuzz/regressions/<harness>/ (what earlier faults were
// found or fixed with) and every seed goes through the harness's own
// check: all properties must hold.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "checks.h"
#include "files.h"
#include "model.h"

// Test names and messages show the harness by name.
void PrintTo(const FuzzHarness& harness, std::ostream* out) { *out << harness.name; }

namespace {

namespace fs = std::filesystem;

std::string Check(const FuzzHarness& harness, const std::string& input) {
    return harness.check(reinterpret_cast<const uint8_t*>(input.data()), input.size());
}

class FuzzReplay : public ::testing::TestWithParam<FuzzHarness> {};

// The committed regression inputs, then the seeds. Every harness has
// regression inputs: a folder gone missing must not pass as checked.
TEST_P(FuzzReplay, RegressionInputsAndSeeds) {
    const fs::path folder = fs::path(GVTOOL_REGRESSIONS) / GetParam().name;
    size_t inputs = 0;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        if (!entry.is_regular_file()) continue;
        EXPECT_EQ(Check(GetParam(), ReadFileBytes(entry.path())), "") << entry.path();
        ++inputs;
    }
    EXPECT_GE(inputs, 2u) << folder;
    const std::vector<std::string> seeds = FuzzSeeds(GetParam().name);
    ASSERT_GE(seeds.size(), 8u);
    for (size_t i = 0; i < seeds.size(); ++i) {
        EXPECT_EQ(Check(GetParam(), seeds[i]), "") << "seed " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Harness, FuzzReplay, ::testing::ValuesIn(FUZZ_HARNESSES),
                         [](const ::testing::TestParamInfo<FuzzHarness>& param_info) {
                             return std::string(param_info.param.name);
                         });

// The checks must notice what they are there to notice.
TEST(FuzzChecks, ABrokenTreeIsReported) {
    XmlNode* document = XmlCreateDocument("t.xml");
    XmlNode* element = XmlCreateElement("a", document);
    XmlAppendChild(document, element);
    EXPECT_EQ(CheckXmlTree(document, 10), "");
    element->nameLength = 2;
    EXPECT_EQ(CheckXmlTree(document, 10), "nameLength differs from the name (kind 2, name \"a\")");
    element->nameLength = 1;
    element->prevSibling = element;
    EXPECT_EQ(CheckXmlTree(document, 10), "child's previous link is wrong (kind 2, name \"a\")");
    element->prevSibling = nullptr;
    document->lastChild = nullptr;
    EXPECT_EQ(CheckXmlTree(document, 10), "only one of first/last child set (kind 1, name \"t.xml\")");
    document->lastChild = element;
    XmlFreeNode(document);
}

}  // namespace
