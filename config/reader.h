// reader.h - turns a loaded configuration document into a patch plan.
#pragma once

#include "model.h"
#include "patch_plan.h"

// Appends a request for every `gvar` element with an "action" attribute under
// save_patcher/gvars, in document order. Silent: elements it cannot use
// (no index or value) are skipped, and a document without any adds nothing.
void BuildPatchPlan(XmlNode* document, PatchPlan& plan);
