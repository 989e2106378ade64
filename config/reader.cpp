// reader.cpp - configuration document to patch plan.
#include "reader.h"

// Placeholder until the path queries exist: the plan stays empty.
void BuildPatchPlan(XmlNode* document, PatchPlan& plan) {
    (void)document;
    (void)plan;
}
