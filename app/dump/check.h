// check.h - gvdump --check: a configuration read and applied to a save's
// table by gvtool's own code, in memory, with a finding for everything the
// run would do silently or otherwise than its text seems to ask. Nothing
// is written and no lock is taken.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report.h"

struct CheckResult {
    // Set when the configuration or the save could not be used: the file,
    // and the problem in words (for the configuration, the loader's own
    // message when it cannot be parsed).
    std::string failed_file;
    std::string problem;
    std::vector<Finding> findings;   // on the configuration's lines
    std::vector<int32_t> before;     // the save's table
    std::vector<int32_t> after;      // the table the run would write
    bool stops = false;              // the run stops before writing: after is before
};

void CheckConfiguration(const std::string& config, const std::string& save, CheckResult& result);
