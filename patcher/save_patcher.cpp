// save_patcher.cpp - the patch run: sort the plan, locate the table, read
// it, and hand it to the adding, changing and saving phases.
#include "save_patcher.h"

#include <utility>

#include "dual_log.h"
#include "messages.h"

SavePatcher::SavePatcher(FILE* file, std::string save_path, std::string resolved_path)
    : save_file_(file),
      save_path_(std::move(save_path)),
      resolved_path_(std::move(resolved_path)),
      reader_(file) {}

void SavePatcher::run(PatchPlan& plan, StopSignalGuard& stop_signals) {
    SortPatchPlan(plan);
    std::vector<int32_t> gvar_table = apply_in_memory(plan);
    g_log << SEPARATOR_LINE << "\n" << "SAVING\n" << SEPARATOR_LINE;
    save_gvars(gvar_table, stop_signals);
    g_log << SEPARATOR_LINE;
}

std::vector<int32_t> SavePatcher::apply_in_memory(const PatchPlan& plan,
                                                  RequestObserver* observer) {
    std::vector<int32_t> gvar_table = read_gvar_table();
    // What a read error kept from the table or the cities block would be
    // written back as zeros: the run stops while the save is unchanged.
    if (reader_.failed()) ReportLocationFailure(LocationFailure::SearchReadFailed);

    g_log << "ADDING\n" << SEPARATOR_LINE;
    add_gvars(plan, gvar_table, observer);
    g_log << SEPARATOR_LINE << "\n" << "CHANGING\n" << SEPARATOR_LINE;
    set_gvars(plan.change_list, gvar_table, observer);
    return gvar_table;
}
