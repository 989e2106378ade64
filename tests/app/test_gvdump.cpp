// gvdump through the real binary: the listing and the difference it prints,
// applied back with gvtool, and the status and one line of each failure.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "files.h"
#include "journal.h"
#include "savebuilder.h"
#include "tool_runner.h"

namespace {

const char HEAD[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n";
const char USAGE[] =
    "usage: gvdump [-o FILE] SAVE\n"
    "       gvdump [-o FILE] OLD NEW\n"
    "\n"
    "Prints the GVARs of SAVE as a configuration for gvtool, or only what NEW\n"
    "changed and added against OLD.\n"
    "\n"
    "  -o, --output FILE  write the configuration to FILE, not to standard output\n"
    "  -h, --help         print this text\n"
    "      --version      print the version\n"
    "\n"
    "exit status: 0 done, 1 a save that cannot be read, 2 a wrong command line\n";

std::string Gvar(const char* action, size_t index, int32_t value) {
    return "\t<gvar action=\"" + std::string(action) + "\" index=\"" + std::to_string(index) +
           "\" value=\"" + std::to_string(value) + "\" />\n";
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
              Document("1 changed, 4 added", Gvar("change", 10, 100) + Gvar("add", 700, 0) +
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
    EXPECT_EQ(run.out, Document("1 changed, 0 added", Gvar("change", 10, params.gvars[10])));
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
        {"MISSING.DAT", "", "cannot be opened"},
        {"SLOT0", "", "not a file"},
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
    };
    for (const auto& c : wrong) {
        SCOPED_TRACE(c.problem);
        ExpectFailure(Dump(c.args), 2, "gvdump: " + std::string(c.problem) + "\n" + USAGE);
    }
    // The output is never one of the saves: the save stays as it was.
    ExpectFailure(Dump({"-o", "SAVE.DAT", "SAVE.DAT"}), 2,
                  "gvdump: SAVE.DAT: is a save to read; write to another file\n");
    EXPECT_TRUE(Bytes("SAVE.DAT") == save);
    ExpectFailure(Dump({"-o", "NOFOLDER/out.xml", "SAVE.DAT"}), 1,
                  "gvdump: NOFOLDER/out.xml: cannot be written\n");

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

}  // namespace
