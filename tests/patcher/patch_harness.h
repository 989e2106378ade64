// patch_harness.h - runs SavePatcher::run on a save file in a test, with the
// log captured, and the requests the tests build plans from.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "patch_plan.h"
#include "report_lines.h"

struct PatchOutcome {
    std::string log;    // what the run wrote; console and file agree
    std::string error;  // what() of the exception that ended the run, empty on success
};

struct PatchOptions {
    const char* mode = "r+b";
    // POSIX only: runs the patcher in a child process whose file size is
    // limited to this (RLIMIT_FSIZE), with SIGXFSZ ignored.
    std::optional<uint64_t> file_size_limit;
    // POSIX only: runs as gvtool runs the patcher, in a child process: the
    // recovery step, then the run with the save's journal beside it.
    bool journal = false;
    // On Windows either fails the run with the error "file_size_limit and
    // journal are POSIX only".
};

// Runs the step with the log captured.
PatchOutcome RunLogged(const std::function<void()>& step);

// Opens the save file with the mode, runs a fresh SavePatcher over it with
// the plan, closes the file.
PatchOutcome PatchSaveFile(const std::filesystem::path& save, PatchPlan plan,
                           const PatchOptions& options = {});

GvarRequest Add(int32_t index, int32_t value);
GvarRequest Change(int32_t index, int32_t value);
GvarRequest Remove(int32_t index, int32_t value);
PatchPlan MakePlan(const std::vector<GvarRequest>& requests);

// The GVAR entries of the file's bytes, little-endian, from offset on.
std::vector<int32_t> EntriesAt(const std::string& bytes, size_t offset, size_t count);
