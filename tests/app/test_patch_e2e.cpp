// Whole runs through the real binary: configuration text in, console and
// "patcher.log" text and the patched save's bytes out, all exact.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

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

// Everything a run on the default 700-GVAR save prints before ADDING.
const std::string HEAD = BANNER + CONFIG_READ + DEFAULT_SAVE_READ + "\n";

std::string CompleteRun(const std::string& adding, const std::string& changing,
                        const std::string& saving) {
    return HEAD + "ADDING\n" + SEPARATOR + adding + SEPARATOR + "\nCHANGING\n" + SEPARATOR +
           changing + SEPARATOR + "\nSAVING\n" + SEPARATOR + saving + COMPLETE;
}

const std::string UNCHANGED_SIZE_SAVING =
    "flushing buffer to SAVE file ...\n"
    "write GVARs to SAVE file ( offset = 30055, count = 700 ) ...\n"
    "write copy of GVARs to SAVE file ( offset = 32984, count = 700 ) ...\n";

// A slot folder with the default generated save and the configuration.
class PatchRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        params_ = DefaultSaveParams();
        std::filesystem::create_directory(dir_ / "SLOT0");
        WriteFileBytes(dir_ / "SLOT0" / "SAVE.DAT", BuildSave(params_));
    }

    ToolRun Run(const std::string& config) {
        WriteFileBytes(dir_ / "config.xml", config);
        ToolRun run = RunTool(dir_.path(), {"config.xml", "SLOT0/SAVE.DAT"});
        EXPECT_EQ(run.exit_status, 0);
        EXPECT_EQ(run.log, run.out);
        return run;
    }

    std::string Save() { return ReadFileBytes(SavePath()); }
    std::filesystem::path SavePath() const { return dir_ / "SLOT0" / "SAVE.DAT"; }

    // The save after ADDS_AND_CHANGES: the gap at 700 is zero, and 702 was
    // created by an add and then set by a change.
    SaveParams AddsAndChanges() const {
        SaveParams patched = params_;
        patched.gvars[10] = 100;
        patched.gvars.insert(patched.gvars.end(), {0, 7, -3, 9});
        return patched;
    }
    void ExpectAddsAndChangesSaved() { EXPECT_EQ(Save(), BuildSave(AddsAndChanges())); }

    TempDir dir_;
    SaveParams params_;
};

const char ADDS_AND_CHANGES[] =
    "<?xml version=\"1.0\"?>\n"
    "<save_patcher>\n"
    "    <gvars>\n"
    "        <!-- given in descending order: the adds are sorted -->\n"
    "        <gvar action=\"add\" index=\"703\" value=\"9\"/>\n"
    "        <gvar action=\"add\" index=\"701\" value=\"7\"/>\n"
    "        <gvar action=\"change\" index=\"702\" value=\"-3\"/>\n"
    "        <gvar action=\"change\" index=\"10\" value=\"100\"/>\n"
    "    </gvars>\n"
    "</save_patcher>\n";

const std::string ADDS_AND_CHANGES_LOG = CompleteRun(
    "adding new GVARs (2) to SAVE file\n"
    "\tadding GVAR (1 of 2)\n\t{ index = 701, value = 7 }\n\n"
    "\tadding GVAR (2 of 2)\n\t{ index = 703, value = 9 }\n\n",
    "setting GVARs (2) in SAVE file\n"
    "\tset GVAR value (1 of 2)\n\t{ index = 702, value = -3 }\n\n"
    "\tset GVAR value (2 of 2)\n\t{ index = 10, value = 100 }\n\n",
    "flushing buffer to SAVE file ...\n"
    "resizing SAVE file on 32 bytes ...\n"
    "write GVARs to SAVE file ( offset = 30055, count = 704 ) ...\n"
    "write cities block to SAVE file( offset = 32871, size = 129 ) ...\n"
    "write copy of GVARs to SAVE file ( offset = 33000, count = 704 ) ...\n");

TEST_F(PatchRunTest, AddsAndChangesTogetherGrowTheFile) {
    ToolRun run = Run(ADDS_AND_CHANGES);
    EXPECT_EQ(run.out, ADDS_AND_CHANGES_LOG);
    ExpectAddsAndChangesSaved();
}

TEST_F(PatchRunTest, CrlfConfigurationGivesTheSameRun) {
    std::string crlf;
    for (char c : std::string(ADDS_AND_CHANGES)) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    ToolRun run = Run(crlf);
    EXPECT_EQ(run.out, ADDS_AND_CHANGES_LOG);
    ExpectAddsAndChangesSaved();
}

TEST_F(PatchRunTest, DuplicatesAndRemoves) {
    ToolRun run = Run(
        "<save_patcher><gvars>\n"
        "  <gvar action='remove' index='3' value='0'/>\n"
        "  <gvar action='add' index='700' value='5'/>\n"
        "  <gvar action='add' index='700' value='5'/>\n"
        "  <gvar action='change' index='4' value='1'/>\n"
        "  <gvar action='change' index='4' value='2'/>\n"
        "  <gvar action='REMOVE' index='700' value='0'/>\n"
        "</gvars></save_patcher>\n");
    EXPECT_EQ(run.out,
              CompleteRun(
                  "adding new GVARs (2) to SAVE file\n"
                  "\tadding GVAR (1 of 2)\n\t{ index = 700, value = 5 }\n\n"
                  "\tadding GVAR (2 of 2)\n\t{ index = 700, value = 5 }\n\n"
                  "\twhile adding, detected index(700) in range [0, 701), expected index >= 701\n",
                  "setting GVARs (2) in SAVE file\n"
                  "\tset GVAR value (1 of 2)\n\t{ index = 4, value = 1 }\n\n"
                  "\tset GVAR value (2 of 2)\n\t{ index = 4, value = 2 }\n\n",
                  "flushing buffer to SAVE file ...\n"
                  "resizing SAVE file on 8 bytes ...\n"
                  "write GVARs to SAVE file ( offset = 30055, count = 701 ) ...\n"
                  "write cities block to SAVE file( offset = 32859, size = 129 ) ...\n"
                  "write copy of GVARs to SAVE file ( offset = 32988, count = 701 ) ...\n"));
    params_.gvars[4] = 2;  // the last change wins; removes touch nothing
    params_.gvars.push_back(5);
    EXPECT_EQ(Save(), BuildSave(params_));
}

TEST_F(PatchRunTest, WhatTheReaderTakesFromEachElement) {
    ToolRun run = Run(
        "<save_patcher>\n"
        "  <gvars>\n"
        "    <gvar value=\"11\" index=\"1\" action=\"Change\"/>\n"
        "    <gvar action=\"ADD\" index=\"700\" value=\"1\"/>\n"
        "    <gvar action=\"Add\" value=\"2\" index=\"701\"/>\n"
        "    <gvar index=\"2\" value=\"22\"/>\n"
        "    <gvar action=\"change\" index=\"3\"/>\n"
        "    <GVAR action=\"change\" index=\"4\" value=\"44\"/>\n"
        "    <gvar action=\"change\" Index=\"5\" value=\"55\"/>\n"
        "    <gvar action=\"change\" index=\"6\" value=\"66\" value=\"67\" index=\"7\"/>\n"
        "  </gvars>\n"
        "  <gvars>\n"
        "    <gvar action=\"change\" index=\"&#56;\" value=\"&#45;8\"/>\n"
        "    <gvar action=\"ch&amp;nge\" index=\"9\" value=\"9&lt;\"/>\n"
        "  </gvars>\n"
        "</save_patcher>\n");
    EXPECT_EQ(run.out,
              CompleteRun(
                  "adding new GVARs (2) to SAVE file\n"
                  "\tadding GVAR (1 of 2)\n\t{ index = 700, value = 1 }\n\n"
                  "\tadding GVAR (2 of 2)\n\t{ index = 701, value = 2 }\n\n",
                  "setting GVARs (4) in SAVE file\n"
                  "\tset GVAR value (1 of 4)\n\t{ index = 1, value = 11 }\n\n"
                  "\tset GVAR value (2 of 4)\n\t{ index = 6, value = 66 }\n\n"
                  "\tset GVAR value (3 of 4)\n\t{ index = 8, value = -8 }\n\n"
                  "\tset GVAR value (4 of 4)\n\t{ index = 9, value = 9 }\n\n",
                  "flushing buffer to SAVE file ...\n"
                  "resizing SAVE file on 16 bytes ...\n"
                  "write GVARs to SAVE file ( offset = 30055, count = 702 ) ...\n"
                  "write cities block to SAVE file( offset = 32863, size = 129 ) ...\n"
                  "write copy of GVARs to SAVE file ( offset = 32992, count = 702 ) ...\n"));
    params_.gvars[1] = 11;
    params_.gvars[6] = 66;
    params_.gvars[8] = -8;
    params_.gvars[9] = 9;
    params_.gvars.insert(params_.gvars.end(), {1, 2});
    EXPECT_EQ(Save(), BuildSave(params_));
}

TEST_F(PatchRunTest, NothingSelectedStillRewritesTheTableUnchanged) {
    const std::string save = Save();
    // The shipped example keeps its requests in a comment until edited, also
    // in CR LF, as the players' zip holds it.
    const std::string example = ReadFileBytes(GVTOOL_EXAMPLE_CONFIG);
    std::string example_crlf;
    for (char c : example) example_crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const char* config :
         {"<save_patcher/>", "<save_patcher><gvars></gvars></save_patcher>",
          "<patcher><gvars><gvar action='add' index='700' value='1'/></gvars></patcher>",
          example.c_str(), example_crlf.c_str()}) {
        ToolRun run = Run(config);
        EXPECT_EQ(run.out, CompleteRun("adding new GVARs (0) to SAVE file\n",
                                       "setting GVARs (0) in SAVE file\n", UNCHANGED_SIZE_SAVING))
            << config;
        EXPECT_EQ(Save(), save) << config;
    }
}

TEST_F(PatchRunTest, AddWithNegativeIndexStopsBeforeWriting) {
    const std::string save = Save();
    ToolRun run = Run(
        "<save_patcher><gvars>"
        "<gvar action='add' index='-1' value='3'/>"
        "<gvar action='add' index='700' value='1'/>"
        "</gvars></save_patcher>");
    EXPECT_EQ(run.out, HEAD + "ADDING\n" + SEPARATOR +
                           "adding new GVARs (2) to SAVE file\n"
                           "\tadding GVAR (1 of 2)\n\t{ index = 700, value = 1 }\n\n"
                           "\tadding GVAR (2 of 2)\n\t{ index = -1, value = 3 }\n\n" +
                           Caught("can't add GVAR with index -1 !"));
    EXPECT_EQ(Save(), save);
}

// The journal and the lock. A journal is made here by the patcher's own
// writer, as a run killed right after writing it would leave it.

const std::string MISMATCH = "journal file does not match SAVE file !";

// The name gvtool gives the save's journal.
std::string JournalOf(const std::filesystem::path& save) {
    FILE* stream = OpenFileUtf8(save.string(), "rb");
    const std::string name = JournalPath(stream, save.string());
    if (stream) fclose(stream);
    return name;
}

// Writes the journal of a run that turns the save params build into the
// one patched builds, as that run writes it; returns its bytes.
std::string LeaveJournal(const std::filesystem::path& save, const SaveParams& params,
                         const SaveParams& patched) {
    FILE* stream = OpenFileUtf8(save.string(), "r+b");
    EXPECT_NE(stream, nullptr);
    if (!stream) return "";
    {
        StopSignalGuard stop_signals;
        SaveJournal journal(stream, save.string(), stop_signals);
        const size_t added = patched.gvars.size() - params.gvars.size();
        journal.write(patched.gvars, DescribeSave(params).cities_list_size + 3,
                      static_cast<int32_t>(8 * added));
    }
    fclose(stream);
    return ReadFileBytes(JournalOf(save));
}

TEST_F(PatchRunTest, InterruptedRunIsRestoredFromItsJournalFirst) {
    const std::string original = Save();
    const std::string journal = LeaveJournal(SavePath(), params_, AddsAndChanges());
    EXPECT_TRUE(journal == BuildJournal(params_, AddsAndChanges().gvars)) << "not as a run writes it";
    // Torn as by a tail move cut short: grown, the tail moved in part, the
    // table not yet written.
    const std::string patched = BuildSave(AddsAndChanges());
    std::string torn = original + patched.substr(original.size());
    torn.replace(original.size() - 500, 500, patched.substr(original.size() - 500, 500));
    WriteFileBytes(SavePath(), torn);
    ToolRun run = Run(ADDS_AND_CHANGES);
    EXPECT_EQ(run.out, BANNER + RESTORING + ADDS_AND_CHANGES_LOG.substr(BANNER.size()));
    ExpectAddsAndChangesSaved();
    EXPECT_FALSE(std::filesystem::exists(JournalOf(SavePath())));
}

// Every kind of journal left behind is judged in-process (test_journal);
// here one of each outcome goes through the whole run.
TEST_F(PatchRunTest, CommittedAndIncompleteJournalsGoSilently) {
    const std::string original = Save();
    const std::string journal = LeaveJournal(SavePath(), params_, AddsAndChanges());
    const std::string name = JournalOf(SavePath());
    std::string committed = journal;
    committed.replace(0, 8, 8, '\0');
    std::string header_cut = journal;  // its writing cut off after three bytes
    header_cut.replace(3, JOURNAL_HEADER_SIZE - 3, JOURNAL_HEADER_SIZE - 3, '\0');
    for (const std::string& left : {committed, header_cut}) {
        WriteFileBytes(SavePath(), original);
        WriteFileBytes(name, left);
        EXPECT_EQ(Run(ADDS_AND_CHANGES).out, ADDS_AND_CHANGES_LOG) << left.size();
        EXPECT_FALSE(std::filesystem::exists(name));
    }
    ExpectAddsAndChangesSaved();
}

TEST_F(PatchRunTest, JournalThatDoesNotMatchStopsTheRunAndKeepsBoth) {
    const std::string original = Save();
    const std::string journal = LeaveJournal(SavePath(), params_, AddsAndChanges());
    const std::string name = JournalOf(SavePath());
    std::string other_head = original;
    other_head[100] ^= 1;  // another save's journal
    WriteFileBytes(SavePath(), other_head);
    EXPECT_EQ(Run(ADDS_AND_CHANGES).out, BANNER + Stopped(MISMATCH));
    EXPECT_TRUE(Save() == other_head);
    EXPECT_TRUE(ReadFileBytes(name) == journal);
}

TEST_F(PatchRunTest, SaveHeldByAnotherProcessIsLeftAlone) {
    const std::string original = Save();
    WriteFileBytes(dir_ / "config.xml", ADDS_AND_CHANGES);
    FILE* holder = OpenFileUtf8(SavePath().string(), "r+b");
    ASSERT_NE(holder, nullptr);
    ASSERT_EQ(LockStream(holder), LockResult::Locked);
    const ToolRun run = RunTool(dir_.path(), {"config.xml", "SLOT0/SAVE.DAT"});
    fclose(holder);
    EXPECT_EQ(run.out, BANNER + "can't lock SAVE file !\n");
    EXPECT_EQ(run.log, run.out);
    EXPECT_EQ(Save(), original);
}

TEST_F(PatchRunTest, ReadOnlyFolderRefusesTheJournalAndKeepsTheSave) {
#ifdef _WIN32
    GTEST_SKIP() << "Wine maps folder permissions to the host's, where the tests run as root";
#else
    namespace fs = std::filesystem;
    const std::string original = Save();
    WriteFileBytes(dir_ / "config.xml", ADDS_AND_CHANGES);
    fs::permissions(dir_.path(), fs::perms::all);
    fs::permissions(SavePath(), fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec |
                                                     fs::perms::others_exec));
    fs::permissions(dir_ / "SLOT0", fs::perms::all & ~(fs::perms::owner_write |
                                                         fs::perms::group_write |
                                                         fs::perms::others_write));
    ToolOptions options;
    options.unprivileged = true;  // root would write anyway
    const ToolRun run = RunTool(dir_.path(), {"config.xml", "SLOT0/SAVE.DAT"}, options);
    fs::permissions(dir_ / "SLOT0", fs::perms::all);
    const std::string saving = "flushing buffer to SAVE file ...\n";
    EXPECT_EQ(run.out, ADDS_AND_CHANGES_LOG.substr(0, ADDS_AND_CHANGES_LOG.find(saving) + saving.size()) +
                           Stopped("can't write journal file !"));
    EXPECT_EQ(run.log, run.out);
    EXPECT_EQ(Save(), original);
    EXPECT_FALSE(fs::exists(JournalOf(SavePath())));
#endif
}

// Files that are not what they seem. Each run starts in a folder holding the
// default save as SAVE.DAT, config.xml setting GVAR 3 to 33 and the log of an
// earlier run; the row then swaps in its hostile file.
struct HostileFile {
    const char* label;
    std::vector<std::string> args;       // configuration, save
    void (*setup)(const fs::path& dir);  // or null
    std::string console;                 // after the banner (and the no-log line)
    bool log_used;  // patcher.log holds this run's report; else it is as before
    bool patched;   // the save holds GVAR 3 = 33; else it is unchanged
    const char* save = "SAVE.DAT";
    bool lock_log = false;          // another run holds patcher.log
    uint64_t memory_limit = 0;      // address-space limit, POSIX only
};

const std::string CHANGED_3 =
    CompleteRun("adding new GVARs (0) to SAVE file\n",
                "setting GVARs (1) in SAVE file\n\tset GVAR value (1 of 1)\n"
                "\t{ index = 3, value = 33 }\n\n",
                UNCHANGED_SIZE_SAVING)
        .substr(BANNER.size());
const std::string SAVE_REFUSED = "can't open SAVE file !\n";
const std::string CONFIG_REFUSED =
    "loading config file ...\nerror while loading config file !\n\tcan't open file !\n";

const std::string HARD_LINKED = "can't patch a SAVE file that has hard links !\n";
const std::string JOURNAL_REFUSED = BANNER + Stopped(MISMATCH);

// A symbolic link where the system allows one to anybody; a hard link on
// Windows, which leaves the save two names: it is then refused.
void LinkFile(const fs::path& dir, const char* target, const char* link) {
#ifdef _WIN32
    fs::create_hard_link(dir / target, dir / link);
#else
    fs::create_symlink(target, dir / link);
#endif
}
#ifdef _WIN32
const bool LINKED_SAVE_PATCHED = false;
const std::string LOG_LINKED = HARD_LINKED;
const std::string CONFIG_LINKED = HARD_LINKED;
#else
const bool LINKED_SAVE_PATCHED = true;
const std::string LOG_LINKED = CHANGED_3;
const std::string CONFIG_LINKED = CONFIG_REFUSED;
#endif

#ifndef _WIN32
// A save name that leaves no room for "-journal" within the system's limit
// on a name.
const std::string LONG_NAME = std::string(250, 'S') + ".DAT";
#endif

// The bytes of every regular file in the folder but the save itself (under
// any name), its undo record when the run patched it, and, when this run
// writes it, the log.
std::map<std::string, std::string> OtherFiles(const fs::path& dir, const HostileFile& row) {
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        if (entry.is_symlink() || !entry.is_regular_file()) continue;
        if (fs::equivalent(entry.path(), dir / row.save)) continue;
        if (row.patched && entry.path().filename() == std::string(row.save) + "-undo") continue;
        if (row.log_used && entry.path().filename() == "patcher.log") continue;
        files[entry.path().filename().u8string()] = ReadFileBytes(entry.path());
    }
    return files;
}

std::vector<HostileFile> HostileFiles() {
    std::vector<HostileFile> rows = {
        {"log linked to the save", {"config.xml", "SAVE.DAT"},
         [](const fs::path& dir) {
             fs::remove(dir / "patcher.log");
             LinkFile(dir, "SAVE.DAT", "patcher.log");
         },
         LOG_LINKED, false, LINKED_SAVE_PATCHED},
        {"save named patcher.log", {"config.xml", "patcher.log"},
         [](const fs::path& dir) { fs::rename(dir / "SAVE.DAT", dir / "patcher.log"); }, CHANGED_3,
         false, true, "patcher.log"},
        {"configuration named patcher.log", {"patcher.log", "SAVE.DAT"},
         [](const fs::path& dir) { fs::rename(dir / "config.xml", dir / "patcher.log"); },
         CHANGED_3, false, true},
        {"log locked by another run", {"config.xml", "SAVE.DAT"}, nullptr, CHANGED_3, false, true,
         "SAVE.DAT", true},
        {"log is a folder", {"config.xml", "SAVE.DAT"},
         [](const fs::path& dir) {
             fs::remove(dir / "patcher.log");
             fs::create_directory(dir / "patcher.log");
         },
         CHANGED_3, false, true},
        {"the save as its own configuration", {"SAVE.DAT", "SAVE.DAT"}, nullptr, CONFIG_REFUSED,
         true, false},
        {"a link to the save as the configuration", {"link.xml", "SAVE.DAT"},
         [](const fs::path& dir) { LinkFile(dir, "SAVE.DAT", "link.xml"); }, CONFIG_LINKED, true,
         false},
        {"a hard link to the save", {"config.xml", "SAVE.DAT"},
         [](const fs::path& dir) { fs::create_hard_link(dir / "SAVE.DAT", dir / "BACKUP.DAT"); },
         HARD_LINKED, true, false},
        {"a folder at the journal's name", {"config.xml", "SAVE.DAT"},
         [](const fs::path& dir) { fs::create_directory(dir / "SAVE.DAT-journal"); },
         JOURNAL_REFUSED.substr(BANNER.size()), true, false},
#ifdef _WIN32
        {"CON as the save", {"config.xml", "CON"}, nullptr, SAVE_REFUSED, true, false},
        {"NUL as the save", {"config.xml", "NUL"}, nullptr, SAVE_REFUSED, true, false},
        {"NUL as the configuration", {"NUL", "SAVE.DAT"}, nullptr, CONFIG_REFUSED, true, false},
#else
        {"FIFO as the save", {"config.xml", "fifo.dat"},
         [](const fs::path& dir) { ASSERT_EQ(mkfifo((dir / "fifo.dat").c_str(), 0600), 0); },
         SAVE_REFUSED, true, false},
        {"FIFO as the configuration", {"fifo.xml", "SAVE.DAT"},
         [](const fs::path& dir) { ASSERT_EQ(mkfifo((dir / "fifo.xml").c_str(), 0600), 0); },
         CONFIG_REFUSED, true, false},
        {"log is a FIFO", {"config.xml", "SAVE.DAT"},
         [](const fs::path& dir) {
             fs::remove(dir / "patcher.log");
             ASSERT_EQ(mkfifo((dir / "patcher.log").c_str(), 0600), 0);
         },
         CHANGED_3, false, true},
        {"a FIFO at the journal's name", {"config.xml", "SAVE.DAT"},
         [](const fs::path& dir) { ASSERT_EQ(mkfifo((dir / "SAVE.DAT-journal").c_str(), 0600), 0); },
         JOURNAL_REFUSED.substr(BANNER.size()), true, false},
        {"a link to a FIFO at the journal's name", {"config.xml", "SAVE.DAT"},
         [](const fs::path& dir) {
             ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
             fs::create_symlink("fifo", dir / "SAVE.DAT-journal");
         },
         JOURNAL_REFUSED.substr(BANNER.size()), true, false},
        {"a loop of links at the journal's name", {"config.xml", "SAVE.DAT"},
         [](const fs::path& dir) { fs::create_symlink("SAVE.DAT-journal", dir / "SAVE.DAT-journal"); },
         JOURNAL_REFUSED.substr(BANNER.size()), true, false},
        // Windows paths stop at MAX_PATH long before a name does.
        {"a name with no room for the journal's", {"config.xml", LONG_NAME},
         [](const fs::path& dir) { fs::rename(dir / "SAVE.DAT", dir / LONG_NAME); },
         CHANGED_3.substr(0, CHANGED_3.find("write GVARs")) + Stopped("can't write journal file !"),
         true, false, LONG_NAME.c_str()},
        {"/dev/zero as the save", {"config.xml", "/dev/zero"}, nullptr, SAVE_REFUSED, true, false},
        {"/dev/null as the configuration", {"/dev/null", "SAVE.DAT"}, nullptr, CONFIG_REFUSED,
         true, false},
#endif
    };
#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // Sanitizers reserve far more address space than any limit that matters.
    rows.push_back({"huge add index, little memory", {"huge.xml", "SAVE.DAT"},
                    [](const fs::path& dir) {
                        WriteFileBytes(dir / "huge.xml",
                                       "<save_patcher><gvars><gvar action='add' "
                                       "index='1073741822' value='1'/></gvars></save_patcher>");
                    },
                    HEAD.substr(BANNER.size()) + "ADDING\n" + SEPARATOR +
                        "adding new GVARs (1) to SAVE file\n\tadding GVAR (1 of 1)\n"
                        "\t{ index = 1073741822, value = 1 }\n\n" +
                        Caught("can't add GVAR with index 1073741822 !"),
                    true, false, "SAVE.DAT", false, uint64_t{256} << 20});
#endif
    return rows;
}

TEST(HostileFiles, NothingIsLostAndNothingBlocks) {
    const std::string save = BuildSave(DefaultSaveParams());
    SaveParams params = DefaultSaveParams();
    params.gvars[3] = 33;
    const std::string patched = BuildSave(params);
    for (const HostileFile& row : HostileFiles()) {
        SCOPED_TRACE(row.label);
        TempDir dir;
        WriteFileBytes(dir / "SAVE.DAT", save);
        WriteFileBytes(dir / "config.xml",
                       "<save_patcher><gvars><gvar action='change' index='3' value='33'/>"
                       "</gvars></save_patcher>");
        WriteFileBytes(dir / "patcher.log", "an earlier run\nPATCHING COMPLETE!\n");
        if (row.setup) row.setup(dir.path());
        const std::map<std::string, std::string> others = OtherFiles(dir.path(), row);
        FILE* held = row.lock_log ? fopen((dir / "patcher.log").string().c_str(), "rb") : nullptr;
        if (row.lock_log) {
            ASSERT_TRUE(held && LockStream(held) == LockResult::Locked);
        }
        ToolOptions options;
        if (row.memory_limit) options.address_space_limit = row.memory_limit;
        options.time_limit_seconds = 60;  // nothing here may wait for ever
        const ToolRun run = RunTool(dir.path(), row.args, options);
        if (held) fclose(held);

        EXPECT_EQ(run.out, BANNER + (row.log_used ? "" : "can't write log file patcher.log !\n") +
                               row.console);
        if (row.log_used) {
            EXPECT_EQ(run.log, run.out);
        }
        EXPECT_TRUE(ReadFileBytes(dir / row.save) == (row.patched ? patched : save))
            << "the save is not the " << (row.patched ? "patched" : "original") << " one";
        EXPECT_EQ(OtherFiles(dir.path(), row), others);
    }
}

// patcher.log cut short by a file-size limit (as by a full disk): the run
// goes on, and the console's last line says that the log is not whole.
TEST(LogFile, CutShortIsSaidLastOnTheConsole) {
#ifdef _WIN32
    GTEST_SKIP() << "a file size limit is per process on POSIX only";
#else
    std::string config = "<save_patcher><gvars>\n";
    for (int i = 0; i < 800; ++i) {
        config += "<gvar action='change' index='" + std::to_string(i % 700) + "' value='" +
                  std::to_string(i) + "'/>\n";
    }
    config += "</gvars></save_patcher>\n";
    const std::string save = BuildSave(DefaultSaveParams());
    TempDir reference;
    TempDir cut;
    for (const TempDir* dir : {&reference, &cut}) {
        WriteFileBytes(*dir / "SAVE.DAT", save);
        WriteFileBytes(*dir / "config.xml", config);
    }
    const ToolRun whole = RunTool(reference.path(), {"config.xml", "SAVE.DAT"});
    ToolOptions options;
    // Above every offset the save and its journal are written at, below the
    // log's length.
    options.file_size_limit = 40000;
    ASSERT_GT(whole.out.size(), *options.file_size_limit);
    const ToolRun run = RunTool(cut.path(), {"config.xml", "SAVE.DAT"}, options);
    EXPECT_EQ(run.term_signal, 0);
    EXPECT_EQ(run.out, whole.out + "can't write log file patcher.log !\n");
    EXPECT_LT(run.log.size(), whole.out.size());
    EXPECT_EQ(run.log, whole.out.substr(0, run.log.size()));
    EXPECT_TRUE(ReadFileBytes(cut / "SAVE.DAT") == ReadFileBytes(reference / "SAVE.DAT"));
#endif
}

}  // namespace
