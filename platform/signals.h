// signals.h - how a run meets the signals and console events that
// would end it: never half-way through changing the save.
#pragma once

// For the whole run, on POSIX systems: SIGPIPE and SIGXFSZ are ignored, so a
// closed console pipe is a failed stream that drops what it is given, and a
// file-size limit is a refused growth ("can't set new size to SAVE file !").
// Windows has neither signal: nothing to do there.
void IgnoreStreamSignals();

// Holds a request to stop the process back while its owner says so: from
// arm() until release(), or until the guard ends. Held back means noted,
// the first one kept, none ending the process. POSIX: SIGINT, SIGTERM,
// SIGHUP and SIGQUIT (a signal the process ignores stays ignored).
// Windows: Ctrl+C, Ctrl+Break, closing the console, logging off, shutting
// down (a close waits, within the seconds Windows allows it, until the
// release). The handlers only take note: they never write to the log.
// The hold is the process's: while one guard holds, arming another does
// nothing, and neither does its release.
class StopSignalGuard {
public:
    StopSignalGuard() = default;
    // Releases, as release() does.
    ~StopSignalGuard();
    StopSignalGuard(const StopSignalGuard&) = delete;
    StopSignalGuard& operator=(const StopSignalGuard&) = delete;

    // Starts holding. Does nothing when this guard holds already.
    void arm();

    // Ends the holding. When a request to stop came meanwhile, it is made
    // again now and the process ends here: by the first signal held back
    // (POSIX), or with the status of an interrupted console program
    // (Windows). Otherwise it returns. Does nothing when this guard does not
    // hold.
    void release();

private:
    bool armed_ = false;
};
