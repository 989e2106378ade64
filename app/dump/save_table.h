// save_table.h - a save as gvdump reads it: opened read-only, the table
// located by the patcher's own code, and every failure in gvdump's words.
// Nothing is written and no lock is taken.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "save_patcher.h"

// Opens the save and hands work a patcher over it. Returns an empty text
// when that went through, or why not: the save cannot be opened (the
// words of OpenFailureWords), is not a save this tool can read, cannot be
// read, is too large to read, or is being patched or was left interrupted
// (its journal beside it, or a run's lock refusing the read). An exception
// from work is told as one of these: work catches what it means to keep.
std::string WithSave(const std::string& path, const std::function<void(SavePatcher&)>& work);

// The save's table, whole; false after its problem on standard error.
bool ReadSaveTable(const std::string& path, std::vector<int32_t>& gvars);
