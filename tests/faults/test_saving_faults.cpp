// Faults in the SAVING phase and the recovery step, through gvtool_faults:
// each I/O call failed in turn must leave the save byte-identical with the
// exact report, and the process ended at each call in turn must leave a
// save that the next plain run turns into exactly the bytes of one
// uninterrupted run. Then real kills, signals and a file size limit through
// the product's gvtool. Scratch folders live on /dev/shm when it exists.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "files.h"
#include "report_lines.h"
#include "savebuilder.h"
#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;

const std::string RESTORE_FAILED = "can't restore SAVE file from journal !";
const std::string JOURNAL_FAILED = "can't write journal file !";
const std::string RESIZE_FAILED = "can't set new size to SAVE file !";
const std::string WRITE_FAILED = "error while writing SAVE file !";

struct Scenario {
    std::string save;
    std::string config;
};

const char GROWING_CONFIG[] =
    "<save_patcher><gvars>\n"
    "  <gvar action=\"add\" index=\"700\" value=\"1\"/>\n"
    "  <gvar action=\"add\" index=\"702\" value=\"3\"/>\n"
    "  <gvar action=\"change\" index=\"12\" value=\"9\"/>\n"
    "</gvars></save_patcher>\n";

// Grows the file by three entries and moves a tail of two chunks.
Scenario Growing() { return {BuildSave(DefaultSaveParams(11, (1 << 20) + 5000)), GROWING_CONFIG}; }

// Rewrites the table and its copy in place.
Scenario InPlace() {
    return {BuildSave(DefaultSaveParams(12, 5000)),
            "<save_patcher><gvars>\n"
            "  <gvar action=\"change\" index=\"12\" value=\"9\"/>\n"
            "  <gvar action=\"change\" index=\"699\" value=\"-1\"/>\n"
            "</gvars></save_patcher>\n"};
}

// A growing run on a save with a 64 MiB tail: long enough to be caught.
const Scenario& Large() {
    static const Scenario scenario{BuildSave(DefaultSaveParams(13, 64u << 20)), GROWING_CONFIG};
    return scenario;
}

// What gvtool_faults is told: from call `at` on, `run` calls fail with
// `error`, or the process ends at call `at` (crash).
struct Fault {
    long at = 0;
    long run = 1;
    int error = EIO;
    bool crash = false;
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
        const std::pair<const char*, long> settings[] = {
            {"GVTOOL_FAULT_AT", fault ? fault->at : 0}, {"GVTOOL_FAULT_RUN", fault ? fault->run : 1},
            {"GVTOOL_FAULT_ERRNO", fault ? fault->error : EIO},
            {"GVTOOL_FAULT_CRASH", fault && fault->crash}};
        if (fault) {
            options.program = GVTOOL_FAULTS_PATH;
            options.expect_quiet_success = !fault->crash;
            for (const auto& [name, value] : settings) setenv(name, std::to_string(value).c_str(), 1);
            setenv("GVTOOL_FAULT_COUNT", "faults.count", 1);
        }
        const ToolRun result = RunTool(dir_.path(), {"config.xml", "SAVE.DAT"}, options);
        for (const auto& setting : settings) unsetenv(setting.first);
        unsetenv("GVTOOL_FAULT_COUNT");
        if (calls) *calls = std::atol(ReadFileBytes(dir_ / "faults.count").c_str());
        EXPECT_TRUE(!fault || !fault->crash || result.exit_status == FAULT_CRASH_STATUS);
        return result;
    }

    fs::path dir() const { return dir_.path(); }
    fs::path journal_path() const { return dir_ / "SAVE.DAT-journal"; }
    std::string save() const { return ReadFileBytes(dir_ / "SAVE.DAT"); }
    bool has_journal() const { return fs::exists(journal_path()); }
    std::string journal() const { return ReadFileBytes(journal_path()); }

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
    EXPECT_TRUE(counted.save() == clean.save);
    EXPECT_GT(clean.calls, 0);
    return clean;
}

// Fails every call of the scenario's run in turn, with EIO and ENOSPC. The
// reports come in this order: the journal cannot be looked for (the first
// call), cannot be written, the growth is refused, a write fails; each of
// the last two restores the save. Past the commit point failures are left
// to the next run. Returns the calls tried and, in *write_failures, the
// calls that failed a write.
long FailEveryCall(const Scenario& scenario, const Clean& clean, std::vector<long>* write_failures) {
    const std::string saving = "SAVING\n" + SEPARATOR + "flushing buffer to SAVE file ...\n";
    const size_t saving_at = clean.out.find(saving);
    EXPECT_NE(saving_at, std::string::npos);
    const std::string before_saving = clean.out.substr(0, saving_at + saving.size());
    const size_t resizing_end = clean.out.find('\n', saving_at + saving.size()) + 1;
    const std::string resizing = clean.out.substr(saving_at + saving.size(),
                                                  resizing_end - saving_at - saving.size());

    const std::vector<std::pair<std::string, std::string>> stages = {
        {RESTORE_FAILED, BANNER + Critical(RESTORE_FAILED)},
        {JOURNAL_FAILED, before_saving + Critical(JOURNAL_FAILED)},
        {RESIZE_FAILED, before_saving + resizing + Critical(RESIZE_FAILED) + RESTORING},
        {WRITE_FAILED, ""}};
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
                EXPECT_TRUE(slot.save() == clean.save);
                slot.run();
                EXPECT_TRUE(slot.save() == clean.save);
                EXPECT_FALSE(slot.has_journal());
                continue;
            }
            EXPECT_FALSE(committed) << "a failure after the commit point";
            EXPECT_TRUE(slot.save() == scenario.save) << "the save was not restored";
            EXPECT_FALSE(slot.has_journal());
            int found = -1;
            for (int i = 0; i < 4; ++i) {
                if (EndsWith(out, Caught(stages[i].first))) found = i;
            }
            if (found == -1) {
                ADD_FAILURE() << "unexpected report:\n" << out;
                continue;
            }
            EXPECT_GE(found, stage) << "reports out of order";
            stage = found;
            if (found < 3) {
                EXPECT_EQ(out, stages[found].second + Caught(stages[found].first));
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
    EXPECT_EQ(stage, 3);
    // One past the last call fails nothing: the count is exact.
    Slot beyond(scenario);
    const Fault past{clean.calls + 1};
    EXPECT_EQ(beyond.run(&past).out, clean.out);
    EXPECT_TRUE(beyond.save() == clean.save);
    return 2 * clean.calls;
}

// The state a run left: the save and, when there is one, the journal.
struct Left {
    std::string save;
    std::string journal;
    bool has_journal = false;
};

// Ends the run at each of its calls in turn, from the state given; after
// each, a plain run must leave exactly the expected save and no journal.
// Returns the points tried; *torn, when given, receives the states left
// with a journal and a save that differs from where it started.
long CrashAtEveryCall(const Left& start, const std::string& config, const std::string& expected,
                      std::vector<Left>* torn) {
    long calls = 0;
    {
        Slot counted(start.save, config);
        if (start.has_journal) WriteFileBytes(counted.journal_path(), start.journal);
        const Fault none;
        counted.run(&none, &calls);
        EXPECT_TRUE(counted.save() == expected);
    }
    for (long k = 1; k <= calls; ++k) {
        SCOPED_TRACE("crash at call " + std::to_string(k) + " of " + std::to_string(calls));
        Slot slot(start.save, config);
        if (start.has_journal) WriteFileBytes(slot.journal_path(), start.journal);
        const Fault crash{k, 1, EIO, true};
        slot.run(&crash);
        if (torn && slot.has_journal() && slot.save() != start.save) {
            torn->push_back({slot.save(), slot.journal(), true});
        }
        const ToolRun again = slot.run();
        EXPECT_TRUE(EndsWith(again.out, COMPLETE)) << again.out;
        EXPECT_TRUE(slot.save() == expected) << "not the bytes of one uninterrupted run";
        EXPECT_FALSE(slot.has_journal());
    }
    return calls;
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
    EXPECT_TRUE(slot.save() == clean.save);
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
    for (const Scenario& scenario : {Growing(), InPlace()}) {
        const Clean clean = CleanRun(scenario);
        std::vector<Left> torn;
        tried += CrashAtEveryCall({scenario.save, "", false}, scenario.config, clean.save, &torn);
        // A run interrupted half-way through changing the save, interrupted
        // again at every call of its recovery and of its own saving.
        ASSERT_FALSE(torn.empty()) << "no crash left a torn save with its journal";
        tried += CrashAtEveryCall(torn[torn.size() / 2], scenario.config, clean.save, nullptr);
    }
    std::cout << "[ faults   ] crash points tried: " << tried << "\n";
    EXPECT_GE(tried, 100);
}

// Starts gvtool in the slot with its output in `out`; returns its pid.
pid_t StartTool(const Slot& slot, const fs::path& out) {
    const std::string program = GvtoolPath();
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(slot.dir().c_str()) != 0 || !freopen(out.c_str(), "w", stdout)) _exit(126);
        execl(program.c_str(), program.c_str(), "config.xml", "SAVE.DAT", static_cast<char*>(nullptr));
        _exit(127);
    }
    return child;
}

// Waits until the slot's journal exists or the process has ended; true
// when the journal was seen while the process ran.
bool AwaitJournal(const Slot& slot, pid_t child) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < limit) {
        if (slot.has_journal()) return true;
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return false;
}

// The expected save of a scenario, from a plain run.
std::string Patched(const Scenario& scenario) {
    Slot slot(scenario);
    EXPECT_TRUE(EndsWith(slot.run().out, COMPLETE));
    return slot.save();
}

TEST(SavingKills, SigkillOnceTheJournalExists) {
    const std::string expected = Patched(Large());
    int journals_left = 0;
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE("kill " + std::to_string(i + 1));
        Slot slot(Large());
        const pid_t child = StartTool(slot, slot.dir().string() + ".out");
        ASSERT_TRUE(AwaitJournal(slot, child));
        // Later each time, so that kills fall in different steps.
        std::this_thread::sleep_for(std::chrono::milliseconds(5 * i * i));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        fs::remove(slot.dir().string() + ".out");
        if (slot.has_journal()) ++journals_left;
        const ToolRun again = slot.run();
        EXPECT_TRUE(EndsWith(again.out, COMPLETE)) << again.out;
        EXPECT_TRUE(slot.save() == expected) << "not the bytes of one uninterrupted run";
        EXPECT_FALSE(slot.has_journal());
    }
    std::cout << "[ kills    ] 5 SIGKILLs, journals left behind: " << journals_left << "\n";
    EXPECT_GE(journals_left, 1);
}

TEST(SavingSignals, InterruptIsHeldBackUntilTheReportIsComplete) {
    const std::string expected = Patched(Large());
    Slot slot(Large());
    const fs::path out = slot.dir().string() + ".out";
    const pid_t child = StartTool(slot, out);
    ASSERT_TRUE(AwaitJournal(slot, child));
    kill(child, SIGINT);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << "status " << status;
    const std::string console = ReadFileBytes(out);
    fs::remove(out);
    EXPECT_TRUE(EndsWith(console, COMPLETE)) << console;
    EXPECT_EQ(ReadFileBytes(slot.dir() / "patcher.log"), console);
    EXPECT_TRUE(slot.save() == expected);
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
    EXPECT_TRUE(slot.save() == scenario.save);
    EXPECT_FALSE(slot.has_journal());
}

}  // namespace
