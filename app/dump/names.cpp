// names.cpp - reading the names file and finding a name by index.
#include "names.h"

#include <algorithm>
#include <new>

#include "platform/file.h"
#include "platform/open.h"

namespace {

const uint64_t NOT_A_LINE = UINT64_MAX;

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string Trimmed(const std::string& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

// The index and name of one line (comment and blanks already taken off);
// index NOT_A_LINE when it is not INDEX NAME. An index past 32 bits is
// kept as a large one: it lies outside every table.
void ReadLine(const std::string& text, uint64_t& index, std::string& name) {
    size_t digits = 0;
    uint64_t value = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(text[digits] - '0'),
                                   NOT_A_LINE - 1);
        ++digits;
    }
    index = NOT_A_LINE;
    if (digits == 0 || digits == text.size() || !IsBlank(text[digits])) return;
    if (text.find('\0') != std::string::npos) return;  // a name ends at a zero byte elsewhere
    index = value;
    name = Trimmed(text.substr(digits));
}

// The file's bytes, or false with the problem in words.
bool ReadWhole(const std::string& path, std::string& bytes, std::string& problem) {
    OpenFailure failure = OpenFailure::None;
    FILE* file = OpenRegularFileUtf8(path.c_str(), "rb", &failure);
    if (!file) {
        problem = OpenFailureWords(failure);
        return false;
    }
    int64_t size = 0;
    int64_t got = -1;
    try {
        if (FileSizeBeneath(file, &size) && size >= 0) {
            bytes.resize(static_cast<size_t>(size));
            got = ReadFromStream(file, &bytes[0], bytes.size());
        }
    } catch (const std::bad_alloc&) {
        problem = "too large to read";
    }
    fclose(file);
    if (got < 0) {
        if (problem.empty()) problem = "cannot be read";
        return false;
    }
    bytes.resize(static_cast<size_t>(got));
    return true;
}

}  // namespace

bool EntryNames::read(const std::string& path) {
    std::string bytes;
    std::string problem;
    if (!ReadWhole(path, bytes, problem)) {
        ReportProblem(path, problem);
        return false;
    }
    int32_t number = 0;
    for (size_t start = 0; start < bytes.size();) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        ++number;
        std::string text = bytes.substr(start, end - start);
        text = Trimmed(text.substr(0, text.find('#')));
        start = end + 1;
        if (text.empty()) continue;
        Line line{number, NOT_A_LINE, std::string()};
        ReadLine(text, line.index, line.name);
        lines_.push_back(std::move(line));
    }
    return true;
}

std::vector<Finding> EntryNames::settle(uint64_t table_size) {
    std::vector<Finding> findings;
    // By index, then line, so the first line naming an index comes first.
    std::vector<const Line*> order;
    for (const Line& line : lines_) {
        if (line.index == NOT_A_LINE) {
            findings.push_back({line.line, "not INDEX NAME: ignored"});
        } else if (line.index >= table_size) {
            findings.push_back({line.line, "index " + std::to_string(line.index) +
                                               " is outside the table (" +
                                               GvarCount(table_size) + "): ignored"});
        } else {
            order.push_back(&line);
        }
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const Line* a, const Line* b) { return a->index < b->index; });
    names_.clear();
    for (size_t i = 0; i < order.size(); ++i) {
        const Line& line = *order[i];
        if (i > 0 && order[i - 1]->index == line.index) {
            size_t first = i - 1;
            while (first > 0 && order[first - 1]->index == line.index) --first;
            findings.push_back({line.line, "index " + std::to_string(line.index) +
                                               " is named again (first on line " +
                                               std::to_string(order[first]->line) +
                                               "): ignored"});
            continue;
        }
        names_.emplace_back(static_cast<uint32_t>(line.index), line.name);
    }
    return findings;
}

const std::string* EntryNames::find(uint32_t index) const {
    auto before = [](const std::pair<uint32_t, std::string>& entry, uint32_t key) {
        return entry.first < key;
    };
    auto found = std::lower_bound(names_.begin(), names_.end(), index, before);
    return found != names_.end() && found->first == index ? &found->second : nullptr;
}
