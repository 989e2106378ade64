// gvundo.cpp - the gvundo command: puts a save back as it was before the
// last patch, from the undo record that patch left beside it, or settles a
// run that was cut off. One line tells the outcome; the exit status too.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dual_log.h"
#include "platform/file.h"
#include "platform/lock.h"
#include "platform/main.h"
#include "platform/console.h"
#include "platform/open.h"
#include "platform/signals.h"
#include "undo.h"
#include "version.h"

namespace {

const char USAGE[] =
    "usage: gvundo SAVE\n"
    "\n"
    "Puts SAVE back as it was before the last patch gvtool made to it.\n"
    "\n"
    "  --help     print this text\n"
    "  --version  print the version\n"
    "\n"
    "exit status: 0 done, 1 refused or failed, 2 a wrong command line\n";

enum ExitStatus { DONE = 0, FAILED = 1, WRONG_USE = 2 };

const char CANNOT_BE_READ[] = "cannot be read";

// One line on standard output when done, on standard error otherwise.
int Say(const std::string& save, const char* text, bool done) {
    WriteUtf8(done ? stdout : stderr, "gvundo: " + save + ": " + text + "\n");
    return done ? DONE : FAILED;
}

int Report(const std::string& save, UndoResult result) {
    switch (result) {
        case UndoResult::Undone: return Say(save, "put back as it was before the last patch", true);
        case UndoResult::RunTakenBack: return Say(save, "an interrupted run was taken back", true);
        case UndoResult::NothingToUndo: return Say(save, "nothing to undo", false);
        case UndoResult::ChangedSince:
            return Say(save, "changed since the last patch; nothing done", false);
        case UndoResult::RecordMismatch:
            return Say(save, "undo record does not match; nothing done", false);
        case UndoResult::Unreadable: return Say(save, CANNOT_BE_READ, false);
        case UndoResult::RestoreFailed: return Say(save, "restore failed; run gvundo again", false);
    }
    return FAILED;
}

// Opens, checks and locks the save as gvtool does, then undoes.
int Undo(const std::string& save, StopSignalGuard& stop_signals) {
    FILE* save_file = OpenRegularFileUtf8(save.c_str(), "r+b");
    if (!save_file) return Say(save, CANNOT_BE_READ, false);
    uint64_t links = 0;
    int status = FAILED;
    if (!FileLinkCount(save_file, &links)) {
        status = Say(save, CANNOT_BE_READ, false);
    } else if (links > 1) {
        status = Say(save, "has hard links; nothing done", false);
    } else if (LockStream(save_file) == LockResult::HeldElsewhere) {
        status = Say(save, "being patched by another run", false);
    } else {
        const UndoResult result = UndoLastPatch(save_file, save, stop_signals);
        // Closed before the line is printed: the line tells what is on the
        // disk.
        fclose(save_file);
        save_file = nullptr;
        status = Report(save, result);
    }
    if (save_file) fclose(save_file);
    return status;
}

}  // namespace

int RunProgram(const std::vector<std::string>& arguments) {
    IgnoreStreamSignals();
    // The recovery and the restore report through the log; the outcome's
    // one line says all of it.
    g_log.console = nullptr;
    g_log.file = nullptr;
    // Armed before the save can change, released once the line is printed.
    StopSignalGuard stop_signals;

    std::vector<std::string> saves;
    bool options_end = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        if (options_end || arg.size() < 2 || arg[0] != '-') {
            saves.push_back(arg);
        } else if (arg == "--") {
            options_end = true;
        } else if (arg == "--help" || arg == "-h") {
            fputs(USAGE, stdout);
            return DONE;
        } else if (arg == "--version") {
            printf("gvundo %s\n", GVTOOL_VERSION);
            return DONE;
        } else {
            WriteUtf8(stderr, "gvundo: unknown option " + arg + "\n" + USAGE);
            return WRONG_USE;
        }
    }
    if (saves.size() != 1 || saves[0].empty()) {
        fprintf(stderr, "gvundo: give one save\n%s", USAGE);
        return WRONG_USE;
    }
    const int status = Undo(saves[0], stop_signals);
    fflush(stdout);
    fflush(stderr);
    stop_signals.release();
    return status;
}
