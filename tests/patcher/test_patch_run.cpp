// The whole patch run: every heading, separator and line of a realistic
// patch, in-process and through the real binary.
#include <gtest/gtest.h>

#include <string>

#include "files.h"
#include "patch_harness.h"
#include "savebuilder.h"
#include "tool_runner.h"

namespace {

TEST(PatchRun, RealisticPatchLogsEveryStep) {
    SaveParams params = DefaultSaveParams();
    TempDir dir;
    WriteFileBytes(dir / "SAVE.DAT", BuildSave(params));
    PatchOutcome out = PatchSaveFile(
        dir / "SAVE.DAT", MakePlan({Add(702, -5), Add(700, 1), Add(12, 4), Change(12, 3),
                                    Change(701, 44), Remove(3, 0), Change(5000, 6)}));
    EXPECT_EQ(out.error, "");
    EXPECT_EQ(out.log,
              DEFAULT_SAVE_READ + "\nADDING\n" + SEPARATOR +
                  "adding new GVARs (3) to SAVE file\n"
                  "\tadding GVAR (1 of 3)\n"
                  "\t{ index = 12, value = 4 }\n\n"
                  "\twhile adding, detected index(12) in range [0, 700), expected index >= 700\n"
                  "\tadding GVAR (2 of 3)\n"
                  "\t{ index = 700, value = 1 }\n\n"
                  "\tadding GVAR (3 of 3)\n"
                  "\t{ index = 702, value = -5 }\n\n" +
                  SEPARATOR + "\nCHANGING\n" + SEPARATOR +
                  "setting GVARs (3) in SAVE file\n"
                  "\tset GVAR value (1 of 3)\n"
                  "\t{ index = 12, value = 3 }\n\n"
                  "\tset GVAR value (2 of 3)\n"
                  "\t{ index = 701, value = 44 }\n\n"
                  "\tset GVAR value (3 of 3)\n"
                  "\t{ index = 5000, value = 6 }\n\n"
                  "\twhile changing, detected index(5000) out of range [0, 703), "
                  "expected index < 703\n" +
                  SEPARATOR + "\nSAVING\n" + SEPARATOR +
                  "flushing buffer to SAVE file ...\n"
                  "resizing SAVE file on 24 bytes ...\n"
                  "write GVARs to SAVE file ( offset = 30055, count = 703 ) ...\n"
                  "write cities block to SAVE file( offset = 32867, size = 129 ) ...\n"
                  "write copy of GVARs to SAVE file ( offset = 32996, count = 703 ) ...\n" +
                  SEPARATOR);
    params.gvars[12] = 3;
    params.gvars.insert(params.gvars.end(), {1, 44, -5});
    EXPECT_EQ(ReadFileBytes(dir / "SAVE.DAT"), BuildSave(params));
}

TEST(PatchRun, RealBinaryReportsALocationFailure) {
    TempDir dir;
    WriteFileBytes(dir / "SAVE.DAT", BuildSave(DefaultSaveParams()).substr(0, 35000));
    WriteFileBytes(dir / "config.xml", "<save_patcher>\n    <gvars/>\n</save_patcher>\n");
    ToolRun run = RunTool(dir.path(), {"config.xml", "SAVE.DAT"});
    const std::string ending = "\ncalculating ofssets and GVARs count...\n" + SEPARATOR +
                               Stopped("can't find GVARs end marker !");
    ASSERT_GE(run.out.size(), ending.size());
    EXPECT_EQ(run.out.substr(run.out.size() - ending.size()), ending);
    EXPECT_EQ(run.log, run.out);
}

}  // namespace
