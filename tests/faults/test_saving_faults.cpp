// Fault injection in the SAVING phase: every I/O call it makes, failed in
// turn with EIO and ENOSPC, must end the run with the decided critical
// error and never with "PATCHING COMPLETE!".
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <string>

#include "files.h"
#include "savebuilder.h"
#include "tool_runner.h"

namespace {

const char SEPARATOR[] = "----------------------------------------\n";
const std::string WRITE_FAILED = "error while writing SAVE file !";
const std::string RESIZE_FAILED = "can't set new size to SAVE file !";

struct Scenario {
    std::string save;
    std::string config;
};

// A run that grows the file by three entries and moves a tail of three
// chunks (5004 bytes from the end marker on).
Scenario Growing() {
    return {BuildSave(DefaultSaveParams(11, 5000)),
            "<save_patcher><gvars>\n"
            "  <gvar action=\"add\" index=\"700\" value=\"1\"/>\n"
            "  <gvar action=\"add\" index=\"702\" value=\"3\"/>\n"
            "  <gvar action=\"change\" index=\"12\" value=\"9\"/>\n"
            "</gvars></save_patcher>\n"};
}

// A run that rewrites the table and its copy in place.
Scenario InPlace() {
    return {BuildSave(DefaultSaveParams(12, 5000)),
            "<save_patcher><gvars>\n"
            "  <gvar action=\"change\" index=\"12\" value=\"9\"/>\n"
            "  <gvar action=\"change\" index=\"699\" value=\"-1\"/>\n"
            "</gvars></save_patcher>\n"};
}

struct Outcome {
    ToolRun run;
    std::string save;  // the save file afterwards
    long calls = -1;   // seam calls made, from the fault build only
};

// Runs gvtool, or gvtool_faults failing its k-th seam call (0: none) with
// the errno, on a fresh copy of the scenario.
Outcome Run(const Scenario& scenario, bool faulty, long k = 0, int error = EIO) {
    TempDir dir;
    WriteFileBytes(dir / "SAVE.DAT", scenario.save);
    WriteFileBytes(dir / "config.xml", scenario.config);
    ToolOptions options;
    if (faulty) {
        options.program = GVTOOL_FAULTS_PATH;
        setenv("GVTOOL_FAULT_AT", std::to_string(k).c_str(), 1);
        setenv("GVTOOL_FAULT_ERRNO", std::to_string(error).c_str(), 1);
        setenv("GVTOOL_FAULT_COUNT", "faults.count", 1);
    }
    Outcome outcome;
    outcome.run = RunTool(dir.path(), {"config.xml", "SAVE.DAT"}, options);
    unsetenv("GVTOOL_FAULT_AT");
    unsetenv("GVTOOL_FAULT_ERRNO");
    unsetenv("GVTOOL_FAULT_COUNT");
    outcome.save = ReadFileBytes(dir / "SAVE.DAT");
    if (faulty) outcome.calls = std::atol(ReadFileBytes(dir / "faults.count").c_str());
    return outcome;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Fails every call of the scenario's SAVING phase in turn; returns how many
// calls there are. The messages must come as resize failures first (while
// the file grows), then write failures.
long FailEveryCall(const Scenario& scenario, bool grows) {
    const Outcome clean = Run(scenario, false);
    const std::string complete = SEPARATOR + std::string("PATCHING COMPLETE!\n");
    EXPECT_TRUE(EndsWith(clean.run.out, complete)) << clean.run.out;

    // Open but not triggered, the seam changes nothing.
    const Outcome counted = Run(scenario, true);
    EXPECT_EQ(counted.run.out, clean.run.out);
    EXPECT_EQ(counted.save, clean.save);
    const long calls = counted.calls;
    EXPECT_GT(calls, 0);

    const std::string saving = "SAVING\n" + std::string(SEPARATOR) + "flushing buffer to SAVE file ...\n";
    const size_t saving_at = clean.run.out.find(saving);
    EXPECT_NE(saving_at, std::string::npos);
    const std::string before_saving = clean.run.out.substr(0, saving_at + saving.size());

    bool writing = !grows;
    for (long k = 1; k <= calls; ++k) {
        for (int error : {EIO, ENOSPC}) {
            SCOPED_TRACE("call " + std::to_string(k) + " of " + std::to_string(calls) +
                         ", errno " + std::to_string(error));
            const Outcome failed = Run(scenario, true, k, error);
            const std::string& out = failed.run.out;
            EXPECT_EQ(out.compare(0, before_saving.size(), before_saving), 0) << out;
            EXPECT_EQ(out.find("PATCHING COMPLETE!"), std::string::npos);
            const std::string& message = EndsWith(out, "\t" + RESIZE_FAILED + "\n") ? RESIZE_FAILED
                                                                                    : WRITE_FAILED;
            EXPECT_TRUE(EndsWith(out, "CRITICAL ERROR !\n" + message + "\ncatch ! \n\t" + message + "\n"))
                << out.substr(saving_at);
            if (message == WRITE_FAILED) writing = true;
            EXPECT_EQ(message, writing ? WRITE_FAILED : RESIZE_FAILED);
            EXPECT_EQ(failed.run.log, out);
            EXPECT_EQ(failed.save.substr(0, 30055), scenario.save.substr(0, 30055));
        }
    }
    // One past the last call fails nothing: the count is exact.
    const Outcome beyond = Run(scenario, true, calls + 1);
    EXPECT_EQ(beyond.run.out, clean.run.out);
    EXPECT_EQ(beyond.save, clean.save);
    return calls;
}

TEST(SavingFaults, EveryCallOfAGrowingRun) {
    const long calls = FailEveryCall(Growing(), true);
    std::cout << "[ faults   ] SAVING phase I/O calls covered, growing run: " << calls << "\n";
    // Size and growth, three chunks of tail, the table, block and copy.
    EXPECT_GE(calls, 5 + 3 * 5 + 7);
}

TEST(SavingFaults, EveryCallOfAnInPlaceRun) {
    const long calls = FailEveryCall(InPlace(), false);
    std::cout << "[ faults   ] SAVING phase I/O calls covered, in-place run: " << calls << "\n";
    EXPECT_GE(calls, 6);
}

}  // namespace
