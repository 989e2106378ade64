// save_patcher.cpp - placeholder patch run: orders the plan, touches nothing.
#include "save_patcher.h"

SavePatcher::SavePatcher(FILE* file) : save_file(file) {}

void SavePatcher::run(PatchPlan& plan) {
    SortPatchPlan(plan);
}
