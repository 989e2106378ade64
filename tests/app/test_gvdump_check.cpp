// gvdump --check through the real binaries: one row per finding with its
// exact lines on standard error and the status; and what the check prints,
// run by gvtool on one copy of the save, gives the bytes that gvtool gives
// with the configuration itself on another.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "element_lines.h"
#include "files.h"
#include "journal.h"
#include "loader.h"
#include "savebuilder.h"
#include "tool_runner.h"

namespace {

const char CHANGE_1[] = "<gvar action=\"change\" index=\"1\" value=\"1\"/>";

// A configuration whose gvars lines start at line 4.
std::string Config(const std::vector<std::string>& gvars) {
    std::string text = "<?xml version=\"1.0\"?>\n<save_patcher>\n  <gvars>\n";
    for (const std::string& gvar : gvars) text += "    " + gvar + "\n";
    return text + "  </gvars>\n</save_patcher>\n";
}

std::string CrLf(const std::string& text) {
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return crlf;
}

// "gvdump: c.xml:LINE: WHAT" lines.
std::string At(int line, const std::string& what) {
    return "gvdump: c.xml:" + std::to_string(line) + ": " + what + "\n";
}

// The default save with its end marker 4 bytes further on: the copy of
// the table no longer ends where the marker begins.
std::string SaveWithMarkerApart() {
    const SaveParams params = DefaultSaveParams();
    std::string save = BuildSave(params);
    save.insert(static_cast<size_t>(DescribeSave(params).end_marker_offset), 4, '\0');
    return save;
}

class CheckTest : public ::testing::Test {
protected:
    ToolRun Check(const std::vector<std::string>& args) {
        ToolOptions options;
        options.program = GvdumpPath();
        options.expect_quiet_success = false;
        return RunTool(dir_.path(), args, options);
    }

    // gvtool with the configuration on a copy of the save; the copy's bytes.
    std::string Patched(const std::string& save, const std::string& config) {
        WriteFileBytes(dir_ / "COPY.DAT", save);
        WriteFileBytes(dir_ / "run.xml", config);
        RunTool(dir_.path(), {"run.xml", "COPY.DAT"});
        return ReadFileBytes(dir_ / "COPY.DAT");
    }

    // The check's output and the configuration itself, each run by gvtool
    // on a copy of the save, give the same bytes. When the run stops,
    // the check prints nothing and gvtool leaves the save as it was.
    void ExpectSameRun(const std::string& save, const std::string& config, const ToolRun& check) {
        const std::string by_config = Patched(save, config);
        if (check.out_bytes.empty()) {
            EXPECT_TRUE(by_config == save) << "gvtool changed the save the check says it stops on";
        } else {
            EXPECT_TRUE(Patched(save, check.out_bytes) == by_config)
                << "the check's output patched otherwise:\n" << check.out;
        }
    }

    TempDir dir_;
};

struct Row {
    const char* what;
    std::string config;
    std::string err;
    int status;
    std::string save = BuildSave(DefaultSaveParams());
};

TEST_F(CheckTest, OneRowPerFinding) {
    const Row rows[] = {
        {"nothing to report", Config({CHANGE_1, "<gvar action=\"ADD\" index=\"700\" value=\"1\"/>",
                                      "<gvar action=\"Change\" index=\"3\" value=\" -2147483648 \"/>",
                                      "<gvar action=\"change\" index=\"+4\" value=\"7\" old=\"1\" name=\"x\"/>"}),
         "", 0},
        {"no action", Config({"<gvar index=\"12\" value=\"3\"/>", CHANGE_1}),
         At(4, "gvar without action: ignored"), 1},
        {"outside gvars", Config({"<group><gvar action=\"change\" index=\"1\" value=\"2\"/></group>",
                                  CHANGE_1}),
         At(4, "gvar outside save_patcher/gvars: ignored"), 1},
        {"no index", Config({"<gvar action=\"change\" value=\"3\"/>", CHANGE_1}),
         At(4, "gvar without index: skipped"), 1},
        {"no value", Config({"<gvar action=\"change\" index=\"3\"/>", CHANGE_1}),
         At(4, "gvar without value: skipped"), 1},
        {"neither", Config({"<gvar action=\"change\"/>", CHANGE_1}),
         At(4, "gvar without index and value: skipped"), 1},
        {"no root", "<!-- nothing here -->\n", At(1, "no request read: no save_patcher element"), 1},
        {"other root", "<?xml version=\"1.0\"?>\n<config>\n</config>\n",
         At(2, "no request read: no save_patcher element (the root is \"config\")"), 1},
        {"root in another case",
         "<?xml version=\"1.0\"?>\n<Save_Patcher>\n  <gvars>\n    " + std::string(CHANGE_1) +
             "\n  </gvars>\n</Save_Patcher>\n",
         At(2, "element \"Save_Patcher\" is not \"save_patcher\" (names are case-sensitive): ignored") +
             At(2, "no request read: no save_patcher element (the root is \"Save_Patcher\")") +
             At(4, "gvar outside save_patcher/gvars: ignored"),
         1},
        {"no gvars", "<save_patcher>\n  <list/>\n</save_patcher>\n",
         At(2, "no request read: save_patcher holds no gvars element (it holds \"list\")"), 1},
        {"empty gvars", "<save_patcher>\n\n  <gvars/>\n</save_patcher>\n",
         At(3, "no request read: gvars holds no gvar with action"), 1},
        {"misspelt action", Config({"<gvar acton=\"change\" index=\"12\" value=\"3\"/>"}),
         At(3, "no request read: gvars holds no gvar with action") +
             At(4, "unknown attribute \"acton\" (did you mean \"action\"?): ignored") +
             At(4, "gvar without action: ignored"),
         1},
        {"swapped letters", Config({"<gvar action=\"change\" index=\"12\" valeu=\"3\"/>", CHANGE_1}),
         At(4, "unknown attribute \"valeu\" (did you mean \"value\"?): ignored") +
             At(4, "gvar without value: skipped"),
         1},
        {"letter case", Config({"<gvar action=\"change\" Index=\"12\" value=\"3\"/>", CHANGE_1}),
         At(4, "unknown attribute \"Index\" (did you mean \"index\"?): ignored") +
             At(4, "gvar without index: skipped"),
         1},
        {"nothing near", Config({"<gvar action=\"change\" index=\"12\" value=\"3\" colour=\"red\"/>"}),
         At(4, "unknown attribute \"colour\": ignored"), 1},
        {"given twice", Config({"<gvar action=\"change\" index=\"12\" value=\"3\" index=\"13\"/>"}),
         At(4, "attribute \"index\" is given again: the first one counts"), 1},
        {"unknown action", Config({"<gvar action=\"delete\" index=\"12\" value=\"3\"/>"}),
         At(4, "action \"delete\" is not add, change or remove: applied as a change"), 1},
        {"blank in action", Config({"<gvar action=\" add\" index=\"12\" value=\"3\"/>"}),
         At(4, "action \" add\" is not add, change or remove: applied as a change"), 1},
        {"remove", Config({"<gvar action=\"Remove\" index=\"x\" value=\"3\"/>"}),
         At(4, "action \"Remove\" is read but never applied: gvtool cannot remove GVARs"), 1},
        {"not a number", Config({"<gvar action=\"change\" index=\"12\" value=\"ten\"/>"}),
         At(4, "value \"ten\" is not a whole decimal number: gvtool uses 0"), 1},
        {"trailing letters", Config({"<gvar action=\"change\" index=\"12abc\" value=\"3\"/>"}),
         At(4, "index \"12abc\" is not a whole decimal number: gvtool uses 12"), 1},
        {"hexadecimal", Config({"<gvar action=\"change\" index=\"12\" value=\"0x10\"/>"}),
         At(4, "value \"0x10\" is not a whole decimal number: gvtool uses 0"), 1},
        {"empty number", Config({"<gvar action=\"change\" index=\"12\" value=\"\"/>"}),
         At(4, "value \"\" is not a whole decimal number: gvtool uses 0"), 1},
        {"control byte", Config({"<gvar action=\"change\" index=\"12\" value=\"1&#9;2\"/>"}),
         At(4, "value \"1\\t2\" is not a whole decimal number: gvtool uses 1"), 1},
        {"beyond 32 bits", Config({"<gvar action=\"change\" index=\"12\" value=\"4294967295\"/>",
                                   "<gvar action=\"change\" index=\"13\" value=\"2147483648\"/>"}),
         At(4, "value \"4294967295\" is outside the signed 32-bit range: gvtool uses -1") +
             At(5, "value \"2147483648\" is outside the signed 32-bit range: gvtool uses -2147483648"),
         1},
        {"change outside", Config({"<gvar action=\"change\" index=\"700\" value=\"3\"/>",
                                   "<gvar action=\"change\" index=\"-1\" value=\"3\"/>"}),
         At(4, "change of index 700 is skipped: outside the table (700 GVARs)") +
             At(5, "change of index -1 is skipped: outside the table (700 GVARs)"),
         1},
        {"add inside", Config({"<gvar action=\"add\" index=\"5\" value=\"3\"/>"}),
         At(4, "add at index 5 is skipped: the table holds it already (700 GVARs)"), 1},
        {"twice", Config({"<gvar action=\"change\" index=\"5\" value=\"1\"/>",
                          "<gvar action=\"add\" index=\"700\" value=\"1\"/>",
                          "<gvar action=\"change\" index=\"5\" value=\"2\"/>",
                          "<gvar action=\"change\" index=\"700\" value=\"3\"/>"}),
         At(4, "index 5 is requested 2 times (last on line 6): the save ends with 2") +
             At(5, "index 700 is requested 2 times (last on line 7): the save ends with 3"),
         1},
        {"gaps", Config({"<gvar action=\"add\" index=\"703\" value=\"1\"/>",
                         "<gvar action=\"add\" index=\"701\" value=\"1\"/>"}),
         // Sorted, 701 comes first and fills 700; 703 then fills 702.
         At(4, "add at index 703 fills index 702 with 0; the save grows by 16 bytes") +
             At(5, "add at index 701 fills index 700 with 0; the save grows by 16 bytes"),
         1},
        {"refused", Config({"<gvar action=\"add\" index=\"-1\" value=\"3\"/>",
                            "<gvar action=\"change\" index=\"800\" value=\"3\"/>"}),
         At(4, "add at index -1 stops gvtool: \"can't add GVAR with index -1 !\"; nothing is written"),
         1},
        {"copy apart from marker", Config({CHANGE_1, "<gvar action=\"add\" index=\"700\" value=\"3\"/>"}),
         At(5, "gvtool stops before writing: \"wrong GVARs end marker offset !\"; nothing is written"),
         1, SaveWithMarkerApart()},
        {"cannot be loaded", "<save_patcher>\n  <gvars>\n", "gvdump: c.xml: can't parse node data !\n",
         1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        for (const std::string& config : {row.config, CrLf(row.config)}) {
            WriteFileBytes(dir_ / "c.xml", config);
            WriteFileBytes(dir_ / "SAVE.DAT", row.save);
            ToolRun run = Check({"--check", "c.xml", "SAVE.DAT"});
            EXPECT_EQ(run.err, row.err);
            EXPECT_EQ(run.exit_status, row.status);
            EXPECT_TRUE(ReadFileBytes(dir_ / "SAVE.DAT") == row.save) << "the check wrote";
            if (row.err.find(": can't parse") == std::string::npos) {
                ExpectSameRun(row.save, config, run);
            } else {
                EXPECT_EQ(run.out, "");
            }
        }
    }
}

// The output is a difference: changes with the value they replace, then
// the adds, here a range of them.
TEST_F(CheckTest, PrintsWhatTheRunWouldChange) {
    const SaveParams params = DefaultSaveParams();
    WriteFileBytes(dir_ / "SAVE.DAT", BuildSave(params));
    WriteFileBytes(dir_ / "c.xml", Config({"<gvar action=\"change\" index=\"12\" value=\"ten\"/>",
                                           "<gvar action=\"add\" index=\"702\" value=\"5\"/>",
                                           "<gvar action=\"change\" index=\"3\" value=\"" +
                                               std::to_string(params.gvars[3]) + "\"/>"}));
    ToolRun run = Check({"--check", "c.xml", "SAVE.DAT", "--range", "10-701"});
    EXPECT_EQ(run.out, "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
                       "<!-- 1 changed, 2 added -->\n<save_patcher >\n\t<gvars >\n"
                       "\t<gvar action=\"change\" index=\"12\" value=\"0\" old=\"" +
                           std::to_string(params.gvars[12]) +
                           "\" />\n"
                           "\t<gvar action=\"add\" index=\"700\" value=\"0\" />\n"
                           "\t<gvar action=\"add\" index=\"701\" value=\"0\" />\n"
                           "\t</gvars>\n\t</save_patcher>\n");
    // Every finding is reported, whatever the range.
    EXPECT_EQ(run.err, At(4, "value \"ten\" is not a whole decimal number: gvtool uses 0") +
                           At(5, "add at index 702 fills indices 700 to 701 with 0 (2 GVARs); "
                                 "the save grows by 24 bytes"));
    EXPECT_EQ(run.exit_status, 1);
}

TEST_F(CheckTest, FilesThatCannotBeUsed) {
    WriteFileBytes(dir_ / "SAVE.DAT", BuildSave(DefaultSaveParams()));
    WriteFileBytes(dir_ / "c.xml", Config({"<gvar acton=\"x\" index=\"1\" value=\"1\"/>", CHANGE_1}));
    std::filesystem::create_directory(dir_ / "SLOT0");
    const std::string acton = At(4, "unknown attribute \"acton\" (did you mean \"action\"?): ignored") +
                              At(4, "gvar without action: ignored");
    const struct {
        std::vector<std::string> args;
        std::string err;
        int status;
    } cases[] = {
        {{"--check", "none.xml", "SAVE.DAT"}, "gvdump: none.xml: no such file\n", 1},
        {{"--check", "SLOT0", "SAVE.DAT"}, "gvdump: SLOT0: is a folder\n", 1},
        {{"--check", "SAVE.DAT", "SAVE.DAT"}, "gvdump: SAVE.DAT: can't open file !\n", 1},
        // The configuration's findings come before the save's problem.
        {{"--check", "c.xml", "NONE.DAT"}, acton + "gvdump: NONE.DAT: no such file\n", 1},
        {{"--check", "c.xml", "SLOT0"}, acton + "gvdump: SLOT0: is a folder\n", 1},
        {{"--check", "-o", "c.xml", "c.xml", "SAVE.DAT"},
         "gvdump: c.xml: is the configuration to read; write to another file\n"
         "try 'gvdump --help'\n",
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        ToolRun run = Check(c.args);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.exit_status, c.status);
    }

    // A journal beside the save: a run is under way or was cut short.
    FILE* save = fopen((dir_ / "SAVE.DAT").string().c_str(), "rb");
    ASSERT_NE(save, nullptr);
    const std::string journal = JournalPath(save, (dir_ / "SAVE.DAT").string());
    fclose(save);
    WriteFileBytes(std::filesystem::u8path(journal), "interrupted");
    WriteFileBytes(dir_ / "c.xml", Config({CHANGE_1}));
    ToolRun run = Check({"--check", "c.xml", "SAVE.DAT"});
    EXPECT_EQ(run.err, "gvdump: SAVE.DAT: being patched or interrupted; run gvtool on it first\n");
    EXPECT_EQ(run.exit_status, 1);
}

// The lines the loader records when asked: the start tag's '<', counted
// after CR LF became LF; a load without a table builds the same tree.
TEST(ElementLines, StartTagsByLine) {
    TempDir dir;
    const std::string text =
        "<a>\r\n  <b x='1\n2'/><c>\n\n<d\n/></c>\r\n<!-- <e/> -->\n  <f>text\n</f></a>\n";
    WriteFileBytes(dir / "l.xml", text);
    XmlNode* document = XmlCreateDocument((dir / "l.xml").u8string().c_str());
    XmlElementLines lines = {};
    ASSERT_EQ(XmlLoadFileWithLines(document, &lines), 0);
    std::vector<std::pair<std::string, int32_t>> found;
    for (uint32_t i = 0; i < lines.count; ++i) {
        found.emplace_back(lines.items[i].element->name, lines.items[i].line);
    }
    const std::vector<std::pair<std::string, int32_t>> expected = {
        {"a", 1}, {"b", 2}, {"c", 3}, {"d", 5}, {"f", 8}};
    EXPECT_EQ(found, expected);
    // Looked up out of order, each is still found; a node not in it is not.
    uint32_t cursor = 0;
    EXPECT_EQ(XmlElementLineOf(&lines, lines.items[3].element, &cursor), 5);
    EXPECT_EQ(XmlElementLineOf(&lines, lines.items[1].element, &cursor), 2);
    EXPECT_EQ(XmlElementLineOf(&lines, document, &cursor), 0);
    XmlElementLinesFree(&lines);
    EXPECT_EQ(lines.count, 0u);
    XmlFreeNode(document);
}

// Random configurations with every kind of finding: whatever the check
// reports, its output does what the configuration does.
TEST_F(CheckTest, RandomConfigurationsRunAsTheirCheckSays) {
    const std::vector<std::string> kinds = {
        "gvar without action", "gvar outside", "gvar without value", "unknown attribute",
        "given again", "is not add, change or remove", "never applied",
        "is not a whole decimal number", "outside the signed 32-bit range",
        "is skipped: outside the table", "is skipped: the table holds it",
        "times (last on line", " fills ", "stops gvtool", "no request read"};
    std::set<std::string> seen;
    const std::string save = BuildSave(DefaultSaveParams());
    std::mt19937 random(20);
    auto below = [&](uint32_t bound) { return static_cast<uint32_t>(random() % bound); };
    const char* const actions[] = {"change", "Change", "set", "add", "ADD", " add", "remove"};
    const char* const numbers[] = {"ten", "12abc", "0x10", "4294967295", "", " 8 ", "-3"};
    for (int sample = 0; sample < 30; ++sample) {
        SCOPED_TRACE("sample " + std::to_string(sample));
        std::vector<std::string> gvars;
        const uint32_t count = 1 + below(24);
        for (uint32_t i = 0; i < count; ++i) {
            const std::string action = actions[below(7)];
            // Mostly around the table's end, where adds and changes meet.
            std::string index = std::to_string(below(4) ? 690 + below(20) : below(700));
            std::string value = std::to_string(static_cast<int32_t>(random()));
            switch (below(12)) {
                case 0: value = numbers[below(7)]; break;
                case 1: index = numbers[below(7)]; break;
                case 2: index = sample % 7 == 3 ? "-1" : "-5"; break;
                default: break;
            }
            std::string gvar = "<gvar action=\"" + action + "\" index=\"" + index +
                               "\" value=\"" + value + "\"/>";
            switch (below(14)) {
                case 0: gvar = "<gvar index=\"" + index + "\" value=\"1\"/>"; break;
                case 1: gvar = "<gvar action=\"change\" index=\"" + index + "\"/>"; break;
                case 2: gvar = "<box>" + gvar + "</box>"; break;
                case 3: gvar.insert(5, " acton=\"add\""); break;
                case 4: gvar.insert(5, " value=\"9\""); break;
                default: break;
            }
            gvars.push_back(gvar);
        }
        std::string config = Config(gvars);
        if (sample % 10 == 9) config.replace(config.find("<save_patcher>"), 14, "<Save_Patcher>");
        if (sample % 10 == 9) config.replace(config.find("</save_patcher>"), 15, "</Save_Patcher>");
        if (sample % 2) config = CrLf(config);
        WriteFileBytes(dir_ / "c.xml", config);
        WriteFileBytes(dir_ / "SAVE.DAT", save);
        ToolRun run = Check({"--check", "c.xml", "SAVE.DAT"});
        EXPECT_EQ(run.exit_status, run.err.empty() ? 0 : 1) << run.err;
        ExpectSameRun(save, config, run);
        for (const std::string& kind : kinds) {
            if (run.err.find(kind) != std::string::npos) seen.insert(kind);
        }
    }
    for (const std::string& kind : kinds) EXPECT_EQ(seen.count(kind), 1u) << kind;
}

}  // namespace
