// gvdump through the real binary: the listing and the difference it prints,
// applied back with gvtool, and the status and one line of each failure.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "files.h"
#include "journal.h"
#include "savebuilder.h"
#include "tool_runner.h"

namespace {

const char HEAD[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n";
const char USAGE[] =
    "usage: gvdump [OPTIONS] SAVE\n"
    "       gvdump [OPTIONS] OLD NEW\n"
    "       gvdump [OPTIONS] --check CONFIG SAVE\n"
    "\n"
    "Prints the GVARs of SAVE as a configuration for gvtool, or only what NEW\n"
    "changed and added against OLD. With --check, tells on standard error what\n"
    "gvtool would do with CONFIG on SAVE that its text may not mean, and prints\n"
    "the changes and adds the run would make; nothing is written to SAVE.\n"
    "\n"
    "  -o, --output FILE    write to FILE, not to standard output (- names it)\n"
    "      --check          check CONFIG against SAVE before running it\n"
    "      --names FILE     name the entries that FILE names (lines INDEX NAME)\n"
    "      --range FROM-TO  print only the entries FROM to TO; either may be left out\n"
    "      --format FORMAT  xml (a configuration for gvtool, the default), csv or json\n"
    "  -h, --help           print this text\n"
    "      --version        print the version\n"
    "\n"
    "exit status: 0 done, 1 something to report or a file that cannot be used,\n"
    "2 a wrong command line\n";
const char TRY_HELP[] = "try 'gvdump --help'\n";

// One entry as gvdump prints it; old and name only where given.
std::string Gvar(const char* action, size_t index, int32_t value, const std::string& old = "",
                 const std::string& name = "") {
    return "\t<gvar action=\"" + std::string(action) + "\" index=\"" + std::to_string(index) +
           "\" value=\"" + std::to_string(value) + "\"" +
           (old.empty() ? "" : " old=\"" + old + "\"") +
           (name.empty() ? "" : " name=\"" + name + "\"") + " />\n";
}

std::string Document(const std::string& counts, const std::string& gvars) {
    return HEAD + ("<!-- " + counts + " -->\n<save_patcher >\n\t<gvars >\n") + gvars +
           "\t</gvars>\n\t</save_patcher>\n";
}

class GvdumpTest : public ::testing::Test {
protected:
    ToolRun Dump(const std::vector<std::string>& args) {
        ToolOptions options;
        options.program = GvdumpPath();
        options.expect_quiet_success = false;
        return RunTool(dir_.path(), args, options);
    }

    // gvtool with the configuration file on the save; must complete.
    void Apply(const std::string& config, const std::string& save) {
        ToolRun run = RunTool(dir_.path(), {config, save});
        const std::string done = "PATCHING COMPLETE!\n";
        ASSERT_GE(run.out.size(), done.size());
        EXPECT_EQ(run.out.substr(run.out.size() - done.size()), done) << run.out;
    }

    void ExpectFailure(const ToolRun& run, int status, const std::string& err) {
        EXPECT_EQ(run.exit_status, status);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, err);
    }

    std::string Bytes(const std::string& name) { return ReadFileBytes(dir_ / name); }

    TempDir dir_;
};

TEST_F(GvdumpTest, ListingAppliedByGvtoolLeavesTheSaveByteIdentical) {
    SaveParams params = DefaultSaveParams();
    params.gvars[0] = INT32_MIN;
    params.gvars[1] = -1;
    params.gvars[2] = INT32_MAX;
    WriteFileBytes(dir_ / "SAVE.DAT", BuildSave(params));

    ToolRun run = Dump({"SAVE.DAT"});
    std::string gvars;
    for (size_t i = 0; i < params.gvars.size(); ++i) gvars += Gvar("change", i, params.gvars[i]);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, Document("700 GVARs", gvars));

    // -o writes the same bytes as standard output.
    EXPECT_EQ(Dump({"-o", "all.xml", "SAVE.DAT"}).out, "");
    EXPECT_EQ(Bytes("all.xml"), run.out_bytes);
    Apply("all.xml", "SAVE.DAT");
    EXPECT_TRUE(Bytes("SAVE.DAT") == BuildSave(params)) << "the save changed";
}

// NEW is OLD patched by gvtool: two adds past a gap, a change of an added
// entry, a change of an old one.
TEST_F(GvdumpTest, DifferenceTurnsACopyOfOldIntoNew) {
    const SaveParams params = DefaultSaveParams();
    WriteFileBytes(dir_ / "OLD.DAT", BuildSave(params));
    WriteFileBytes(dir_ / "NEW.DAT", BuildSave(params));
    WriteFileBytes(dir_ / "event.xml",
                   "<save_patcher><gvars>"
                   "<gvar action='add' index='703' value='9'/>"
                   "<gvar action='add' index='701' value='7'/>"
                   "<gvar action='change' index='702' value='-3'/>"
                   "<gvar action='change' index='10' value='100'/>"
                   "</gvars></save_patcher>");
    Apply("event.xml", "NEW.DAT");

    ToolRun run = Dump({"--output", "diff.xml", "OLD.DAT", "NEW.DAT"});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(Dump({"OLD.DAT", "NEW.DAT"}).out,
              Document("1 changed, 4 added",
                       Gvar("change", 10, 100, std::to_string(params.gvars[10])) +
                           Gvar("add", 700, 0) +
                                                 Gvar("add", 701, 7) + Gvar("add", 702, -3) +
                                                 Gvar("add", 703, 9)));
    WriteFileBytes(dir_ / "COPY.DAT", Bytes("OLD.DAT"));
    Apply("diff.xml", "COPY.DAT");
    EXPECT_TRUE(Bytes("COPY.DAT") == Bytes("NEW.DAT")) << "the copy is not NEW";

    // Backwards, the four entries only the newer save has cannot be removed:
    // one line says so, and the status stays 0.
    run = Dump({"NEW.DAT", "OLD.DAT"});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, "gvdump: OLD.DAT: 4 GVARs of NEW.DAT are missing; "
                       "gvtool cannot remove GVARs\n");
    EXPECT_EQ(run.out,
              Document("1 changed, 0 added", Gvar("change", 10, params.gvars[10], "100")));
    EXPECT_EQ(Dump({"OLD.DAT", "OLD.DAT"}).out,
              HEAD + std::string("<!-- 0 changed, 0 added -->\n"
                                 "<save_patcher >\n\t<gvars />\n\t</save_patcher>\n"));
}

TEST_F(GvdumpTest, SaveThatCannotBeReadOrLocated) {
    const SaveParams params = DefaultSaveParams();
    SaveParams no_av = params;
    no_av.city_names.back() = "Quillmarsh";
    SaveParams wrong_count = params;
    wrong_count.city_count = 99;
    std::string shifted = BuildSave(params);
    shifted.insert(30055, 2, '\x01');  // the table is 2 bytes longer than whole entries
    std::filesystem::create_directory(dir_ / "SLOT0");
    const struct {
        const char* name;
        std::string bytes;
        const char* reason;
    } cases[] = {
        {"MISSING.DAT", "", "no such file"},
        {"SLOT0", "", "is a folder"},
        {"SHORT.DAT", std::string(35623, 'x'), "not a save this tool can read: no end marker"},
        {"NOAV.DAT", BuildSave(no_av), "not a save this tool can read: no cities list"},
        {"COUNT.DAT", BuildSave(wrong_count), "not a save this tool can read: no cities list"},
        {"SHIFT.DAT", shifted, "not a save this tool can read: wrong table size"},
    };
    WriteFileBytes(dir_ / "GOOD.DAT", BuildSave(params));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.bytes.empty()) WriteFileBytes(dir_ / c.name, c.bytes);
        const std::string err = "gvdump: " + std::string(c.name) + ": " + c.reason + "\n";
        ExpectFailure(Dump({c.name}), 1, err);
        // Nothing is written, not even an empty output file.
        ExpectFailure(Dump({"-o", "out.xml", "GOOD.DAT", c.name}), 1, err);
        EXPECT_FALSE(std::filesystem::exists(dir_ / "out.xml"));
    }
}

TEST_F(GvdumpTest, JournalBesideTheSaveMeansBeingPatched) {
    WriteFileBytes(dir_ / "SAVE.DAT", BuildSave(DefaultSaveParams()));
    FILE* save = fopen((dir_ / "SAVE.DAT").string().c_str(), "rb");
    ASSERT_NE(save, nullptr);
    const std::string journal = JournalPath(save, (dir_ / "SAVE.DAT").string());
    fclose(save);
    WriteFileBytes(std::filesystem::u8path(journal), "interrupted");
    ExpectFailure(Dump({"SAVE.DAT"}), 1,
                  "gvdump: SAVE.DAT: being patched or interrupted; run gvtool on it first\n");
}

TEST_F(GvdumpTest, CommandLine) {
    WriteFileBytes(dir_ / "SAVE.DAT", BuildSave(DefaultSaveParams()));
    const std::string save = Bytes("SAVE.DAT");
    const struct {
        std::vector<std::string> args;
        const char* problem;
    } wrong[] = {
        {{}, "give one save, or two saves to compare"},
        {{"A.DAT", "B.DAT", "C.DAT"}, "give one save, or two saves to compare"},
        {{"-o", "out.xml"}, "give one save, or two saves to compare"},
        {{"-x", "SAVE.DAT"}, "unknown option -x"},
        {{"SAVE.DAT", "--out", "x"}, "unknown option --out"},
        {{"SAVE.DAT", "-o"}, "-o needs a file name"},
        {{"--output", "", "SAVE.DAT"}, "--output needs a file name"},
        {{"--output=", "SAVE.DAT"}, "--output needs a file name"},
        {{"SAVE.DAT", "--names"}, "--names needs a file name"},
        {{"--check", "SAVE.DAT"}, "--check needs a configuration and a save"},
        {{"--check", "a.xml", "SAVE.DAT", "B.DAT"}, "--check needs a configuration and a save"},
        {{"--check=yes", "a.xml", "SAVE.DAT"}, "unknown option --check=yes"},
        {{"--range", "SAVE.DAT"}, "--range SAVE.DAT: give FROM-TO, for example 100-199, 100- or -199"},
        {{"--range=1-2-3", "SAVE.DAT"}, "--range 1-2-3: give FROM-TO, for example 100-199, 100- or -199"},
        {{"--range", "4294967296", "SAVE.DAT"}, "--range 4294967296: give FROM-TO, for example 100-199, 100- or -199"},
        {{"--range", "20-10", "SAVE.DAT"}, "--range 20-10: FROM is after TO"},
        {{"--range", "", "SAVE.DAT"}, "--range needs FROM-TO"},
        {{"--format", "yaml", "SAVE.DAT"}, "--format yaml: give xml, csv or json"},
        {{"--format=XML", "SAVE.DAT"}, "--format XML: give xml, csv or json"},
        {{"SAVE.DAT", "--format"}, "--format needs xml, csv or json"},
    };
    for (const auto& c : wrong) {
        SCOPED_TRACE(c.problem);
        ExpectFailure(Dump(c.args), 2, "gvdump: " + std::string(c.problem) + "\n" + TRY_HELP);
    }
    // The output is never one of the saves: the save stays as it was.
    ExpectFailure(Dump({"-o", "SAVE.DAT", "SAVE.DAT"}), 2,
                  "gvdump: SAVE.DAT: is a save to read; write to another file\n" +
                      std::string(TRY_HELP));
    EXPECT_TRUE(Bytes("SAVE.DAT") == save);
    ExpectFailure(Dump({"-o", "NOFOLDER/out.xml", "SAVE.DAT"}), 1,
                  "gvdump: NOFOLDER/out.xml: no such folder\n");

    for (const char* help : {"-h", "--help"}) {
        ToolRun run = Dump({"SAVE.DAT", help});
        EXPECT_EQ(run.exit_status, 0);
        EXPECT_EQ(run.out, USAGE);
        EXPECT_EQ(run.err, "");
    }
    ToolRun run = Dump({"--version"});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out, "gvdump 0.01a\n");
    // After "--" a name that starts with '-' is a save.
    WriteFileBytes(dir_ / "-o", save);
    EXPECT_EQ(Dump({"--", "-o"}).out, Dump({"SAVE.DAT"}).out);
}

// Every spelling of the output option writes the same bytes; "-" names
// standard output.
TEST_F(GvdumpTest, OptionSpellings) {
    WriteFileBytes(dir_ / "SAVE.DAT", BuildSave(DefaultSaveParams()));
    const std::string listing = Dump({"SAVE.DAT"}).out_bytes;
    const std::vector<std::vector<std::string>> spellings = {
        {"-o", "a.xml", "SAVE.DAT"}, {"-oa.xml", "SAVE.DAT"}, {"SAVE.DAT", "--output=a.xml"},
        {"--output", "a.xml", "SAVE.DAT"}, {"--format=xml", "-o", "a.xml", "SAVE.DAT"}};
    for (const std::vector<std::string>& args : spellings) {
        std::filesystem::remove(dir_ / "a.xml");
        ToolRun run = Dump(args);
        EXPECT_EQ(run.exit_status, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(Bytes("a.xml") == listing) << args[0];
    }
    EXPECT_TRUE(Dump({"-o", "-", "SAVE.DAT"}).out_bytes == listing);
    EXPECT_TRUE(Dump({"-o", "a.xml", "-o-", "SAVE.DAT"}).out_bytes == listing) << "the last counts";
}

// A range limits the entries of a listing and of a difference; the comment
// counts what is printed.
TEST_F(GvdumpTest, RangeLimitsTheEntries) {
    SaveParams params = DefaultSaveParams();
    WriteFileBytes(dir_ / "OLD.DAT", BuildSave(params));
    params.gvars[698] = 1;
    params.gvars.insert(params.gvars.end(), {5, 6});
    WriteFileBytes(dir_ / "NEW.DAT", BuildSave(params));
    const std::vector<int32_t>& g = params.gvars;
    const std::string old_698 = std::to_string(DefaultSaveParams().gvars[698]);
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"--range", "698-", "OLD.DAT"},
         Document("2 GVARs of 700, from 698 to 699",
                  Gvar("change", 698, DefaultSaveParams().gvars[698]) +
                      Gvar("change", 699, g[699]))},
        {{"--range=-1", "NEW.DAT"},
         Document("2 GVARs of 702, from 0 to 1", Gvar("change", 0, g[0]) + Gvar("change", 1, g[1]))},
        {{"--range", "5", "NEW.DAT"}, Document("1 GVAR of 702, from 5 to 5", Gvar("change", 5, g[5]))},
        {{"--range", "-", "--range", "0-1", "NEW.DAT"},
         Document("2 GVARs of 702, from 0 to 1", Gvar("change", 0, g[0]) + Gvar("change", 1, g[1]))},
        {{"--range", "800-900", "NEW.DAT"},
         HEAD + std::string("<!-- 0 GVARs of 702 -->\n<save_patcher >\n\t<gvars />\n\t</save_patcher>\n")},
        {{"--range", "698-700", "OLD.DAT", "NEW.DAT"},
         Document("1 changed, 1 added", Gvar("change", 698, 1, old_698) + Gvar("add", 700, 5))},
        {{"--range", "701-", "OLD.DAT", "NEW.DAT"}, Document("0 changed, 1 added", Gvar("add", 701, 6))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[1]);
        ToolRun run = Dump(c.args);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out, c.out);
    }
}

// Names go on the entries they name; lines that cannot be used are told,
// each with its line, and make the status 1; the document is printed all
// the same.
TEST_F(GvdumpTest, NamesFromAFile) {
    const SaveParams params = DefaultSaveParams();
    WriteFileBytes(dir_ / "SAVE.DAT", BuildSave(params));
    WriteFileBytes(dir_ / "names.txt",
                   "# quest flags\n"
                   "\n"
                   "2 Gold & \"coins\"\n"
                   "   0    first one  \r\n"
                   "1\tsecond # the rest is a comment\n"
                   "x 5\n"
                   "7\n"
                   "2 again\n"
                   "700 past the end\n"
                   "4abc d\n"
                   "99999999999 far\n"
                   "3 # no name\n");
    ToolRun run = Dump({"--names", "names.txt", "--range", "0-3", "SAVE.DAT"});
    EXPECT_EQ(run.err,
              "gvdump: names.txt:6: not INDEX NAME: ignored\n"
              "gvdump: names.txt:7: not INDEX NAME: ignored\n"
              "gvdump: names.txt:8: index 2 is named again (first on line 3): ignored\n"
              "gvdump: names.txt:9: index 700 is outside the table (700 GVARs): ignored\n"
              "gvdump: names.txt:10: not INDEX NAME: ignored\n"
              "gvdump: names.txt:11: index 99999999999 is outside the table (700 GVARs): ignored\n"
              "gvdump: names.txt:12: not INDEX NAME: ignored\n");
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.out, Document("4 GVARs of 700, from 0 to 3",
                                Gvar("change", 0, params.gvars[0], "", "first one") +
                                    Gvar("change", 1, params.gvars[1], "", "second") +
                                    Gvar("change", 2, params.gvars[2], "",
                                         "Gold &amp; &quot;coins&quot;") +
                                    Gvar("change", 3, params.gvars[3])));
    WriteFileBytes(dir_ / "names.txt", "0 first\n");
    run = Dump({"--names", "names.txt", "--range", "0", "SAVE.DAT"});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, "");
    ExpectFailure(Dump({"--names", "none.txt", "SAVE.DAT"}), 1, "gvdump: none.txt: no such file\n");
    ExpectFailure(Dump({"--names", "names.txt", "-o", "names.txt", "SAVE.DAT"}), 2,
                  "gvdump: names.txt: is the names file to read; write to another file\n" +
                      std::string(TRY_HELP));
}

// The reasons that depend on the system's permissions and file kinds, in
// the same words: a FIFO is not a file; a file the user may not read.
TEST_F(GvdumpTest, FilesInFixedWords) {
#ifdef _WIN32
    GTEST_SKIP() << "Wine maps permissions to the host's, where the tests run as root";
#else
    WriteFileBytes(dir_ / "SAVE.DAT", BuildSave(DefaultSaveParams()));
    WriteFileBytes(dir_ / "c.xml", "<save_patcher/>");
    ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    WriteFileBytes(dir_ / "secret", "x");
    std::filesystem::permissions(dir_ / "secret", std::filesystem::perms::none);
    std::filesystem::permissions(dir_.path(), std::filesystem::perms::all);
    std::filesystem::create_directory(dir_ / "locked");
    std::filesystem::permissions(dir_ / "locked", std::filesystem::perms::owner_read |
                                                      std::filesystem::perms::owner_exec);
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"fifo"}, "gvdump: fifo: not a file\n"},
        {{"secret"}, "gvdump: secret: permission denied\n"},
        {{"--check", "fifo", "SAVE.DAT"}, "gvdump: fifo: not a file\n"},
        {{"--check", "secret", "SAVE.DAT"}, "gvdump: secret: permission denied\n"},
        {{"--names", "secret", "SAVE.DAT"}, "gvdump: secret: permission denied\n"},
        {{"--names", "fifo", "SAVE.DAT"}, "gvdump: fifo: not a file\n"},
        {{"-o", "locked/out.xml", "SAVE.DAT"}, "gvdump: locked/out.xml: permission denied\n"},
        {{"-o", "locked", "SAVE.DAT"}, "gvdump: locked: is a folder\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        ToolOptions options;
        options.program = GvdumpPath();
        options.expect_quiet_success = false;
        options.unprivileged = true;  // root would read anyway
        ExpectFailure(RunTool(dir_.path(), c.args, options), 1, c.err);
    }
    std::filesystem::permissions(dir_ / "locked", std::filesystem::perms::all);
    std::filesystem::permissions(dir_ / "secret", std::filesystem::perms::all);
#endif
}

}  // namespace
