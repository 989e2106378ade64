// Faults in the SAVING phase, the recovery step and the undo, through
// gvtool_faults and gvundo_faults: each I/O call failed in turn must leave
// the save byte-identical with the exact report, and the process ended at
// each call in turn must leave a save that the next run turns into exactly
// the bytes of one uninterrupted run. What a crash left, changed as a
// player may change it, must not be restored. Then real kills, signals and
// a file size limit through the product's gvtool. Scratch folders live on
// /dev/shm when it exists.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fault_scenarios.h"
#include "files.h"
#include "journal.h"
#include "parsed_document.h"
#include "patch_harness.h"
#include "reader.h"
#include "report_lines.h"
#include "savebuilder.h"
#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;

const std::string RESTORE_FAILED = "can't restore SAVE file from journal !";
const std::string JOURNAL_FAILED = "can't write journal file !";
const std::string JOURNAL_READ_FAILED = "can't read journal file !";
const std::string MISMATCH = "journal file does not match SAVE file !";
const std::string SAVE_REFUSED = "can't open SAVE file !\n";
const std::string RESIZE_FAILED = "can't set new size to SAVE file !";
const std::string WRITE_FAILED = "error while writing SAVE file !";

struct Scenario {
    std::string save;
    std::string config;

    // The configuration's requests, read as gvtool reads them.
    PatchPlan plan() const {
        const ParsedDocument document(config);
        EXPECT_TRUE(document.ok()) << config;
        PatchPlan requests;
        BuildPatchPlan(document.document(), requests);
        return requests;
    }
};

// Grows the file by three entries and moves a tail of two chunks.
Scenario Growing() { return {GrowingSave(), GROWING_CONFIG}; }

// Rewrites the table and its copy in place.
Scenario InPlace() { return {ChangingSave(), CHANGING_CONFIG}; }

// A growing run on a table larger than two pages, so that its writes and
// its restore cross page edges.
Scenario LargeTable() {
    SaveParams params = DefaultSaveParams(16, 5000);
    params.gvars = GenerateGvars(2100, 16);
    return {BuildSave(params),
            "<save_patcher><gvars>\n"
            "  <gvar action=\"add\" index=\"2101\" value=\"4\"/>\n"
            "  <gvar action=\"change\" index=\"2050\" value=\"-9\"/>\n"
            "</gvars></save_patcher>\n"};
}

// A growing run on a save with a 16 MiB tail, so that its journal stays
// long enough to be seen; and the save it leaves, from the builder.
SaveParams LargeParams() { return DefaultSaveParams(13, 16u << 20); }
const Scenario& Large() {
    static const Scenario scenario{BuildSave(LargeParams()), GROWING_CONFIG};
    return scenario;
}
std::string LargePatched() {
    SaveParams params = LargeParams();
    params.gvars[12] = 9;
    params.gvars.insert(params.gvars.end(), {1, 0, 3});
    return BuildSave(params);
}

// What gvtool_faults is told: from call `at` on, `run` calls fail with
// `error`, or the process ends at call `at` (crash).
struct Fault {
    long at = 0;
    long run = 1;
    int error = EIO;
    bool crash = false;
};

// gvtool_faults's settings in this process's environment, which the
// processes started meanwhile inherit, while the object lives.
class FaultSettings {
public:
    explicit FaultSettings(const Fault& fault) {
        const std::pair<const char*, long> settings[] = {
            {"GVTOOL_FAULT_AT", fault.at}, {"GVTOOL_FAULT_RUN", fault.run},
            {"GVTOOL_FAULT_ERRNO", fault.error}, {"GVTOOL_FAULT_CRASH", fault.crash}};
        for (const auto& [name, value] : settings) setenv(name, std::to_string(value).c_str(), 1);
        setenv("GVTOOL_FAULT_COUNT", "faults.count", 1);
    }
    ~FaultSettings() {
        for (const char* name : {"GVTOOL_FAULT_AT", "GVTOOL_FAULT_RUN", "GVTOOL_FAULT_ERRNO",
                                 "GVTOOL_FAULT_CRASH", "GVTOOL_FAULT_COUNT"}) {
            unsetenv(name);
        }
    }
    FaultSettings(const FaultSettings&) = delete;
    FaultSettings& operator=(const FaultSettings&) = delete;
};

// Starts the program on the folder's config.xml and SAVE.DAT (gvundo on
// SAVE.DAT alone), its output in `out`; returns its pid.
pid_t Start(const fs::path& dir, const fs::path& out, const std::string& program,
            bool undo = false) {
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(dir.c_str()) != 0 || !freopen(out.c_str(), "w", stdout)) _exit(126);
        if (undo) {
            execl(program.c_str(), program.c_str(), "SAVE.DAT", static_cast<char*>(nullptr));
        } else {
            execl(program.c_str(), program.c_str(), "config.xml", "SAVE.DAT",
                  static_cast<char*>(nullptr));
        }
        _exit(127);
    }
    return child;
}

// The state a run left: the save and, when there are, the journal and the
// undo record.
struct Left {
    std::string save;
    std::string journal;
    bool has_journal = false;
    std::string record;
    bool has_record = false;
};

// One folder holding a save and its configuration.
class Slot {
public:
    Slot(const std::string& save, const std::string& config) : dir_(FastScratchFolder()) {
        WriteFileBytes(dir_ / "SAVE.DAT", save);
        WriteFileBytes(dir_ / "config.xml", config);
    }
    explicit Slot(const Scenario& scenario) : Slot(scenario.save, scenario.config) {}

    // Runs gvtool, or gvtool_faults with the fault when one is given;
    // *calls receives the seam calls of a fault run that ended normally.
    ToolRun run(const Fault* fault = nullptr, long* calls = nullptr) {
        ToolOptions options;
        std::optional<FaultSettings> settings;
        if (fault) {
            settings.emplace(*fault);
            options.program = GVTOOL_FAULTS_PATH;
            options.expect_quiet_success = !fault->crash;
        }
        const ToolRun result = RunTool(dir_.path(), {"config.xml", "SAVE.DAT"}, options);
        if (calls) *calls = std::atol(ReadFileBytes(dir_ / "faults.count").c_str());
        EXPECT_TRUE(!fault || !fault->crash || result.exit_status == FAULT_CRASH_STATUS);
        return result;
    }

    // Runs gvundo, or gvundo_faults with the fault when one is given, as
    // run does.
    ToolRun undo(const Fault* fault = nullptr, long* calls = nullptr) {
        ToolOptions options;
        options.expect_quiet_success = false;
        options.program = GvundoPath();
        std::optional<FaultSettings> settings;
        if (fault) {
            settings.emplace(*fault);
            options.program = GVUNDO_FAULTS_PATH;
        }
        const ToolRun result = RunTool(dir_.path(), {"SAVE.DAT"}, options);
        if (calls) *calls = std::atol(ReadFileBytes(dir_ / "faults.count").c_str());
        EXPECT_TRUE(!fault || !fault->crash || result.exit_status == FAULT_CRASH_STATUS);
        return result;
    }

    // Starts gvtool_faults (gvundo_faults) ending itself at call k, its
    // output dropped; returns its pid.
    pid_t start_crash(long k, bool undo = false) {
        const FaultSettings settings(Fault{k, 1, EIO, true});
        return Start(dir_.path(), "/dev/null", undo ? GVUNDO_FAULTS_PATH : GVTOOL_FAULTS_PATH,
                     undo);
    }

    fs::path dir() const { return dir_.path(); }
    fs::path save_path() const { return dir_ / "SAVE.DAT"; }
    fs::path journal_path() const { return dir_ / "SAVE.DAT-journal"; }
    fs::path record_path() const { return dir_ / "SAVE.DAT-undo"; }
    std::string save() const { return ReadFileBytes(dir_ / "SAVE.DAT"); }
    bool holds(const std::string& save) const { return FileHolds(save_path(), save); }
    bool has_journal() const { return fs::exists(journal_path()); }
    bool has_record() const { return fs::exists(record_path()); }
    std::string journal() const { return ReadFileBytes(journal_path()); }
    std::string record() const { return ReadFileBytes(record_path()); }
    Left left() const { return {save(), journal(), has_journal(), record(), has_record()}; }

private:
    TempDir dir_;
};

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The clean run of a scenario: its report and the save it leaves.
struct Clean {
    std::string out;
    std::string save;
    long calls = 0;  // seam calls of the same run in gvtool_faults
};

Clean CleanRun(const Scenario& scenario) {
    Slot plain(scenario);
    Clean clean;
    clean.out = plain.run().out;
    clean.save = plain.save();
    EXPECT_TRUE(EndsWith(clean.out, COMPLETE)) << clean.out;
    EXPECT_FALSE(plain.has_journal());
    // Open but not triggered, the seam changes nothing.
    Slot counted(scenario);
    const Fault none;
    EXPECT_EQ(counted.run(&none, &clean.calls).out, clean.out);
    EXPECT_TRUE(counted.holds(clean.save));
    EXPECT_GT(clean.calls, 0);
    return clean;
}

// The run after an interrupted or failed one, as gvtool makes it (the
// recovery step, then the patch) but in a child of this process: cheaper
// than a process of its own at every point. It must complete with exactly
// the save of one uninterrupted run and leave no journal. Returns its log.
std::string RunAgain(const Slot& slot, const Scenario& scenario, const std::string& expected) {
    PatchOptions options;
    options.journal = true;
    const PatchOutcome again = PatchSaveFile(slot.save_path(), scenario.plan(), options);
    EXPECT_EQ(again.error, "") << again.log;
    EXPECT_TRUE(slot.holds(expected)) << "not the bytes of one uninterrupted run";
    EXPECT_FALSE(slot.has_journal());
    return again.log;
}

// Fails every call of the scenario's run in turn, with EIO and ENOSPC. The
// reports come in this order: the save's links cannot be counted (the
// first call), the journal cannot be looked for (the second), cannot be
// written, the growth is refused, a write fails; each of the last two
// restores the save. Past the commit point failures are left to the next
// run. Returns the calls tried and, in *write_failures, the calls that
// failed a write.
long FailEveryCall(const Scenario& scenario, const Clean& clean, std::vector<long>* write_failures) {
    const std::string saving = "SAVING\n" + SEPARATOR + "flushing buffer to SAVE file ...\n";
    const size_t saving_at = clean.out.find(saving);
    EXPECT_NE(saving_at, std::string::npos);
    const std::string before_saving = clean.out.substr(0, saving_at + saving.size());
    const size_t resizing_end = clean.out.find('\n', saving_at + saving.size()) + 1;
    const std::string resizing = clean.out.substr(saving_at + saving.size(),
                                                  resizing_end - saving_at - saving.size());

    // Each stage's last line and its whole report; "": checked below.
    const std::vector<std::pair<std::string, std::string>> stages = {
        {SAVE_REFUSED, BANNER + SAVE_REFUSED},
        {Caught(JOURNAL_READ_FAILED), BANNER + Stopped(JOURNAL_READ_FAILED)},
        {Caught(JOURNAL_FAILED), before_saving + Stopped(JOURNAL_FAILED)},
        {Caught(RESIZE_FAILED),
         before_saving + resizing + Critical(RESIZE_FAILED) + RESTORING + Caught(RESIZE_FAILED)},
        {Caught(WRITE_FAILED), ""}};
    const int write_stage = static_cast<int>(stages.size()) - 1;
    int stage = 0;
    bool committed = false;
    for (long k = 1; k <= clean.calls; ++k) {
        for (int error : {EIO, ENOSPC}) {
            SCOPED_TRACE("call " + std::to_string(k) + " of " + std::to_string(clean.calls) +
                         ", errno " + std::to_string(error));
            Slot slot(scenario);
            const Fault fault{k, 1, error, false};
            const std::string out = slot.run(&fault).out;
            EXPECT_EQ(ReadFileBytes(slot.dir() / "patcher.log"), out);
            if (EndsWith(out, COMPLETE)) {
                // Past the commit point: the run stands, and a journal it
                // could not delete goes silently with the next run.
                committed = true;
                EXPECT_EQ(out, clean.out);
                EXPECT_TRUE(slot.holds(clean.save));
                EXPECT_NE(RunAgain(slot, scenario, clean.save).rfind(RESTORING, 0), 0u);
                continue;
            }
            EXPECT_FALSE(committed) << "a failure after the commit point";
            EXPECT_TRUE(slot.holds(scenario.save)) << "the save was not restored";
            EXPECT_FALSE(slot.has_journal());
            int found = -1;
            for (int i = 0; i <= write_stage; ++i) {
                if (EndsWith(out, stages[i].first)) found = i;
            }
            if (found == -1) {
                ADD_FAILURE() << "unexpected report:\n" << out;
                continue;
            }
            EXPECT_GE(found, stage) << "reports out of order";
            stage = found;
            if (found < write_stage) {
                EXPECT_EQ(out, stages[found].second);
                continue;
            }
            // A write failed: the lines before the report are the clean
            // run's, up to the failure.
            const std::string tail = Critical(WRITE_FAILED) + RESTORING + Caught(WRITE_FAILED);
            if (!EndsWith(out, tail)) {
                ADD_FAILURE() << "unexpected report:\n" << out;
                continue;
            }
            const std::string lines = out.substr(0, out.size() - tail.size());
            EXPECT_EQ(clean.out.compare(0, lines.size(), lines), 0) << lines.substr(saving_at);
            EXPECT_GE(lines.size(), before_saving.size());
            if (error == EIO) write_failures->push_back(k);
        }
    }
    EXPECT_EQ(stage, write_stage);
    // One past the last call fails nothing: the count is exact.
    Slot beyond(scenario);
    const Fault past{clean.calls + 1};
    EXPECT_EQ(beyond.run(&past).out, clean.out);
    EXPECT_TRUE(beyond.holds(clean.save));
    return 2 * clean.calls;
}

// A slot holding the state.
class LeftSlot : public Slot {
public:
    LeftSlot(const Left& left, const std::string& config) : Slot(left.save, config) {
        if (left.has_journal) WriteFileBytes(journal_path(), left.journal);
        if (left.has_record) WriteFileBytes(record_path(), left.record);
    }
};

// The seam calls of a run from the state.
long CallsFrom(const Left& start, const Scenario& scenario) {
    LeftSlot counted(start, scenario.config);
    const Fault none;
    long calls = 0;
    counted.run(&none, &calls);
    return calls;
}

// Crash runs under way while the test checks earlier ones, so that both
// cores work.
constexpr size_t CRASHES_IN_FLIGHT = 2;

// Ends the run from the state at each call of first..last in turn, then
// runs again: the save must come out as one uninterrupted run leaves it.
// Returns the calls whose crash left a journal beside a changed save.
std::vector<long> CrashAtCalls(const Left& start, const Scenario& scenario,
                               const std::string& expected, long first, long last) {
    struct Crash {
        long k;
        std::unique_ptr<LeftSlot> slot;
        pid_t pid;
    };
    std::deque<Crash> running;
    std::vector<long> torn;
    const auto check_oldest = [&] {
        const Crash crash = std::move(running.front());
        running.pop_front();
        SCOPED_TRACE("crash at call " + std::to_string(crash.k) + " of " + std::to_string(last));
        int status = 0;
        waitpid(crash.pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == FAULT_CRASH_STATUS) << status;
        if (crash.slot->has_journal() && !crash.slot->holds(start.save)) {
            torn.push_back(crash.k);
        }
        RunAgain(*crash.slot, scenario, expected);
    };
    for (long k = first; k <= last; ++k) {
        auto slot = std::make_unique<LeftSlot>(start, scenario.config);
        const pid_t pid = slot->start_crash(k);
        running.push_back({k, std::move(slot), pid});
        if (running.size() > CRASHES_IN_FLIGHT) check_oldest();
    }
    while (!running.empty()) check_oldest();
    return torn;
}

// The state before a run: the scenario's save alone.
Left Untouched(const Scenario& scenario) {
    Left left;
    left.save = scenario.save;
    return left;
}

// The state a crash at call k leaves.
Left LeftByCrashAt(const Left& start, const Scenario& scenario, long k) {
    LeftSlot slot(start, scenario.config);
    const Fault crash{k, 1, EIO, true};
    slot.run(&crash);
    return slot.left();
}

// The state a crash half-way through changing the save leaves: the save
// torn, its journal beside it.
Left TornByCrash(const Scenario& scenario, long calls) {
    const Left untouched = Untouched(scenario);
    std::vector<Left> torn;
    for (long k = 1; k <= calls; ++k) {
        Left left = LeftByCrashAt(untouched, scenario, k);
        if (left.has_journal && left.save != scenario.save) torn.push_back(std::move(left));
    }
    EXPECT_FALSE(torn.empty()) << "no crash left a torn save with its journal";
    return torn.empty() ? untouched : torn[torn.size() / 2];
}

// Every call fails from the write given on, the restore's too; the journal
// stays, and the next run restores the save and patches it.
void ExpectFailedRestoreRecovered(const Scenario& scenario, const Clean& clean, long write) {
    Slot slot(scenario);
    const Fault fault{write, 1000, EIO, false};
    const std::string out = slot.run(&fault).out;
    EXPECT_TRUE(EndsWith(out, Critical(WRITE_FAILED) + RESTORING + Critical(RESTORE_FAILED) +
                                  Caught(RESTORE_FAILED)))
        << out;
    EXPECT_TRUE(slot.has_journal());
    const ToolRun again = slot.run();
    EXPECT_EQ(again.out, BANNER + RESTORING + clean.out.substr(BANNER.size()));
    EXPECT_TRUE(slot.holds(clean.save));
    EXPECT_FALSE(slot.has_journal());
}

TEST(SavingFaults, ErrorAtEveryCallOfAGrowingRunThenARestoreThatFails) {
    const Scenario scenario = Growing();
    const Clean clean = CleanRun(scenario);
    std::vector<long> writes;
    const long tried = FailEveryCall(scenario, clean, &writes);
    std::cout << "[ faults   ] error points tried, growing run: " << tried << "\n";
    // Journal, growth, two chunks of tail, the table, block, copy, commit.
    EXPECT_GE(tried, 2 * 40);
    ASSERT_FALSE(writes.empty());
    ExpectFailedRestoreRecovered(scenario, clean, writes[writes.size() / 2]);
}

TEST(SavingFaults, ErrorAtEveryCallOfAnInPlaceRun) {
    const Scenario scenario = InPlace();
    std::vector<long> writes;
    const long tried = FailEveryCall(scenario, CleanRun(scenario), &writes);
    std::cout << "[ faults   ] error points tried, in-place run: " << tried << "\n";
    EXPECT_GE(tried, 2 * 20);
}

TEST(SavingFaults, CrashAtEveryCallThenRunAgain) {
    long tried = 0;
    for (const Scenario& scenario : {Growing(), InPlace(), LargeTable()}) {
        const Clean clean = CleanRun(scenario);
        const Left untouched = Untouched(scenario);
        const std::vector<long> torn =
            CrashAtCalls(untouched, scenario, clean.save, 1, clean.calls);
        tried += clean.calls;
        // A run interrupted half-way through changing the save, interrupted
        // again at every call of its recovery. Its first call counts the
        // save's links and its second looks for a journal, as in a run from
        // the untouched save; the recovery's last is followed by the
        // untouched save's third, from the same state: a crash there must
        // find the save restored and the journal gone, and every later call
        // is a crash point of the untouched run, tried above.
        ASSERT_FALSE(torn.empty()) << "no crash left a torn save with its journal";
        const Left half = LeftByCrashAt(untouched, scenario, torn[torn.size() / 2]);
        ASSERT_TRUE(half.has_journal);
        const long recovery = CallsFrom(half, scenario) - (clean.calls - 2);
        ASSERT_GT(recovery, 2);
        CrashAtCalls(half, scenario, clean.save, 1, recovery);
        tried += recovery + 1;
        const Left restored = LeftByCrashAt(half, scenario, recovery + 1);
        EXPECT_TRUE(restored.save == scenario.save) << "the recovery took other calls";
        EXPECT_FALSE(restored.has_journal);
    }
    std::cout << "[ faults   ] crash points tried: " << tried << "\n";
    EXPECT_GE(tried, 150);
}

// What a crash left, changed as a player may change it before the next run:
// the journal is applied to nothing but the save its run began on.
TEST(SavingFaults, AJournalFitsOnlyTheSaveItsRunBeganOn) {
    const Scenario growing = Growing();
    const Scenario in_place = InPlace();
    const Left grown = TornByCrash(growing, CleanRun(growing).calls);
    const Left changed = TornByCrash(in_place, CleanRun(in_place).calls);
    const struct {
        const char* label;
        const Scenario& scenario;
        const Left& left;
        std::function<void(LeftSlot&)> change;
        const char* save;
        std::string report;
    } rows[] = {
        {"an older copy of the save put back", growing, grown,
         [](LeftSlot& slot) {
             SaveParams older = DefaultSaveParams(11, (1 << 20) + 5000);
             older.gvars[30] += 1;  // the same size and head, another table
             WriteFileBytes(slot.save_path(), BuildSave(older));
         },
         "SAVE.DAT", BANNER + Stopped(MISMATCH)},
        {"the torn save patched through another name", growing, grown,
         [](LeftSlot& slot) { fs::create_hard_link(slot.save_path(), slot.dir() / "OTHER.DAT"); },
         "OTHER.DAT", BANNER + "can't patch a SAVE file that has hard links !\n"},
        {"the journal of a run in place cut short", in_place, changed,
         [](LeftSlot& slot) {
             const std::string journal = slot.journal();
             WriteFileBytes(slot.journal_path(), journal.substr(0, journal.size() - 10));
         },
         "SAVE.DAT", BANNER + Stopped(MISMATCH)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        LeftSlot slot(row.left, row.scenario.config);
        row.change(slot);
        const Left before = slot.left();
        const ToolRun run = RunTool(slot.dir(), {"config.xml", row.save});
        EXPECT_EQ(run.out, row.report);
        EXPECT_TRUE(slot.holds(before.save)) << "the save was changed";
        EXPECT_TRUE(slot.journal() == before.journal) << "the journal was changed";
    }
}

// A journal that cannot be looked at is not taken for one that is not
// there, nor for one that cannot be restored.
TEST(SavingFaults, JournalThatCannotBeLookedAtStopsTheRun) {
    const Scenario scenario = InPlace();
    for (int error : {EMFILE, EIO}) {
        Slot slot(scenario);
        const Fault look{2, 1, error, false};  // after the save's link count
        EXPECT_EQ(slot.run(&look).out, BANNER + Stopped(JOURNAL_READ_FAILED));
        EXPECT_TRUE(slot.holds(scenario.save));
        EXPECT_FALSE(slot.has_journal());
    }
}

// The first bytes of a file, for files too large to read whole.
std::string Prefix(const fs::path& file, size_t length) {
    std::ifstream in(file, std::ios::binary);
    std::string bytes(length, '\0');
    in.read(&bytes[0], static_cast<std::streamsize>(length));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

// A run in place may patch a save of any size, and the journal it leaves
// when it is cut off puts such a save back: crashed at each call, the next
// run completes it.
TEST(SavingFaults, RunInPlaceOnASaveOverTwoGiBIsRecovered) {
    const Scenario scenario = InPlace();
    SaveParams patched = DefaultSaveParams(12, 5000);
    patched.gvars[12] = 9;
    patched.gvars[699] = -1;
    const std::string expected = BuildSave(patched);
    const uintmax_t size = (uintmax_t{1} << 31) + 4096;
    const auto sparse_slot = [&] {
        auto slot = std::make_unique<Slot>(scenario);
        fs::resize_file(slot->save_path(), size);  // sparse: no memory or disk used
        return slot;
    };
    long calls = 0;
    const Fault none;
    sparse_slot()->run(&none, &calls);
    long torn = 0;
    for (long k = 1; k <= calls; ++k) {
        SCOPED_TRACE("crash at call " + std::to_string(k));
        const auto slot = sparse_slot();
        const Fault crash{k, 1, EIO, true};
        slot->run(&crash);
        const bool was_torn = slot->has_journal() &&
                              Prefix(slot->save_path(), scenario.save.size()) != scenario.save;
        torn += was_torn;
        const ToolRun again = RunTool(slot->dir(), {"config.xml", "SAVE.DAT"});
        if (was_torn) {
            EXPECT_EQ(again.out.rfind(BANNER + RESTORING, 0), 0u) << again.out;
        }
        EXPECT_TRUE(EndsWith(again.out, COMPLETE)) << again.out;
        EXPECT_TRUE(Prefix(slot->save_path(), expected.size()) == expected);
        EXPECT_EQ(fs::file_size(slot->save_path()), size);
        EXPECT_FALSE(slot->has_journal());
    }
    EXPECT_GT(torn, 0) << "no crash left a torn save";
}

// gvundo's lines.
std::string UndoLine(const std::string& text) { return "gvundo: SAVE.DAT: " + text + "\n"; }
const std::string UNDONE = UndoLine("put back as it was before the last patch");
const std::string TAKEN_BACK = UndoLine("an interrupted run was taken back");

// The state a clean run leaves: the patched save and its undo record.
Left PatchedBy(const Scenario& scenario) {
    Slot slot(scenario);
    slot.run();
    EXPECT_TRUE(slot.has_record());
    return slot.left();
}

// gvundo crashed at each of its calls in turn; from what it left, a gvundo
// completes the undo, and a gvtool run completes it when it had begun and
// then patches: the original save, or one uninterrupted run's.
TEST(UndoFaults, CrashAtEveryCallThenGvundoOrGvtoolCompletesIt) {
    long tried = 0;
    for (const Scenario& scenario : {Growing(), InPlace(), LargeTable()}) {
        const Clean clean = CleanRun(scenario);
        const Left patched = PatchedBy(scenario);
        long calls = 0;
        const Fault none;
        LeftSlot counted(patched, scenario.config);
        EXPECT_EQ(counted.undo(&none, &calls).out, UNDONE);
        EXPECT_TRUE(counted.holds(scenario.save));
        for (long k = 1; k <= calls; ++k) {
            SCOPED_TRACE("crash at call " + std::to_string(k) + " of " + std::to_string(calls));
            LeftSlot crashed(patched, scenario.config);
            const Fault crash{k, 1, EIO, true};
            crashed.undo(&crash);
            LeftSlot patch_again(crashed.left(), scenario.config);
            const ToolRun undo = crashed.undo();
            if (undo.exit_status == 0) {
                EXPECT_TRUE(undo.out == UNDONE || undo.out == TAKEN_BACK) << undo.out;
            } else {
                EXPECT_EQ(undo.err, UndoLine("nothing to undo"));
            }
            EXPECT_TRUE(crashed.holds(scenario.save)) << "not the original save";
            EXPECT_FALSE(crashed.has_journal() || crashed.has_record());
            RunAgain(patch_again, scenario, clean.save);
        }
        tried += calls;
    }
    std::cout << "[ faults   ] gvundo crash points tried: " << tried << "\n";
    EXPECT_GE(tried, 60);
}

// gvundo with each of its calls failing in turn: it says it is done only
// when it is, and otherwise leaves what the next gvundo completes.
TEST(UndoFaults, ErrorAtEveryCallLeavesWhatTheNextGvundoCompletes) {
    const Scenario scenario = Growing();
    const Left patched = PatchedBy(scenario);
    long calls = 0;
    const Fault none;
    LeftSlot(patched, scenario.config).undo(&none, &calls);
    for (long k = 1; k <= calls; ++k) {
        SCOPED_TRACE("call " + std::to_string(k) + " of " + std::to_string(calls));
        LeftSlot slot(patched, scenario.config);
        const Fault fault{k, 1, EIO, false};
        const ToolRun run = slot.undo(&fault);
        if (run.exit_status == 0) {
            EXPECT_EQ(run.out, UNDONE);
            EXPECT_TRUE(slot.holds(scenario.save));
        } else {
            EXPECT_EQ(run.exit_status, 1);
            EXPECT_TRUE(run.err == UndoLine("cannot be read") ||
                        run.err == UndoLine("restore failed; run gvundo again"))
                << run.err;
        }
        if (slot.has_journal() || slot.has_record()) {
            const ToolRun again = slot.undo();
            EXPECT_EQ(again.exit_status, 0);
            EXPECT_TRUE(again.out == UNDONE || again.out == TAKEN_BACK) << again.out;
        }
        EXPECT_TRUE(slot.holds(scenario.save)) << "not the original save";
        EXPECT_FALSE(slot.has_journal() || slot.has_record());
    }
    EXPECT_GE(calls, 10);
}

// Watches the running process's files until `reached` holds, then stops it
// and looks again: true when the state holds with the process stopped, so
// that nothing changes before the test acts; false when the process ended
// first (it is then reaped, its status in *status).
bool StopWhen(pid_t child, const std::function<bool()>& reached, int* status) {
    for (;;) {
        if (reached()) {
            kill(child, SIGSTOP);
            if (waitpid(child, status, WUNTRACED) != child || !WIFSTOPPED(*status)) return false;
            if (reached()) return true;
            kill(child, SIGCONT);
        }
        if (waitpid(child, status, WNOHANG) == child) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
}

// Whether the slot's journal is there and not committed yet.
bool JournalUncommitted(const Slot& slot) {
    std::ifstream in(slot.journal_path(), std::ios::binary);
    char magic[sizeof JOURNAL_MAGIC] = {};
    return in.read(magic, sizeof magic) && std::memcmp(magic, JOURNAL_MAGIC, sizeof magic) == 0;
}

// Runs gvtool on the large save until it is stopped in the state, then
// hands it to act; retried when a run ends before the state is seen, which
// only a long stall of this process while the journal exists can cause.
// Returns whether the state was reached.
bool StopRunWhen(Slot& slot, const fs::path& out, const std::function<bool()>& reached,
                 const std::function<void(pid_t)>& act) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        WriteFileBytes(slot.save_path(), Large().save);
        const pid_t child = Start(slot.dir(), out, GvtoolPath());
        int status = 0;
        if (StopWhen(child, reached, &status)) {
            act(child);
            return true;
        }
        EXPECT_TRUE(WIFEXITED(status) && slot.holds(LargePatched())) << "status " << status;
    }
    return false;
}

// Real kills, at states the files show rather than at times: the journal
// written and not committed (as soon as that is seen), and the save grown
// besides (the tail moving, or the regions being written). Each kill leaves
// the journal; after the second the save has changed, so the next run must
// restore it before it patches.
TEST(SavingKills, SigkillWhileTheJournalExists) {
    const uintmax_t size = Large().save.size();
    for (bool grown : {false, true}) {
        SCOPED_TRACE(grown ? "the save grown" : "the journal there");
        Slot slot(Large());
        const fs::path out = slot.dir().string() + ".out";
        const auto reached = [&] {
            std::error_code error;
            return JournalUncommitted(slot) &&
                   (!grown || fs::file_size(slot.save_path(), error) > size);
        };
        ASSERT_TRUE(StopRunWhen(slot, out, reached, [](pid_t child) {
            kill(child, SIGKILL);
            int status = 0;
            waitpid(child, &status, 0);
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        }));
        fs::remove(out);
        EXPECT_TRUE(JournalUncommitted(slot));
        const ToolRun again = slot.run();
        if (grown) {
            EXPECT_EQ(again.out.rfind(BANNER + RESTORING, 0), 0u) << again.out;
        }
        EXPECT_TRUE(EndsWith(again.out, COMPLETE)) << again.out;
        EXPECT_TRUE(slot.holds(LargePatched())) << "not the bytes of one uninterrupted run";
        EXPECT_FALSE(slot.has_journal());
    }
}

// An interrupt that arrives while the journal exists waits until the report
// is complete and the save patched; then it ends the process.
TEST(SavingSignals, InterruptIsHeldBackUntilTheReportIsComplete) {
    Slot slot(Large());
    const fs::path out = slot.dir().string() + ".out";
    int status = 0;
    ASSERT_TRUE(StopRunWhen(slot, out, [&] { return JournalUncommitted(slot); }, [&](pid_t child) {
        kill(child, SIGINT);  // delivered, and held back, once it goes on
        kill(child, SIGCONT);
        waitpid(child, &status, 0);
    }));
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << "status " << status;
    const std::string console = ReadFileBytes(out);
    fs::remove(out);
    EXPECT_TRUE(EndsWith(console, COMPLETE)) << console;
    EXPECT_EQ(ReadFileBytes(slot.dir() / "patcher.log"), console);
    EXPECT_TRUE(slot.holds(LargePatched()));
    EXPECT_FALSE(slot.has_journal());
}

TEST(SavingSignals, ClosedConsolePipeDoesNotStopTheRun) {
    // More output than a pipe holds: gvtool writes on after head is gone.
    std::string config = "<save_patcher><gvars>\n";
    for (int index = 700; index < 6700; ++index) {
        config += "<gvar action='add' index='" + std::to_string(index) + "' value='1'/>\n";
    }
    config += "</gvars></save_patcher>\n";
    Slot slot(BuildSave(DefaultSaveParams(14, 5000)), config);
    Slot reference(slot.save(), config);
    const std::string expected_log = reference.run().out;
    const std::string command = "cd '" + slot.dir().string() + "' && '" + GvtoolPath() +
                                "' config.xml SAVE.DAT | head -n 1 > head.out";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadFileBytes(slot.dir() / "head.out"), "Drelmoor 2 SAVE patcher\n");
    EXPECT_EQ(ReadFileBytes(slot.dir() / "patcher.log"), expected_log);
    EXPECT_TRUE(slot.save() == reference.save());
    EXPECT_FALSE(slot.has_journal());
}

TEST(SavingSignals, FileSizeLimitIsARefusedGrowth) {
    const Scenario scenario{BuildSave(DefaultSaveParams(15, 5000)), GROWING_CONFIG};
    const std::string clean = CleanRun(scenario).out;
    Slot slot(scenario);
    ToolOptions options;
    options.file_size_limit = scenario.save.size() + 4;  // SIGXFSZ at its default
    const ToolRun run = RunTool(slot.dir(), {"config.xml", "SAVE.DAT"}, options);
    EXPECT_EQ(run.term_signal, 0);
    const size_t resizing = clean.find("resizing SAVE file on ");
    ASSERT_NE(resizing, std::string::npos);
    EXPECT_EQ(run.out, clean.substr(0, clean.find('\n', resizing) + 1) + Critical(RESIZE_FAILED) +
                           RESTORING + Caught(RESIZE_FAILED));
    EXPECT_TRUE(slot.holds(scenario.save));
    EXPECT_FALSE(slot.has_journal());
}

}  // namespace
