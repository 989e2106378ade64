// names.h - the names file of --names: lines "INDEX NAME" that put a name
// on the entries they name. NAME is the rest of the line, blanks around it
// trimmed; '#' starts a comment; blank lines are allowed.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "report.h"

class EntryNames {
public:
    // Reads the file; false after its problem on standard error.
    bool read(const std::string& path);

    // Keeps the names of entries below table_size and returns what cannot
    // be used, each with its line: a line that is not INDEX NAME, an index
    // named again (the first name counts) or outside the table.
    std::vector<Finding> settle(uint64_t table_size);

    // The entry's name, or null. Only after settle.
    const std::string* find(uint32_t index) const;

private:
    struct Line {
        int32_t line;
        uint64_t index;  // UINT64_MAX: the line is not INDEX NAME
        std::string name;
    };
    std::vector<Line> lines_;
    std::vector<std::pair<uint32_t, std::string>> names_;  // by index
};
