// dump_bench.cpp - gvdump on large inputs: a listing of a save of a million
// GVARs (time and peak memory of the whole process), and --check of a
// configuration of a million requests beside gvtool's own loading and
// planning of it: gvtool itself, on a file that is not a save, so that it
// stops right after sorting the plan; and the loader, the reader and the
// sort in this process.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "inputs.h"
#include "loader.h"
#include "patch_plan.h"
#include "run_process.h"
#include "reader.h"
#include "savebuilder.h"

namespace {

namespace fs = std::filesystem;

const uint32_t ENTRIES = 1000 * 1000;
const uint32_t REQUESTS = 1000 * 1000;

// The inputs, made on first use in a folder removed when the process ends.
class DumpFolder {
public:
    DumpFolder() {
        std::error_code error;
        std::string pattern = (fs::temp_directory_path(error) / "gvbench-dump-XXXXXX").string();
        if (error || !mkdtemp(&pattern[0])) return;
        folder = pattern;
        SaveParams large = DefaultSaveParams(11, 64 * 1024);
        large.gvars = GenerateGvars(ENTRIES, 11);
        std::ofstream(folder / "LARGE.DAT", std::ios::binary) << BuildSave(large);
        std::ofstream(folder / "SAVE.DAT", std::ios::binary) << BuildSave(DefaultSaveParams(7));
        // No end marker: gvtool stops as it starts on the save.
        std::ofstream(folder / "NOTSAVE.DAT", std::ios::binary) << std::string(1024, '\0');
        ConfigShape shape;
        shape.seed = 4000;
        shape.gvar_count = REQUESTS;
        std::ofstream(folder / "config.xml", std::ios::binary) << MakeConfigText(shape, &facts);
        ready = fs::exists(folder / "config.xml") && fs::file_size(folder / "config.xml") > 0;
    }
    ~DumpFolder() {
        std::error_code ignored;
        if (!folder.empty()) fs::remove_all(folder, ignored);
    }

    fs::path folder;
    ConfigFacts facts;
    bool ready = false;
};

DumpFolder& Folder() {
    static std::unique_ptr<DumpFolder> folder;
    if (!folder) folder = std::make_unique<DumpFolder>();
    return *folder;
}

// A whole run of the program; the status it must end with.
void BM_Whole(benchmark::State& state, std::vector<std::string> args, int expected_status,
              double entries) {
    DumpFolder& files = Folder();
    if (!files.ready) {
        state.SkipWithError("could not write the inputs");
        return;
    }
    RunTimes times;
    double cpu_seconds = 0;
    bool ended_as_expected = true;
    for (auto _ : state) {
        double cpu = 0;
        ended_as_expected &= times.run(files.folder, args, &cpu) == expected_status;
        cpu_seconds = cpu_seconds == 0 ? cpu : std::min(cpu_seconds, cpu);
    }
    state.counters["best_seconds"] = times.best();
    state.counters["median_seconds"] = times.median();
    state.counters["cpu_seconds"] = cpu_seconds;
    // One more run, outside the timing, stopped at its exit to read its peak.
    state.counters["peak_bytes"] = PeakResidentBytes(files.folder, args);
    state.counters["entries"] = entries;
    if (!ended_as_expected) state.SkipWithError("the program did not end with the status expected");
    // gvtool must have read the whole plan before it stopped.
    std::ifstream log(files.folder / "patcher.log");
    const std::string report((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    if (args[0] == GVTOOL_PATH && report.find("processing complete!") == std::string::npos) {
        state.SkipWithError("gvtool stopped before planning");
    }
}

// What gvtool does with the configuration before it touches the save:
// load it, read the plan, sort it; and free the document, as it does.
void BM_LoadAndPlan(benchmark::State& state) {
    DumpFolder& files = Folder();
    if (!files.ready) {
        state.SkipWithError("could not write the inputs");
        return;
    }
    const std::string config = (files.folder / "config.xml").string();
    size_t requests = 0;
    for (auto _ : state) {
        XmlNode* document = XmlCreateDocument(config.c_str());
        if (XmlLoadFile(document) < 0) state.SkipWithError("the configuration did not load");
        PatchPlan plan;
        BuildPatchPlan(document, plan);
        SortPatchPlan(plan);
        requests = plan.add_list.size() + plan.change_list.size() + plan.remove_list.size();
        XmlFreeNode(document);
    }
    state.counters["entries"] = static_cast<double>(requests);
}

}  // namespace

void RegisterDumpBenchmarks() {
    using Args = std::vector<std::string>;
    benchmark::internal::Benchmark* runs[] = {
        benchmark::RegisterBenchmark("gvdump/dump-1M/gvdump", BM_Whole,
                                     Args{GVDUMP_PATH, "LARGE.DAT"}, 0, double{ENTRIES}),
        benchmark::RegisterBenchmark("gvdump/check-1M/gvdump", BM_Whole,
                                     Args{GVDUMP_PATH, "--check", "config.xml", "SAVE.DAT"}, 1,
                                     double{REQUESTS}),
        benchmark::RegisterBenchmark("gvdump/check-1M/gvtool", BM_Whole,
                                     Args{GVTOOL_PATH, "config.xml", "NOTSAVE.DAT"}, 0,
                                     double{REQUESTS}),
        benchmark::RegisterBenchmark("gvdump/check-1M/load+plan", BM_LoadAndPlan),
    };
    for (auto* run : runs) run->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
}
