// undo.cpp - the last patch taken back: recovery first, then the undo
// record turned back into a live journal and recovered.
#include "undo.h"

#include <new>

#include "journal.h"
#include "journal_io.h"
#include "platform/file.h"
#include "platform/open.h"
#include "platform/path.h"
#include "platform/signals.h"

namespace {

// What the undo record says of the save: Undone when it fits the save
// exactly, otherwise why it cannot be applied.
UndoResult CheckRecord(const std::string& record_path, FILE* save_file) {
    OpenFailure found = OpenFailure::None;
    FILE* record = OpenExistingFileUtf8(record_path, "rb", &found);
    if (!record) {
        switch (found) {
            case OpenFailure::NoSuchFile:
            case OpenFailure::NameTooLong: return UndoResult::NothingToUndo;
            case OpenFailure::IsFolder:
            case OpenFailure::NotAFile: return UndoResult::RecordMismatch;
            default: return UndoResult::Unreadable;
        }
    }
    UndoVerdict verdict = UndoVerdict::Unreadable;
    JournalHeader header;
    try {
        verdict = JudgeUndoRecord(record, save_file, &header);
    } catch (const std::bad_alloc&) {
    }
    fclose(record);
    switch (verdict) {
        case UndoVerdict::Fits: return UndoResult::Undone;
        case UndoVerdict::Damaged: return UndoResult::RecordMismatch;
        case UndoVerdict::Changed: return UndoResult::ChangedSince;
        case UndoVerdict::Unreadable: break;
    }
    return UndoResult::Unreadable;
}

}  // namespace

UndoResult UndoLastPatch(FILE* save_file, const std::string& save_path,
                         StopSignalGuard& stop_signals) {
    const std::string resolved = ResolvedPath(save_file, save_path);
    const std::string journal = resolved + JOURNAL_SUFFIX;
    const std::string record = resolved + UNDO_SUFFIX;
    stop_signals.arm();
    switch (RecoverJournal(save_file, journal)) {
        case Recovery::Restored: return UndoResult::RunTakenBack;
        case Recovery::Mismatch: return UndoResult::ChangedSince;
        case Recovery::Unreadable: return UndoResult::Unreadable;
        case Recovery::RestoreFailed: return UndoResult::RestoreFailed;
        case Recovery::NoJournal:
        case Recovery::Deleted: break;
    }
    const UndoResult checked = CheckRecord(record, save_file);
    if (checked != UndoResult::Undone) return checked;
    // The record is a live journal again, on the disk, before the save
    // changes: from here a crash leaves what the next run completes.
    if (!RenameFileUtf8(record, journal) || !SyncFolderOf(journal)) {
        return UndoResult::RestoreFailed;
    }
    switch (RecoverJournal(save_file, journal)) {
        case Recovery::Restored: return UndoResult::Undone;
        case Recovery::Mismatch: return UndoResult::ChangedSince;
        default: return UndoResult::RestoreFailed;
    }
}
