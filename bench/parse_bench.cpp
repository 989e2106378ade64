// parse_bench.cpp - our parser and the packaged peers building a tree from
// the very same bytes, with the peak heap of one parse beside the speed, and
// the floor our model allows: only the allocations its ownership rules
// require for that tree.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "heap_counter.h"
#include "inputs.h"
#include "model.h"

#ifdef GVBENCH_HAVE_PUGIXML
#include <pugixml.hpp>
#endif
#ifdef GVBENCH_HAVE_TINYXML2
#include <tinyxml2.h>
#endif
#ifdef GVBENCH_HAVE_LIBXML2
#include <libxml/parser.h>
#endif
#ifdef GVBENCH_HAVE_EXPAT
#include <expat.h>
#endif

namespace {

struct ParseInput {
    const char* name;
    std::string text;
    uint32_t gvar_lines = 0;
};

// Each parses the text into its own tree and frees it; false on failure.
bool ParseGvtool(const std::string& text) {
    XmlNode* document = XmlCreateDocument("bench.xml");
    XmlParseOptions options;
    memset(&options, 0, sizeof(options));
    bool parsed = XmlParseNode(document, text.c_str(), &options) != nullptr;
    XmlFreeNode(document);
    return parsed;
}

#ifdef GVBENCH_HAVE_PUGIXML
bool ParsePugixml(const std::string& text) {
    pugi::xml_document document;
    // Comments and the declaration are kept, as our tree keeps them.
    unsigned options = pugi::parse_default | pugi::parse_declaration | pugi::parse_comments |
                       pugi::parse_doctype;
    return document.load_buffer(text.data(), text.size(), options);
}
#endif

#ifdef GVBENCH_HAVE_TINYXML2
bool ParseTinyxml2(const std::string& text) {
    tinyxml2::XMLDocument document;
    return document.Parse(text.data(), text.size()) == tinyxml2::XML_SUCCESS;
}
#endif

#ifdef GVBENCH_HAVE_LIBXML2
bool ParseLibxml2(const std::string& text) {
    xmlDocPtr document = xmlReadMemory(text.data(), static_cast<int>(text.size()), "bench.xml",
                                       nullptr, XML_PARSE_NONET);
    if (!document) return false;
    xmlFreeDoc(document);
    return true;
}
#endif

#ifdef GVBENCH_HAVE_EXPAT
bool ParseExpat(const std::string& text) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    bool parsed = XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return parsed;
}
#endif

struct Parser {
    const char* name;
    bool (*parse)(const std::string& text);
};

const Parser PARSERS[] = {
    {"gvtool", ParseGvtool},
#ifdef GVBENCH_HAVE_PUGIXML
    {"pugixml", ParsePugixml},
#endif
#ifdef GVBENCH_HAVE_TINYXML2
    {"tinyxml2", ParseTinyxml2},
#endif
#ifdef GVBENCH_HAVE_LIBXML2
    {"libxml2", ParseLibxml2},
#endif
#ifdef GVBENCH_HAVE_EXPAT
    {"expat", ParseExpat},
#endif
};

// Made on first use, so a filtered run does not pay for the 100 MB input.
const ParseInput& Input(size_t which) {
    static std::vector<ParseInput> inputs(5);
    ParseInput& input = inputs[which];
    if (input.text.empty()) {
        ConfigShape shape;
        switch (which) {
        case 0: input.name = "config-1KB"; shape.target_bytes = 1000; break;
        case 1: input.name = "config-1MB"; shape.target_bytes = 1000 * 1000; break;
        case 2: input.name = "config-10MB"; shape.target_bytes = 10 * 1000 * 1000; break;
        case 3: input.name = "config-100MB"; shape.target_bytes = 100 * 1000 * 1000; break;
        default:
            input.name = "document";
            input.text = MakeDocumentText(4 * 1000 * 1000, 80, 7);
            return input;
        }
        shape.seed = 1000 + which;
        ConfigFacts facts;
        input.text = MakeConfigText(shape, &facts);
        input.gvar_lines = facts.gvar_count;
    }
    return input;
}

void BM_Parse(benchmark::State& state, const Parser* parser, size_t which) {
    const ParseInput& input = Input(which);
    if (!parser->parse(input.text)) {
        state.SkipWithError("the parser rejected the input");
        return;
    }
    for (auto _ : state) {
        bool parsed = parser->parse(input.text);
        benchmark::DoNotOptimize(parsed);
    }
    double size = static_cast<double>(input.text.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(input.text.size()));
    state.counters["input_bytes"] = size;
    state.counters["gvar_lines"] = input.gvar_lines;
    if (HeapCountWorks()) {
        HeapCountStart();
        parser->parse(input.text);
        state.counters["heap_per_MiB"] = static_cast<double>(HeapCountStop()) / size;
        state.counters["allocator_calls"] = static_cast<double>(HeapCountCalls());
    }
}

// A block of the floor; zeroed ones (nodes, records) come from calloc, as
// the model's do.
struct FloorBlock {
    size_t size;
    bool zeroed;
};

// The blocks a tree of our model must have, whoever builds it: every node,
// its name and its kind record apart, and every string of a record, in the
// order the parser makes them.
void CollectBlocks(const XmlNode* node, std::vector<FloorBlock>& sizes) {
    auto text = [&sizes](const char* bytes, int32_t length) {
        if (bytes) sizes.push_back({static_cast<size_t>(length) + 1, false});
    };
    sizes.push_back({sizeof(XmlNode), true});
    text(node->name, node->nameLength);
    if (node->data) {
        switch (node->kind) {
        case XmlKindDocument: sizes.push_back({sizeof(XmlDocumentData), true}); break;
        case XmlKindElement: sizes.push_back({sizeof(XmlElementData), true}); break;
        case XmlKindAttribute: {
            auto* record = static_cast<const XmlAttributeData*>(node->data);
            sizes.push_back({sizeof(XmlAttributeData), true});
            text(record->value, record->valueLength);
            break;
        }
        case XmlKindDeclaration: {
            auto* record = static_cast<const XmlDeclarationData*>(node->data);
            sizes.push_back({sizeof(XmlDeclarationData), true});
            text(record->version, record->versionLength);
            text(record->encoding, record->encodingLength);
            text(record->standalone, record->standaloneLength);
            break;
        }
        default: break;
        }
    }
    if (node->kind == XmlKindElement && node->data) {
        auto* record = static_cast<const XmlElementData*>(node->data);
        for (const XmlNode* attribute = record->firstAttribute; attribute;
             attribute = attribute->nextSibling)
            CollectBlocks(attribute, sizes);
    }
    for (const XmlNode* child = node->firstChild; child; child = child->nextSibling)
        CollectBlocks(child, sizes);
}

// The allocator's part of a parse and free at the floor: the tree's blocks
// allocated in order and freed last first, with nothing read or written.
void AllocateFloor(const std::vector<FloorBlock>& sizes, std::vector<void*>& blocks) {
    for (size_t i = 0; i < sizes.size(); ++i) {
        blocks[i] = sizes[i].zeroed ? calloc(1, sizes[i].size) : malloc(sizes[i].size);
        benchmark::DoNotOptimize(blocks[i]);
    }
    for (size_t i = sizes.size(); i-- > 0;) free(blocks[i]);
}

void BM_Floor(benchmark::State& state, size_t which) {
    const ParseInput& input = Input(which);
    static std::vector<FloorBlock> sizes_by_input[5];
    std::vector<FloorBlock>& sizes = sizes_by_input[which];
    if (sizes.empty()) {
        XmlNode* document = XmlCreateDocument("bench.xml");
        XmlParseOptions options;
        memset(&options, 0, sizeof(options));
        if (XmlParseNode(document, input.text.c_str(), &options)) CollectBlocks(document, sizes);
        XmlFreeNode(document);
    }
    if (sizes.empty()) {
        state.SkipWithError("the parser rejected the input");
        return;
    }
    std::vector<void*> blocks(sizes.size());
    for (auto _ : state) AllocateFloor(sizes, blocks);
    double size = static_cast<double>(input.text.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(input.text.size()));
    state.counters["input_bytes"] = size;
    state.counters["gvar_lines"] = input.gvar_lines;
    state.counters["blocks"] = static_cast<double>(sizes.size());
    if (HeapCountWorks()) {
        HeapCountStart();
        AllocateFloor(sizes, blocks);
        state.counters["heap_per_MiB"] = static_cast<double>(HeapCountStop()) / size;
        state.counters["allocator_calls"] = static_cast<double>(HeapCountCalls());
    }
}

}  // namespace

void RegisterParseBenchmarks() {
#ifdef GVBENCH_HAVE_LIBXML2
    xmlInitParser();
#endif
    // 10MB is where a tree of ours no longer fits the processor's caches.
    static const char* const NAMES[] = {"config-1KB", "config-1MB", "config-10MB",
                                        "config-100MB", "document"};
    for (size_t which = 0; which < 5; ++which) {
        for (const Parser& parser : PARSERS) {
            std::string name = std::string("parse/") + NAMES[which] + "/" + parser.name;
            auto* bench = benchmark::RegisterBenchmark(name.c_str(), BM_Parse, &parser, which);
            bench->Unit(benchmark::kMicrosecond);
            if (which == 3) bench->Iterations(3);  // each iteration is 100 MB
        }
        std::string name = std::string("parse/") + NAMES[which] + "/floor";
        auto* bench = benchmark::RegisterBenchmark(name.c_str(), BM_Floor, which);
        bench->Unit(benchmark::kMicrosecond);
        if (which == 3) bench->Iterations(3);
    }
}
