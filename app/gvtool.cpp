// gvtool.cpp - the gvtool command: checks the command line, opens the log and
// the save file, loads the configuration, runs the patcher and reports.
// Every path ends with exit status 0; the messages tell the outcome. The one
// exception: a stop asked for while the save was changing ends the process,
// by that signal, once the report is complete.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "dual_log.h"
#include "file_stream.h"
#include "journal.h"
#include "loader.h"
#include "model.h"
#include "patch_plan.h"
#include "platform/console.h"
#include "platform/file.h"
#include "platform/lock.h"
#include "platform/main.h"
#include "platform/open.h"
#include "platform/path.h"
#include "platform/signals.h"
#include "reader.h"
#include "save_patcher.h"
#include "version.h"

namespace {

// The program's path may name folders in any script.
void PrintUsage(const std::string& program) {
    WriteUtf8(stdout, "usage :\n" + program + " [CONF_FILE_NAME] [SAVE_DAT_FILE]\n\nexample:\n"
                      "gvtool config.xml SLOT0\\SAVE.DAT\n");
    fflush(stdout);
}

// The loader's message for an allocation failure: the library's own text
// explains nothing to a player.
const char ALLOCATION_FAILED[] = "memory allocation failed !";

void ReportException(const std::exception& error) {
    const char* text =
        dynamic_cast<const std::bad_alloc*>(&error) ? ALLOCATION_FAILED : error.what();
    g_log << "catch ! \n\t" << text << std::endl;
}

const char LOG_NAME[] = "patcher.log";

// Opens the log for this run, or returns null when it must not be used: it
// cannot be opened, it is the save or the configuration under another name,
// or another run holds it. Only a log that is this run's own is emptied.
FILE* OpenLog(const char* config_name, const char* save_name) {
    FILE* log_file = OpenRegularFileUtf8(LOG_NAME, "a");
    if (!log_file) return nullptr;
    if (IsSameFile(log_file, save_name) || IsSameFile(log_file, config_name) ||
        LockStream(log_file) == LockResult::HeldElsewhere || !EmptyStreamFile(log_file)) {
        fclose(log_file);
        return nullptr;
    }
    return log_file;
}

// Loads the configuration and fills the plan. Returns false, after reporting,
// when the configuration cannot be loaded.
bool ReadConfiguration(XmlNode* document, FILE* save_file, const char* config_name,
                       PatchPlan& plan) {
    g_log << "loading config file ...\n";
    // The save read as its own configuration would be parsed while it is
    // patched: refused as the loader refuses what it cannot open.
    const bool is_save = IsSameFile(save_file, config_name);
    if (is_save || XmlLoadFile(document) < 0) {
        // Without a document there is no error slot: the only way to get
        // here is an allocation failure in creating it.
        const XmlDocumentData* data =
            document ? static_cast<const XmlDocumentData*>(document->data) : nullptr;
        const char* reason = is_save ? "can't open file !"
                             : data  ? data->errorText
                                     : ALLOCATION_FAILED;
        g_log << "error while loading config file !\n\t" << reason << std::endl;
        return false;
    }
    g_log << "processing config file ...\n";
    BuildPatchPlan(document, plan);
    g_log << "processing complete!\n";
    return true;
}

// Takes the save for this run alone, if it is a file of its own. Returns
// false, after reporting, when it has other names (patching one would
// change them all, backups made with links included) or another process
// holds it; a file system that cannot lock is used as is.
bool TakeSave(FILE* save_file) {
    uint64_t links = 0;
    if (!FileLinkCount(save_file, &links)) {
        g_log << "can't open SAVE file !\n";
        return false;
    }
    if (links > 1) {
        g_log << "can't patch a SAVE file that has hard links !\n";
        return false;
    }
    if (LockStream(save_file) != LockResult::HeldElsewhere) return true;
    g_log << "can't lock SAVE file !\n";
    return false;
}

// Puts back a save that an interrupted run left with its journal, before
// anything else is read. Returns false, after reporting, when the run must
// end here.
bool RecoverSaveStep(FILE* save_file, const char* save_path, std::string& resolved_path) {
    try {
        RecoverSave(save_file, save_path, &resolved_path);
        return true;
    } catch (const std::exception& error) {
        ReportException(error);
        return false;
    }
}

void PatchSave(FILE* save_file, const char* save_path, const std::string& resolved_path,
               PatchPlan& plan, StopSignalGuard& stop_signals) {
    try {
        SavePatcher patcher(save_file, save_path, resolved_path);
        patcher.run(plan, stop_signals);
        g_log << "PATCHING COMPLETE!\n";
    } catch (const std::exception& error) {
        ReportException(error);
    }
}

}  // namespace

int RunProgram(const std::vector<std::string>& arguments) {
    IgnoreStreamSignals();
    // Armed by the patcher when it creates the journal, released once the
    // report is complete.
    StopSignalGuard stop_signals;
    if (arguments.size() < 3) {
        PrintUsage(arguments.empty() ? "gvtool" : arguments[0]);
        return 0;
    }
    const char* config_name = arguments[1].c_str();
    const char* save_name = arguments[2].c_str();

    // Without a log file the run goes on, console only, and says so there.
    FILE* log_file = OpenLog(config_name, save_name);
    FileOutputStream log_stream(log_file);
    // The report names no file and quotes no configuration: it is ASCII, and
    // the console takes it as it is.
    g_log.console = &std::cout;
    g_log.file = log_file ? &log_stream : nullptr;

    g_log << "Drelmoor 2 SAVE patcher" << std::endl;
    g_log << "RELEASE" << " build" << std::endl;
    g_log << "version " << GVTOOL_VERSION << std::endl;
    g_log << std::endl;
    if (!log_file) g_log << "can't write log file patcher.log !\n";

    FILE* save_file = OpenRegularFileUtf8(save_name, "r+b");
    if (!save_file) {
        g_log << "can't open SAVE file !\n";
    } else if (!TakeSave(save_file)) {
        fclose(save_file);
    } else {
        PatchPlan plan;
        XmlNode* document = XmlCreateDocument(config_name);
        std::string resolved_path;
        try {
            if (RecoverSaveStep(save_file, save_name, resolved_path) &&
                ReadConfiguration(document, save_file, config_name, plan)) {
                PatchSave(save_file, save_name, resolved_path, plan, stop_signals);
            }
        } catch (const std::exception& error) {
            // Only memory exhaustion while reading the configuration gets here.
            ReportException(error);
        }
        XmlFreeNode(document);
        fclose(save_file);
    }

    std::cout.flush();
    log_stream.flush();
    // A log cut short (a full disk, a file-size limit) must not pass for the
    // whole report: the console says so last.
    bool log_lost = log_stream.lost_output();
    if (log_file && fclose(log_file) != 0) log_lost = true;
    if (log_lost) {
        std::cout << "can't write log file patcher.log !\n";
        std::cout.flush();
    }
    // The report is complete and the save whole: a stop asked for while the
    // save was changing ends the process now.
    stop_signals.release();
    return 0;
}
