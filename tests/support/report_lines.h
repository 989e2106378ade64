// report_lines.h - the lines of gvtool's report that tests of every area
// expect: the banner, the separator, what a critical error leaves, and the
// steps of a run on the builder's default save up to ADDING.
#pragma once

#include <string>

inline const std::string BANNER = "Drelmoor 2 SAVE patcher\nRELEASE build\nversion 0.01a\n\n";
inline const std::string SEPARATOR = "----------------------------------------\n";

// Where a critical error happens.
inline std::string Critical(const std::string& message) {
    return "CRITICAL ERROR !\n" + message + "\n";
}
// The last line of a run that a critical error stopped.
inline std::string Caught(const std::string& message) { return "catch ! \n\t" + message + "\n"; }
// Both, when nothing comes between them.
inline std::string Stopped(const std::string& message) {
    return Critical(message) + Caught(message);
}

inline const std::string RESTORING = "restoring SAVE file from journal ...\n";
inline const std::string COMPLETE = SEPARATOR + "PATCHING COMPLETE!\n";

inline const std::string CONFIG_READ =
    "loading config file ...\nprocessing config file ...\nprocessing complete!\n";
// Locating and reading the table of DefaultSaveParams(): 700 GVARs, the
// default city names.
inline const std::string DEFAULT_SAVE_READ =
    "\ncalculating ofssets and GVARs count...\n" + SEPARATOR +
    "cities_list_size == 126\nsize == 2800, 700, 0\n" + SEPARATOR +
    "\nread GVARs ( 700 )\nreaded 2800 bytes, 700 GVARs\n" + SEPARATOR;
