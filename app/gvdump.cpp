// gvdump.cpp - the gvdump command: prints the GVARs of a save, or what one
// save changed against another, as a configuration that gvtool applies as
// it stands. Reads the saves only: never writes or locks them.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "builder.h"
#include "dual_log.h"
#include "journal.h"
#include "model.h"
#include "platform/console.h"
#include "platform/lock.h"
#include "platform/main.h"
#include "platform/open.h"
#include "platform/path.h"
#include "save_patcher.h"
#include "version.h"
#include "writer.h"

namespace {

// The programs ship together, under one version.
const char VERSION[] = GVTOOL_VERSION;

const char USAGE[] =
    "usage: gvdump [-o FILE] SAVE\n"
    "       gvdump [-o FILE] OLD NEW\n"
    "\n"
    "Prints the GVARs of SAVE as a configuration for gvtool, or only what NEW\n"
    "changed and added against OLD.\n"
    "\n"
    "  -o, --output FILE  write the configuration to FILE, not to standard output\n"
    "  -h, --help         print this text\n"
    "      --version      print the version\n"
    "\n"
    "exit status: 0 done, 1 a save that cannot be read, 2 a wrong command line\n";

enum ExitStatus { DONE = 0, FAILED = 1, WRONG_USE = 2 };

const char BEING_PATCHED[] = "being patched or interrupted; run gvtool on it first";
const char READ_FAILED[] = "cannot be read";

struct Options {
    std::vector<std::string> saves;
    std::string output;  // empty: standard output
    bool help = false;
    bool version = false;
};

// Fills options from the arguments; false with the problem in plain words
// on a wrong command line.
bool ParseCommandLine(const std::vector<std::string>& args, Options& options,
                      std::string& problem) {
    bool options_end = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_end || arg.size() < 2 || arg[0] != '-') {
            options.saves.push_back(arg);
        } else if (arg == "--") {
            options_end = true;
        } else if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "-o" || arg == "--output") {
            if (i + 1 == args.size() || args[i + 1].empty()) {
                problem = arg + " needs a file name";
                return false;
            }
            options.output = args[++i];
        } else {
            problem = "unknown option " + arg;
            return false;
        }
    }
    if (options.help || options.version) return true;
    if (options.saves.empty() || options.saves.size() > 2) {
        problem = "give one save, or two saves to compare";
        return false;
    }
    return true;
}

// What a location failure means to someone who named a file.
const char* ReasonFor(LocationFailure failure) {
    switch (failure) {
        case LocationFailure::NoGvarsEndMarker:
            return "not a save this tool can read: no end marker";
        case LocationFailure::NoCitiesListEndMarker:
        case LocationFailure::CitiesListUnknown:
            return "not a save this tool can read: no cities list";
        case LocationFailure::WrongTableSize:
            return "not a save this tool can read: wrong table size";
        case LocationFailure::SearchReadFailed:
        case LocationFailure::CitiesReadFailed:
            break;
    }
    return READ_FAILED;
}

bool JournalExists(const std::string& journal) { return KindOfFile(journal) != FileKind::None; }

// Reads the table of the open save. A journal means a gvtool run is under
// way or was cut short: the table may be half written, before or after
// this read.
std::string ReadTable(FILE* file, const std::string& path, std::vector<int32_t>& gvars) {
    const std::string journal = JournalPath(file, path);
    if (JournalExists(journal)) return BEING_PATCHED;
    std::string problem;
    try {
        SavePatcher patcher(file, "");
        uint32_t read = 0;
        gvars = patcher.read_gvar_table(&read);
        if (read < gvars.size()) problem = READ_FAILED;
    } catch (const std::bad_alloc&) {
        problem = "too large to read";
    } catch (const LocationError& error) {
        problem = ReasonFor(error.failure());
    } catch (const std::exception&) {
        problem = READ_FAILED;
    }
    if (problem == READ_FAILED && ReadRefusedByLock(file)) return BEING_PATCHED;
    if (problem.empty() && JournalExists(journal)) return BEING_PATCHED;
    return problem;
}

// The save's table, or false after one line on standard error.
bool ReadSave(const std::string& path, std::vector<int32_t>& gvars) {
    std::string problem;
    // Opening a pipe or a device could wait forever or read endlessly.
    if (KindOfFile(path) == FileKind::Other) {
        problem = "not a file";
    } else if (FILE* file = OpenRegularFileUtf8(path.c_str(), "rb")) {
        problem = ReadTable(file, path, gvars);
        fclose(file);
    } else {
        problem = "cannot be opened";
    }
    if (problem.empty()) return true;
    WriteUtf8(stderr, "gvdump: " + path + ": " + problem + "\n");
    return false;
}

// The document: declaration, a comment of counts, save_patcher/gvars.
// Returns the gvars element, or null when memory runs out.
XmlNode* StartDocument(XmlNode* document, const std::string& counts) {
    if (!XmlAddDeclaration(document, "1.0", "UTF-8")) return nullptr;
    // Counts only: a file name could hold "--", which ends a comment.
    if (!XmlAddComment(document, counts.c_str())) return nullptr;
    return XmlAddElement(XmlAddElement(document, "save_patcher"), "gvars");
}

bool AddGvar(XmlNode* gvars, const char* action, size_t index, int32_t value) {
    XmlNode* gvar = XmlAddElement(gvars, "gvar");
    return gvar && XmlAddAttribute(gvar, "action", action) &&
           XmlAddAttribute(gvar, "index", std::to_string(index).c_str()) &&
           XmlAddAttribute(gvar, "value", std::to_string(value).c_str());
}

// Every entry, as changes to the value it has.
bool BuildListing(XmlNode* document, const std::vector<int32_t>& gvars) {
    XmlNode* list = StartDocument(document, std::to_string(gvars.size()) + " GVARs");
    if (!list) return false;
    for (size_t i = 0; i < gvars.size(); ++i) {
        if (!AddGvar(list, "change", i, gvars[i])) return false;
    }
    return true;
}

// What turns old_gvars into new_gvars: changes where both have an entry,
// adds for the entries only the new table has.
bool BuildDifference(XmlNode* document, const std::vector<int32_t>& old_gvars,
                     const std::vector<int32_t>& new_gvars) {
    const size_t common = std::min(old_gvars.size(), new_gvars.size());
    size_t changed = 0;
    for (size_t i = 0; i < common; ++i) changed += old_gvars[i] != new_gvars[i];
    const size_t added = new_gvars.size() - common;
    XmlNode* list = StartDocument(document, std::to_string(changed) + " changed, " +
                                                std::to_string(added) + " added");
    if (!list) return false;
    for (size_t i = 0; i < common; ++i) {
        if (old_gvars[i] != new_gvars[i] && !AddGvar(list, "change", i, new_gvars[i])) {
            return false;
        }
    }
    for (size_t i = common; i < new_gvars.size(); ++i) {
        if (!AddGvar(list, "add", i, new_gvars[i])) return false;
    }
    return true;
}

// Prints the document to the output; false after one line on standard
// error when it cannot be written whole.
bool WriteDocument(XmlNode* document, const std::string& output) {
    FILE* stream = output.empty() ? stdout : OpenFileUtf8(output, "w");
    bool written = stream != nullptr;
    if (stream) {
        XmlPrintDocument(document, stream);
        written = fflush(stream) == 0 && !ferror(stream);
        if (stream != stdout) written = fclose(stream) == 0 && written;
    }
    if (!written) {
        WriteUtf8(stderr, "gvdump: " + (output.empty() ? "standard output" : output) +
                              ": cannot be written\n");
        // A cut-off document would apply only part of the changes. Only a
        // plain file is removed: a device or pipe is not ours to remove.
        if (stream && !output.empty() && KindOfFile(output) == FileKind::Regular) {
            (void)RemoveFileUtf8(output);
        }
    }
    return written;
}

int Run(const std::vector<std::string>& args) {
    Options options;
    std::string problem;
    if (!ParseCommandLine(args, options, problem)) {
        WriteUtf8(stderr, "gvdump: " + problem + "\n" + USAGE);
        return WRONG_USE;
    }
    if (options.help) {
        fputs(USAGE, stdout);
        return DONE;
    }
    if (options.version) {
        printf("gvdump %s\n", VERSION);
        return DONE;
    }
    for (const std::string& save : options.saves) {
        // The output is opened for writing: it must never be a save.
        if (!options.output.empty() && NamesReachOneFile(options.output, save)) {
            WriteUtf8(stderr,
                      "gvdump: " + options.output + ": is a save to read; write to another file\n");
            return WRONG_USE;
        }
    }

    std::vector<std::vector<int32_t>> tables(options.saves.size());
    for (size_t i = 0; i < options.saves.size(); ++i) {
        if (!ReadSave(options.saves[i], tables[i])) return FAILED;
    }

    XmlNode* document = XmlCreateDocument(options.output.c_str());
    bool built = document != nullptr;
    if (built && tables.size() == 1) {
        built = BuildListing(document, tables[0]);
    } else if (built) {
        built = BuildDifference(document, tables[0], tables[1]);
        if (tables[0].size() > tables[1].size()) {
            WriteUtf8(stderr, "gvdump: " + options.saves[1] + ": " +
                                  std::to_string(tables[0].size() - tables[1].size()) +
                                  " GVARs of " + options.saves[0] +
                                  " are missing; gvtool cannot remove GVARs\n");
        }
    }
    int status = DONE;
    if (!built) {
        fputs("gvdump: out of memory\n", stderr);
        status = FAILED;
    } else if (!WriteDocument(document, options.output)) {
        status = FAILED;
    }
    XmlFreeNode(document);
    return status;
}

}  // namespace

int RunProgram(const std::vector<std::string>& arguments) {
    // The location steps report through the log; none of it belongs in the
    // document or on the console.
    g_log.console = nullptr;
    g_log.file = nullptr;
    std::vector<std::string> args = arguments;
    if (!args.empty()) args.erase(args.begin());  // the program's name
    return Run(args);
}
