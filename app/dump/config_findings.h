// config_findings.h - what a configuration's text asks that gvtool reads
// otherwise, found in the loaded document: gvar elements it ignores or
// skips, attributes it does not read, actions and numbers it reads in its
// own way, and why it reads no request at all.
#pragma once

#include <vector>

#include "element_lines.h"
#include "model.h"
#include "report.h"

// The findings, each with the line of its element: a gvar outside
// save_patcher/gvars, without action, index or value; an attribute of a
// gvar other than action, index, value, old and name (with the one it may
// have meant), or given twice; an element named like save_patcher, gvars or
// gvar in another letter case; for each request, an action other than add,
// change and remove, "remove" itself, and an index or value that is not a
// whole decimal number in the signed 32-bit range; and, when no gvar with
// action stands in save_patcher/gvars, the reason.
void FindElementFindings(XmlNode* document, const XmlElementLines& lines,
                         std::vector<Finding>& findings);
