// markdown_report.cpp - collects every run, then writes the machine, the
// tables and the goals once all benchmarks are done.
#include "markdown_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/utsname.h>

namespace {

const char* const PARSERS[] = {"gvtool", "floor", "pugixml", "tinyxml2", "libxml2", "expat"};
const double MIB = 1024.0 * 1024.0;

std::string Format(const char* format, double value) {
    char text[64];
    snprintf(text, sizeof(text), format, value);
    return text;
}

// A duration with a unit that keeps three or four significant digits.
std::string Duration(double seconds) {
    if (seconds < 1e-6) return Format("%.1f ns", seconds * 1e9);
    if (seconds < 1e-3) return Format("%.2f us", seconds * 1e6);
    if (seconds < 1.0) return Format("%.2f ms", seconds * 1e3);
    return Format("%.3f s", seconds);
}

std::string Bytes(double bytes) {
    if (bytes < 1024) return Format("%.0f B", bytes);
    if (bytes < MIB) return Format("%.1f KiB", bytes / 1024);
    return Format("%.1f MiB", bytes / MIB);
}

std::string FirstLineValue(const char* file, const std::string& key) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) != 0) continue;
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        size_t start = line.find_first_not_of(" \t", colon + 1);
        return start == std::string::npos ? std::string() : line.substr(start);
    }
    return "unknown";
}

double Counter(const std::map<std::string, double>& counters, const char* name) {
    auto found = counters.find(name);
    return found == counters.end() ? 0.0 : found->second;
}

}  // namespace

std::string MarkdownReport::LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    if (!(in >> one >> five >> fifteen)) return "unknown";
    return one + " " + five + " " + fifteen;
}

bool MarkdownReport::ReportContext(const Context&) { return true; }

void MarkdownReport::ReportRuns(const std::vector<Run>& report) {
    for (const Run& run : report) {
        if (run.run_type != Run::RT_Iteration) continue;
        // Names are group/row[/column], then the library's own suffixes
        // ("iterations:3", "real_time"), which are dropped.
        std::vector<std::string> parts;
        std::stringstream name(run.benchmark_name());
        for (std::string part; std::getline(name, part, '/');)
            if (part != "real_time" && part.find(':') == std::string::npos) parts.push_back(part);
        if (parts.size() < 2) continue;
        const std::string& group = parts[0];
        const std::string& row = parts[1];
        std::string column = parts.size() > 2 ? parts[2] : "gvtool";

        Group& table = groups[group];
        auto seen = [](std::vector<std::string>& list, const std::string& item) {
            for (const std::string& known : list)
                if (known == item) return;
            list.push_back(item);
        };
        seen(table.rows, row);
        seen(table.columns, column);
        // Repetitions run in random order; rows keep the order of registration.
        auto order = table.row_order.find(row);
        if (order == table.row_order.end() || run.family_index < order->second)
            table.row_order[row] = run.family_index;
        std::sort(table.rows.begin(), table.rows.end(),
                  [&table](const std::string& a, const std::string& b) {
                      return table.row_order[a] < table.row_order[b];
                  });
        // Of repeated runs the fastest counts: on a shared machine the
        // slower ones measure the neighbours.
        // Whole runs are timed by the wall clock (the work is in the child),
        // by the fastest single run where the benchmark measured them;
        // in-process work by CPU time, which other load disturbs less.
        double seconds = (group == "run" ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime()) /
                         benchmark::GetTimeUnitMultiplier(run.time_unit);
        auto best = run.counters.find("best_seconds");
        if (best != run.counters.end() && best->second.value > 0) seconds = best->second.value;
        auto known = table.cells.find(row + "/" + column);
        if (known != table.cells.end() && known->second.error.empty() &&
            (run.error_occurred || known->second.seconds <= seconds))
            continue;
        Cell& cell = table.cells[row + "/" + column];
        cell = Cell();
        cell.seconds = seconds;
        for (const auto& counter : run.counters)
            cell.counters[counter.first] = counter.second.value;
        if (run.error_occurred) cell.error = run.error_message;
    }
}

const MarkdownReport::Cell* MarkdownReport::find(const std::string& group, const std::string& row,
                                                 const std::string& column) const {
    auto table = groups.find(group);
    if (table == groups.end()) return nullptr;
    auto cell = table->second.cells.find(row + "/" + column);
    if (cell == table->second.cells.end() || !cell->second.error.empty()) return nullptr;
    return &cell->second;
}

// The mount that holds path (the longest mount point above it) as
// "type on source, mounted at point": syncing costs differ by orders of
// magnitude between file systems.
static std::string FileSystemOf(const std::string& path) {
    std::ifstream in("/proc/self/mountinfo");
    std::string line, best_point, best_text = "unknown";
    while (std::getline(in, line)) {
        // id parent dev root point options [optional...] - type source super
        std::istringstream fields(line);
        std::string id, parent, dev, root, point, options, field;
        if (!(fields >> id >> parent >> dev >> root >> point >> options)) continue;
        while (fields >> field && field != "-") {}
        std::string type, source;
        if (!(fields >> type >> source)) continue;
        bool above = path.compare(0, point.size(), point) == 0 &&
                     (point == "/" || path.size() == point.size() || path[point.size()] == '/');
        if (above && point.size() >= best_point.size()) {
            best_point = point;
            best_text = type + " on " + source + ", mounted at " + point;
        }
    }
    return best_text;
}

// The folder the whole runs work in, as they choose it.
static std::string ScratchFolder() {
    std::error_code error;
    std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) return "/tmp";
    std::filesystem::path real = std::filesystem::canonical(folder, error);
    return (error ? folder : real).string();
}

static std::string HostName() {
    struct utsname name;
    return uname(&name) == 0 ? std::string(name.nodename) : std::string("unknown");
}

// The processor architecture as the kernel names it (x86_64, aarch64, ...):
// enough to compare runs, without naming a processor model.
static std::string Architecture() {
    struct utsname name;
    return uname(&name) == 0 ? std::string(name.machine) : std::string("unknown");
}

void MarkdownReport::writeHeader(std::ostream& out) const {
    time_t now = time(nullptr);
    char date[64];
    strftime(date, sizeof(date), "%Y-%m-%d %H:%M UTC", gmtime(&now));
    out << "# gvtool benchmark results\n\n"
        << "Produced by `" << command_line << "` on " << date << ", which ran `"
        << invocation_line << "`.\n\n"
        << "| machine | |\n| --- | --- |\n"
        << "| host | " << HostName() << " |\n"
        << "| architecture | " << Architecture() << " |\n"
        << "| cores | " << std::thread::hardware_concurrency() << " |\n"
        << "| memory | " << FirstLineValue("/proc/meminfo", "MemTotal") << " |\n"
        << "| compiler | " << GVBENCH_COMPILER << ", " << GVBENCH_BUILD_TYPE << " |\n"
        << "| peers | " << GVBENCH_PEERS << " |\n"
        << "| scratch folder of the whole runs | " << ScratchFolder() << ": "
        << FileSystemOf(ScratchFolder()) << " |\n"
        << "| load average at start, at end | " << load_at_start << "; " << LoadAverage()
        << " |\n\n";
}

void MarkdownReport::writeParse(std::ostream& out) const {
    auto table = groups.find("parse");
    if (table == groups.end()) return;
    const Group& parse = table->second;
    out << "## Parsing from memory\n\n"
        << "CPU time of the benchmark process. Each iteration builds the whole tree from the "
           "same bytes and frees it again (expat builds nothing). `floor` is the allocator's "
           "part alone of what gvtool must do: the blocks its model's ownership rules require "
           "for that tree (each node, its name, its kind record and each string of a record "
           "apart), allocated in order and freed, with nothing parsed. MiB/s, higher is "
           "better; in brackets the other's speed divided by gvtool's.\n\n| input | size |";
    for (const char* parser : PARSERS) out << ' ' << parser << " |";
    out << "\n| --- | ---: |";
    for (size_t i = 0; i < sizeof(PARSERS) / sizeof(PARSERS[0]); ++i) out << " ---: |";
    out << '\n';
    for (const std::string& row : parse.rows) {
        const Cell* ours = find("parse", row, "gvtool");
        double size = 0;
        for (const char* parser : PARSERS)
            if (const Cell* cell = find("parse", row, parser))
                size = Counter(cell->counters, "input_bytes");
        out << "| " << row << " | " << Bytes(size) << " |";
        for (const char* parser : PARSERS) {
            const Cell* cell = find("parse", row, parser);
            if (!cell) {
                out << " - |";
                continue;
            }
            double speed = Counter(cell->counters, "bytes_per_second") / MIB;
            out << ' ' << Format("%.1f", speed);
            if (ours && cell != ours) {
                double our_speed = Counter(ours->counters, "bytes_per_second") / MIB;
                if (our_speed > 0) out << " (" << Format("%.2f", speed / our_speed) << ')';
            }
            out << " |";
        }
        out << '\n';
    }

    out << "\nPeak heap per MiB of input: the highest sum of live block sizes (the "
           "allocator's usable size) during one parse and free, counted by standing in for "
           "malloc, calloc, realloc and free in the benchmark process; the input buffer "
           "itself is not counted. MiB per MiB, lower is better.\n\n| input |";
    for (const char* parser : PARSERS) out << ' ' << parser << " |";
    out << "\n| --- |";
    for (size_t i = 0; i < sizeof(PARSERS) / sizeof(PARSERS[0]); ++i) out << " ---: |";
    out << '\n';
    for (const std::string& row : parse.rows) {
        out << "| " << row << " |";
        for (const char* parser : PARSERS) {
            const Cell* cell = find("parse", row, parser);
            if (cell && cell->counters.count("heap_per_MiB"))
                out << ' ' << Format("%.2f", Counter(cell->counters, "heap_per_MiB")) << " |";
            else
                out << " - |";
        }
        out << '\n';
    }

    out << "\nAgainst the floor: what gvtool's parse costs beyond the blocks its model "
           "requires. Allocating calls counted like the heap; time and heap as ratios of "
           "gvtool's to the floor's (1.00 is the floor).\n\n"
           "| input | gvar lines | blocks | per gvar line | gvtool allocating calls | "
           "per gvar line | time / floor | heap / floor |\n"
           "| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: |\n";
    for (const std::string& row : parse.rows) {
        const Cell* ours = find("parse", row, "gvtool");
        const Cell* floor = find("parse", row, "floor");
        if (!ours || !floor) continue;
        double lines = Counter(floor->counters, "gvar_lines");
        double blocks = Counter(floor->counters, "blocks");
        double calls = Counter(ours->counters, "allocator_calls");
        auto per_line = [lines](double count) {
            return lines > 0 ? Format("%.2f", count / lines) : std::string("-");
        };
        double floor_heap = Counter(floor->counters, "heap_per_MiB");
        out << "| " << row << " | " << Format("%.0f", lines) << " | " << Format("%.0f", blocks)
            << " | " << per_line(blocks) << " | " << Format("%.0f", calls) << " | "
            << per_line(calls) << " | "
            << Format("%.2f", Counter(floor->counters, "bytes_per_second") /
                                  Counter(ours->counters, "bytes_per_second"))
            << " | "
            << (floor_heap > 0
                    ? Format("%.2f", Counter(ours->counters, "heap_per_MiB") / floor_heap)
                    : std::string("-"))
            << " |\n";
    }
    out << '\n';
}

void MarkdownReport::writeQuery(std::ostream& out) const {
    auto table = groups.find("query");
    if (table == groups.end()) return;
    out << "## Path query\n\n`XmlSelectNodes` with \"save_patcher/gvars/gvar[@action]\" from the "
           "document node of a parsed configuration; the result list starts empty. CPU time.\n\n"
           "| gvar elements | selected | time per query | per element |\n"
           "| ---: | ---: | ---: | ---: |\n";
    for (const std::string& row : table->second.rows) {
        const Cell* cell = find("query", row, "gvtool");
        if (!cell) {
            out << "| " << row << " | - | - | - |\n";
            continue;
        }
        double count = Counter(cell->counters, "gvars");
        out << "| " << Format("%.0f", count) << " | "
            << Format("%.0f", Counter(cell->counters, "selected")) << " | "
            << Duration(cell->seconds) << " | " << Duration(count > 0 ? cell->seconds / count : 0)
            << " |\n";
    }
    out << '\n';
}

void MarkdownReport::writeRun(std::ostream& out) const {
    auto table = groups.find("run");
    if (table == groups.end()) return;
    out << "## Whole runs of gvtool\n\n"
           "Wall time of the fastest of all runs of one process (the medians are in the "
           "console output), each run in a folder of its own with its output sent to "
           "/dev/null, beside the floor for the same work. The reference is `copy + sync`, "
           "the floor of a safe rewrite: the same save file copied and synced before the "
           "process ends (`dd bs=1M conv=fsync`); beside it a plain `cp` of the file, and "
           "`/bin/true` (a process that only starts and exits). `change-256MiB` runs on "
           "the same save as `tail-256MiB` with changes and removes only, so the file "
           "keeps its size. The save is restored from a copy before every run of gvtool "
           "and synced outside the timing, as a player's save is on the disk before a run; the "
           "mean time of that copy and sync is the last column. The folders "
           "are made in the scratch folder named above.\n\n"
           "| case | save | requests | gvtool | copy + sync | cp | /bin/true | per request | "
           "per MiB of save | gvtool / (copy + sync) | gvtool / true | restore |\n"
           "| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: |\n";
    for (const std::string& row : table->second.rows) {
        const Cell* ours = find("run", row, "gvtool");
        const Cell* synced = find("run", row, "copy+sync");
        const Cell* copy = find("run", row, "cp");
        const Cell* floor = find("run", row, "true");
        if (!ours) {
            out << "| " << row << " | - | - | - | - | - | - | - | - | - | - | - |\n";
            continue;
        }
        double requests = Counter(ours->counters, "requests");
        double save = Counter(ours->counters, "save_bytes");
        out << "| " << row << " | " << Bytes(save) << " | " << Format("%.0f", requests) << " | "
            << Duration(ours->seconds) << " | " << (synced ? Duration(synced->seconds) : "-")
            << " | " << (copy ? Duration(copy->seconds) : "-") << " | "
            << (floor ? Duration(floor->seconds) : "-") << " | "
            << (requests > 0 ? Duration(ours->seconds / requests) : "-") << " | "
            << (save > 0 ? Duration(ours->seconds / (save / MIB)) : "-") << " | "
            << (synced ? Format("%.3f", ours->seconds / synced->seconds) : "-") << " | "
            << (floor ? Format("%.2f", ours->seconds / floor->seconds) : "-") << " | "
            << Duration(Counter(ours->counters, "restore_seconds")) << " |\n";
    }
    out << '\n';
}

void MarkdownReport::writeDump(std::ostream& out) const {
    auto table = groups.find("gvdump");
    if (table == groups.end()) return;
    out << "## gvdump on large inputs\n\n"
           "`dump-1M`: `gvdump` listing a save of 1,000,000 GVARs to /dev/null. `check-1M`: "
           "`gvdump --check` of a configuration of 1,000,000 requests on a 700-GVAR save, "
           "its findings and output sent to /dev/null, beside gvtool's own loading and "
           "planning of the same configuration: `gvtool` itself run on a file that is not a "
           "save, so that it stops right after loading, reading and sorting the plan "
           "(the reference of the goal), and `load+plan`, the same calls in this process "
           "(XmlLoadFile, BuildPatchPlan, SortPatchPlan, freeing the document), whose heap is "
           "warm from earlier rounds. Whole runs: wall time of the fastest of three, the "
           "least CPU time (user and system) of the three, and the highest resident memory "
           "of the process, read from it as it exits. Ratios set CPU time against CPU time, "
           "which the load of a shared machine disturbs less than the wall clock.\n\n"
           "| case | entries | gvdump | gvdump CPU | peak memory | gvtool CPU | load+plan | "
           "gvdump CPU / gvtool CPU |\n"
           "| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: |\n";
    for (const std::string& row : table->second.rows) {
        const Cell* ours = find("gvdump", row, "gvdump");
        const Cell* gvtool = find("gvdump", row, "gvtool");
        const Cell* plan = find("gvdump", row, "load+plan");
        if (!ours) {
            out << "| " << row << " | - | - | - | - | - | - | - |\n";
            continue;
        }
        const double cpu = Counter(ours->counters, "cpu_seconds");
        const double gvtool_cpu = gvtool ? Counter(gvtool->counters, "cpu_seconds") : 0;
        out << "| " << row << " | " << Format("%.0f", Counter(ours->counters, "entries")) << " | "
            << Duration(ours->seconds) << " | " << Duration(cpu) << " | "
            << Bytes(Counter(ours->counters, "peak_bytes")) << " | "
            << (gvtool ? Duration(gvtool_cpu) : "-") << " | "
            << (plan ? Duration(plan->seconds) : "-") << " | "
            << (gvtool_cpu > 0 ? Format("%.2f", cpu / gvtool_cpu) : "-") << " |\n";
    }
    out << '\n';
}

void MarkdownReport::writeGoals(std::ostream& out) const {
    out << "## Goals\n\n";
    auto speed = [this](const std::string& row, const char* parser) {
        const Cell* cell = find("parse", row, parser);
        return cell ? Counter(cell->counters, "bytes_per_second") : 0.0;
    };
    auto verdict = [](bool met) { return met ? "met" : "NOT met"; };
    auto parse = groups.find("parse");
    if (parse != groups.end()) {
        for (const std::string& row : parse->second.rows) {
            if (row.compare(0, 6, "config") != 0) continue;
            double ours = speed(row, "gvtool");
            out << "- parse " << row << ":";
            const Cell* ours_cell = find("parse", row, "gvtool");
            const Cell* floor = find("parse", row, "floor");
            if (ours > 0 && floor) {
                out << " " << Format("%.2f", speed(row, "floor") / ours) << "x the time";
                double floor_heap = Counter(floor->counters, "heap_per_MiB");
                if (ours_cell && floor_heap > 0)
                    out << " and "
                        << Format("%.2f", Counter(ours_cell->counters, "heap_per_MiB") / floor_heap)
                        << "x the heap";
                out << " of the allocation floor;";
            }
            for (const char* peer : {"pugixml", "tinyxml2", "libxml2", "expat"}) {
                double theirs = speed(row, peer);
                if (theirs > 0 && ours > 0)
                    out << " " << peer << " " << Format("%.2f", theirs / ours) << "x as fast;";
            }
            out << '\n';
        }
        double large = speed("config-100MB", "gvtool");
        for (const char* row : {"config-1MB", "config-10MB"}) {
            double small = speed(row, "gvtool");
            if (small > 0 && large > 0)
                out << "- time per MiB, config-100MB against " << row << ": "
                    << Format("%.2f", small / large) << "x\n";
        }
    }
    const Cell* query_small = find("query", "1k", "gvtool");
    const Cell* query_large = find("query", "1M", "gvtool");
    if (query_small && query_large)
        out << "- query time per gvar element, 1M elements against 1k: "
            << Format("%.2f", (query_large->seconds / 1e6) / (query_small->seconds / 1e3)) << "x\n";
    const Cell* few = find("run", "requests-10k", "gvtool");
    const Cell* many = find("run", "requests-1M", "gvtool");
    if (few && many) {
        double per_few = few->seconds / Counter(few->counters, "requests");
        double per_many = many->seconds / Counter(many->counters, "requests");
        out << "- time per request, 1M requests against 10k: " << Format("%.2f", per_many / per_few)
            << "x\n";
    }
    const Cell* small_tail = find("run", "tail-1MiB", "gvtool");
    const Cell* large_tail = find("run", "tail-256MiB", "gvtool");
    if (small_tail && large_tail) {
        double per_small = small_tail->seconds / Counter(small_tail->counters, "save_bytes");
        double per_large = large_tail->seconds / Counter(large_tail->counters, "save_bytes");
        out << "- time per MiB of save, 256 MiB tail against 1 MiB: "
            << Format("%.2f", per_large / per_small) << "x\n";
    }
    // Whole runs against the floor of a safe rewrite of the same save.
    auto against_floor = [this, &out, &verdict](const char* row, const char* what, double goal) {
        const Cell* ours = find("run", row, "gvtool");
        const Cell* synced = find("run", row, "copy+sync");
        if (!ours || !synced) return;
        double ratio = ours->seconds / synced->seconds;
        out << "- " << what << ": " << Format("%.3f", ratio) << "x copy + sync, goal <= "
            << Format("%.2f", goal) << "x: " << verdict(ratio <= goal) << '\n';
    };
    const Cell* dump = find("gvdump", "dump-1M", "gvdump");
    if (dump) {
        const double peak = Counter(dump->counters, "peak_bytes");
        out << "- gvdump listing 1,000,000 GVARs: " << Duration(dump->seconds)
            << ", goal < 1 s: " << verdict(dump->seconds < 1.0) << "; peak memory "
            << Bytes(peak) << ", goal < 40 MB: " << verdict(peak > 0 && peak < 40e6) << '\n';
    }
    const Cell* check = find("gvdump", "check-1M", "gvdump");
    const Cell* plan = find("gvdump", "check-1M", "gvtool");
    if (check && plan && Counter(plan->counters, "cpu_seconds") > 0) {
        const double ratio =
            Counter(check->counters, "cpu_seconds") / Counter(plan->counters, "cpu_seconds");
        out << "- gvdump --check of 1,000,000 requests: " << Format("%.2f", ratio)
            << "x gvtool's loading and planning, goal <= 2x: " << verdict(ratio <= 2.0) << '\n';
    }
    against_floor("tail-256MiB", "growing run, 256 MiB tail", 2.0);
    against_floor("change-256MiB", "change-only run, same save", 0.05);
    const Cell* typical = find("run", "typical", "gvtool");
    const Cell* typical_synced = find("run", "typical", "copy+sync");
    const Cell* typical_true = find("run", "typical", "true");
    if (typical && typical_synced && typical_true)
        out << "- typical run (" << Bytes(Counter(typical->counters, "save_bytes")) << " save, "
            << Format("%.0f", Counter(typical->counters, "requests")) << " requests, growing): "
            << Format("%.3f", typical->seconds / typical_synced->seconds)
            << "x copy + sync, goal <= 1.60x: "
            << verdict(typical->seconds / typical_synced->seconds <= 1.6) << "; "
            << Format("%.2f", typical->seconds / typical_true->seconds)
            << "x /bin/true (reported, no goal)\n";
    out << '\n';
}

void MarkdownReport::Finalize() {
    std::ostream& out = GetOutputStream();
    writeHeader(out);
    writeParse(out);
    writeQuery(out);
    writeRun(out);
    writeDump(out);
    writeGoals(out);
    out.flush();
}
