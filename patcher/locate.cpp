// locate.cpp - finding the GVAR table, the cities block and the end marker
// in a save file, by marker searches and a backward scan of the cities list.
#include <algorithm>
#include <cassert>
#include <cstring>
#include <limits>

#include "byte_order.h"
#include "dual_log.h"
#include "save_patcher.h"

namespace {

constexpr uint32_t MARKER_CHUNK_SIZE = 256;
// The window ends with the cities list end marker's last byte.
constexpr uint32_t CITIES_WINDOW_SIZE = 652;
// The cities list holds fewer names than this.
constexpr uint32_t MAX_CITY_NAMES = 49;
// Only the 5th to 12th byte from a name's end may start the first name.
constexpr uint32_t MIN_FIRST_NAME = 5;
constexpr uint32_t MAX_FIRST_NAME = 12;

// The table, the cities block and both markers of a usual save lie within
// this many bytes from the file's start: read in one call, block-aligned,
// and searched in memory. Whatever lies beyond is read from the stream.
constexpr size_t NEAR_REGION_SIZE = 96 * 1024;

// The offset of the first marker lying wholly inside the bytes.
std::optional<size_t> FirstMarker(const uint8_t* bytes, size_t count, uint32_t marker) {
    for (size_t i = 0; i + 4 <= count; ++i) {
        if (ReadLittleEndian32(bytes + i) == marker) return i;
    }
    return std::nullopt;
}

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

void SeekOrIgnore(FILE* file, long offset) {
    // Seek results are not checked while locating: a failed seek shows up
    // as a marker or a list that is not found.
    (void)fseek(file, offset, SEEK_SET);
}

}  // namespace

std::optional<int32_t> SavePatcher::find_marker(uint32_t marker, uint32_t chunk_size) {
    assert(chunk_size >= 4);
    if (feof(save_file)) return std::nullopt;
    // The last three bytes of a chunk stay in front of the next one, so a
    // marker straddling two chunks is seen.
    std::vector<uint8_t> buffer(3 + static_cast<size_t>(chunk_size));
    size_t carried = 0;
    int64_t base = 0;  // distance of buffer[0] from the start position
    for (;;) {
        size_t got = fread(buffer.data() + carried, 1, chunk_size, save_file);
        if (ferror(save_file)) CriticalError("error while calculating GVARs count !");
        size_t valid = carried + got;
        if (std::optional<size_t> i = FirstMarker(buffer.data(), valid, marker)) {
            int64_t distance = base + static_cast<int64_t>(*i);
            if (distance > std::numeric_limits<int32_t>::max()) return std::nullopt;
            return static_cast<int32_t>(distance);
        }
        if (got < chunk_size) return std::nullopt;  // end of file
        size_t keep = std::min<size_t>(3, valid);
        std::memmove(buffer.data(), buffer.data() + valid - keep, keep);
        base += static_cast<int64_t>(valid - keep);
        carried = keep;
        if (base > std::numeric_limits<int32_t>::max()) return std::nullopt;
    }
}

uint32_t SavePatcher::get_cities_list_size(uint32_t window_size) {
    if (feof(save_file) || ferror(save_file)) return 0;
    std::vector<uint8_t> window(window_size, 0);
    (void)fread(window.data(), 1, window_size, save_file);
    if (ferror(save_file)) CriticalError("error 0x10 !");
    return CitiesListSize(window);
}

void SavePatcher::read_cities_block() {
    cities_block.assign(static_cast<size_t>(cities_list_size) + 3, 0);
    if (copy_near(cities_block_offset, cities_block.size(), cities_block.data())) return;
    SeekOrIgnore(save_file, cities_block_offset);
    (void)fread(cities_block.data(), 1, cities_block.size(), save_file);
}

void SavePatcher::read_near_region() {
    near_bytes.resize(NEAR_REGION_SIZE);
    SeekOrIgnore(save_file, 0);
    near_bytes.resize(fread(near_bytes.data(), 1, near_bytes.size(), save_file));
    near_ends_file = feof(save_file) != 0;
    if (ferror(save_file)) {
        // The stream path meets the error again and reports it where it
        // always did.
        clearerr(save_file);
        near_bytes.clear();
        near_ends_file = false;
    }
}

bool SavePatcher::copy_near(int64_t offset, size_t count, uint8_t* bytes) const {
    const int64_t held = static_cast<int64_t>(near_bytes.size());
    if (offset < 0 || (!near_ends_file && offset + static_cast<int64_t>(count) > held)) return false;
    // Past the end of the file the bytes stay as they are, as after a short
    // read.
    const int64_t available = std::min<int64_t>(held - offset, static_cast<int64_t>(count));
    if (available > 0) std::memcpy(bytes, near_bytes.data() + offset, static_cast<size_t>(available));
    return true;
}

std::optional<int32_t> SavePatcher::search_marker(int32_t start, uint32_t marker) {
    const size_t from = static_cast<size_t>(start);
    if (from >= near_bytes.size() && !near_ends_file) {
        SeekOrIgnore(save_file, start);
        return find_marker(marker, MARKER_CHUNK_SIZE);
    }
    if (from >= near_bytes.size()) return std::nullopt;
    const size_t count = near_bytes.size() - from;
    if (std::optional<size_t> i = FirstMarker(near_bytes.data() + from, count, marker)) {
        return static_cast<int32_t>(*i);
    }
    if (near_ends_file) return std::nullopt;
    // On in the stream, with the last three bytes again: a marker may
    // straddle the region's end.
    const size_t resumed = count < 3 ? 0 : count - 3;
    SeekOrIgnore(save_file, static_cast<long>(from + resumed));
    std::optional<int32_t> rest = find_marker(marker, MARKER_CHUNK_SIZE);
    if (!rest || int64_t{*rest} + static_cast<int64_t>(resumed) > std::numeric_limits<int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<int32_t>(*rest + static_cast<int64_t>(resumed));
}

uint32_t SavePatcher::read_near_entries(std::vector<int32_t>& gvar_table) const {
    const size_t held = near_bytes.size() > static_cast<size_t>(GVARS_OFFSET)
                            ? (near_bytes.size() - GVARS_OFFSET) / 4
                            : 0;
    const size_t count = std::min(held, gvar_table.size());
    for (size_t i = 0; i < count; ++i) {
        gvar_table[i] = static_cast<int32_t>(ReadLittleEndian32(&near_bytes[GVARS_OFFSET + 4 * i]));
    }
    return static_cast<uint32_t>(count);
}

void SavePatcher::calculate_offsets() {
    read_near_region();
    std::optional<int32_t> g = search_marker(GVARS_END_SEARCH_OFFSET, GVARS_END_MARKER);
    // Offsets are signed 32-bit everywhere; a marker beyond that is as good
    // as missing.
    const int64_t int32_max = std::numeric_limits<int32_t>::max();
    if (!g || int64_t{GVARS_END_SEARCH_OFFSET} + *g + 4 > int32_max) {
        CriticalError("can't find GVARs end marker !");
    }
    gvars_end_offset = *g;

    std::optional<int32_t> c = search_marker(CITIES_END_SEARCH_OFFSET, CITIES_LIST_END_MARKER);
    if (!c || int64_t{CITIES_END_SEARCH_OFFSET} + *c + 4 > int32_max) {
        CriticalError("can't find cities list end marker !");
    }
    const int32_t marker = CITIES_END_SEARCH_OFFSET + *c;

    // The window ends with the marker's last byte.
    const int32_t window_start = marker + 4 - static_cast<int32_t>(CITIES_WINDOW_SIZE);
    std::vector<uint8_t> window(CITIES_WINDOW_SIZE, 0);
    uint32_t d = 0;
    if (copy_near(window_start, window.size(), window.data())) {
        d = CitiesListSize(window);
    } else {
        SeekOrIgnore(save_file, window_start);
        d = get_cities_list_size(CITIES_WINDOW_SIZE);
    }
    cities_list_size = d;
    if (d == 0) CriticalError("can't get cities list size !");
    g_log << "cities_list_size == " << static_cast<int32_t>(d) << std::endl;

    cities_block_offset = marker + 4 - static_cast<int32_t>(d);
    const int32_t s = cities_block_offset - GVARS_OFFSET;
    const uint32_t s_bits = static_cast<uint32_t>(s);
    g_log << "size == " << s << ", " << (s_bits >> 2) << ", " << (s_bits & 3u) << std::endl;
    // A list starting before the table would make a negative size, read as
    // a huge count: stop before anything is allocated for it.
    if (s < 0 || (s_bits & 3u) != 0) CriticalError("wrong GVARs list size calculated !");

    read_cities_block();
    gvars_count = s_bits >> 2;
}
