// save_patcher.h - applies a patch plan to the GVAR table of one save file,
// in place: locate the table, add, change, write back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "patch_plan.h"

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

class SavePatcher {
public:
    // The patcher uses the open stream but never closes it. save_path names
    // the same file and places its journal; empty means no journal, for
    // callers that have a stream but no file name.
    SavePatcher(FILE* file, std::string save_path);

    // The whole patch: sort, locate, read, add, change, save, each step
    // logged. Fatal conditions leave as std::runtime_error (through
    // CriticalError), std::length_error or std::bad_alloc. Nothing is
    // written to the file before the saving step. The saving step arms
    // stop_signals right before it creates the journal and leaves it armed,
    // whatever happens after: a stop request then waits until the caller,
    // which owns the guard, releases it once its report is complete and the
    // log closed.
    void run(PatchPlan& plan, StopSignalGuard& stop_signals);

    // The location and read steps of run, with their log lines: locates the
    // table and returns its gvars_count entries. *entries_read, when given,
    // receives how many whole entries the file gave; the others stay 0.
    // Fails as calculate_offsets does. Reads only.
    std::vector<int32_t> read_gvar_table(uint32_t* entries_read = nullptr);

    // Locates the end marker, the cities list and the table; sets every
    // field below but save_file. Critical error on any failure.
    void calculate_offsets();

    // Searches forward from the stream's position in chunks of chunk_size
    // bytes (at least 4). Returns the distance of the first marker lying
    // wholly inside the file, or nothing when there is none (or when it
    // lies beyond what a signed 32-bit distance holds). Critical error on a
    // read error.
    std::optional<int32_t> find_marker(uint32_t marker, uint32_t chunk_size);

    // Reads window_size bytes from the stream's position, the last four
    // being the cities list end marker, and scans them backwards for the
    // list's count field. Returns the list's size in bytes, 0 when not
    // recognised. Critical error on a read error.
    uint32_t get_cities_list_size(uint32_t window_size);

    // Reads cities_list_size + 3 bytes at cities_block_offset into
    // cities_block; bytes past the end of the file stay 0.
    void read_cities_block();

    // Reads the file's first bytes, where the table usually lies, for the
    // location step to search in memory; a read error leaves nothing held.
    void read_near_region();
    // Copies count bytes at offset from the held bytes; past the end of the
    // file they stay as they are. False when the bytes are not all held.
    bool copy_near(int64_t offset, size_t count, uint8_t* bytes) const;
    // As find_marker from offset start, in the held bytes and then on in
    // the stream.
    std::optional<int32_t> search_marker(int32_t start, uint32_t marker);
    // Fills the table's first entries from the held bytes; returns how many.
    uint32_t read_near_entries(std::vector<int32_t>& gvar_table) const;

    // The three phases, over the table that run owns.
    void add_gvars(const PatchPlan& plan, std::vector<int32_t>& gvar_table);
    void set_gvars(const std::vector<GvarRequest>& change_list,
                   std::vector<int32_t>& gvar_table);
    void save_gvars(const std::vector<int32_t>& gvar_table, StopSignalGuard& stop_signals);

    uint32_t gvars_count = 0;
    int32_t gvars_end_offset = 0;
    int32_t cities_block_offset = 0;
    uint32_t cities_list_size = 0;
    std::vector<uint8_t> cities_block;
    std::vector<uint8_t> near_bytes;  // the file's first bytes, from read_near_region
    bool near_ends_file = false;      // near_bytes reach the end of the file
    FILE* save_file = nullptr;
    std::string save_path;
    std::string journal_path;  // resolved by the recovery step; empty: resolved when needed
};

// Grows the stream's file by growth bytes and moves everything from position
// to the old end up by growth, from the end backwards. Critical error
// "can't set new size to SAVE file !" when the file cannot grow, and
// "error while writing SAVE file !" when moving the bytes fails. tail, when
// given, holds the tail_length bytes from position to the old end; when the
// file measures the same, they are written from it rather than read again.
void resize_save_file(FILE* save_file, int32_t position, int32_t growth,
                      const uint8_t* tail = nullptr, int64_t tail_length = 0);
