// run_bench.cpp - whole runs of the real gvtool binary on generated saves,
// beside the floor for the same work: a copy of the same file made durable
// (the floor of a safe rewrite), a plain cp, and a process that only starts
// and exits.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "inputs.h"
#include "run_process.h"
#include "savebuilder.h"

namespace {

namespace fs = std::filesystem;

const uint32_t TABLE_SIZE = 700;  // GVARs in the default synthetic save

struct RunCase {
    const char* name;
    uint32_t requests;
    size_t tail_bytes;     // bytes after the GVARs end marker
    int iterations;        // 0: let the library decide
    bool adds;             // false: changes and removes only, the file keeps its size
};

const RunCase CASES[] = {
    {"typical", 40, 300 * 1024, 0, true},
    {"requests-10", 10, 64 * 1024, 0, true},
    {"requests-10k", 10 * 1000, 64 * 1024, 0, true},
    {"requests-1M", 1000 * 1000, 64 * 1024, 3, true},
    {"tail-1MiB", 10, 1024 * 1024, 0, true},
    {"tail-256MiB", 10, 256 * 1024 * 1024, 3, true},
    {"change-256MiB", 10, 256 * 1024 * 1024, 3, false},
};

// One folder per case with the configuration and the pristine save; made
// on first use and removed when the process ends.
class CaseFolder {
public:
    explicit CaseFolder(const RunCase& run_case) {
        std::error_code error;
        std::string pattern = (fs::temp_directory_path(error) / "gvbench-XXXXXX").string();
        if (error || !mkdtemp(&pattern[0])) return;
        folder = pattern;

        ConfigShape shape;
        shape.seed = 3000 + run_case.requests;
        shape.gvar_count = run_case.requests;
        shape.table_size = TABLE_SIZE;
        shape.adds = run_case.adds;
        std::ofstream(folder / "config.xml", std::ios::binary) << MakeConfigText(shape, &facts);

        SaveParams params = DefaultSaveParams(7, run_case.tail_bytes);
        std::string save = BuildSave(params);
        save_bytes = save.size();
        std::ofstream(folder / "SAVE.orig", std::ios::binary) << save;
        ready = fs::file_size(folder / "SAVE.orig") == save_bytes;
    }
    ~CaseFolder() {
        std::error_code ignored;
        if (!folder.empty()) fs::remove_all(folder, ignored);
    }

    fs::path folder;
    ConfigFacts facts;
    uint64_t save_bytes = 0;
    bool ready = false;
};

CaseFolder& Folder(size_t which) {
    static std::unique_ptr<CaseFolder> folders[sizeof(CASES) / sizeof(CASES[0])];
    if (!folders[which]) folders[which] = std::make_unique<CaseFolder>(CASES[which]);
    return *folders[which];
}

void SetCounters(benchmark::State& state, const CaseFolder& files, const RunCase& run_case,
                 RunTimes& times) {
    state.counters["best_seconds"] = times.best();
    state.counters["median_seconds"] = times.median();
    state.counters["requests"] = run_case.requests;
    state.counters["save_bytes"] = static_cast<double>(files.save_bytes);
    state.counters["tail_bytes"] = static_cast<double>(run_case.tail_bytes);
}

void BM_Gvtool(benchmark::State& state, size_t which) {
    const RunCase& run_case = CASES[which];
    CaseFolder& files = Folder(which);
    if (!files.ready) {
        state.SkipWithError("could not write the case's files");
        return;
    }
    const fs::path save = files.folder / "SAVE.DAT";
    double restore_seconds = 0;
    RunTimes times;
    int status = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto start = std::chrono::steady_clock::now();
        fs::copy_file(files.folder / "SAVE.orig", save, fs::copy_options::overwrite_existing);
        // A player's save is on the disk long before the run: the copy is
        // synced here, or gvtool's first sync would write it back, timed.
        status |= RunProcess(files.folder, {"/bin/sync", "SAVE.DAT"});
        restore_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                               .count();
        state.ResumeTiming();
        status |= times.run(files.folder, {GVTOOL_PATH, "config.xml", "SAVE.DAT"});
    }
    SetCounters(state, files, run_case, times);
    state.counters["restore_seconds"] = restore_seconds / static_cast<double>(state.iterations());

    // The run must have done the whole job: every add grows the file by 8.
    std::ifstream log(files.folder / "patcher.log", std::ios::binary | std::ios::ate);
    std::string tail(64, '\0');
    auto length = static_cast<std::streamoff>(log.tellg());
    log.seekg(length > 64 ? length - 64 : 0);
    log.read(&tail[0], 64);
    tail.resize(static_cast<size_t>(log.gcount()));
    uint64_t expected = files.save_bytes + 8ull * files.facts.add_count;
    if (status != 0)
        state.SkipWithError("gvtool did not exit with 0");
    else if (tail.find("PATCHING COMPLETE!") == std::string::npos)
        state.SkipWithError("gvtool did not complete the patch");
    else if (fs::file_size(save) != expected)
        state.SkipWithError("the patched save has the wrong size");
}

void BM_Copy(benchmark::State& state, size_t which) {
    CaseFolder& files = Folder(which);
    RunTimes times;
    int status = 0;
    for (auto _ : state) status |= times.run(files.folder, {"/bin/cp", "SAVE.orig", "SAVE.copy"});
    SetCounters(state, files, CASES[which], times);
    if (status != 0) state.SkipWithError("cp failed");
}

// The floor of a safe rewrite: the same bytes written again and synced
// before the process ends.
void BM_SyncCopy(benchmark::State& state, size_t which) {
    CaseFolder& files = Folder(which);
    RunTimes times;
    int status = 0;
    for (auto _ : state)
        status |= times.run(files.folder, {"/bin/dd", "if=SAVE.orig", "of=SAVE.copy", "bs=1M",
                                           "conv=fsync", "status=none"});
    SetCounters(state, files, CASES[which], times);
    if (status != 0) state.SkipWithError("dd conv=fsync failed");
}

void BM_True(benchmark::State& state, size_t which) {
    CaseFolder& files = Folder(which);
    RunTimes times;
    int status = 0;
    for (auto _ : state) status |= times.run(files.folder, {"/bin/true"});
    SetCounters(state, files, CASES[which], times);
    if (status != 0) state.SkipWithError("/bin/true failed");
}

}  // namespace

void RegisterRunBenchmarks() {
    for (size_t which = 0; which < sizeof(CASES) / sizeof(CASES[0]); ++which) {
        const std::string base = std::string("run/") + CASES[which].name + "/";
        benchmark::internal::Benchmark* runs[] = {
            benchmark::RegisterBenchmark((base + "gvtool").c_str(), BM_Gvtool, which),
            benchmark::RegisterBenchmark((base + "copy+sync").c_str(), BM_SyncCopy, which),
            benchmark::RegisterBenchmark((base + "cp").c_str(), BM_Copy, which),
            benchmark::RegisterBenchmark((base + "true").c_str(), BM_True, which)};
        for (auto* run : runs) {
            run->Unit(benchmark::kMillisecond)->UseRealTime();
            if (CASES[which].iterations) run->Iterations(CASES[which].iterations);
        }
    }
}
