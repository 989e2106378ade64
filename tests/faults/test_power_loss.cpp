// Power loss during a run. Each run is made once through a fault build
// with its seam log on; then, at a cut before every sync and before a
// seeded sample of the other calls that change a file, a few states that a
// power loss there could leave (power_loss.h) are put in a folder of their
// own and the next run is made on them. It must leave the save as it was
// before the interrupted run or as one uninterrupted run leaves it, and no
// journal. Seeded and reproducible: GVTOOL_POWER_LOSS_SEED sets the seed,
// and a failure names the seed, the cut and the loss.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <iostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "fault_scenarios.h"
#include "files.h"
#include "power_loss.h"
#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;

// Under the sanitizers each run costs several times as much: fewer cuts
// and fewer losses each. g++ says so with a macro, clang with a feature.
#if defined(__SANITIZE_ADDRESS__)
#define POWER_LOSS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define POWER_LOSS_SANITIZED 1
#endif
#endif
#ifdef POWER_LOSS_SANITIZED
constexpr bool SANITIZED = true;
#else
constexpr bool SANITIZED = false;
#endif
// Cuts between the syncs, and at each cut besides losing nothing and losing
// everything, losses sampled for each change not yet durable, up to a most.
constexpr size_t CUTS_BETWEEN = SANITIZED ? 8 : 16;
constexpr size_t LOSSES_PER_CHANGE = SANITIZED ? 4 : 24;
constexpr size_t MOST_LOSSES = SANITIZED ? 24 : 160;
constexpr size_t RUNS_IN_FLIGHT = 2;

const char SAVE[] = "SAVE.DAT";
const char JOURNAL[] = "SAVE.DAT-journal";
const char UNDO_RECORD[] = "SAVE.DAT-undo";
// The configuration of the next run asks for nothing: the save it leaves is
// what its recovery made of the state, every torn byte still there.
const char KEEP_CONFIG[] = "<save_patcher><gvars>\n</gvars></save_patcher>\n";

uint64_t Seed() {
    const char* text = std::getenv("GVTOOL_POWER_LOSS_SEED");
    return text && *text ? std::strtoull(text, nullptr, 10) : 1;
}

// The folder's regular files but the log, which no seam call writes and
// nothing here judges.
FolderFiles FilesIn(const fs::path& folder) {
    FolderFiles files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name != "patcher.log") {
            files[name] = ReadFileBytes(entry.path());
        }
    }
    return files;
}

// Empties the folder and puts the files in it.
void PutFiles(const fs::path& folder, const FolderFiles& files) {
    for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
    for (const auto& [name, bytes] : files) WriteFileBytes(folder / name, bytes);
}

// Starts the command (a program's path, then its arguments) in the folder,
// its output in the files given; returns its pid, or -1. Spawned rather
// than forked: this process holds every state's bytes.
pid_t StartIn(const fs::path& folder, const std::vector<std::string>& command, const fs::path& out,
              const fs::path& err) {
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0666);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0666);
    pid_t child = -1;
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) child = -1;
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

// Sets an environment variable for the runs started while the object lives.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
        setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() { unsetenv(name_); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
};

// The calls of a run made on the files, and the files it left.
struct RecordedRun {
    std::vector<SeamRecord> calls;
    FolderFiles left;  // the folder after the run
};

// Makes the command (a fault build, then its arguments) in a folder of
// its own holding the files, with its seam log on.
RecordedRun Record(const FolderFiles& files, const std::vector<std::string>& command) {
    TempDir folder(FastScratchFolder());
    PutFiles(folder.path(), files);
    const fs::path log = folder.path().string() + ".seam";
    RecordedRun recorded;
    {
        const ScopedVariable logging("GVTOOL_FAULT_LOG", log.string());
        ToolOptions options;
        options.program = command[0];
        RunTool(folder.path(), {command.begin() + 1, command.end()}, options);
    }
    std::string error;
    EXPECT_TRUE(ReadSeamLog(log, &recorded.calls, &error)) << error;
    fs::remove(log);
    recorded.left = FilesIn(folder.path());
    return recorded;
}

// What the next run starts from: the folder's files, and the save as it was
// before the run the power loss interrupts.
struct Start {
    FolderFiles files;
    std::string original;
};

Start SaveAndConfig(const std::string& save, const std::string& config) {
    return {{{SAVE, save}, {"config.xml", config}, {"keep.xml", KEEP_CONFIG}}, save};
}

Start Growing() { return SaveAndConfig(GrowingSave(), GROWING_CONFIG); }
Start Changing() { return SaveAndConfig(ChangingSave(), CHANGING_CONFIG); }

// A growing run killed half-way through moving the tail: the save torn,
// its journal live.
Start Interrupted() {
    Start start = Growing();
    const std::vector<std::string> command = {GVTOOL_FAULTS_PATH, "config.xml", SAVE};
    const std::vector<SeamRecord> calls = Record(start.files, command).calls;
    std::vector<long> save_writes;
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].kind == SeamCallKind::Write && calls[i].name == SAVE) {
            save_writes.push_back(static_cast<long>(i + 1));
        }
    }
    EXPECT_GE(save_writes.size(), 3u);
    if (save_writes.empty()) return start;
    TempDir folder(FastScratchFolder());
    PutFiles(folder.path(), start.files);
    {
        const long middle = save_writes[save_writes.size() / 2];
        const ScopedVariable at("GVTOOL_FAULT_AT", std::to_string(middle));
        const ScopedVariable crash("GVTOOL_FAULT_CRASH", "1");
        ToolOptions options;
        options.program = GVTOOL_FAULTS_PATH;
        options.expect_quiet_success = false;
        EXPECT_EQ(RunTool(folder.path(), {"config.xml", SAVE}, options).exit_status,
                  FAULT_CRASH_STATUS);
    }
    start.files = FilesIn(folder.path());
    EXPECT_EQ(start.files.count(JOURNAL), 1u) << "the killed run left no journal";
    EXPECT_NE(start.files[SAVE], start.original) << "the killed run left the save untouched";
    return start;
}

// A growing run made whole by the product's gvtool: the patched save and
// its undo record, which the interrupted run (gvundo) starts from.
Start Patched() {
    Start start = Growing();
    TempDir folder(FastScratchFolder());
    PutFiles(folder.path(), start.files);
    RunTool(folder.path(), {"config.xml", SAVE});
    start.files = FilesIn(folder.path());
    start.original = start.files[SAVE];
    EXPECT_EQ(start.files.count(UNDO_RECORD), 1u) << "the run left no undo record";
    return start;
}

// A run cut by power losses: where it starts, the run (a fault build, then
// its arguments) and the run after the power comes back (the product's
// program, then its arguments). Any program on the fault seam fits: an
// undo is a row starting from a patched save with its record beside it,
// cut in gvundo's fault build and followed by gvundo.
struct PowerLossRow {
    const char* name;
    std::function<Start()> start;
    std::vector<std::string> run;
    std::vector<std::string> next;
};

std::vector<PowerLossRow> Rows() {
    const std::vector<std::string> patch = {GVTOOL_FAULTS_PATH, "config.xml", SAVE};
    const std::vector<std::string> keep = {GvtoolPath(), "keep.xml", SAVE};
    return {
        {"growing run", Growing, patch, keep},
        {"change-only run", Changing, patch, keep},
        {"recovery run", Interrupted, patch, keep},
        {"undo run", Patched, {GVUNDO_FAULTS_PATH, SAVE}, keep},
    };
}

// Where the calls may be cut: before each sync and at the end of the run
// (each of them), and a sample of the states between (before a call that
// follows one changing a file). Cut c comes before call c (from 1): calls
// 1 to c - 1 made.
std::vector<size_t> Cuts(const std::vector<SeamRecord>& calls, std::mt19937_64& random) {
    std::vector<size_t> cuts;
    std::vector<size_t> between;
    for (size_t c = 1; c <= calls.size() + 1; ++c) {
        const bool end = c == calls.size() + 1;
        const SeamCallKind kind = end ? SeamCallKind::Other : calls[c - 1].kind;
        if (end || kind == SeamCallKind::SyncFile || kind == SeamCallKind::SyncFolder) {
            cuts.push_back(c);
        } else if (c > 1 && calls[c - 2].kind != SeamCallKind::Other) {
            between.push_back(c);
        }
    }
    std::shuffle(between.begin(), between.end(), random);
    between.resize(std::min(between.size(), CUTS_BETWEEN));
    cuts.insert(cuts.end(), between.begin(), between.end());
    std::sort(cuts.begin(), cuts.end());
    return cuts;
}

size_t StateHash(const FolderFiles& files) {
    size_t hash = files.size();
    for (const auto& [name, bytes] : files) {
        hash = hash * 1000003 ^ std::hash<std::string>{}(name);
        hash = hash * 1000003 ^ std::hash<std::string>{}(bytes);
    }
    return hash;
}

// What the next runs made of the states.
struct Tried {
    long states = 0;
    long failed = 0;
};

// Makes the next run on each state given, two at a time, and checks what
// it leaves.
class NextRuns {
public:
    NextRuns(const PowerLossRow& row, const std::string& original, const std::string& uninterrupted)
        : row_(row), original_(original), uninterrupted_(uninterrupted) {
        for (size_t i = 0; i < RUNS_IN_FLIGHT; ++i) {
            free_.push_back(i);
            fs::create_directory(base_ / std::to_string(i));
        }
    }
    ~NextRuns() { finish(); }
    NextRuns(const NextRuns&) = delete;
    NextRuns& operator=(const NextRuns&) = delete;

    void run(const FolderFiles& state, const std::string& label) {
        if (free_.empty()) check_oldest();
        const size_t slot = free_.front();
        free_.pop_front();
        PutFiles(folder(slot), state);
        const pid_t pid =
            StartIn(folder(slot), row_.next, output(slot, ".out"), output(slot, ".err"));
        running_.push_back({slot, pid, label});
        ++tried_.states;
    }

    // Waits for the runs under way and checks them.
    const Tried& finish() {
        while (!running_.empty()) check_oldest();
        return tried_;
    }

private:
    struct Running {
        size_t slot;
        pid_t pid;
        std::string label;
    };

    fs::path folder(size_t slot) const { return base_ / std::to_string(slot); }
    fs::path output(size_t slot, const char* kind) const {
        return base_ / (std::to_string(slot) + kind);
    }

    void check_oldest() {
        const Running done = running_.front();
        running_.pop_front();
        free_.push_back(done.slot);
        int status = 0;
        const bool ended = done.pid > 0 && waitpid(done.pid, &status, 0) == done.pid;
        const fs::path save = folder(done.slot) / SAVE;
        const std::string out = ReadFileBytes(output(done.slot, ".out"));
        const std::string err = ReadFileBytes(output(done.slot, ".err"));
        const bool whole = FileHolds(save, original_) || FileHolds(save, uninterrupted_);
        const bool journal_left = fs::exists(folder(done.slot) / JOURNAL);
        std::string fault;
        if (!ended || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || !err.empty()) {
            fault = "the next run ended with status " + std::to_string(status) + ": " + err;
        } else if (!whole) {
            fault = "the save is neither the original nor one uninterrupted run's";
        } else if (journal_left) {
            fault = "the journal is left";
        }
        if (fault.empty()) return;
        // The first failure in full, a few more in a line each.
        if (tried_.failed == 0) {
            ADD_FAILURE() << done.label << ": " << fault << "\nthe next run's report:\n" << out;
        } else if (tried_.failed < 10) {
            ADD_FAILURE() << done.label << ": " << fault;
        }
        ++tried_.failed;
    }

    TempDir base_{FastScratchFolder()};
    const PowerLossRow& row_;
    std::string original_;
    std::string uninterrupted_;
    std::deque<size_t> free_;
    std::deque<Running> running_;
    Tried tried_;
};

// Records the row's run, then cuts it everywhere the seed picks and makes
// the next run on each distinct state.
Tried CutEverywhere(const PowerLossRow& row, size_t row_number, uint64_t seed) {
    const Start start = row.start();
    const RecordedRun recorded = Record(start.files, row.run);
    const std::vector<SeamRecord>& calls = recorded.calls;
    // The log must account for every file the run changed.
    DiskModel replay(start.files);
    std::string error;
    for (const SeamRecord& call : calls) {
        if (!replay.apply(call, &error)) break;
    }
    const FolderFiles replayed = replay.current();
    bool outside = false;
    for (const auto& [name, bytes] : replayed) {
        outside = outside || name.find('/') != std::string::npos;
    }
    if (!error.empty() || outside || replayed != recorded.left || recorded.left.count(SAVE) == 0) {
        ADD_FAILURE() << "the seam log does not account for the run's files " << error;
        return {};
    }
    const std::string uninterrupted = recorded.left.at(SAVE);

    std::seed_seq row_seed{seed, uint64_t{row_number}};
    std::mt19937_64 pick(row_seed);
    const std::vector<size_t> cuts = Cuts(calls, pick);
    DiskModel disk(start.files);
    size_t made = 0;  // calls made on the disk so far
    std::set<size_t> seen;
    FolderFiles state;
    NextRuns next(row, start.original, uninterrupted);
    for (size_t cut : cuts) {
        for (; made + 1 < cut; ++made) disk.apply(calls[made], &error);
        const size_t losses = 2 + std::min(MOST_LOSSES, LOSSES_PER_CHANGE * disk.pending());
        for (size_t choice = 0; choice < losses; ++choice) {
            std::seed_seq state_seed{seed, uint64_t{row_number}, uint64_t{cut}, uint64_t{choice}};
            std::mt19937_64 random(state_seed);
            // Loss 0 keeps everything (a kill), 1 nothing not durable.
            const Loss loss = choice == 0 ? Loss::Nothing : choice == 1 ? Loss::All : Loss::Sample;
            disk.after_power_loss(loss, random, &state);
            if (!seen.insert(StateHash(state)).second) continue;
            next.run(state, std::string(row.name) + ", seed " + std::to_string(seed) +
                                ", cut before call " + std::to_string(cut) + " of " +
                                std::to_string(calls.size()) + ", loss " + std::to_string(choice));
        }
    }
    return next.finish();
}

TEST(PowerLoss, NextRunLeavesTheOriginalOrOneUninterruptedRun) {
    const uint64_t seed = Seed();
    const std::vector<PowerLossRow> rows = Rows();
    long total = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        const auto began = std::chrono::steady_clock::now();
        const Tried tried = CutEverywhere(rows[i], i, seed);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
        std::cout << "[ power    ] " << rows[i].name << ", seed " << seed << ": " << tried.states
                  << " states in " << took.count() << " s, " << tried.failed << " failed\n";
        EXPECT_GT(tried.states, 10);
        total += tried.states;
    }
    std::cout << "[ power    ] power-loss states tried: " << total << "\n";
}

// The model itself: every kind of loss it claims, and only those, on a
// few calls each.
SeamRecord Call(SeamCallKind kind, const std::string& name, int64_t offset = 0,
                const std::string& bytes = "", const std::string& to = "") {
    SeamRecord record;
    record.kind = kind;
    record.name = name;
    record.to = to;
    if (kind == SeamCallKind::Resize) record.size = offset;
    if (kind == SeamCallKind::Write) record.offset = offset;
    record.bytes = bytes;
    return record;
}

TEST(PowerLoss, ModelLosesWhatIsNotDurableAndNothingElse) {
    using K = SeamCallKind;
    const std::string zeros(2, '\0');
    const FolderFiles f = {{"f", "abc"}};
    const FolderFiles fg = {{"f", "abc"}, {"g", "old"}};
    struct Case {
        const char* what;
        FolderFiles initial;
        std::vector<SeamRecord> calls;
        std::set<FolderFiles> states;
    } cases[] = {
        {"a write, lost whole or in part", f, {Call(K::Write, "f", 1, "XY")},
         {{{"f", "abc"}}, {{"f", "aXY"}}, {{"f", "aXc"}}, {{"f", "abY"}}}},
        {"a synced write", f, {Call(K::Write, "f", 1, "XY"), Call(K::SyncFile, "f")},
         {{{"f", "aXY"}}}},
        {"a growth and a write into it", f,
         {Call(K::Resize, "f", 5), Call(K::Write, "f", 4, "Z")},
         {{{"f", "abc"}}, {{"f", "abc" + zeros}}, {{"f", "abc" + zeros.substr(1) + "Z"}}}},
        {"a cut", f, {Call(K::Resize, "f", 1)}, {{{"f", "abc"}}, {{"f", "a"}}}},
        {"a creation with its file synced", f,
         {Call(K::Create, "g"), Call(K::Write, "g", 0, "n"), Call(K::SyncFile, "g")},
         {f, {{"f", "abc"}, {"g", "n"}}}},
        {"a creation with its folder synced", f,
         {Call(K::Create, "g"), Call(K::SyncFolder, "g"), Call(K::Write, "g", 0, "n"),
          Call(K::SyncFile, "g")},
         {{{"f", "abc"}, {"g", "n"}}}},
        {"a creation refused", fg, {Call(K::Create, "g")}, {fg}},
        {"a removal", fg, {Call(K::Remove, "f")}, {fg, {{"g", "old"}}}},
        {"a rename replacing a file", fg, {Call(K::Rename, "f", 0, "", "g")},
         {fg, {{"g", "abc"}}}},
        {"a rename with its folder synced", fg,
         {Call(K::Rename, "f", 0, "", "g"), Call(K::SyncFolder, "g")}, {{{"g", "abc"}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DiskModel disk(c.initial);
        std::string error;
        for (const SeamRecord& call : c.calls) EXPECT_TRUE(disk.apply(call, &error)) << error;
        std::set<FolderFiles> states;
        FolderFiles state;
        std::mt19937_64 random(7);
        for (int i = 0; i < 300; ++i) {
            const Loss loss = i == 0 ? Loss::Nothing : i == 1 ? Loss::All : Loss::Sample;
            disk.after_power_loss(loss, random, &state);
            // Losing nothing leaves what the process sees.
            if (i == 0) {
                EXPECT_EQ(state, disk.current());
            }
            states.insert(state);
        }
        EXPECT_EQ(states, c.states);
    }
    DiskModel disk(f);
    std::string error;
    EXPECT_FALSE(disk.apply(Call(K::Write, "h", 0, "x"), &error));
    EXPECT_EQ(error, "a call on \"h\", which is no file of the folder");
}

}  // namespace
