// gvdump on Windows: --check of a configuration saved with CR LF line ends,
// in folders named outside the ANSI code page, reports the lines an editor
// shows; its output, written there, runs as the configuration does; CSV
// keeps its CR LF line ends on a text-mode console.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <windows.h>

#include "files.h"
#include "savebuilder.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

ToolRun Gvdump(const fs::path& folder, const std::vector<std::string>& args) {
    ToolOptions options;
    options.program = GvdumpPath();
    options.expect_quiet_success = false;
    return RunTool(folder, args, options);
}

TEST(WindowsGvdump, CheckOfACrLfConfigurationInAFolderOutsideTheCodePage) {
    ASSERT_NE(GetACP(), 65001u) << "the test proves nothing";
    TempDir dir;
    const std::string config_name = "Моды 模组\\настройки.xml";
    const std::string save_name = "Сохранения\\SLOT0\\存档.DAT";
    fs::create_directories(dir.path() / fs::u8path("Моды 模组"));
    fs::create_directories(dir.path() / fs::u8path("Сохранения") / "SLOT0");
    SaveParams params = DefaultSaveParams();
    const std::string save = BuildSave(params);
    WriteFileBytes(dir.path() / fs::u8path(save_name), save);
    WriteFileBytes(dir.path() / fs::u8path(config_name),
                   "<?xml version=\"1.0\"?>\r\n<save_patcher>\r\n  <gvars>\r\n"
                   "    <!-- a change, a misspelling, an add past a gap -->\r\n"
                   "    <gvar action=\"change\" index=\"10\"\r\n          value=\"ten\"/>\r\n"
                   "    <gvar acton=\"change\" index=\"11\" value=\"1\"/>\r\n"
                   "    <gvar action=\"add\" index=\"701\" value=\"7\"/>\r\n"
                   "  </gvars>\r\n</save_patcher>\r\n");
    const std::string output = "Моды 模组\\проверка.xml";
    ToolRun run = Gvdump(dir.path(), {"--check", config_name, save_name, "-o", output});
    const std::string at = "gvdump: " + config_name + ":";
    EXPECT_EQ(run.err, at + "5: value \"ten\" is not a whole decimal number: gvtool uses 0\n" +
                           at + "7: unknown attribute \"acton\" (did you mean \"action\"?): ignored\n" +
                           at + "7: gvar without action: ignored\n" +
                           at + "8: add at index 701 fills index 700 with 0; the save grows by 16 bytes\n");
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_TRUE(ReadFileBytes(dir.path() / fs::u8path(save_name)) == save) << "the check wrote";

    // The check's output, as gvtool runs it.
    ToolRun patch = RunTool(dir.path(), {output, save_name});
    const std::string done = "PATCHING COMPLETE!\n";
    ASSERT_GE(patch.out.size(), done.size());
    EXPECT_EQ(patch.out.substr(patch.out.size() - done.size()), done) << patch.out;
    params.gvars[10] = 0;
    params.gvars.insert(params.gvars.end(), {0, 7});
    EXPECT_TRUE(ReadFileBytes(dir.path() / fs::u8path(save_name)) == BuildSave(params));
}

TEST(WindowsGvdump, CsvOnTheConsoleKeepsItsLineEnds) {
    TempDir dir;
    const SaveParams params = DefaultSaveParams();
    WriteFileBytes(dir / "SAVE.DAT", BuildSave(params));
    ToolRun run = Gvdump(dir.path(), {"--format", "csv", "--range", "0-1", "SAVE.DAT"});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out_bytes, "index,value,old,name\r\n0," + std::to_string(params.gvars[0]) +
                                 ",,\r\n1," + std::to_string(params.gvars[1]) + ",,\r\n");
    // The configuration stays in the console's text form.
    run = Gvdump(dir.path(), {"--range", "0-0", "SAVE.DAT"});
    EXPECT_EQ(run.out_bytes, PlatformText("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
                                          "<!-- 1 GVAR of 700, from 0 to 0 -->\n"
                                          "<save_patcher >\n\t<gvars >\n"
                                          "\t<gvar action=\"change\" index=\"0\" value=\"" +
                                          std::to_string(params.gvars[0]) +
                                          "\" />\n\t</gvars>\n\t</save_patcher>\n"));
}

}  // namespace
