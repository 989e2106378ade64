// savebuilder.h - synthetic save files from parameters, and the journals runs
// write for them, for the tests, the demo, fuzzers and benchmarks: the one
// builder of the patcher's layout.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "journal.h"

// What to build. The file is: a generated header of 30055 bytes, the table,
// the cities list (big-endian count field, zero-terminated names, one more
// zero), three extra bytes, a copy of the table, the GVARs end marker
// 00 00 46 50 and the tail.
struct SaveParams {
    std::vector<int32_t> gvars;
    std::vector<std::string> city_names;  // the last one ending in "AV" makes the marker
    std::optional<uint32_t> city_count;   // count field; the number of names when unset
    std::array<uint8_t, 3> extra_bytes = {0x02, 0x11, 0x05};
    bool end_marker = true;               // false leaves the marker out
    std::string tail;                     // bytes after the end marker
};

// Where everything lands, in the patcher's own terms.
struct SaveLayout {
    uint32_t gvars_count = 0;         // n
    int64_t cities_block_offset = 0;  // C = 30055 + 4n
    uint32_t cities_list_size = 0;    // d
    int64_t copy_offset = 0;          // C + d + 3
    int64_t end_marker_offset = 0;    // C + d + 3 + 4n
    int64_t gvars_end_offset = 0;     // g: marker distance from 35623, negative before it
    int64_t cities_marker_distance = 0;  // c: cities marker distance from 32839
    uint64_t file_size = 0;
};

// The layout that BuildSave gives for these parameters.
SaveLayout DescribeSave(const SaveParams& params);

// The file's bytes. Never fails; parameters that break the layout's rules
// (names without "AV", a wrong count) give the broken file they ask for.
std::string BuildSave(const SaveParams& params);

// Size of the cities list made of these names: count field, names with
// their zeros, the extra zero.
uint32_t CitiesListSize(const std::vector<std::string>& names);

// Twelve invented names, 8 to 11 bytes, the last ending in "AV".
std::vector<std::string> DefaultCityNames();
// count invented names of 6 bytes, the last ending in "AV"; count >= 1.
std::vector<std::string> InventCityNames(size_t count);
// Invented names whose list is exactly list_size bytes (at least 8), the
// last ending in "AV"; every name is 5 to 12 bytes once the list is 11 bytes
// or more.
std::vector<std::string> CityNamesForListSize(uint32_t list_size);

// count GVAR values from the seed, in [-1000, 20000): small enough that no
// run of entries spells either marker.
std::vector<int32_t> GenerateGvars(uint32_t count, uint32_t seed);
// length bytes from the seed, any values.
std::string GenerateBytes(size_t length, uint32_t seed);

// A realistic save: 700 GVARs from the seed, the default names, a tail of
// tail_length bytes from the seed.
SaveParams DefaultSaveParams(uint32_t seed = 1, size_t tail_length = 1024);

// Journal bytes holding the payload under the header, with the magic value
// and the checksums a run gives them. Version 2 (the header's version): the
// payload is the region's original bytes and then the table's entries, from
// JOURNAL_PAYLOAD_AT on; version 1: the region's bytes right after its
// 60-byte header.
std::string SealJournal(JournalHeader header, const std::string& payload);
// The journal a run writes, before it changes anything, when it writes the
// table new_gvars (no shorter than the params' own) over the save the params
// build.
std::string BuildJournal(const SaveParams& params, const std::vector<int32_t>& new_gvars);
// A journal of the first release, which a run that grows the save by growth
// bytes wrote before it changed anything: the bytes from 30055 to the end.
std::string BuildVersion1Journal(const std::string& save, int32_t growth);
