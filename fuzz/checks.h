// checks.h - the bodies of the fuzz harnesses: each runs one input through a
// part of gvtool and checks what came out. Shared by the libFuzzer entry
// point and by the test that replays seeds and regression inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A check takes any bytes and returns "" when every property held, else a
// description of the first one that broke. Crashes, leaks and undefined
// behaviour are left to the sanitizers of the build.
typedef std::string (*FuzzCheck)(const uint8_t* data, size_t size);

// The bytes as a configuration text: parsed, every link of the tree
// checked, printed to a null stream, freed.
std::string CheckXmlParser(const uint8_t* data, size_t size);
// The bytes as a path, evaluated from a few nodes of a fixed configuration.
std::string CheckPathQuery(const uint8_t* data, size_t size);
// The bytes as a configuration, turned into a patch plan that is compared
// with one read from the tree by hand.
std::string CheckConfigReader(const uint8_t* data, size_t size);
// The bytes as a save file after its never-read 30055-byte header and, when
// the control byte says so, a journal beside it (SaveHarnessInput). The
// recovery step must change the save only when the journal is complete,
// valid and matches it; then a run patches it with a small fixed plan, and
// the file must end up exactly as predicted, or unchanged when the run
// fails, with no journal left; the undo record a run that changed the file
// leaves must give back the file before it.
std::string CheckSavePatcher(const uint8_t* data, size_t size);
// The input of CheckSavePatcher: the control byte (1: a journal file is
// there; 2: the harness seals the journal's header, magic value, version and
// checksums; 4: it sets the journal's checksum of the save's head; 8: it
// seals it as a journal of the first release, version 1), the save's length
// after the header, the save's bytes after the header, the journal.
std::string SaveHarnessInput(uint8_t control, const std::string& save_after_header,
                             const std::string& journal);

struct XmlNode;

// Every link of a parsed tree: parent, first/last child, sibling links both
// ways, attribute chains with the element as parent, lengths equal to the
// strings' lengths, one text child per element. "" when all hold. Gives up
// past max_nodes nodes, which only a cycle can reach.
std::string CheckXmlTree(XmlNode* document, size_t max_nodes);

struct FuzzHarness {
    const char* name;  // also the folder of its seeds and regression inputs
    FuzzCheck check;
};

extern const FuzzHarness FUZZ_HARNESSES[4];

// The harness of that name, or null.
const FuzzHarness* FindFuzzHarness(const std::string& name);

// Seed inputs for the harness of that name, made by the project's own
// builders (the save builder, the XML writer) and from the configurations
// and paths the tool is documented with. Empty for an unknown name.
std::vector<std::string> FuzzSeeds(const std::string& name);
