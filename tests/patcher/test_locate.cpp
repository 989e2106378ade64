// Locating the table: the marker searches, the backward scan of the cities
// list, the derived sizes and every failure of that step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "dual_log.h"
#include "files.h"
#include "patch_harness.h"
#include "platform/signals.h"
#include "save_patcher.h"
#include "save_reader.h"
#include "savebuilder.h"

namespace {

const std::string LOCATING = std::string("\ncalculating ofssets and GVARs count...\n") + SEPARATOR;

SaveParams ParamsWithNames(std::vector<std::string> names, uint32_t gvars = 700) {
    SaveParams params = DefaultSaveParams(7, 64);
    params.gvars = GenerateGvars(gvars, 7);
    params.city_names = std::move(names);
    return params;
}

// Runs an empty plan on the bytes; a failure must come from location, with
// nothing after its message and the file unchanged.
void ExpectLocationFailure(const std::string& bytes, const std::string& message) {
    TempDir dir;
    WriteFileBytes(dir / "SAVE.DAT", bytes);
    PatchOutcome out = PatchSaveFile(dir / "SAVE.DAT", PatchPlan());
    EXPECT_EQ(out.log, LOCATING + Critical(message));
    EXPECT_EQ(out.error, message);
    EXPECT_EQ(ReadFileBytes(dir / "SAVE.DAT"), bytes);
}

// Runs an empty plan and returns the location lines, "" on failure.
std::string LocationLines(const SaveParams& params) {
    TempDir dir;
    WriteFileBytes(dir / "SAVE.DAT", BuildSave(params));
    PatchOutcome out = PatchSaveFile(dir / "SAVE.DAT", PatchPlan());
    if (!out.error.empty()) return "";
    return out.log.substr(LOCATING.size(), out.log.find(SEPARATOR, LOCATING.size()) - LOCATING.size());
}

std::string SizeLines(const SaveParams& params) {
    const uint32_t s = 4 * static_cast<uint32_t>(params.gvars.size());
    return "cities_list_size == " + std::to_string(CitiesListSize(params.city_names)) +
           "\nsize == " + std::to_string(s) + ", " + std::to_string(s / 4) + ", 0\n";
}

TEST(Location, ListTwoBytesOffTheTableGridStops) {
    SaveParams params = ParamsWithNames(CityNamesForListSize(300), 698);
    std::string bytes = BuildSave(params);
    bytes.insert(static_cast<size_t>(DescribeSave(params).cities_block_offset), 2, '\x01');
    TempDir dir;
    WriteFileBytes(dir / "SAVE.DAT", bytes);
    PatchOutcome out = PatchSaveFile(dir / "SAVE.DAT", PatchPlan());
    EXPECT_EQ(out.log, LOCATING + "cities_list_size == 300\nsize == 2794, 698, 2\n" +
                           Critical("wrong GVARs list size calculated !"));
    EXPECT_EQ(ReadFileBytes(dir / "SAVE.DAT"), bytes);
}

TEST(Location, ListOf302BytesGives698Entries) {
    SaveParams params = ParamsWithNames(CityNamesForListSize(302), 698);
    EXPECT_EQ(DescribeSave(params).cities_marker_distance, 306);
    TempDir dir;
    WriteFileBytes(dir / "SAVE.DAT", BuildSave(params));
    PatchOutcome out = PatchSaveFile(dir / "SAVE.DAT", PatchPlan());
    EXPECT_EQ(out.error, "");
    EXPECT_EQ(out.log.substr(0, out.log.find("\nADDING")),
              LOCATING + "cities_list_size == 302\nsize == 2792, 698, 0\n" + SEPARATOR +
                  "\nread GVARs ( 698 )\nreaded 2792 bytes, 698 GVARs\n" + SEPARATOR);
}

TEST(LocationFailure, GvarsEndMarkerMissing) {
    const std::string good = BuildSave(DefaultSaveParams());
    ExpectLocationFailure(good.substr(0, 35623), "can't find GVARs end marker !");
    SaveParams params = DefaultSaveParams(1, 0);
    params.end_marker = false;
    std::string bytes = BuildSave(params);
    ExpectLocationFailure(bytes, "can't find GVARs end marker !");
    // Markers that begin before the search start do not count.
    bytes.replace(35400, 4, std::string("\x00\x00\x46\x50", 4));
    bytes.replace(35620, 4, std::string("\x00\x00\x46\x50", 4));
    ExpectLocationFailure(bytes, "can't find GVARs end marker !");
}

TEST(LocationFailure, CitiesMarkerMissing) {
    SaveParams params = ParamsWithNames({"VARNHOLLOW", "QUELLMARSH"});
    params.tail.clear();
    ExpectLocationFailure(BuildSave(params), "can't find cities list end marker !");
}

TEST(LocationFailure, CountFieldDifferentFromNames) {
    for (uint32_t count : {11u, 13u, 0u}) {
        SaveParams params = ParamsWithNames(DefaultCityNames());
        params.city_count = count;
        ExpectLocationFailure(BuildSave(params), "can't get cities list size !");
    }
}

TEST(LocationFailure, ReadErrorWhileSearching) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows cannot open a folder as a stream, which is how this test "
                    "gets reads that fail";
#endif
    TempDir dir;
    std::filesystem::create_directory(dir / "SAVE.DAT");
    PatchOutcome out = PatchSaveFile(dir / "SAVE.DAT", PatchPlan(), {"rb", {}});
    EXPECT_EQ(out.log, LOCATING + Critical("error while calculating GVARs count !"));
}

#ifdef __GLIBC__

// A save in memory behind a stream whose reads fail from the fail_from-th
// on (0: none); writes are counted and dropped.
struct FailingSave {
    std::string bytes;
    int64_t position = 0;
    int reads = 0;
    int fail_from = 0;
    int writes = 0;

    static ssize_t Read(void* cookie, char* into, size_t size) {
        FailingSave& save = *static_cast<FailingSave*>(cookie);
        if (++save.reads >= save.fail_from && save.fail_from > 0) {
            errno = EIO;
            return -1;
        }
        const size_t at = static_cast<size_t>(std::min<int64_t>(save.position, save.bytes.size()));
        const size_t count = std::min(size, save.bytes.size() - at);
        save.bytes.copy(into, count, at);
        save.position += static_cast<int64_t>(count);
        return static_cast<ssize_t>(count);
    }
    static ssize_t Write(void* cookie, const char*, size_t size) {
        ++static_cast<FailingSave*>(cookie)->writes;
        return static_cast<ssize_t>(size);
    }
    static int Seek(void* cookie, off64_t* offset, int whence) {
        FailingSave& save = *static_cast<FailingSave*>(cookie);
        const int64_t base = whence == SEEK_SET ? 0
                             : whence == SEEK_CUR ? save.position
                                                  : static_cast<int64_t>(save.bytes.size());
        save.position = base + *offset;
        *offset = save.position;
        return 0;
    }

    PatchOutcome Run(const PatchPlan& plan) {
        PatchOutcome outcome;
        std::ostringstream log;
        const DualLog saved = g_log;
        g_log.console = &log;
        g_log.file = nullptr;
        FILE* stream = fopencookie(this, "r+", {Read, Write, Seek, nullptr});
        try {
            StopSignalGuard stop_signals;
            PatchPlan copy = plan;
            SavePatcher(stream, "").run(copy, stop_signals);
        } catch (const std::exception& error) {
            outcome.error = error.what();
        }
        fclose(stream);
        g_log = saved;
        outcome.log = log.str();
        return outcome;
    }
};

// A read error after the searches (the last read of a table that reaches
// past the first 96 KiB) stops the run before SAVING: what it kept from
// the table would be written back as zeros.
TEST(LocationFailure, ReadErrorInTheTableStopsBeforeSaving) {
    FailingSave save;
    save.bytes = BuildSave(ParamsWithNames(DefaultCityNames(), 20000));
    const PatchPlan plan = MakePlan({Change(5, 9)});
    save.Run(plan);  // counts the reads; no file beneath, so SAVING fails
    ASSERT_GT(save.reads, 0);
    save.fail_from = save.reads;
    save.reads = 0;
    PatchOutcome out = save.Run(plan);
    const std::string read_step = SEPARATOR + std::string("\nread GVARs ( 20000 )\nreaded ");
    const size_t at = out.log.find(read_step);
    ASSERT_NE(at, std::string::npos) << out.log;
    const std::string after = out.log.substr(out.log.find('\n', at + read_step.size()) + 1);
    EXPECT_EQ(after, SEPARATOR + std::string("\n") +
                         Critical("error while calculating GVARs count !"));
    EXPECT_EQ(out.error, "error while calculating GVARs count !");
    EXPECT_EQ(save.writes, 0);
}

#endif

TEST(CitiesList, FirstNameMustBeFiveToTwelveBytes) {
    const std::string letters = "BRENNIKOVASTLX";
    for (size_t length : {4u, 5u, 12u, 13u}) {
        std::vector<std::string> names = DefaultCityNames();
        names[0] = letters.substr(0, length);
        SaveParams params = ParamsWithNames(names);
        const bool accepted = length >= 5 && length <= 12;
        if (accepted) {
            EXPECT_EQ(LocationLines(params), SizeLines(params)) << length;
        } else {
            ExpectLocationFailure(BuildSave(params), "can't get cities list size !");
        }
    }
}

TEST(CitiesList, FortyNineNamesAcceptedFiftyRefused) {
    SaveParams params = ParamsWithNames(InventCityNames(49));
    EXPECT_EQ(LocationLines(params), SizeLines(params));
    params = ParamsWithNames(InventCityNames(50));
    ExpectLocationFailure(BuildSave(params), "can't get cities list size !");
}

TEST(CitiesList, TwoZeroBytesCountAsAnEmptyName) {
    SaveParams params = ParamsWithNames({"VARNHOLLOW", "", "QUELLMARSH", "ZELMIRAV"});
    EXPECT_EQ(LocationLines(params), SizeLines(params));
    params.city_count = 3;
    ExpectLocationFailure(BuildSave(params), "can't get cities list size !");
}

// The search on small files of 0x01 bytes with markers placed in them. A
// window of 0 bytes searches the stream alone, in chunks of 256 bytes.
class MarkerSearch : public ::testing::Test {
protected:
    std::optional<int32_t> Find(std::string bytes, long start, uint32_t marker,
                                size_t window = 0) {
        WriteFileBytes(dir_ / "f", bytes);
        FILE* file = fopen((dir_ / "f").string().c_str(), "rb");
        SaveReader reader(file, window);
        reader.hold_window();
        std::optional<int32_t> found = reader.find_marker(start, marker);
        fclose(file);
        return found;
    }
    static std::string With(std::string bytes, size_t at, const char* marker) {
        return bytes.replace(at, 4, std::string(marker, 4));
    }
    TempDir dir_;
    const std::string ones_ = std::string(700, '\x01');
    const char* end_ = "\x00\x00\x46\x50";
};

TEST_F(MarkerSearch, FindsMarkersAtChunkEdgesAndAtTheStart) {
    for (size_t at : {0u, 1u, 252u, 253u, 254u, 255u, 256u, 509u, 510u, 511u, 696u}) {
        EXPECT_EQ(Find(With(ones_, at, end_), 0, GVARS_END_MARKER), static_cast<int32_t>(at));
    }
    EXPECT_EQ(Find(With(ones_, 300, end_), 300, GVARS_END_MARKER), 0);
    EXPECT_EQ(Find(With(ones_, 300, end_), 45, GVARS_END_MARKER), 255);
    EXPECT_EQ(Find(With(With(ones_, 300, end_), 254, end_), 0, GVARS_END_MARKER), 254);
}

// One rule for the window's end and the chunks' ends: whatever the window
// holds, a marker ending at, straddling or starting past its end is found
// at the same distance, and one that begins before the start is not.
TEST_F(MarkerSearch, TheWindowsEndIsOneMoreChunkEdge) {
    for (size_t window : {1u, 3u, 4u, 100u, 300u, 301u, 302u, 303u, 304u, 556u, 700u, 4096u}) {
        for (size_t at : {0u, 296u, 297u, 298u, 299u, 300u, 301u, 553u, 696u}) {
            EXPECT_EQ(Find(With(ones_, at, end_), 0, GVARS_END_MARKER, window),
                      static_cast<int32_t>(at))
                << window << " " << at;
            EXPECT_EQ(Find(With(ones_, at, end_), 45, GVARS_END_MARKER, window),
                      at >= 45 ? std::optional<int32_t>(static_cast<int32_t>(at - 45))
                               : std::nullopt)
                << window << " " << at;
        }
        EXPECT_EQ(Find(ones_ + std::string("AV\0", 3), 0, CITIES_LIST_END_MARKER, window),
                  std::nullopt)
            << window;
        EXPECT_EQ(Find(ones_, 0, GVARS_END_MARKER, window), std::nullopt) << window;
    }
}

// Reads join the window and the stream at any point; bytes past the end of
// the file stay as they were.
TEST(SaveReader, ReadsJoinTheWindowAndTheStream) {
    TempDir dir;
    const std::string bytes = GenerateBytes(1000, 3);
    WriteFileBytes(dir / "f", bytes);
    for (size_t window : {0u, 1u, 500u, 999u, 1000u, 2000u}) {
        FILE* file = fopen((dir / "f").string().c_str(), "rb");
        SaveReader reader(file, window);
        reader.hold_window();
        for (size_t offset : {0u, 499u, 500u, 996u, 1000u, 1200u}) {
            std::string got(300, '\x7f');
            uint8_t* into = reinterpret_cast<uint8_t*>(&got[0]);
            const size_t count = reader.read(static_cast<int64_t>(offset), got.size(), into);
            const std::string expected = bytes.substr(std::min(offset, bytes.size()), 300);
            EXPECT_EQ(count, expected.size()) << window << " " << offset;
            EXPECT_EQ(got, expected + std::string(300 - expected.size(), '\x7f'))
                << window << " " << offset;
        }
        EXPECT_FALSE(reader.failed());
        const bool held = window >= 100;
        EXPECT_EQ(reader.held(0, 100) != nullptr, held) << window;
        fclose(file);
    }
}

TEST_F(MarkerSearch, NotFoundIsNotDistanceZero) {
    EXPECT_EQ(Find(ones_, 0, GVARS_END_MARKER), std::nullopt);
    EXPECT_EQ(Find(With(ones_, 100, end_), 101, GVARS_END_MARKER), std::nullopt);
    EXPECT_EQ(Find("", 0, GVARS_END_MARKER), std::nullopt);
}

TEST_F(MarkerSearch, PaddingPastTheEndNeverCompletesAMarker) {
    EXPECT_EQ(Find(std::string(254, '\x01') + "AV", 0, CITIES_LIST_END_MARKER), std::nullopt);
    EXPECT_EQ(Find(std::string(256, '\x01') + "AV", 0, CITIES_LIST_END_MARKER), std::nullopt);
    EXPECT_EQ(Find(ones_ + std::string("AV\0", 3), 0, CITIES_LIST_END_MARKER), std::nullopt);
    EXPECT_EQ(Find(ones_ + std::string("AV\0\0", 4), 0, CITIES_LIST_END_MARKER), 700);
}

// In a whole save, a marker straddling two chunks or at the search start is
// found where it is: growth then lands exactly at it. The first 96 KiB are
// searched in memory: a marker ending at, straddling or lying past that
// edge, and a table reaching past it, are found and read as well.
TEST(Location, EndMarkerAtChunkEdgesAndAtSearchStartInASave) {
    struct Case { uint32_t gvars; uint32_t list_size; int64_t g; };
    for (Case c : {Case{700, 218, 253}, Case{700, 219, 254}, Case{700, 220, 255},
                   Case{659, 293, 0}, Case{8500, 242, 62677}, Case{8500, 243, 62678},
                   Case{8500, 244, 62679}, Case{8500, 245, 62680}, Case{8500, 246, 62681},
                   Case{20000, 250, 154685}}) {
        SaveParams params = ParamsWithNames(CityNamesForListSize(c.list_size), c.gvars);
        ASSERT_EQ(DescribeSave(params).gvars_end_offset, c.g);
        TempDir dir;
        WriteFileBytes(dir / "SAVE.DAT", BuildSave(params));
        PatchOutcome out = PatchSaveFile(dir / "SAVE.DAT", MakePlan({Add(c.gvars, 77)}));
        EXPECT_EQ(out.error, "") << c.g;
        params.gvars.push_back(77);
        EXPECT_EQ(ReadFileBytes(dir / "SAVE.DAT"), BuildSave(params)) << c.g;
    }
}

}  // namespace
