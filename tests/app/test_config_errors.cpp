// A configuration that cannot be loaded, through the real binary: the report
// names the reason, the log matches the console and the save stays as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "files.h"
#include "report_lines.h"
#include "tool_runner.h"

namespace {

// Any small file serves as the save: the configuration is read first.
const char kSave[] = "not a real save\x01\x02\x00\xff tail";

std::string ExpectedReport(const std::string& reason) {
    return BANNER + "loading config file ...\nerror while loading config file !\n\t" + reason +
           "\n";
}

// Runs gvtool on config.xml (written first unless content is null) and
// SAVE.DAT, and checks the report and the untouched save.
void ExpectConfigError(const char* content, const std::string& reason) {
    TempDir dir;
    const std::string save(kSave, sizeof kSave - 1);
    WriteFileBytes(dir / "SAVE.DAT", save);
    if (content) WriteFileBytes(dir / "config.xml", content);
    ToolRun run = RunTool(dir.path(), {"config.xml", "SAVE.DAT"});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out, ExpectedReport(reason));
    EXPECT_TRUE(run.log_exists);
    EXPECT_EQ(run.log, run.out);
    EXPECT_EQ(ReadFileBytes(dir / "SAVE.DAT"), save);
}

TEST(ConfigErrors, MissingConfiguration) { ExpectConfigError(nullptr, "can't open file !"); }

TEST(ConfigErrors, EmptyConfiguration) { ExpectConfigError("", "zero file length !"); }

TEST(ConfigErrors, MalformedConfiguration) {
    ExpectConfigError("<save_patcher>\n  <gvars>\n    <gvar action=\"add\" index=7 value=\"1\"/>\n",
                      "can't parse node data !");
}

TEST(ConfigErrors, FolderAsConfiguration) {
    TempDir dir;
    const std::string save(kSave, sizeof kSave - 1);
    WriteFileBytes(dir / "SAVE.DAT", save);
    std::filesystem::create_directory(dir / "config.xml");
    ToolRun run = RunTool(dir.path(), {"config.xml", "SAVE.DAT"});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out, ExpectedReport("can't open file !"));
    EXPECT_EQ(run.log, run.out);
    EXPECT_EQ(ReadFileBytes(dir / "SAVE.DAT"), save);
}

}  // namespace
