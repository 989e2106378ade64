// report.h - what gvdump says on standard error: one line per problem,
// "gvdump: FILE: PROBLEM", or per finding, "gvdump: FILE:LINE: WHAT".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/open.h"

// Something a file's line says that the reader should know.
struct Finding {
    int32_t line;      // from 1; 0 when not known
    std::string what;
};

// "gvdump: FILE: PROBLEM".
void ReportProblem(const std::string& file, const std::string& problem);

// Each finding as "gvdump: FILE:LINE: WHAT", by line; findings about one
// line keep their order.
void ReportFindings(const std::string& file, std::vector<Finding>& findings);

// Why a file could not be opened, in the same words on every system.
const char* OpenFailureWords(OpenFailure failure);

// The text in double quotes, for a message line: a quote or a backslash
// gets a backslash, and control bytes are written \n, \r, \t or \xHH, so
// the text can never break the line.
std::string Quoted(const std::string& text);

// "1 GVAR", "700 GVARs".
std::string GvarCount(uint64_t count);
