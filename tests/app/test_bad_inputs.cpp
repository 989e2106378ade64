// Bad saves and bad configurations through the real binary: whenever a run
// stops before the SAVING phase, the save file is byte-identical afterwards.
#include <gtest/gtest.h>

#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "byte_order.h"
#include "files.h"
#include "report_lines.h"
#include "savebuilder.h"
#include "tool_runner.h"

namespace {

// Requests that change the file whenever a run gets to write it.
const char GOOD_CONFIG[] =
    "<save_patcher><gvars>\n"
    "  <gvar action=\"add\" index=\"700\" value=\"1\"/>\n"
    "  <gvar action=\"change\" index=\"3\" value=\"4\"/>\n"
    "</gvars></save_patcher>\n";

SaveParams BaseParams() { return DefaultSaveParams(21, 3000); }

// Runs the tool on the save and configuration; returns whether the run
// stopped before SAVING, after checking that it then left the save as it
// was and did not report success.
bool StoppedBeforeSavingUntouched(const std::string& save, const std::string& config,
                                  const std::string& label) {
    TempDir dir;
    WriteFileBytes(dir / "SAVE.DAT", save);
    WriteFileBytes(dir / "config.xml", config);
    const ToolRun run = RunTool(dir.path(), {"config.xml", "SAVE.DAT"});
    EXPECT_EQ(run.log, run.out) << label;
    if (run.out.find("\nSAVING\n") != std::string::npos) {
        // Growth refused at a misplaced end marker writes nothing either.
        const std::string misplaced = Caught("wrong GVARs end marker offset !");
        if (run.out.size() > misplaced.size() &&
            run.out.compare(run.out.size() - misplaced.size(), misplaced.size(), misplaced) == 0) {
            EXPECT_TRUE(ReadFileBytes(dir / "SAVE.DAT") == save) << label << " changed the save";
        }
        return false;
    }
    EXPECT_EQ(run.out.find("PATCHING COMPLETE!"), std::string::npos) << label;
    const bool caught = run.out.find("\ncatch ! \n\t") != std::string::npos;
    const bool refused = run.out.find("error while loading config file !\n\t") != std::string::npos;
    EXPECT_TRUE(caught || refused) << label << "\n" << run.out;
    EXPECT_TRUE(ReadFileBytes(dir / "SAVE.DAT") == save) << label << " changed the save";
    return true;
}

// Runs every save with the good configuration; at least `stopped` of them
// must stop before SAVING.
void ExpectSavesUntouched(const std::vector<std::pair<std::string, std::string>>& saves,
                          size_t stopped) {
    size_t count = 0;
    for (const auto& [label, save] : saves) {
        if (StoppedBeforeSavingUntouched(save, GOOD_CONFIG, label)) ++count;
    }
    std::cout << "[ untouched] " << count << " of " << saves.size()
              << " runs stopped before SAVING\n";
    EXPECT_GE(count, stopped);
}

std::string Marker(uint32_t value) { return LittleEndianBytes(value); }

TEST(BadSaves, TruncatedAtManyLengths) {
    const std::string save = BuildSave(BaseParams());
    const SaveLayout layout = DescribeSave(BaseParams());
    std::vector<std::pair<std::string, std::string>> saves;
    for (size_t length : {0u, 1u, 30054u, 30055u, 32839u, 35623u}) {
        saves.push_back({"cut at " + std::to_string(length), save.substr(0, length)});
    }
    // Every 61 bytes through the table, the cities block, the copy and the
    // marker: all of these lose the end marker.
    for (size_t length = 30100; length < static_cast<size_t>(layout.end_marker_offset) + 4;
         length += 61) {
        saves.push_back({"cut at " + std::to_string(length), save.substr(0, length)});
    }
    ExpectSavesUntouched(saves, saves.size());
}

TEST(BadSaves, MarkersRemovedOrMoved) {
    const SaveParams params = BaseParams();
    const SaveLayout layout = DescribeSave(params);
    const std::string save = BuildSave(params);
    const size_t end_marker = static_cast<size_t>(layout.end_marker_offset);
    const size_t cities_marker = static_cast<size_t>(layout.cities_block_offset) +
                                 layout.cities_list_size - 4;
    std::vector<std::pair<std::string, std::string>> saves;
    for (size_t i = 0; i < 4; ++i) {
        std::string bytes = save;
        bytes[end_marker + i] ^= 0x20;
        saves.push_back({"end marker byte " + std::to_string(i) + " changed", bytes});
        bytes = save;
        bytes[cities_marker + i] ^= 0x20;
        saves.push_back({"cities marker byte " + std::to_string(i) + " changed", bytes});
    }
    // The cities marker moved back: a few bytes make a shorter last name and
    // a copy that no longer ends at the end marker, which the growth refuses
    // in SAVING; far back, the list cannot be read at all.
    for (size_t shift : {1u, 2u, 3u, 5u, 100u, 700u}) {
        std::string bytes = save;
        bytes.replace(cities_marker, 4, "QQQQ");
        bytes.replace(cities_marker - shift, 4, Marker(0x5641));
        saves.push_back({"cities marker moved back " + std::to_string(shift), bytes});
    }
    // The end marker only before the search start, or nowhere.
    std::string bytes = save;
    bytes.replace(end_marker, 4, "QQQQ");
    saves.push_back({"end marker gone", bytes});
    bytes.replace(35620, 4, Marker(0x50460000));
    saves.push_back({"end marker before the search start", bytes});
    ExpectSavesUntouched(saves, saves.size() - 4);
}

TEST(BadSaves, CountFieldsWrong) {
    std::vector<std::pair<std::string, std::string>> saves;
    const uint32_t names = static_cast<uint32_t>(BaseParams().city_names.size());
    for (uint32_t count : {0u, 1u, names - 1, names + 1, 48u, 49u, 50u, 0x0100000Cu, 0xFFFFFFFFu}) {
        SaveParams params = BaseParams();
        params.city_count = count;
        saves.push_back({"count field " + std::to_string(count), BuildSave(params)});
    }
    // A list that starts two bytes off the table's grid.
    SaveParams params = BaseParams();
    params.city_names = CityNamesForListSize(CitiesListSize(params.city_names) + 2);
    std::string bytes = BuildSave(params);
    bytes.insert(static_cast<size_t>(DescribeSave(params).cities_block_offset), 2, '\x01');
    saves.push_back({"list off the grid", bytes});
    ExpectSavesUntouched(saves, saves.size() - 1);  // one count may match by chance
}

TEST(BadConfigurations, MalformedXml) {
    const std::string save = BuildSave(BaseParams());
    const char* const configs[] = {
        "",
        "<save_patcher>",
        "<save_patcher><gvars><gvar action=\"add\" index=7 value=\"1\"/></gvars></save_patcher>",
        "<save_patcher><gvars><gvar action=\"add\" index=\"7\" value=\"1\"/></gvar></save_patcher>",
        "<save_patcher><gvars><gvar action=\"add\" index=\"7\" value=\"1\"></gvars></save_patcher>",
        "<save_patcher><gvars><gvar action=\"add\" index=\"7\" value=\"1/></gvars></save_patcher>",
        "<save_patcher><gvars><gvar action \"add\"/></gvars></save_patcher>",
        "<save_patcher><gvars><gvar action=\"add\"/x></gvars></save_patcher>",
        "<save_patcher></>",
        "<save_patcher><!-- never closed </save_patcher>",
        "<?xml version=\"1.0\" standalone=\"maybe\"?><save_patcher/>",
        "<?xml version=\"1.0\"",
        "<!DOCTYPE cfg",
        "> stray",
        "<a/x>",
        "<save_patcher>\r\n<gvars>\r\n<gvar action='add' index='7' value='1'/>\r\n</gvars>\r\n",
        "\x01\x02\xff\xfe binary junk <<<>>>",
        "<save_patcher><gvars><gvar action='add' index='7' value='1'/></gvars></SAVE_PATCHER>",
    };
    size_t count = 0;
    for (const char* config : configs) {
        EXPECT_TRUE(StoppedBeforeSavingUntouched(save, config, config)) << config;
        ++count;
    }
    // Nested far beyond what the parser accepts.
    std::string deep;
    for (int i = 0; i < 20000; ++i) deep += "<gvars>";
    EXPECT_TRUE(StoppedBeforeSavingUntouched(save, deep, "20000 levels"));
    std::cout << "[ untouched] " << count + 1 << " malformed configurations\n";
}

TEST(BadConfigurations, AddIndicesTheTableCannotHold) {
    const std::string save = BuildSave(BaseParams());
    for (const char* index : {"-1", "-5", "1073741823", "1073741824", "2147483647", "4294967295"}) {
        const std::string config = std::string("<save_patcher><gvars>") +
                                   "<gvar action=\"change\" index=\"3\" value=\"4\"/>" +
                                   "<gvar action=\"add\" index=\"" + index + "\" value=\"1\"/>" +
                                   "</gvars></save_patcher>";
        EXPECT_TRUE(StoppedBeforeSavingUntouched(save, config, index)) << index;
    }
}

}  // namespace
