// What differs on Windows, through the real gvtool.exe: the console and
// "patcher.log" are text streams (every line ends in "\r\n"), and paths may
// use backslashes, as the usage example does.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "files.h"
#include "tool_runner.h"

namespace {

const std::string kBanner = "Drelmoor 2 SAVE patcher\r\nRELEASE build\r\nversion 0.01a\r\n\r\n";

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

TEST(TextMode, UsageGoesToTheConsoleInCrLf) {
    TempDir dir;
    ToolRun run = RunTool(dir.path(), {"config.xml"});
    EXPECT_EQ(run.out_bytes, "usage :\r\n" + GvtoolPath() +
                                 " [CONF_FILE_NAME] [SAVE_DAT_FILE]\r\n\r\nexample:\r\n"
                                 "gvtool config.xml SLOT0\\SAVE.DAT\r\n");
    EXPECT_FALSE(run.log_exists);
}

TEST(BackslashPath, SaveInASlotFolderIsOpened) {
    TempDir dir;
    std::filesystem::create_directory(dir / "SLOT0");
    WriteFileBytes(dir.path() / "SLOT0" / "SAVE.DAT", "slot zero");
    // Getting to the configuration proves the save file was opened.
    ToolRun run = RunTool(dir.path(), {"missing.xml", "SLOT0\\SAVE.DAT"});
    EXPECT_EQ(run.out, "Drelmoor 2 SAVE patcher\nRELEASE build\nversion 0.01a\n\n"
                       "loading config file ...\nerror while loading config file !\n"
                       "\tcan't open file !\n");
    EXPECT_EQ(ReadFileBytes(dir.path() / "SLOT0" / "SAVE.DAT"), "slot zero");
}

TEST(BackslashPath, MissingSlotFolderIsReported) {
    TempDir dir;
    ToolRun run = RunTool(dir.path(), {"config.xml", "SLOT1\\SAVE.DAT"});
    EXPECT_EQ(run.out, "Drelmoor 2 SAVE patcher\nRELEASE build\nversion 0.01a\n\n"
                       "can't open SAVE file !\n");
}

}  // namespace
