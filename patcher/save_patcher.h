// save_patcher.h - applies a patch plan to the GVAR table of one save file,
// in place.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "patch_plan.h"

class SavePatcher {
public:
    // The patcher uses the open stream but never closes it.
    explicit SavePatcher(FILE* file);

    // The whole patch: sort, locate, read, add, change, save. Fatal
    // conditions leave as std::runtime_error (through CriticalError) or as
    // the standard length/allocation errors.
    void run(PatchPlan& plan);

    uint32_t gvars_count = 0;
    int32_t gvars_end_offset = 0;
    int32_t cities_block_offset = 0;
    uint32_t cities_list_size = 0;
    std::vector<uint8_t> cities_block;
    FILE* save_file = nullptr;
};
