// patch_plan.h - GVAR requests as read from the configuration, and the plan
// that collects them in one list per action.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Fixed codes: they are part of how requests are classified and sorted.
enum class GvarAction : int32_t { Add = 0, Remove = 1, Change = 2 };

struct GvarRequest {
    int32_t value = 0;
    int32_t index = 0;
    GvarAction action = GvarAction::Change;
};

struct PatchPlan {
    std::vector<GvarRequest> add_list;
    std::vector<GvarRequest> remove_list;
    std::vector<GvarRequest> change_list;

    // Appends at the end of the list for the request's action; never merges.
    void append(const GvarRequest& request);
};

// The configuration's number reading: optional white space and sign, then
// decimal digits up to the first other byte, wrapping modulo 2^32. Text
// without digits gives 0. Never fails.
int32_t ParseGvarNumber(const std::string& text);

// Builds a request from the three attribute texts. "add" and "remove" in any
// letter case select those actions; any other text is a change.
GvarRequest ParseGvarRequest(const std::string& action_text,
                             const std::string& value_text,
                             const std::string& index_text);

// Orders add_list and remove_list by index read as unsigned 32-bit (so
// negative indices come last); change_list keeps the configuration's order.
void SortPatchPlan(PatchPlan& plan);
