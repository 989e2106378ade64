// What differs on Windows, through the real gvtool.exe: the console and
// "patcher.log" are text streams (every line ends in "\r\n"), and paths may
// use backslashes, as the usage example does.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <windows.h>

#include "files.h"
#include "report_lines.h"
#include "savebuilder.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

// Names outside the ANSI code page prove something only while that code
// page is not UTF-8: then a narrow name could not reach such a file.
void ExpectAnsiCodePageIsNotUtf8() { ASSERT_NE(GetACP(), 65001u) << "the test proves nothing"; }

const std::string kBanner = PlatformText(BANNER);

TEST(TextMode, ConsoleAndLogEndEveryLineInCrLf) {
    TempDir dir;
    ToolRun run = RunTool(dir.path(), {"config.xml", "SLOT0\\SAVE.DAT"});
    const std::string expected = kBanner + "can't open SAVE file !\r\n";
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out_bytes, expected);
    EXPECT_EQ(run.log_bytes, expected);
}

TEST(TextMode, TabAfterLineEndStaysAsWritten) {
    TempDir dir;
    WriteFileBytes(dir / "SAVE.DAT", "opened, never read");
    ToolRun run = RunTool(dir.path(), {"missing.xml", "SAVE.DAT"});
    const std::string expected = kBanner +
        "loading config file ...\r\nerror while loading config file !\r\n\tcan't open file !\r\n";
    EXPECT_EQ(run.out_bytes, expected);
    EXPECT_EQ(run.log_bytes, expected);
    EXPECT_EQ(ReadFileBytes(dir / "SAVE.DAT"), "opened, never read");
}

// The program's own name is printed as UTF-8, also from a folder outside
// the ANSI code page.
TEST(TextMode, UsageGoesToTheConsoleInCrLf) {
    ExpectAnsiCodePageIsNotUtf8();
    TempDir dir;
    const fs::path copy = dir.path() / fs::u8path("Инструменты 工具") / "gvtool.exe";
    fs::create_directory(copy.parent_path());
    fs::copy_file(GvtoolPath(), copy);
    for (const std::string& program : {GvtoolPath(), copy.u8string()}) {
        ToolOptions options;
        options.program = program;
        ToolRun run = RunTool(dir.path(), {"config.xml"}, options);
        EXPECT_EQ(run.out_bytes, "usage :\r\n" + program +
                                     " [CONF_FILE_NAME] [SAVE_DAT_FILE]\r\n\r\nexample:\r\n"
                                     "gvtool config.xml SLOT0\\SAVE.DAT\r\n");
        EXPECT_FALSE(run.log_exists);
    }
}

TEST(BackslashPath, SaveInASlotFolderIsOpened) {
    TempDir dir;
    std::filesystem::create_directory(dir / "SLOT0");
    WriteFileBytes(dir.path() / "SLOT0" / "SAVE.DAT", "slot zero");
    // Getting to the configuration proves the save file was opened.
    ToolRun run = RunTool(dir.path(), {"missing.xml", "SLOT0\\SAVE.DAT"});
    EXPECT_EQ(run.out, BANNER + "loading config file ...\nerror while loading config file !\n"
                                "\tcan't open file !\n");
    EXPECT_EQ(ReadFileBytes(dir.path() / "SLOT0" / "SAVE.DAT"), "slot zero");
}

// A configuration as Windows editors save it (CRLF, a comment, a line break
// inside a tag) patching a save named with a backslash: the run and its
// bytes are those of the same configuration with bare line feeds. Players'
// folders and files may bear names in any script.
TEST(WindowsRun, CrLfConfigurationPatchesASlotSave) {
    ExpectAnsiCodePageIsNotUtf8();
    const std::string config =
        "<?xml version=\"1.0\"?>\r\n<save_patcher>\r\n  <gvars>\r\n"
        "    <!-- one add, one change -->\r\n"
        "    <gvar action=\"add\" index=\"701\"\r\n          value=\"7\"/>\r\n"
        "    <gvar action=\"change\" index=\"10\" value=\"-100\"/>\r\n"
        "  </gvars>\r\n</save_patcher>\r\n";
    const std::string& sep = SEPARATOR;
    const std::string expected =
        BANNER + CONFIG_READ + DEFAULT_SAVE_READ + "\nADDING\n" + sep +
        "adding new GVARs (1) to SAVE file\n\tadding GVAR (1 of 1)\n\t{ index = 701, value = 7 }\n\n" +
        sep + "\nCHANGING\n" + sep +
        "setting GVARs (1) in SAVE file\n\tset GVAR value (1 of 1)\n\t{ index = 10, value = -100 }\n\n" +
        sep + "\nSAVING\n" + sep +
        "flushing buffer to SAVE file ...\nresizing SAVE file on 16 bytes ...\n"
        "write GVARs to SAVE file ( offset = 30055, count = 702 ) ...\n"
        "write cities block to SAVE file( offset = 32863, size = 129 ) ...\n"
        "write copy of GVARs to SAVE file ( offset = 32992, count = 702 ) ...\n" + COMPLETE;

    // The folder the run starts in, the configuration, the save.
    const char* const names[][3] = {
        {".", "config.xml", "SLOT0\\SAVE.DAT"},
        {"Дмитрий", "настройки.xml", "Сохранения\\SLOT0\\ИГРА.DAT"},
        {"文档\\游戏", "配置.xml", "存档\\SLOT0\\存档.DAT"},
    };
    for (const auto& [folder_name, config_name, save_name] : names) {
        SCOPED_TRACE(save_name);
        TempDir dir;
        const fs::path folder = dir.path() / fs::u8path(folder_name);
        const fs::path save = folder / fs::u8path(save_name);
        fs::create_directories(save.parent_path());
        SaveParams params = DefaultSaveParams();
        WriteFileBytes(save, BuildSave(params));
        WriteFileBytes(folder / fs::u8path(config_name), config);
        ToolRun run = RunTool(folder, {config_name, save_name});
        EXPECT_EQ(run.out_bytes, PlatformText(expected));
        EXPECT_EQ(run.log_bytes, run.out_bytes);
        params.gvars[10] = -100;
        params.gvars.insert(params.gvars.end(), {0, 7});
        EXPECT_TRUE(ReadFileBytes(save) == BuildSave(params)) << "the save is not the patched one";
    }
}

// Names with spaces reach the tool whole: the command line quotes them.
TEST(BackslashPath, FoldersAndFilesWithSpaces) {
    TempDir dir;
    SaveParams params = DefaultSaveParams();
    std::filesystem::create_directories(dir.path() / "My Saves" / "SLOT0");
    WriteFileBytes(dir.path() / "My Saves" / "SLOT0" / "SAVE.DAT", BuildSave(params));
    WriteFileBytes(dir / "my config.xml",
                   "<save_patcher><gvars><gvar action='change' index='3' value='33'/>"
                   "</gvars></save_patcher>");
    ToolRun run = RunTool(dir.path(), {"my config.xml", "My Saves\\SLOT0\\SAVE.DAT"});
    const std::string done = "PATCHING COMPLETE!\n";
    ASSERT_GE(run.out.size(), done.size());
    EXPECT_EQ(run.out.substr(run.out.size() - done.size()), done) << run.out;
    params.gvars[3] = 33;
    EXPECT_TRUE(ReadFileBytes(dir.path() / "My Saves" / "SLOT0" / "SAVE.DAT") == BuildSave(params))
        << "the save is not the patched one";
}

TEST(BackslashPath, MissingSlotFolderIsReported) {
    TempDir dir;
    ToolRun run = RunTool(dir.path(), {"config.xml", "SLOT1\\SAVE.DAT"});
    EXPECT_EQ(run.out, BANNER + "can't open SAVE file !\n");
}

}  // namespace
