// fault_scenarios.h - the runs that the fault tests fail, end and cut: a
// save and a configuration that grows its table, and a save and one that
// only changes it.
#pragma once

#include <string>

#include "savebuilder.h"

// The table grows by three entries; the tail, just over one copy chunk,
// moves in two.
inline std::string GrowingSave() { return BuildSave(DefaultSaveParams(11, (1 << 20) + 5000)); }
inline constexpr char GROWING_CONFIG[] =
    "<save_patcher><gvars>\n"
    "  <gvar action=\"add\" index=\"700\" value=\"1\"/>\n"
    "  <gvar action=\"add\" index=\"702\" value=\"3\"/>\n"
    "  <gvar action=\"change\" index=\"12\" value=\"9\"/>\n"
    "</gvars></save_patcher>\n";

// The table and its copy are rewritten in place.
inline std::string ChangingSave() { return BuildSave(DefaultSaveParams(12, 5000)); }
inline constexpr char CHANGING_CONFIG[] =
    "<save_patcher><gvars>\n"
    "  <gvar action=\"change\" index=\"12\" value=\"9\"/>\n"
    "  <gvar action=\"change\" index=\"699\" value=\"-1\"/>\n"
    "</gvars></save_patcher>\n";
