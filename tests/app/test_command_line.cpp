// The command line through the real binary: usage, banner, a save file that
// cannot be opened, and the exit status on those paths.
#include <gtest/gtest.h>

#include <filesystem>

#include "files.h"
#include "report_lines.h"
#include "tool_runner.h"

namespace {

std::string Usage() {
    return "usage :\n" + GvtoolPath() +
           " [CONF_FILE_NAME] [SAVE_DAT_FILE]\n\nexample:\ngvtool config.xml SLOT0\\SAVE.DAT\n";
}

TEST(Usage, NoArgumentsPrintsUsageAndCreatesNoLog) {
    TempDir dir;
    ToolRun run = RunTool(dir.path(), {});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out, Usage());
    EXPECT_FALSE(run.log_exists);
}

TEST(Usage, OneArgumentLeavesAnExistingLogUntouched) {
    TempDir dir;
    WriteFileBytes(dir / "patcher.log", "earlier run\n");
    ToolRun run = RunTool(dir.path(), {"config.xml"});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out, Usage());
    EXPECT_EQ(run.log, "earlier run\n");
}

TEST(Usage, EmptyArgumentsStillCountAsArguments) {
    TempDir dir;
    ToolRun run = RunTool(dir.path(), {"", ""});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out, BANNER + "can't open SAVE file !\n");
    EXPECT_EQ(run.log, run.out);
}

TEST(SaveFile, MissingPathIsReportedOnConsoleAndInLog) {
    TempDir dir;
    // The configuration is missing too: it must not be mentioned.
    ToolRun run = RunTool(dir.path(), {"missing.xml", "SLOT0/SAVE.DAT"});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out, BANNER + "can't open SAVE file !\n");
    EXPECT_EQ(run.log, run.out);
}

TEST(SaveFile, DirectoryCannotBeOpened) {
    TempDir dir;
    std::filesystem::create_directory(dir / "SLOT0");
    ToolRun run = RunTool(dir.path(), {"config.xml", "SLOT0"});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out, BANNER + "can't open SAVE file !\n");
    EXPECT_EQ(run.log, run.out);
}

TEST(SaveFile, ExtraArgumentsAreIgnoredAndLogIsTruncated) {
    TempDir dir;
    WriteFileBytes(dir / "patcher.log", "a much longer text from an earlier run\n");
    ToolRun run = RunTool(dir.path(), {"config.xml", "nothing.dat", "extra", "--flag"});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out, BANNER + "can't open SAVE file !\n");
    EXPECT_EQ(run.log, run.out);
}

}  // namespace
