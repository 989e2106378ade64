// markdown_report.h - a Google Benchmark reporter that turns the runs of
// gvbench into the Markdown tables of bench/RESULTS.md.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

// Benchmarks are named "group/row/column" (parse/config-1MB/pugixml,
// run/requests-10k/cp) or "group/row" (query/1k); the report lays each group
// out as a table of rows by columns.
class MarkdownReport : public benchmark::BenchmarkReporter {
public:
    // command: what produced the run (make bench); invocation: the benchmark
    // binary's own command line. Both are written under the title.
    MarkdownReport(std::string command, std::string invocation)
        : command_line(std::move(command)), invocation_line(std::move(invocation)),
          load_at_start(LoadAverage()) {}

    bool ReportContext(const Context& context) override;
    void ReportRuns(const std::vector<Run>& report) override;
    void Finalize() override;

private:
    struct Cell {
        double seconds = 0;                    // real time per iteration
        std::map<std::string, double> counters;
        std::string error;
    };
    struct Group {
        std::vector<std::string> rows;         // in the order benchmarks were registered
        std::map<std::string, int64_t> row_order;
        std::vector<std::string> columns;
        std::map<std::string, Cell> cells;     // by "row/column"
    };

    const Cell* find(const std::string& group, const std::string& row,
                     const std::string& column) const;
    void writeHeader(std::ostream& out) const;
    void writeParse(std::ostream& out) const;
    void writeQuery(std::ostream& out) const;
    void writeRun(std::ostream& out) const;
    void writeDump(std::ostream& out) const;
    void writeGoals(std::ostream& out) const;

    // The machine's load average (1, 5, 15 minutes): others' work on a shared
    // machine shows in the timings.
    static std::string LoadAverage();

    std::string command_line;
    std::string invocation_line;
    std::string load_at_start;
    std::map<std::string, Group> groups;
};
