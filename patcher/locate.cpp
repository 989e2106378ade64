// locate.cpp - finding the GVAR table, the cities block and the end marker
// in a save file, by marker searches and a backward scan of the cities list,
// and reading the table.
#include <algorithm>
#include <array>
#include <limits>

#include "byte_order.h"
#include "dual_log.h"
#include "messages.h"
#include "save_patcher.h"

namespace {

// The window ends with the cities list end marker's last byte.
constexpr uint32_t CITIES_WINDOW_SIZE = 652;
// The cities list holds fewer names than this.
constexpr uint32_t MAX_CITY_NAMES = 49;
// Only the 5th to 12th byte from a name's end may start the first name.
constexpr uint32_t MIN_FIRST_NAME = 5;
constexpr uint32_t MAX_FIRST_NAME = 12;

constexpr size_t ENTRIES_PER_READ = 1024;

// The count field is big-endian, unlike the table; near the window's start
// only its low-order bytes are inside the window.
uint32_t CountFieldBefore(const std::vector<uint8_t>& window, size_t p) {
    uint32_t value = 0;
    for (size_t i = p >= 4 ? p - 4 : 0; i < p; ++i) value = value << 8 | window[i];
    return value;
}

// The size in bytes of the cities list whose end marker ends the window, 0
// when not recognised.
uint32_t CitiesListSize(const std::vector<uint8_t>& window) {
    const uint32_t window_size = static_cast<uint32_t>(window.size());
    if (window_size < 4) return 0;

    // Backwards from the marker's third byte (the last name's zero): SEEK
    // walks to the next zero, which ends the name before it; COLLECT walks
    // that name and, from its 5th byte on, asks whether the four bytes
    // before are a count field equal to the names seen so far.
    size_t p = window_size - 2;
    uint32_t names = 0;
    uint32_t name_length = 0;
    bool collecting = false;
    for (;;) {
        if (!collecting) {
            if (names >= MAX_CITY_NAMES) return 0;
            if (p == 0) return 0;
            if (window[p] != 0) {
                --p;
                continue;
            }
            ++names;
            name_length = 0;
            --p;
            collecting = true;
            continue;
        }
        if (window[p] == 0) {  // an empty name counts too
            collecting = false;
            continue;
        }
        ++name_length;
        if (name_length >= MIN_FIRST_NAME && CountFieldBefore(window, p) == names) {
            return window_size - static_cast<uint32_t>(p) + 4;
        }
        if (p == 0) return 0;
        --p;
        if (name_length >= MAX_FIRST_NAME) collecting = false;
    }
}

const char* LocationMessage(LocationFailure failure) {
    switch (failure) {
        case LocationFailure::NoGvarsEndMarker: return "can't find GVARs end marker !";
        case LocationFailure::NoCitiesListEndMarker: return "can't find cities list end marker !";
        case LocationFailure::CitiesListUnknown: return "can't get cities list size !";
        case LocationFailure::WrongTableSize: return "wrong GVARs list size calculated !";
        case LocationFailure::SearchReadFailed: return "error while calculating GVARs count !";
        case LocationFailure::CitiesReadFailed: return "error 0x10 !";
    }
    return "";
}

}  // namespace

LocationError::LocationError(LocationFailure failure)
    : std::runtime_error(LocationMessage(failure)), failure_(failure) {}

void ReportLocationFailure(LocationFailure failure) {
    const LocationError error(failure);
    LogCritical(error.what());
    throw error;
}

void SavePatcher::calculate_offsets() {
    reader_.hold_window();
    std::optional<int32_t> g = reader_.find_marker(GVARS_END_SEARCH_OFFSET, GVARS_END_MARKER);
    // Offsets are signed 32-bit everywhere; a marker beyond that is as good
    // as missing.
    const int64_t int32_max = std::numeric_limits<int32_t>::max();
    if (!g || int64_t{GVARS_END_SEARCH_OFFSET} + *g + 4 > int32_max) {
        ReportLocationFailure(LocationFailure::NoGvarsEndMarker);
    }
    location_.gvars_end_offset = *g;

    std::optional<int32_t> c =
        reader_.find_marker(CITIES_END_SEARCH_OFFSET, CITIES_LIST_END_MARKER);
    if (!c || int64_t{CITIES_END_SEARCH_OFFSET} + *c + 4 > int32_max) {
        ReportLocationFailure(LocationFailure::NoCitiesListEndMarker);
    }
    const int32_t marker = CITIES_END_SEARCH_OFFSET + *c;

    // The window ends with the marker's last byte; bytes past the end of
    // the file read as 0.
    const int32_t window_start = marker + 4 - static_cast<int32_t>(CITIES_WINDOW_SIZE);
    std::vector<uint8_t> window(CITIES_WINDOW_SIZE, 0);
    (void)reader_.read(window_start, window.size(), window.data());
    if (reader_.failed()) ReportLocationFailure(LocationFailure::CitiesReadFailed);
    const uint32_t d = CitiesListSize(window);
    location_.cities_list_size = d;
    if (d == 0) ReportLocationFailure(LocationFailure::CitiesListUnknown);
    g_log << "cities_list_size == " << static_cast<int32_t>(d) << std::endl;

    location_.cities_block_offset = marker + 4 - static_cast<int32_t>(d);
    const int32_t s = location_.cities_block_offset - GVARS_OFFSET;
    const uint32_t s_bits = static_cast<uint32_t>(s);
    g_log << "size == " << s << ", " << (s_bits >> 2) << ", " << (s_bits & 3u) << std::endl;
    // A list starting before the table would make a negative size, read as
    // a huge count: stop before anything is allocated for it.
    if (s < 0 || (s_bits & 3u) != 0) ReportLocationFailure(LocationFailure::WrongTableSize);

    // Bytes past the end of the file stay 0.
    cities_block_.assign(static_cast<size_t>(d) + 3, 0);
    (void)reader_.read(location_.cities_block_offset, cities_block_.size(), cities_block_.data());
    location_.gvars_count = s_bits >> 2;
}

uint32_t SavePatcher::read_entries(std::vector<int32_t>& gvar_table) {
    // Entries are little-endian on every host.
    std::array<uint8_t, 4 * ENTRIES_PER_READ> bytes;
    size_t done = 0;
    while (done < gvar_table.size()) {
        const size_t wanted = std::min(ENTRIES_PER_READ, gvar_table.size() - done);
        const int64_t offset = GVARS_OFFSET + 4 * static_cast<int64_t>(done);
        const size_t got = reader_.read(offset, 4 * wanted, bytes.data()) / 4;
        for (size_t i = 0; i < got; ++i) {
            gvar_table[done + i] = static_cast<int32_t>(ReadLittleEndian32(&bytes[4 * i]));
        }
        done += got;
        if (got < wanted) break;  // a short table: the rest stays 0
    }
    return static_cast<uint32_t>(done);
}

std::vector<int32_t> SavePatcher::read_gvar_table(uint32_t* entries_read) {
    g_log << "\ncalculating ofssets and GVARs count...\n" << SEPARATOR_LINE;
    calculate_offsets();

    g_log << SEPARATOR_LINE << "\nread GVARs ( " << location_.gvars_count << " )";
    std::vector<int32_t> gvar_table(location_.gvars_count, 0);
    const uint32_t read = read_entries(gvar_table);
    g_log << "\nreaded " << 4 * read << " bytes, " << read << " GVARs\n" << SEPARATOR_LINE << "\n";
    if (entries_read) *entries_read = read;
    return gvar_table;
}
