// A save that a gvtool run holds: Windows locks refuse gvdump's reads, and
// gvdump says the save is being patched instead of that it cannot be read.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "files.h"
#include "platform/lock.h"
#include "savebuilder.h"
#include "tool_runner.h"

namespace {

TEST(HeldSave, GvdumpSaysItIsBeingPatched) {
    TempDir dir;
    const std::string save = BuildSave(DefaultSaveParams());
    WriteFileBytes(dir / "SAVE.DAT", save);
    ToolOptions options;
    options.program = GvdumpPath();
    options.expect_quiet_success = false;

    // Held the way a run holds it.
    FILE* held = fopen((dir / "SAVE.DAT").string().c_str(), "r+b");
    ASSERT_NE(held, nullptr);
    ASSERT_EQ(LockStream(held), LockResult::Locked);
    FILE* reader = fopen((dir / "SAVE.DAT").string().c_str(), "rb");
    ASSERT_NE(reader, nullptr);
    const bool refused = ReadRefusedByLock(reader);
    fclose(reader);
    if (!refused) {
        fclose(held);
        GTEST_SKIP() << "this system's locks do not refuse reads (Wine's do not)";
    }
    ToolRun run = RunTool(dir.path(), {"SAVE.DAT"}, options);
    fclose(held);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_TRUE(run.out.empty());
    EXPECT_EQ(run.err, "gvdump: SAVE.DAT: being patched or interrupted; run gvtool on it first\n");

    run = RunTool(dir.path(), {"SAVE.DAT"}, options);  // released: readable again
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(ReadFileBytes(dir / "SAVE.DAT"), save);
}

}  // namespace
