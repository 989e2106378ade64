// query_bench.cpp - the configuration reader's one query over trees of 1,
// 1k and 1M gvar elements, each parsed once outside the timing.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "inputs.h"
#include "model.h"
#include "query.h"

namespace {

const char* const PATH = "save_patcher/gvars/gvar[@action]";

void BM_Query(benchmark::State& state, uint32_t gvar_count) {
    ConfigShape shape;
    shape.seed = 2000 + gvar_count;
    shape.gvar_count = gvar_count;
    std::string text = MakeConfigText(shape);

    XmlNode* document = XmlCreateDocument("bench.xml");
    XmlParseOptions options;
    memset(&options, 0, sizeof(options));
    if (!XmlParseNode(document, text.c_str(), &options)) {
        XmlFreeNode(document);
        state.SkipWithError("the configuration did not parse");
        return;
    }
    text.clear();
    text.shrink_to_fit();

    uint32_t selected = 0;
    for (auto _ : state) {
        XmlNodeList list = {nullptr, 0, 0};
        XmlSelectNodes(document, PATH, &list);
        selected = list.count;
        XmlNodeListFree(&list);
    }
    XmlFreeNode(document);
    if (selected != gvar_count) state.SkipWithError("the query missed gvar elements");
    state.counters["gvars"] = gvar_count;
    state.counters["selected"] = selected;
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * gvar_count);
}

}  // namespace

void RegisterQueryBenchmarks() {
    static const struct {
        const char* name;
        uint32_t count;
    } SIZES[] = {{"query/1", 1}, {"query/1k", 1000}, {"query/1M", 1000 * 1000}};
    for (const auto& size : SIZES) {
        benchmark::RegisterBenchmark(size.name, BM_Query, size.count)
            ->Unit(benchmark::kMicrosecond);
    }
}
