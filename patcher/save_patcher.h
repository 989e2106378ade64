// save_patcher.h - applies a patch plan to the GVAR table of one save file,
// in place: locate the table, add, change, write back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "patch_plan.h"
#include "save_reader.h"

class StopSignalGuard;

// The table's place in the save file. Entries are 32-bit little-endian; the
// cities block and a copy of the table follow it, then the end marker.
constexpr int32_t GVARS_OFFSET = 30055;
// Compared as little-endian words read at any byte offset: 00 00 46 50.
constexpr uint32_t GVARS_END_MARKER = 0x50460000u;
// "AV" and two zero bytes: the end of the last city name and of the list.
constexpr uint32_t CITIES_LIST_END_MARKER = 0x5641u;
// The searches start where a 696-entry table would leave the markers.
constexpr int32_t GVARS_END_SEARCH_OFFSET = GVARS_OFFSET + 5568;
constexpr int32_t CITIES_END_SEARCH_OFFSET = GVARS_OFFSET + 2784;
// Offsets are signed 32-bit throughout: a save never grows past this.
constexpr int64_t MAX_SAVE_SIZE = 2147483647;

// Why the location step found no table, each with its own message.
enum class LocationFailure {
    NoGvarsEndMarker,       // "can't find GVARs end marker !"
    NoCitiesListEndMarker,  // "can't find cities list end marker !"
    CitiesListUnknown,      // "can't get cities list size !"
    WrongTableSize,         // "wrong GVARs list size calculated !"
    SearchReadFailed,       // "error while calculating GVARs count !"
    CitiesReadFailed,       // "error 0x10 !"
};

// The location step's critical error. what() is the failure's message, so
// a driver that reports std::runtime_error reports it unchanged; failure()
// tells it apart without reading the text.
class LocationError : public std::runtime_error {
public:
    explicit LocationError(LocationFailure failure);
    LocationFailure failure() const { return failure_; }

private:
    LocationFailure failure_;
};

// Logs the failure as a critical error and throws its LocationError.
[[noreturn]] void ReportLocationFailure(LocationFailure failure);

// Where the location step found the table and what follows it.
struct TableLocation {
    uint32_t gvars_count = 0;         // the table's entries
    int32_t gvars_end_offset = 0;     // the end marker's distance from GVARS_END_SEARCH_OFFSET
    int32_t cities_block_offset = 0;  // the cities list's first byte, right after the table
    uint32_t cities_list_size = 0;    // the list's bytes; the block holds 3 more
};

// How the adding or changing phase dealt with one request.
enum class RequestOutcome {
    Applied,  // stored in the table
    Skipped,  // its warning line written, the table unchanged
    Refused,  // the phase stops here with a length error
};

// Told of each request as the adding and changing phases meet it, for a
// caller that checks a plan rather than runs it. position is the request's
// place in the list the phase reads (add_list as sorted, change_list);
// table_size the table's length when the phase met it.
class RequestObserver {
public:
    virtual void request_met(GvarAction phase, size_t position, size_t table_size,
                             RequestOutcome outcome) = 0;

protected:
    ~RequestObserver() = default;
};

class SavePatcher {
public:
    // The patcher uses the open stream but never closes it. save_path names
    // the same file and places its journal; empty means no journal, for
    // callers that have a stream but no file name. resolved_path, when not
    // empty, is the save's resolved path as the recovery step found it.
    SavePatcher(FILE* file, std::string save_path, std::string resolved_path = std::string());

    // The whole patch: sort, locate, read, add, change, save, each step
    // logged. Fatal conditions leave as std::runtime_error (through
    // CriticalError; a LocationError from the location and read steps, a
    // read error among them), std::length_error or std::bad_alloc. Nothing
    // is written to the file before the saving step. The saving step arms
    // stop_signals right before it creates the journal and leaves it armed,
    // whatever happens after: a stop request then waits until the caller,
    // which owns the guard, releases it once its report is complete and the
    // log closed.
    void run(PatchPlan& plan, StopSignalGuard& stop_signals);

    // The location and read steps of run, with their log lines: locates the
    // table and returns its gvars_count entries. *entries_read, when given,
    // receives how many whole entries the file gave; the others stay 0.
    // Fails as the location step of run does. Reads only.
    std::vector<int32_t> read_gvar_table(uint32_t* entries_read = nullptr);

    // The steps of run before SAVING, on a plan that SortPatchPlan has
    // ordered: locate, read the table, add, change, each step logged.
    // Returns the table as SAVING would write it; observer, when given, is
    // told how each request ended. Fails as run does; writes nothing.
    std::vector<int32_t> apply_in_memory(const PatchPlan& plan,
                                         RequestObserver* observer = nullptr);

    // What SAVING checks before it writes anything: a critical error (as
    // run reports it) when the table given cannot be written to this save.
    // Call after apply_in_memory, which locates the table.
    void check_before_saving(const std::vector<int32_t>& gvar_table) const;

    // Where the last location step found the table.
    const TableLocation& location() const { return location_; }

private:
    // Locates the end marker, the cities list and the table, sets location_
    // and reads the cities block. Critical error on any failure.
    void calculate_offsets();
    // Reads the table's entries; returns how many whole ones the file gave.
    uint32_t read_entries(std::vector<int32_t>& gvar_table);

    // The three phases, over the table that run owns.
    void add_gvars(const PatchPlan& plan, std::vector<int32_t>& gvar_table,
                   RequestObserver* observer);
    void set_gvars(const std::vector<GvarRequest>& change_list,
                   std::vector<int32_t>& gvar_table, RequestObserver* observer);
    void save_gvars(const std::vector<int32_t>& gvar_table, StopSignalGuard& stop_signals);

    FILE* save_file_;
    std::string save_path_;
    std::string resolved_path_;  // empty: resolved when needed
    SaveReader reader_;
    TableLocation location_;
    std::vector<uint8_t> cities_block_;  // the cities list and the 3 bytes after it
};
