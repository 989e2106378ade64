// run_process.h - whole runs of a program for the benchmarks: started in a
// folder with its output discarded, timed by the wall clock, with the CPU
// time and the peak memory the process itself used.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Runs the program (args[0], a path) in the folder with standard output and
// error sent to /dev/null; returns its exit status, or -1 when it could not
// start or did not exit normally. *cpu_seconds, when given, receives the
// user and system time of the process.
int RunProcess(const std::filesystem::path& folder, const std::vector<std::string>& args,
               double* cpu_seconds = nullptr);

// The highest resident memory of one such run of the program, in bytes,
// read from the process itself right before it exits (a count the system
// keeps per process would include this benchmark's own memory, which the
// child shares until it starts the program); -1 when it cannot be read.
double PeakResidentBytes(const std::filesystem::path& folder,
                         const std::vector<std::string>& args);

// Wall times of single runs. The report shows the fastest: on a shared
// machine most runs can land on a busy moment (another build's file system
// journal, a neighbour on the other core), and the fastest is the run's own
// cost. The median is kept for the console.
class RunTimes {
public:
    int run(const std::filesystem::path& folder, const std::vector<std::string>& args,
            double* cpu_seconds = nullptr);
    double best() const;
    double median();

private:
    std::vector<double> seconds;
};
