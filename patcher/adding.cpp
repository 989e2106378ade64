// adding.cpp - the ADDING phase: add requests create new GVARs at or past
// the end of the in-memory table.
#include <stdexcept>
#include <string>

#include "dual_log.h"
#include "platform/file.h"
#include "save_patcher.h"

namespace {

// The table's byte size must stay within a signed 32-bit file offset.
constexpr uint64_t MAX_GVARS = 1073741823;

}  // namespace

void SavePatcher::add_gvars(const PatchPlan& plan, std::vector<int32_t>& gvar_table,
                            RequestObserver* observer) {
    const int32_t total = static_cast<int32_t>(plan.add_list.size());
    g_log << "adding new GVARs (" << total << ") to SAVE file" << std::endl;
    // Nothing is written before SAVING, so the size is still the original's.
    // Without a file beneath the stream, the later growth is refused anyway.
    int64_t file_size = 0;
    if (total > 0) (void)FileSizeBeneath(save_file_, &file_size);
    for (int32_t i = 1; i <= total; ++i) {
        const size_t position = static_cast<size_t>(i - 1);
        const GvarRequest& request = plan.add_list[position];
        g_log << "\tadding GVAR (" << i << " of " << total << ")" << std::endl;
        g_log << "\t{ index = " << request.index << ", value = " << request.value << " }\n\n";

        const uint32_t index = static_cast<uint32_t>(request.index);
        const size_t size = gvar_table.size();
        if (index < size) {
            // An add may only create: existing GVARs are changed by "change".
            const int32_t signed_size = static_cast<int32_t>(size);
            LogLine("\twhile adding, detected index(" + std::to_string(request.index) +
                    ") in range [0, " + std::to_string(signed_size) +
                    "), expected index >= " + std::to_string(signed_size));
            if (observer) {
                observer->request_met(GvarAction::Add, position, size, RequestOutcome::Skipped);
            }
            continue;
        }
        // Negative indices read as 2^31 or more and land here too. An index
        // whose growth could never be written is refused before the table
        // is allocated for it.
        const int64_t growth = 8 * (int64_t{index} + 1 - int64_t{location_.gvars_count});
        if (uint64_t{index} + 1 > MAX_GVARS || file_size + growth > MAX_SAVE_SIZE) {
            if (observer) {
                observer->request_met(GvarAction::Add, position, size, RequestOutcome::Refused);
            }
            throw std::length_error("can't add GVAR with index " +
                                    std::to_string(request.index) + " !");
        }
        gvar_table.resize(static_cast<size_t>(index) + 1, 0);
        gvar_table[index] = request.value;
        if (observer) {
            observer->request_met(GvarAction::Add, position, size, RequestOutcome::Applied);
        }
    }
}
