// undo.h - taking back the last patch of a save from its undo record, the
// journal that patch's run kept when it committed.
#pragma once

#include <cstdio>
#include <string>

class StopSignalGuard;

// What UndoLastPatch did.
enum class UndoResult {
    Undone,          // the save is as it was before the last patch
    RunTakenBack,    // a live journal was recovered; no record was applied
    NothingToUndo,   // no undo record beside the save
    ChangedSince,    // the save is not what the last patch left (or not what its journal fits)
    RecordMismatch,  // the record is not a whole, valid one
    Unreadable,      // the save, the record or the journal could not be read
    RestoreFailed,   // putting the save back failed; a live journal is left when it began
};

// Puts the save open as save_file under save_path (locked by the caller,
// with one link) back as it was before the last patch. A live journal beside
// it is recovered as a run's recovery step does it, and then nothing more is
// done. Otherwise the undo record must fit the save exactly; it is renamed
// back to the journal's name, the folder synced, and the save restored from
// it as recovery restores, so that a crash at any point leaves a live
// journal that the next run completes. stop_signals is armed before the
// save can change; its owner releases it.
UndoResult UndoLastPatch(FILE* save_file, const std::string& save_path,
                         StopSignalGuard& stop_signals);
