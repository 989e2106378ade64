// options.cpp - reading gvdump's arguments: options in their usual
// spellings (-oFILE, -o FILE, --output=FILE, --output FILE), then the files.
#include "options.h"

#include <cstring>

const char GVDUMP_USAGE[] =
    "usage: gvdump [OPTIONS] SAVE\n"
    "       gvdump [OPTIONS] OLD NEW\n"
    "       gvdump [OPTIONS] --check CONFIG SAVE\n"
    "\n"
    "Prints the GVARs of SAVE as a configuration for gvtool, or only what NEW\n"
    "changed and added against OLD. With --check, tells on standard error what\n"
    "gvtool would do with CONFIG on SAVE that its text may not mean, and prints\n"
    "the changes and adds the run would make; nothing is written to SAVE.\n"
    "\n"
    "  -o, --output FILE    write to FILE, not to standard output (- names it)\n"
    "      --check          check CONFIG against SAVE before running it\n"
    "      --names FILE     name the entries that FILE names (lines INDEX NAME)\n"
    "      --range FROM-TO  print only the entries FROM to TO; either may be left out\n"
    "      --format FORMAT  xml (a configuration for gvtool, the default), csv or json\n"
    "  -h, --help           print this text\n"
    "      --version        print the version\n"
    "\n"
    "exit status: 0 done, 1 something to report or a file that cannot be used,\n"
    "2 a wrong command line\n";

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal number of at most 32 bits; false for anything else.
bool ReadIndex(const std::string& text, uint32_t& index) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > UINT32_MAX) return false;
    index = static_cast<uint32_t>(value);
    return true;
}

// FROM-TO, FROM-, -TO, - or a single INDEX.
bool ReadRange(const std::string& text, IndexRange& range, std::string& problem) {
    const size_t dash = text.find('-');
    const std::string from = dash == std::string::npos ? text : text.substr(0, dash);
    const std::string to = dash == std::string::npos ? text : text.substr(dash + 1);
    range = IndexRange();
    if ((!from.empty() && !ReadIndex(from, range.from)) ||
        (!to.empty() && !ReadIndex(to, range.to)) || (dash == std::string::npos && from.empty())) {
        problem = "--range " + text + ": give FROM-TO, for example 100-199, 100- or -199";
        return false;
    }
    if (range.from > range.to) {
        problem = "--range " + text + ": FROM is after TO";
        return false;
    }
    return true;
}

bool ReadFormat(const std::string& text, Format& format, std::string& problem) {
    if (text == "xml") {
        format = Format::Xml;
    } else if (text == "csv") {
        format = Format::Csv;
    } else if (text == "json") {
        format = Format::Json;
    } else {
        problem = "--format " + text + ": give xml, csv or json";
        return false;
    }
    return true;
}

// The options that take a value, with what the value is called.
struct ValueOption {
    const char* long_name;
    char short_name;  // 0: none
    const char* needs;
};

const ValueOption VALUE_OPTIONS[] = {
    {"--output", 'o', "a file name"},
    {"--names", 0, "a file name"},
    {"--range", 0, "FROM-TO"},
    {"--format", 0, "xml, csv or json"},
};

// Stores the value (not empty) of the option; false with the problem.
bool SetValue(const ValueOption& option, const std::string& value, Options& options,
              std::string& problem) {
    const std::string name = option.long_name;
    if (name == "--output") {
        options.output = value == "-" ? std::string() : value;
    } else if (name == "--names") {
        options.names = value;
    } else if (name == "--range") {
        return ReadRange(value, options.range, problem);
    } else {
        return ReadFormat(value, options.format, problem);
    }
    return true;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, Options& options,
                      std::string& problem) {
    bool options_end = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_end || arg.size() < 2 || arg[0] != '-') {
            options.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_end = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            options.help = true;
            continue;
        }
        if (arg == "--version") {
            options.version = true;
            continue;
        }
        if (arg == "--check") {
            options.check = true;
            continue;
        }
        const ValueOption* found = nullptr;
        std::string value;
        bool attached = false;  // the value is part of this argument
        for (const ValueOption& option : VALUE_OPTIONS) {
            const size_t length = strlen(option.long_name);
            if (arg == option.long_name || (option.short_name && arg.size() == 2 &&
                                            arg[1] == option.short_name)) {
                found = &option;
            } else if (arg.compare(0, length, option.long_name) == 0 && arg[length] == '=') {
                found = &option;
                value = arg.substr(length + 1);
                attached = true;
            } else if (option.short_name && arg[1] == option.short_name) {
                found = &option;
                value = arg.substr(2);
                attached = true;
            }
            if (found) break;
        }
        if (!found) {
            problem = "unknown option " + arg;
            return false;
        }
        if (!attached && i + 1 < args.size()) value = args[++i];
        if (value.empty()) {
            // Named as it was given: "-o needs a file name".
            problem = (arg.size() == 2 ? arg : std::string(found->long_name)) + " needs " +
                      found->needs;
            return false;
        }
        if (!SetValue(*found, value, options, problem)) return false;
    }
    if (options.help || options.version) return true;
    if (options.check && options.files.size() != 2) {
        problem = "--check needs a configuration and a save";
        return false;
    }
    if (options.files.empty() || options.files.size() > 2) {
        problem = "give one save, or two saves to compare";
        return false;
    }
    return true;
}
