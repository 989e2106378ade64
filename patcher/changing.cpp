// changing.cpp - the CHANGING phase: change requests set the values of GVARs
// that the in-memory table already holds.
#include <string>

#include "dual_log.h"
#include "save_patcher.h"

void SavePatcher::set_gvars(const std::vector<GvarRequest>& change_list,
                            std::vector<int32_t>& gvar_table, RequestObserver* observer) {
    const int32_t total = static_cast<int32_t>(change_list.size());
    g_log << "setting GVARs (" << total << ") in SAVE file" << std::endl;
    for (int32_t i = 1; i <= total; ++i) {
        const GvarRequest& request = change_list[static_cast<size_t>(i - 1)];
        g_log << "\tset GVAR value (" << i << " of " << total << ")" << std::endl;
        g_log << "\t{ index = " << request.index << ", value = " << request.value << " }\n\n";

        // Read as unsigned, a negative index is out of range like a large one.
        const uint32_t index = static_cast<uint32_t>(request.index);
        const size_t position = static_cast<size_t>(i - 1);
        if (index < gvar_table.size()) {
            gvar_table[index] = request.value;
            if (observer) {
                observer->request_met(GvarAction::Change, position, gvar_table.size(),
                                      RequestOutcome::Applied);
            }
            continue;
        }
        const int32_t size = static_cast<int32_t>(gvar_table.size());
        LogLine("\twhile changing, detected index(" + std::to_string(request.index) +
                ") out of range [0, " + std::to_string(size) + "), expected index < " +
                std::to_string(size));
        if (observer) {
            observer->request_met(GvarAction::Change, position, gvar_table.size(),
                                  RequestOutcome::Skipped);
        }
    }
}
