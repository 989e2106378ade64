// messages.h - the report texts that more than one place of the patcher
// writes, each named once.
#pragma once

// Closes each step's part of the report.
inline constexpr char SEPARATOR_LINE[] = "----------------------------------------\n";

// Critical errors of the SAVING phase and its journal.
inline constexpr char SAVE_WRITE_FAILED[] = "error while writing SAVE file !";
inline constexpr char SAVE_RESIZE_FAILED[] = "can't set new size to SAVE file !";
inline constexpr char JOURNAL_WRITE_FAILED[] = "can't write journal file !";
inline constexpr char RESTORE_FAILED[] = "can't restore SAVE file from journal !";

// Announces that the save is being put back: after a failed SAVING phase,
// and by the recovery step of the next run.
inline constexpr char RESTORING_FROM_JOURNAL[] = "restoring SAVE file from journal ...";
