// dual_log.h - the tool's one reporting channel: every message goes to the
// console and to "patcher.log", console first, with the same bytes.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

// A pair of output streams, neither owned. A stream left null is skipped.
// Each output goes to console, then to file, and returns the log so outputs
// chain. Numbers are decimal with the streams' default format state.
struct DualLog {
    std::ostream* console = nullptr;
    std::ostream* file = nullptr;

    DualLog& operator<<(const char* text);
    DualLog& operator<<(const std::string& text);
    DualLog& operator<<(int32_t value);
    DualLog& operator<<(uint32_t value);
    // Manipulators; in practice only std::endl ('\n' and a flush).
    DualLog& operator<<(std::ostream& (*manipulator)(std::ostream&));
};

extern DualLog g_log;

// A warning line that does not stop the run: the message, then a line end.
// The text form allocates nothing, for reports made when memory has run out.
void LogLine(const std::string& message);
void LogLine(const char* message);

// Writes "CRITICAL ERROR !" and the message, each on a flushed line of its
// own. The text form allocates nothing.
void LogCritical(const std::string& message);
void LogCritical(const char* message);

// LogCritical, then throws std::runtime_error carrying the message.
[[noreturn]] void CriticalError(const std::string& message);
