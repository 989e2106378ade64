// main.cpp - gvbench: registers the parse, query, whole-run and gvdump benchmarks
// and writes the Markdown report named by --benchmark_out.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "markdown_report.h"

void RegisterParseBenchmarks();
void RegisterQueryBenchmarks();
void RegisterRunBenchmarks();
void RegisterDumpBenchmarks();

int main(int argc, char** argv) {
    // --gv_command=TEXT names what produced the report (make bench passes
    // its own command); Google Benchmark must not see it.
    std::string command;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (strncmp(argv[i], "--gv_command=", 13) == 0) {
            command = argv[i] + 13;
            continue;
        }
        args.push_back(argv[i]);
    }
    std::string invocation;
    for (char* arg : args) invocation += (invocation.empty() ? "" : " ") + std::string(arg);
    if (command.empty()) command = invocation;
    bool has_out = false;
    for (char* arg : args) has_out |= strncmp(arg, "--benchmark_out=", 16) == 0;
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

    RegisterParseBenchmarks();
    RegisterQueryBenchmarks();
    RegisterRunBenchmarks();
    RegisterDumpBenchmarks();

    if (has_out) {
        benchmark::ConsoleReporter display;
        MarkdownReport report(command, invocation);
        benchmark::RunSpecifiedBenchmarks(&display, &report);
    } else {
        benchmark::RunSpecifiedBenchmarks();
    }
    benchmark::Shutdown();
    return 0;
}
