// inputs.h - seeded, deterministic inputs for the benchmarks: configuration
// files in the usual layout and a document-style file with deep nesting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// splitmix64: the same sequence on every platform and standard library,
// which std::uniform_int_distribution does not promise.
class BenchRandom {
public:
    explicit BenchRandom(uint64_t seed) : state(seed) {}
    uint64_t next();
    // A number in [0, bound); bound must not be 0.
    uint32_t below(uint32_t bound) { return static_cast<uint32_t>(next() % bound); }

private:
    uint64_t state;
};

// What a generated configuration holds. Requests stop at whichever of the
// two limits comes first; a limit of 0 means none.
struct ConfigShape {
    uint64_t seed = 1;
    size_t target_bytes = 0;     // stop once the text is at least this long
    uint32_t gvar_count = 0;     // stop after this many gvar elements
    uint32_t table_size = 700;   // GVARs the save already has: adds go above
    bool adds = true;            // false: changes and removes only, nothing grows
};

// What the generator put into a configuration, for checking a parse.
struct ConfigFacts {
    uint32_t gvar_count = 0;     // gvar elements, every one with an action
    uint32_t add_count = 0;
    uint32_t change_count = 0;
    uint32_t remove_count = 0;
    uint32_t comment_count = 0;
};

// A configuration as a person would write it: declaration, save_patcher,
// gvars, one indented gvar line per request, a comment now and then, some
// values with a character reference and some notes with "&amp;". Adds use
// ascending indices from table_size on; changes and removes lie inside the
// table. Returns the text; facts, when given, receives what is in it.
std::string MakeConfigText(const ConfigShape& shape, ConfigFacts* facts = nullptr);

// A document-style file of about target_bytes: chapters of sections nested
// `depth` levels deep, each level holding long paragraphs of mixed content
// (text around inline elements) with entity references. Returns the text;
// element_count, when given, receives the number of elements in it.
std::string MakeDocumentText(size_t target_bytes, uint32_t depth, uint64_t seed,
                             uint32_t* element_count = nullptr);
