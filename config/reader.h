// reader.h - turns a loaded configuration document into a patch plan.
#pragma once

#include <vector>

#include "model.h"
#include "patch_plan.h"

// The element each request of a plan came from, list by list, in the order
// the requests were appended.
struct PlanSources {
    std::vector<XmlNode*> add_list;
    std::vector<XmlNode*> remove_list;
    std::vector<XmlNode*> change_list;
};

// Appends a request for every `gvar` element with an "action" attribute under
// save_patcher/gvars, in document order. Silent: elements it cannot use
// (no index or value) are skipped, and a document without any adds nothing.
// sources, when given, receives the element of each request appended.
void BuildPatchPlan(XmlNode* document, PatchPlan& plan, PlanSources* sources = nullptr);
