// make_seeds.cpp - writes the seed inputs of every fuzz harness into
// FOLDER/<harness>/, one file per seed, for make fuzz.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "checks.h"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        fprintf(stderr, "usage: make_seeds FOLDER\n");
        return 2;
    }
    namespace fs = std::filesystem;
    for (const FuzzHarness& harness : FUZZ_HARNESSES) {
        const fs::path folder = fs::path(argv[1]) / harness.name;
        fs::create_directories(folder);
        int number = 0;
        for (const std::string& seed : FuzzSeeds(harness.name)) {
            char name[32];
            snprintf(name, sizeof name, "seed-%03d", number++);
            std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
            out.write(seed.data(), static_cast<std::streamsize>(seed.size()));
            if (!out) {
                fprintf(stderr, "make_seeds: cannot write %s\n", (folder / name).string().c_str());
                return 1;
            }
        }
    }
    return 0;
}
