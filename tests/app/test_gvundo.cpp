// gvundo through the real binaries, beside gvtool: a patch taken back to
// the original bytes, the record each run keeps or replaces, a live journal
// settled instead, each refusal with its one line and status, and the
// command line. Under Wine the same rows run the commit by MoveFileExW.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "files.h"
#include "journal.h"
#include "platform/lock.h"
#include "platform/open.h"
#include "platform/signals.h"
#include "report_lines.h"
#include "savebuilder.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

const char SAVE[] = "SLOT0/SAVE.DAT";

const char GROWING[] =
    "<save_patcher><gvars><gvar action='add' index='701' value='7'/>"
    "<gvar action='change' index='10' value='100'/></gvars></save_patcher>";
const char IN_PLACE[] =
    "<save_patcher><gvars><gvar action='change' index='3' value='33'/>"
    "<gvar action='change' index='699' value='-1'/></gvars></save_patcher>";
const char ANOTHER[] =
    "<save_patcher><gvars><gvar action='change' index='5' value='55'/></gvars></save_patcher>";
const char NOTHING[] = "<save_patcher/>";

const char USAGE[] =
    "usage: gvundo SAVE\n"
    "\n"
    "Puts SAVE back as it was before the last patch gvtool made to it.\n"
    "\n"
    "  --help     print this text\n"
    "  --version  print the version\n"
    "\n"
    "exit status: 0 done, 1 refused or failed, 2 a wrong command line\n";

std::string Line(const std::string& text) { return "gvundo: " + std::string(SAVE) + ": " + text + "\n"; }

const std::string UNDONE = Line("put back as it was before the last patch");
const std::string TAKEN_BACK = Line("an interrupted run was taken back");
const std::string NOTHING_TO_UNDO = Line("nothing to undo");
const std::string CHANGED = Line("changed since the last patch; nothing done");

class GvundoTest : public ::testing::Test {
public:
    void SetUp() override {
        fs::create_directory(dir_ / "SLOT0");
        WriteFileBytes(save_path(), original_);
    }

    // gvtool with the configuration; must complete.
    void Patch(const std::string& config) {
        WriteFileBytes(dir_ / "config.xml", config);
        const ToolRun run = RunTool(dir_.path(), {"config.xml", SAVE});
        EXPECT_EQ(run.out.substr(run.out.size() - COMPLETE.size()), COMPLETE) << run.out;
    }

    ToolRun Undo(const std::vector<std::string>& args = {SAVE}) {
        ToolOptions options;
        options.program = GvundoPath();
        options.expect_quiet_success = false;
        return RunTool(dir_.path(), args, options);
    }

    // gvundo's one line and status, and that nothing else was printed.
    void ExpectUndo(const std::string& line, bool done) {
        const ToolRun run = Undo();
        EXPECT_EQ(run.exit_status, done ? 0 : 1);
        EXPECT_EQ(run.out, done ? line : "");
        EXPECT_EQ(run.err, done ? "" : line);
    }

    fs::path save_path() const { return dir_ / "SLOT0" / "SAVE.DAT"; }
    fs::path record_path() const { return dir_ / "SLOT0" / "SAVE.DAT-undo"; }
    fs::path journal_path() const { return dir_ / "SLOT0" / "SAVE.DAT-journal"; }
    std::string save() const { return ReadFileBytes(save_path()); }
    bool holds(const std::string& bytes) const { return FileHolds(save_path(), bytes); }

    TempDir dir_;
    const SaveParams params_ = DefaultSaveParams(3, 5000);
    const std::string original_ = BuildSave(params_);
};

TEST_F(GvundoTest, RunThenUndoGivesTheOriginalBytesOnce) {
    for (const char* config : {GROWING, IN_PLACE}) {
        SCOPED_TRACE(config);
        WriteFileBytes(save_path(), original_);
        Patch(config);
        // The commit renamed the journal to the record.
        EXPECT_TRUE(fs::exists(record_path()));
        EXPECT_FALSE(fs::exists(journal_path()));
        ExpectUndo(UNDONE, true);
        EXPECT_TRUE(holds(original_)) << "not the original bytes";
        EXPECT_FALSE(fs::exists(record_path()));
        EXPECT_FALSE(fs::exists(journal_path()));
        // The record is used up.
        ExpectUndo(NOTHING_TO_UNDO, false);
        EXPECT_TRUE(holds(original_));
    }
}

TEST_F(GvundoTest, TheLastRunThatChangedBytesIsTakenBack) {
    Patch(GROWING);
    const std::string after_first = save();
    const std::string first_record = ReadFileBytes(record_path());
    // Changing nothing keeps the older record.
    Patch(NOTHING);
    EXPECT_TRUE(holds(after_first));
    EXPECT_TRUE(ReadFileBytes(record_path()) == first_record) << "the older record was replaced";
    // A run that changes bytes replaces it.
    Patch(ANOTHER);
    EXPECT_FALSE(ReadFileBytes(record_path()) == first_record);
    ExpectUndo(UNDONE, true);
    EXPECT_TRUE(holds(after_first)) << "not the save before the last patch";
    ExpectUndo(NOTHING_TO_UNDO, false);
}

TEST_F(GvundoTest, SaveChangedSinceThePatchIsLeftAlone) {
    Patch(GROWING);
    std::string played = save();
    played[30055 + 4 * 200] ^= 1;  // the game saved since
    WriteFileBytes(save_path(), played);
    const std::string record = ReadFileBytes(record_path());
    ExpectUndo(CHANGED, false);
    EXPECT_TRUE(holds(played));
    EXPECT_TRUE(ReadFileBytes(record_path()) == record);
}

// A run cut off leaves its journal: gvundo settles it as gvtool would, says
// so, and applies no older record in that run.
TEST_F(GvundoTest, LiveJournalIsTakenBackFirst) {
    Patch(IN_PLACE);
    const std::string after_first = save();
    SaveParams first = params_;
    first.gvars[3] = 33;
    first.gvars[699] = -1;
    SaveParams second = first;
    second.gvars.insert(second.gvars.end(), {1, 2});
    ASSERT_TRUE(after_first == BuildSave(first));
    {
        FILE* stream = OpenFileUtf8(save_path().string(), "r+b");
        ASSERT_NE(stream, nullptr);
        StopSignalGuard stop_signals;
        SaveJournal journal(stream, save_path().string(), stop_signals);
        journal.write(second.gvars, DescribeSave(first).cities_list_size + 3, 16);
        fclose(stream);
    }
    // Torn: grown, the tail's last bytes moved.
    const std::string patched = BuildSave(second);
    std::string torn = after_first + patched.substr(after_first.size());
    torn.replace(after_first.size() - 64, 64, patched.substr(after_first.size() - 64, 64));
    WriteFileBytes(save_path(), torn);
    ExpectUndo(TAKEN_BACK, true);
    EXPECT_TRUE(holds(after_first));
    EXPECT_FALSE(fs::exists(journal_path()));
    ExpectUndo(UNDONE, true);
    EXPECT_TRUE(holds(original_));
}

TEST_F(GvundoTest, EachRefusalChangesNothing) {
    const struct {
        const char* label;
        std::function<void(const GvundoTest&)> setup;
        std::string line;
    } rows[] = {
        {"no record", nullptr, NOTHING_TO_UNDO},
        {"a record that is not one",
         [](const GvundoTest& t) { WriteFileBytes(t.record_path(), "not a record"); },
         Line("undo record does not match; nothing done")},
        {"a folder at the record's name",
         [](const GvundoTest& t) { fs::create_directory(t.record_path()); },
         Line("undo record does not match; nothing done")},
        {"another save's record",
         [](const GvundoTest& t) {
             SaveParams other = DefaultSaveParams(4, 5000);
             SaveParams patched = other;
             patched.gvars[0] = 1;
             WriteFileBytes(t.record_path(), BuildJournal(other, patched.gvars));
         },
         CHANGED},
        {"a journal that does not match beside the save",
         [](const GvundoTest& t) {
             SaveParams other = DefaultSaveParams(4, 5000);
             WriteFileBytes(t.journal_path(), BuildJournal(other, other.gvars));
         },
         CHANGED},
        {"a hard link to the save",
         [](const GvundoTest& t) { fs::create_hard_link(t.save_path(), t.dir_ / "BACKUP.DAT"); },
         Line("has hard links; nothing done")},
        {"no save", [](const GvundoTest& t) { fs::remove(t.save_path()); }, Line("cannot be read")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        WriteFileBytes(save_path(), original_);
        fs::remove_all(record_path());
        fs::remove_all(journal_path());
        fs::remove(dir_ / "BACKUP.DAT");
        if (row.setup) row.setup(*this);
        const bool had_save = fs::exists(save_path());
        const std::string record = ReadFileBytes(record_path());
        ExpectUndo(row.line, false);
        if (had_save) {
            EXPECT_TRUE(holds(original_));
        }
        EXPECT_EQ(ReadFileBytes(record_path()), record);
    }
}

TEST_F(GvundoTest, SaveHeldByARunIsLeftAlone) {
    Patch(IN_PLACE);
    const std::string patched = save();
    FILE* holder = OpenFileUtf8(save_path().string(), "r+b");
    ASSERT_NE(holder, nullptr);
    ASSERT_EQ(LockStream(holder), LockResult::Locked);
    ExpectUndo(Line("being patched by another run"), false);
    fclose(holder);
    EXPECT_TRUE(holds(patched));
    ExpectUndo(UNDONE, true);
}

TEST_F(GvundoTest, GvdumpReadsASaveWithARecordAsUsual) {
    Patch(IN_PLACE);
    ToolOptions options;
    options.program = GvdumpPath();
    options.expect_quiet_success = false;
    const ToolRun run = RunTool(dir_.path(), {SAVE}, options);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("<gvar action=\"change\" index=\"3\" value=\"33\" />"), std::string::npos);
}

TEST(GvundoCommandLine, UsageVersionAndWrongUse) {
    TempDir dir;
    ToolOptions options;
    options.program = GvundoPath();
    options.expect_quiet_success = false;
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;
    } rows[] = {
        {{"--help"}, 0, USAGE, ""},
        {{"--version"}, 0, "gvundo 0.01a\n", ""},
        {{}, 2, "", std::string("gvundo: give one save\n") + USAGE},
        {{"A.DAT", "B.DAT"}, 2, "", std::string("gvundo: give one save\n") + USAGE},
        {{"--force", "A.DAT"}, 2, "", std::string("gvundo: unknown option --force\n") + USAGE},
        {{"--", "-A.DAT"}, 1, "", "gvundo: -A.DAT: cannot be read\n"},
    };
    for (const auto& row : rows) {
        const ToolRun run = RunTool(dir.path(), row.args, options);
        EXPECT_EQ(run.exit_status, row.status);
        EXPECT_EQ(run.out, row.out);
        EXPECT_EQ(run.err, row.err);
    }
}

}  // namespace
