// gvmksave.cpp - writes a synthetic save file from command-line parameters,
// for the demo and for trying the patcher by hand.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "savebuilder.h"

namespace {

const char USAGE[] =
    "usage: gvmksave OUT [--gvars N] [--cities K] [--seed S] [--tail BYTES]\n"
    "\n"
    "Writes a synthetic save file to OUT: a generated 30055-byte header, a table\n"
    "of N GVARs (default 700) with values from seed S (default 1), a cities list\n"
    "of K invented names (default 12), three extra bytes, the copy of the table,\n"
    "the GVARs end marker and BYTES tail bytes from the seed (default 4096).\n"
    "With fewer than about 700 GVARs the markers fall before the places where\n"
    "the patcher searches for them; gvmksave warns but writes the file.\n"
    "Prints the resulting offsets.\n";

bool ParseCount(const char* text, unsigned long limit, unsigned long* value) {
    char* end = nullptr;
    if (!*text || *text == '-') return false;
    *value = std::strtoul(text, &end, 10);
    return *end == '\0' && *value <= limit;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2 || argv[1][0] == '-') {
        std::cerr << USAGE;
        return 2;
    }
    unsigned long gvars = 700, cities = 12, seed = 1, tail = 4096;
    for (int i = 2; i < argc; i += 2) {
        unsigned long* target = nullptr;
        unsigned long limit = 0;
        if (std::strcmp(argv[i], "--gvars") == 0) {
            target = &gvars, limit = 1000000;
        } else if (std::strcmp(argv[i], "--cities") == 0) {
            target = &cities, limit = 49;
        } else if (std::strcmp(argv[i], "--seed") == 0) {
            target = &seed, limit = 0xffffffffUL;
        } else if (std::strcmp(argv[i], "--tail") == 0) {
            target = &tail, limit = 1UL << 30;
        }
        if (!target || i + 1 >= argc || !ParseCount(argv[i + 1], limit, target) ||
            (target == &cities && cities == 0)) {
            std::cerr << USAGE;
            return 2;
        }
    }

    SaveParams params = DefaultSaveParams(static_cast<uint32_t>(seed), tail);
    params.gvars = GenerateGvars(static_cast<uint32_t>(gvars), static_cast<uint32_t>(seed));
    if (cities != 12) params.city_names = InventCityNames(cities);
    const SaveLayout layout = DescribeSave(params);
    if (layout.gvars_end_offset < 0 || layout.cities_marker_distance < 0) {
        std::cerr << "gvmksave: warning: a marker lies before its search start\n";
    }

    const std::string bytes = BuildSave(params);
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::cerr << "gvmksave: cannot write " << argv[1] << "\n";
        return 1;
    }
    std::cout << argv[1] << ": " << layout.file_size << " bytes, " << layout.gvars_count
              << " GVARs, cities block at " << layout.cities_block_offset << " ("
              << layout.cities_list_size << " + 3 bytes), copy at " << layout.copy_offset
              << ", end marker at " << layout.end_marker_offset << "\n";
    return 0;
}
