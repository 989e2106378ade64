// options.h - gvdump's command line: what it asks for, read from the
// arguments, and the usage text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class Format { Xml, Csv, Json };

// Entries FROM to TO, both included; an end left out is the table's.
struct IndexRange {
    uint32_t from = 0;
    uint32_t to = UINT32_MAX;
    bool holds(uint64_t index) const { return index >= from && index <= to; }
};

struct Options {
    std::vector<std::string> files;  // the saves; with check, CONFIG and SAVE
    bool check = false;
    std::string output;              // empty: standard output
    std::string names;               // empty: no names file
    IndexRange range;
    Format format = Format::Xml;
    bool help = false;
    bool version = false;
};

extern const char GVDUMP_USAGE[];

// Fills options from the arguments, argument 0 left out. False with the
// problem in plain words on a wrong command line.
bool ParseCommandLine(const std::vector<std::string>& args, Options& options,
                      std::string& problem);
