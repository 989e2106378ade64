// savebuilder.cpp - builds synthetic save files byte by byte from parameters;
// every name and value here is invented or generated.
#include "savebuilder.h"

#include <algorithm>
#include <cassert>

#include "byte_order.h"
#include "checksum.h"
#include "save_patcher.h"

namespace {

constexpr size_t HEADER_SIZE = static_cast<size_t>(GVARS_OFFSET);
constexpr int64_t GVARS_END_SEARCH = GVARS_END_SEARCH_OFFSET;
constexpr int64_t CITIES_END_SEARCH = CITIES_END_SEARCH_OFFSET;

// xorshift32: the same sequence on every platform and standard library.
class Generator {
public:
    explicit Generator(uint32_t seed) : state_(seed ? seed : 0x9e3779b9u) {}
    uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }

private:
    uint32_t state_;
};

void AppendTable(std::string& out, const std::vector<int32_t>& gvars) {
    for (int32_t value : gvars) out += LittleEndianBytes(static_cast<uint32_t>(value));
}

const char* const NAME_POOL[] = {"VARNHOLLOW", "QUELLMARSH", "DRUSKELD",  "YMBERFALL",
                                 "KESTRIMOOR", "SALTHREN",   "BRIAROST",  "OLVENDRIFT",
                                 "MOSSKARN",   "WYNDELMERE", "PERRINGATE"};
const char LAST_STEM[] = "ZELMIRODANUKTHEV";  // cut to length, then "AV"

std::string LastName(size_t length) {
    assert(length >= 2 && length - 2 <= sizeof LAST_STEM - 1);
    return std::string(LAST_STEM, length - 2) + "AV";
}

}  // namespace

uint32_t CitiesListSize(const std::vector<std::string>& names) {
    size_t size = 4 + 1;
    for (const std::string& name : names) size += name.size() + 1;
    return static_cast<uint32_t>(size);
}

SaveLayout DescribeSave(const SaveParams& params) {
    SaveLayout layout;
    layout.gvars_count = static_cast<uint32_t>(params.gvars.size());
    const int64_t table_size = 4 * int64_t{layout.gvars_count};
    layout.cities_block_offset = static_cast<int64_t>(HEADER_SIZE) + table_size;
    layout.cities_list_size = CitiesListSize(params.city_names);
    layout.copy_offset = layout.cities_block_offset + layout.cities_list_size + 3;
    layout.end_marker_offset = layout.copy_offset + table_size;
    layout.gvars_end_offset = layout.end_marker_offset - GVARS_END_SEARCH;
    layout.cities_marker_distance =
        layout.cities_block_offset + layout.cities_list_size - 4 - CITIES_END_SEARCH;
    layout.file_size = static_cast<uint64_t>(layout.end_marker_offset) +
                       (params.end_marker ? 4 : 0) + params.tail.size();
    return layout;
}

std::string BuildSave(const SaveParams& params) {
    std::string out;
    out.reserve(static_cast<size_t>(DescribeSave(params).file_size));
    // No zero byte in the header, so it can spell neither marker.
    for (size_t i = 0; i < HEADER_SIZE; ++i) {
        out.push_back(static_cast<char>((i * 37 + 11) % 251 + 1));
    }
    AppendTable(out, params.gvars);

    const uint32_t count = params.city_count ? *params.city_count
                                           : static_cast<uint32_t>(params.city_names.size());
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(count >> shift));
    for (const std::string& name : params.city_names) {
        out += name;
        out.push_back('\0');
    }
    out.push_back('\0');
    for (uint8_t byte : params.extra_bytes) out.push_back(static_cast<char>(byte));

    AppendTable(out, params.gvars);
    if (params.end_marker) out += LittleEndianBytes(GVARS_END_MARKER);
    out += params.tail;
    return out;
}

std::vector<std::string> DefaultCityNames() {
    std::vector<std::string> names(std::begin(NAME_POOL), std::end(NAME_POOL));
    names.push_back(LastName(8));
    return names;
}

std::vector<std::string> InventCityNames(size_t count) {
    static const char* const syllables[] = {"VAR", "QUE", "DRU", "YMB", "KES", "SAL",
                                            "BRI", "OLV", "MOS", "WYN", "ZEL", "THO",
                                            "GRE", "IND", "ULM", "PEX"};
    std::vector<std::string> names;
    for (size_t i = 0; i + 1 < count; ++i) {
        names.push_back(std::string(syllables[i % 16]) + syllables[(i / 16 + i * 5 + 3) % 16]);
    }
    names.push_back(LastName(6));
    return names;
}

std::vector<std::string> CityNamesForListSize(uint32_t list_size) {
    assert(list_size >= 8);
    std::vector<std::string> names;
    size_t remaining = list_size - 5;  // bytes for names and their zeros
    // Leave room for a last name of 5 to 12 bytes.
    for (size_t i = 0; remaining > 13; ++i) {
        const std::string pooled = NAME_POOL[i % (sizeof NAME_POOL / sizeof NAME_POOL[0])];
        const size_t length = std::min(pooled.size(), remaining - 7);
        names.push_back(pooled.substr(0, length));
        remaining -= length + 1;
    }
    names.push_back(LastName(remaining - 1));
    return names;
}

std::vector<int32_t> GenerateGvars(uint32_t count, uint32_t seed) {
    Generator generator(seed);
    std::vector<int32_t> values(count);
    for (int32_t& value : values) {
        const uint32_t r = generator.next();
        // Mostly small counters and flags, a quarter unset.
        value = (r & 3u) == 0 ? 0 : static_cast<int32_t>((r >> 2) % 21000u) - 1000;
    }
    return values;
}

std::string GenerateBytes(size_t length, uint32_t seed) {
    Generator generator(seed);
    std::string bytes(length, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator.next() >> 24);
    return bytes;
}

SaveParams DefaultSaveParams(uint32_t seed, size_t tail_length) {
    SaveParams params;
    params.gvars = GenerateGvars(700, seed);
    params.city_names = DefaultCityNames();
    params.tail = GenerateBytes(tail_length, seed + 1);
    return params;
}

std::string SealJournal(JournalHeader header, const std::string& payload) {
    uint8_t bytes[JOURNAL_HEADER_SIZE] = {};
    JournalChecksum checksum;
    if (header.version == 1) {
        EncodeJournalHeader(header, bytes);
        checksum.add(bytes, JOURNAL_CHECKSUM_AT);
    }
    checksum.add(reinterpret_cast<const uint8_t*>(payload.data()), payload.size());
    header.checksum = checksum.value();
    EncodeJournalHeader(header, bytes);
    if (header.version == 1) {
        return std::string(reinterpret_cast<const char*>(bytes), JOURNAL_V1_PAYLOAD_AT) + payload;
    }
    header.header_checksum = JournalHeaderChecksum(bytes);
    EncodeJournalHeader(header, bytes);
    std::string journal(reinterpret_cast<const char*>(bytes), sizeof bytes);
    journal.resize(JOURNAL_PAYLOAD_AT, '\0');
    return journal + payload;
}

namespace {

uint64_t HeadChecksumOf(const std::string& save) {
    JournalChecksum head;
    head.add(reinterpret_cast<const uint8_t*>(save.data()), std::min(save.size(), HEADER_SIZE));
    return head.value();
}

}  // namespace

std::string BuildJournal(const SaveParams& params, const std::vector<int32_t>& new_gvars) {
    const std::string save = BuildSave(params);
    const SaveLayout layout = DescribeSave(params);
    JournalHeader header;
    const int64_t size = static_cast<int64_t>(save.size());
    const int64_t m = static_cast<int64_t>(new_gvars.size());
    const int64_t growth = 8 * (m - layout.gvars_count);
    const int64_t copy_end = static_cast<int64_t>(HEADER_SIZE) + 8 * m + layout.cities_list_size + 3;
    header.original_size = size;
    header.final_size = growth > 0 ? size + growth : std::max(size, copy_end);
    header.region_offset = GVARS_OFFSET;
    header.region_length = (growth > 0 ? size : std::min(size, copy_end)) - header.region_offset;
    header.head_checksum = HeadChecksumOf(save);
    header.table_count = static_cast<uint32_t>(m);
    header.block_size = layout.cities_list_size + 3;
    header.tail_shift = growth;
    header.tail_from = copy_end - growth;
    std::string payload = save.substr(HEADER_SIZE, static_cast<size_t>(header.region_length));
    AppendTable(payload, new_gvars);
    return SealJournal(header, payload);
}

std::string BuildVersion1Journal(const std::string& save, int32_t growth) {
    JournalHeader header;
    header.version = 1;
    header.original_size = static_cast<int64_t>(save.size());
    header.final_size = header.original_size + growth;
    header.region_offset = GVARS_OFFSET;
    header.region_length = header.original_size - header.region_offset;
    header.head_checksum = HeadChecksumOf(save);
    return SealJournal(header, save.substr(std::min(save.size(), HEADER_SIZE)));
}
