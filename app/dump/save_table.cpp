// save_table.cpp - opening and reading saves for gvdump.
#include "save_table.h"

#include <exception>
#include <new>

#include "journal.h"
#include "platform/lock.h"
#include "platform/open.h"
#include "platform/path.h"
#include "report.h"

namespace {

const char BEING_PATCHED[] = "being patched or interrupted; run gvtool on it first";
const char READ_FAILED[] = "cannot be read";

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

// A journal means a gvtool run is under way or was cut short: the table
// may be half written, before or after this read.
std::string WorkOnOpenSave(FILE* file, const std::string& path,
                           const std::function<void(SavePatcher&)>& work) {
    const std::string journal = JournalPath(file, path);
    if (JournalExists(journal)) return BEING_PATCHED;
    std::string problem;
    try {
        SavePatcher patcher(file, "");
        work(patcher);
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

}  // namespace

std::string WithSave(const std::string& path, const std::function<void(SavePatcher&)>& work) {
    OpenFailure failure = OpenFailure::None;
    FILE* file = OpenRegularFileUtf8(path.c_str(), "rb", &failure);
    if (!file) return OpenFailureWords(failure);
    const std::string problem = WorkOnOpenSave(file, path, work);
    fclose(file);
    return problem;
}

bool ReadSaveTable(const std::string& path, std::vector<int32_t>& gvars) {
    const std::string problem = WithSave(path, [&](SavePatcher& patcher) {
        uint32_t read = 0;
        gvars = patcher.read_gvar_table(&read);
        // A listing of zeros where the file gave nothing would mislead.
        if (read < gvars.size()) throw LocationError(LocationFailure::SearchReadFailed);
    });
    if (problem.empty()) return true;
    ReportProblem(path, problem);
    return false;
}
