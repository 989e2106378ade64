// check.cpp - the check's run: the loader with element lines, the reader,
// the sort, then ADDING and CHANGING on the save's table in memory and the
// checks SAVING makes before it writes, each through gvtool's own code.
#include "check.h"

#include <algorithm>
#include <exception>
#include <new>
#include <utility>

#include "config_findings.h"
#include "loader.h"
#include "platform/open.h"
#include "platform/path.h"
#include "reader.h"
#include "save_table.h"

namespace {

// One request as the configuration gives it.
struct Request {
    GvarRequest request;
    int32_t line;
};

// How the phases met each request, by position in the lists they read.
class Outcomes : public RequestObserver {
public:
    struct Met {
        bool met = false;
        size_t table_size = 0;
        RequestOutcome outcome = RequestOutcome::Applied;
    };

    Outcomes(size_t add_count, size_t change_count) : adds(add_count), changes(change_count) {}

    void request_met(GvarAction phase, size_t position, size_t table_size,
                     RequestOutcome outcome) override {
        std::vector<Met>& list = phase == GvarAction::Add ? adds : changes;
        if (position < list.size()) list[position] = {true, table_size, outcome};
    }

    std::vector<Met> adds;
    std::vector<Met> changes;
};

// The requests of one list with their lines, read in the list's own order
// (a subsequence of document order, so each look-up costs a step).
std::vector<Request> WithLines(const std::vector<GvarRequest>& list,
                               const std::vector<XmlNode*>& sources,
                               const XmlElementLines& lines) {
    std::vector<Request> requests;
    requests.reserve(list.size());
    uint32_t cursor = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        requests.push_back({list[i], XmlElementLineOf(&lines, sources[i], &cursor)});
    }
    return requests;
}

// The lines of the sorted add list. The sort is not stable, so requests
// are matched by index and value: equal ones are alike in all but their
// line, and the earlier line is given to the earlier place.
std::vector<int32_t> SortedLines(const std::vector<Request>& unsorted,
                                 const std::vector<GvarRequest>& sorted) {
    std::vector<int32_t> lines(sorted.size());
    // Adds written in ascending order, each index once, keep their places.
    bool ascending = true;
    for (size_t i = 1; i < unsorted.size() && ascending; ++i) {
        ascending = static_cast<uint32_t>(unsorted[i - 1].request.index) <
                    static_cast<uint32_t>(unsorted[i].request.index);
    }
    if (ascending) {
        for (size_t i = 0; i < unsorted.size(); ++i) lines[i] = unsorted[i].line;
        return lines;
    }
    auto key = [](const GvarRequest& request) {
        return std::make_pair(static_cast<uint32_t>(request.index), request.value);
    };
    std::vector<size_t> from(unsorted.size());
    std::vector<size_t> to(sorted.size());
    for (size_t i = 0; i < from.size(); ++i) from[i] = to[i] = i;
    std::sort(from.begin(), from.end(), [&](size_t a, size_t b) {
        return std::make_pair(key(unsorted[a].request), a) <
               std::make_pair(key(unsorted[b].request), b);
    });
    std::sort(to.begin(), to.end(), [&](size_t a, size_t b) {
        return std::make_pair(key(sorted[a]), a) < std::make_pair(key(sorted[b]), b);
    });
    for (size_t i = 0; i < to.size(); ++i) lines[to[i]] = unsorted[from[i]].line;
    return lines;
}

void AddFindings(const std::vector<GvarRequest>& adds, const std::vector<int32_t>& lines,
                 const Outcomes& outcomes, std::vector<Finding>& findings) {
    for (size_t i = 0; i < adds.size(); ++i) {
        const Outcomes::Met& met = outcomes.adds[i];
        if (!met.met || met.outcome == RequestOutcome::Refused) continue;
        const uint32_t index = static_cast<uint32_t>(adds[i].index);
        if (met.outcome == RequestOutcome::Skipped) {
            findings.push_back({lines[i], "add at index " + std::to_string(adds[i].index) +
                                              " is skipped: the table holds it already (" +
                                              GvarCount(met.table_size) + ")"});
        } else if (index > met.table_size) {
            const uint64_t gap = index - met.table_size;
            const std::string filled =
                gap == 1 ? "index " + std::to_string(met.table_size) + " with 0"
                         : "indices " + std::to_string(met.table_size) + " to " +
                               std::to_string(index - 1) + " with 0 (" + GvarCount(gap) + ")";
            findings.push_back({lines[i], "add at index " + std::to_string(adds[i].index) + " fills " +
                                              filled + "; the save grows by " +
                                              std::to_string(8 * (gap + 1)) + " bytes"});
        }
    }
}

void ChangeFindings(const std::vector<Request>& changes, const Outcomes& outcomes,
                    std::vector<Finding>& findings) {
    for (size_t i = 0; i < changes.size(); ++i) {
        const Outcomes::Met& met = outcomes.changes[i];
        if (!met.met || met.outcome != RequestOutcome::Skipped) continue;
        findings.push_back({changes[i].line, "change of index " + std::to_string(changes[i].request.index) +
                                                 " is skipped: outside the table (" +
                                                 GvarCount(met.table_size) + ")"});
    }
}

// Each index that more than one add or change names, and that ends in the
// table: one finding, on the line of its first request.
void RepeatFindings(const std::vector<Request>& adds, const std::vector<Request>& changes,
                    const std::vector<int32_t>& after, std::vector<Finding>& findings) {
    std::vector<std::pair<uint32_t, int32_t>> named;  // index, line
    for (const std::vector<Request>* list : {&adds, &changes}) {
        for (const Request& request : *list) {
            const uint32_t index = static_cast<uint32_t>(request.request.index);
            if (index < after.size()) named.emplace_back(index, request.line);
        }
    }
    std::sort(named.begin(), named.end());
    for (size_t first = 0, end = 0; first < named.size(); first = end) {
        while (end < named.size() && named[end].first == named[first].first) ++end;
        if (end - first < 2) continue;
        findings.push_back({named[first].second,
                            "index " + std::to_string(named[first].first) + " is requested " +
                                std::to_string(end - first) + " times (last on line " +
                                std::to_string(named[end - 1].second) + "): the save ends with " +
                                std::to_string(after[named[first].first])});
    }
}

// Where the run stops, when it does: at the add it refuses, or, for a
// check of SAVING, at the first add that grows the table.
void StopFinding(const std::vector<GvarRequest>& adds, const std::vector<int32_t>& lines,
                 const Outcomes& outcomes, const std::string& message,
                 std::vector<Finding>& findings) {
    int32_t line = 0;
    std::string what = "gvtool stops before writing: \"" + message + "\"; nothing is written";
    for (size_t i = 0; i < adds.size(); ++i) {
        const Outcomes::Met& met = outcomes.adds[i];
        if (met.met && met.outcome == RequestOutcome::Refused) {
            line = lines[i];
            what = "add at index " + std::to_string(adds[i].index) + " stops gvtool: \"" + message +
                   "\"; nothing is written";
            break;
        }
        if (met.met && met.outcome == RequestOutcome::Applied && line == 0) line = lines[i];
    }
    findings.push_back({line, what});
}

}  // namespace

void CheckConfiguration(const std::string& config, const std::string& save, CheckResult& result) {
    // The configuration's own problems first, in the same words as a save's.
    OpenFailure failure = OpenFailure::None;
    if (FILE* probe = OpenRegularFileUtf8(config.c_str(), "rb", &failure)) {
        fclose(probe);
    } else {
        result.failed_file = config;
        result.problem = OpenFailureWords(failure);
        return;
    }
    XmlNode* document = XmlCreateDocument(config.c_str());
    XmlElementLines lines = {};
    // gvtool refuses to read the save as its own configuration.
    const bool is_save = NamesReachOneFile(config, save);
    if (!document || is_save || XmlLoadFileWithLines(document, &lines) < 0) {
        const XmlDocumentData* data =
            document ? static_cast<const XmlDocumentData*>(document->data) : nullptr;
        result.failed_file = config;
        result.problem = is_save ? "can't open file !"
                         : data  ? data->errorText
                                 : "memory allocation failed !";
        XmlElementLinesFree(&lines);
        XmlFreeNode(document);
        return;
    }

    FindElementFindings(document, lines, result.findings);
    PatchPlan plan;
    PlanSources sources;
    BuildPatchPlan(document, plan, &sources);
    const std::vector<Request> adds = WithLines(plan.add_list, sources.add_list, lines);
    const std::vector<Request> changes = WithLines(plan.change_list, sources.change_list, lines);
    XmlElementLinesFree(&lines);
    XmlFreeNode(document);

    SortPatchPlan(plan);
    const std::vector<int32_t> add_lines = SortedLines(adds, plan.add_list);
    Outcomes outcomes(plan.add_list.size(), plan.change_list.size());
    std::string stop_message;
    result.problem = WithSave(save, [&](SavePatcher& patcher) {
        result.before = patcher.read_gvar_table();
        try {
            result.after = patcher.apply_in_memory(plan, &outcomes);
            patcher.check_before_saving(result.after);
        } catch (const LocationError&) {
            throw;
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& error) {
            // A refused add or a check of SAVING: the message gvtool ends with.
            result.stops = true;
            stop_message = error.what();
        }
    });
    if (!result.problem.empty()) {
        result.failed_file = save;
        return;
    }
    if (result.stops) {
        result.after = result.before;
        StopFinding(plan.add_list, add_lines, outcomes, stop_message, result.findings);
        return;
    }
    AddFindings(plan.add_list, add_lines, outcomes, result.findings);
    ChangeFindings(changes, outcomes, result.findings);
    RepeatFindings(adds, changes, result.after, result.findings);
}
