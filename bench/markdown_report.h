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
    // command: what produced the run, written under the title.
    explicit MarkdownReport(std::string command) : command_line(std::move(command)) {}

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
        std::vector<std::string> rows;
        std::vector<std::string> columns;
        std::map<std::string, Cell> cells;     // by "row/column"
    };

    const Cell* find(const std::string& group, const std::string& row,
                     const std::string& column) const;
    void writeHeader(std::ostream& out) const;
    void writeParse(std::ostream& out) const;
    void writeQuery(std::ostream& out) const;
    void writeRun(std::ostream& out) const;
    void writeGoals(std::ostream& out) const;

    std::string command_line;
    std::map<std::string, Group> groups;
};
