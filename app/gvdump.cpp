// gvdump.cpp - the gvdump command: prints the GVARs of a save, what one save
// changed against another, or what a configuration would do to a save, as
// a configuration that gvtool applies as it stands (or as CSV or JSON).
// Reads only: never writes or locks a save.
#include <cstdio>
#include <string>
#include <vector>

#include "check.h"
#include "dual_log.h"
#include "formats.h"
#include "names.h"
#include "options.h"
#include "platform/console.h"
#include "platform/main.h"
#include "platform/open.h"
#include "platform/path.h"
#include "report.h"
#include "save_table.h"
#include "version.h"

namespace {

// The programs ship together, under one version.
const char VERSION[] = GVTOOL_VERSION;

enum ExitStatus { DONE = 0, FAILED = 1, WRONG_USE = 2 };

int WrongUse(const std::string& problem) {
    // The problem may show a name in any script.
    WriteUtf8(stderr, "gvdump: " + problem + "\ntry 'gvdump --help'\n");
    return WRONG_USE;
}

// The output is opened for writing: it must never be a file to read.
bool OutputIsAnInput(const Options& options, std::string& problem) {
    if (options.output.empty()) return false;
    for (size_t i = 0; i < options.files.size(); ++i) {
        const bool is_config = options.check && i == 0;
        if (NamesReachOneFile(options.output, options.files[i])) {
            problem = options.output + (is_config ? ": is the configuration to read"
                                                  : ": is a save to read") +
                      "; write to another file";
            return true;
        }
    }
    if (!options.names.empty() && NamesReachOneFile(options.output, options.names)) {
        problem = options.output + ": is the names file to read; write to another file";
        return true;
    }
    return false;
}

// Prints the document through a writer on the output; false after one line
// on standard error when it cannot be written whole.
template <typename Print>
bool WriteOutput(const Options& options, Print print) {
    const bool binary = options.format == Format::Csv;  // CR LF on every system
    FILE* stream = stdout;
    if (!options.output.empty()) {
        OpenFailure failure = OpenFailure::None;
        stream = OpenFileUtf8(options.output, binary ? "wb" : "w", &failure);
        if (!stream) {
            // Creating a file: a missing name is a missing folder on its way.
            ReportProblem(options.output, failure == OpenFailure::NoSuchFile
                                              ? "no such folder"
                                              : OpenFailureWords(failure));
            return false;
        }
    } else if (binary) {
        UseBinaryMode(stdout);
    }
    {
        EntryWriter writer(stream, options.format);
        print(writer);
    }
    bool written = fflush(stream) == 0 && !ferror(stream);
    if (stream != stdout) written = fclose(stream) == 0 && written;
    if (!written) {
        ReportProblem(options.output.empty() ? "standard output" : options.output,
                      "cannot be written");
        // A cut-off document would apply only part of the changes. Only a
        // plain file is removed: a device or pipe is not ours to remove.
        if (!options.output.empty() && KindOfFile(options.output) == FileKind::Regular) {
            (void)RemoveFileUtf8(options.output);
        }
    }
    return written;
}

// The names' findings for a table of table_size entries, on standard
// error; true when there were any.
bool SettleNames(const Options& options, EntryNames& names, size_t table_size) {
    std::vector<Finding> findings = names.settle(table_size);
    ReportFindings(options.names, findings);
    return !findings.empty();
}

int RunCheck(const Options& options, EntryNames& names) {
    const std::string& config = options.files[0];
    const std::string& save = options.files[1];
    CheckResult result;
    CheckConfiguration(config, save, result);
    ReportFindings(config, result.findings);
    if (!result.failed_file.empty()) {
        ReportProblem(result.failed_file, result.problem);
        return FAILED;
    }
    const bool named_badly = SettleNames(options, names, result.after.size());
    // A run that stops writes nothing: there is no document to print.
    if (!result.stops && !WriteOutput(options, [&](EntryWriter& writer) {
            WriteDifference(writer, result.before, result.after, save, options.range, names);
        })) {
        return FAILED;
    }
    return result.findings.empty() && !named_badly ? DONE : FAILED;
}

int RunDump(const Options& options, EntryNames& names) {
    std::vector<std::vector<int32_t>> tables(options.files.size());
    for (size_t i = 0; i < options.files.size(); ++i) {
        if (!ReadSaveTable(options.files[i], tables[i])) return FAILED;
    }
    const std::string& save = options.files.back();
    const bool named_badly = SettleNames(options, names, tables.back().size());
    if (tables.size() == 2 && tables[0].size() > tables[1].size()) {
        WriteUtf8(stderr, "gvdump: " + save + ": " +
                              std::to_string(tables[0].size() - tables[1].size()) + " GVARs of " +
                              options.files[0] + " are missing; gvtool cannot remove GVARs\n");
    }
    const bool written = WriteOutput(options, [&](EntryWriter& writer) {
        if (tables.size() == 1) {
            WriteListing(writer, tables[0], save, options.range, names);
        } else {
            WriteDifference(writer, tables[0], tables[1], save, options.range, names);
        }
    });
    return written && !named_badly ? DONE : FAILED;
}

int Run(const std::vector<std::string>& args) {
    Options options;
    std::string problem;
    if (!ParseCommandLine(args, options, problem)) return WrongUse(problem);
    if (options.help) {
        fputs(GVDUMP_USAGE, stdout);
        return DONE;
    }
    if (options.version) {
        printf("gvdump %s\n", VERSION);
        return DONE;
    }
    if (OutputIsAnInput(options, problem)) return WrongUse(problem);
    EntryNames names;
    if (!options.names.empty() && !names.read(options.names)) return FAILED;
    return options.check ? RunCheck(options, names) : RunDump(options, names);
}

}  // namespace

int RunProgram(const std::vector<std::string>& arguments) {
    // The location steps and the phases report through the log; none of it
    // belongs in the document or on the console.
    g_log.console = nullptr;
    g_log.file = nullptr;
    std::vector<std::string> args = arguments;
    if (!args.empty()) args.erase(args.begin());  // the program's name
    return Run(args);
}
