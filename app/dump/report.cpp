// report.cpp - gvdump's lines on standard error.
#include "report.h"

#include <algorithm>
#include <cstdio>

#include "platform/console.h"

void ReportProblem(const std::string& file, const std::string& problem) {
    WriteUtf8(stderr, "gvdump: " + file + ": " + problem + "\n");
}

void ReportFindings(const std::string& file, std::vector<Finding>& findings) {
    std::stable_sort(findings.begin(), findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    // Standard error writes each call at once: many findings go out in blocks.
    std::string block;
    for (const Finding& finding : findings) {
        block += "gvdump: " + file + ":" + std::to_string(finding.line) + ": " + finding.what;
        block += '\n';
        if (block.size() >= 64 * 1024) {
            WriteUtf8(stderr, block);
            block.clear();
        }
    }
    WriteUtf8(stderr, block);
}

const char* OpenFailureWords(OpenFailure failure) {
    switch (failure) {
        case OpenFailure::NoSuchFile:
        case OpenFailure::NameTooLong: return "no such file";
        case OpenFailure::PermissionDenied: return "permission denied";
        case OpenFailure::IsFolder: return "is a folder";
        case OpenFailure::NotAFile: return "not a file";
        case OpenFailure::None:
        case OpenFailure::Other: break;
    }
    return "cannot be opened";
}

std::string Quoted(const std::string& text) {
    static const char HEX[] = "0123456789ABCDEF";
    std::string quoted = "\"";
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\r') {
            quoted += "\\r";
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            quoted += "\\x";
            quoted += HEX[byte >> 4];
            quoted += HEX[byte & 15];
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string GvarCount(uint64_t count) {
    return std::to_string(count) + (count == 1 ? " GVAR" : " GVARs");
}
