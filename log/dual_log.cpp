// dual_log.cpp - the console/log-file pair behind every message.
#include "dual_log.h"

#include <stdexcept>

DualLog g_log;

namespace {

template <typename T>
DualLog& WriteBoth(DualLog& log, const T& item) {
    if (log.console) *log.console << item;
    if (log.file) *log.file << item;
    return log;
}

}  // namespace

DualLog& DualLog::operator<<(const char* text) { return WriteBoth(*this, text); }
DualLog& DualLog::operator<<(const std::string& text) { return WriteBoth(*this, text); }
DualLog& DualLog::operator<<(int32_t value) { return WriteBoth(*this, value); }
DualLog& DualLog::operator<<(uint32_t value) { return WriteBoth(*this, value); }

DualLog& DualLog::operator<<(std::ostream& (*manipulator)(std::ostream&)) {
    if (console) *console << manipulator;
    if (file) *file << manipulator;
    return *this;
}

namespace {

template <typename Text>
void WriteCritical(const Text& message) {
    g_log << "CRITICAL ERROR !" << std::endl;
    g_log << message << std::endl;
}

}  // namespace

void LogLine(const std::string& message) { g_log << message << std::endl; }
void LogLine(const char* message) { g_log << message << std::endl; }

void LogCritical(const std::string& message) { WriteCritical(message); }
void LogCritical(const char* message) { WriteCritical(message); }

void CriticalError(const std::string& message) {
    LogCritical(message);
    throw std::runtime_error(message);
}
