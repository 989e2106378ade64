// A save that the system refuses to grow, through the Windows file API: this
// binary runs in the Wine prefix whose server lets no file grow past a
// limit, so SetEndOfFile itself fails for gvtool.exe, after the journal is
// written: the save is restored from it.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "files.h"
#include "report_lines.h"
#include "savebuilder.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

// The run of "add 700 = 1" on the default save, up to the SAVING phase.
const std::string BEFORE_SAVING =
    BANNER + CONFIG_READ + DEFAULT_SAVE_READ + "\nADDING\n" + SEPARATOR +
    "adding new GVARs (1) to SAVE file\n\tadding GVAR (1 of 1)\n\t{ index = 700, value = 1 }\n\n" +
    SEPARATOR + "\nCHANGING\n" + SEPARATOR + "setting GVARs (0) in SAVE file\n" + SEPARATOR +
    "\nSAVING\n" + SEPARATOR +
    "flushing buffer to SAVE file ...\nresizing SAVE file on 8 bytes ...\n";

const char ADD_ONE[] =
    "<save_patcher><gvars><gvar action='add' index='700' value='1'/></gvars></save_patcher>";

// A slot folder holding the default save, stretched with zero bytes to the
// size given (the tail after the end marker is only moved, never read), and
// the configuration that adds one GVAR.
class RefusedGrowth : public ::testing::Test {
protected:
    void SetUp() override {
        const std::optional<uint64_t> limit = SharedFileSizeLimit();
        ASSERT_TRUE(limit) << "run under cmake/wine-run.sh with GVTOOL_WINE_LIMITED=1";
        limit_ = *limit;
        fs::create_directory(dir_ / "SLOT0");
        WriteFileBytes(dir_ / "config.xml", ADD_ONE);
    }

    std::string WriteSave(uint64_t size) {
        const std::string bytes = BuildSave(DefaultSaveParams());
        WriteFileBytes(save(), bytes);
        fs::resize_file(save(), size);
        return bytes;
    }

    std::string Head(size_t length) {
        std::ifstream in(save(), std::ios::binary);
        std::string head(length, '\0');
        in.read(&head[0], static_cast<std::streamsize>(length));
        return head;
    }

    fs::path save() const { return dir_.path() / "SLOT0" / "SAVE.DAT"; }

    TempDir dir_;
    uint64_t limit_ = 0;
};

TEST_F(RefusedGrowth, GvtoolReportsItAndLeavesTheSave) {
    const std::string bytes = WriteSave(limit_ - 4);
    ToolRun run = RunTool(dir_.path(), {"config.xml", "SLOT0\\SAVE.DAT"});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out, BEFORE_SAVING + Critical("can't set new size to SAVE file !") + RESTORING +
                           Caught("can't set new size to SAVE file !"));
    EXPECT_EQ(run.log_bytes, run.out_bytes);
    EXPECT_EQ(fs::file_size(save()), limit_ - 4);
    EXPECT_TRUE(Head(bytes.size()) == bytes) << "the save was changed";
    EXPECT_FALSE(fs::exists(save().string() + "-journal"));
}

// The control: the same save with room below the limit grows. (Under Wine a
// file grows to one byte below the limit at most, not to the limit itself.)
TEST_F(RefusedGrowth, RoomBelowTheLimitIsEnough) {
    WriteSave(limit_ - 4096);
    ToolRun run = RunTool(dir_.path(), {"config.xml", "SLOT0\\SAVE.DAT"});
    EXPECT_EQ(run.out, BEFORE_SAVING +
                           "write GVARs to SAVE file ( offset = 30055, count = 701 ) ...\n"
                           "write cities block to SAVE file( offset = 32859, size = 129 ) ...\n"
                           "write copy of GVARs to SAVE file ( offset = 32988, count = 701 ) ...\n" +
                           COMPLETE);
    EXPECT_EQ(fs::file_size(save()), limit_ - 4096 + 8);
    SaveParams patched = DefaultSaveParams();
    patched.gvars.push_back(1);
    const std::string expected = BuildSave(patched);
    EXPECT_TRUE(Head(expected.size()) == expected) << "the save is not the patched one";
}

}  // namespace
