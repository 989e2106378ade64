// check_save_patcher.cpp - the patcher on arbitrary save bytes with a small
// fixed plan: a run that fails leaves the file as it was, and a run that
// succeeds leaves exactly the file that the located regions predict.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "byte_order.h"
#include "checks.h"
#include "dual_log.h"
#include "save_patcher.h"
#include "savebuilder.h"

namespace {

// The patcher never reads the first 30055 bytes, so the input starts after
// a fixed header and every byte of it reaches the code.
constexpr size_t HEADER_SIZE = static_cast<size_t>(GVARS_OFFSET);

// An add past the usual table (growth with a zero gap), a change inside it
// and a change out of range.
constexpr int32_t ADD_INDEX = 701;
constexpr int32_t ADD_VALUE = 0x11223344;
constexpr int32_t CHANGE_INDEX = 2;
constexpr int32_t CHANGE_VALUE = -7;
constexpr int32_t FAR_INDEX = 1 << 20;
constexpr int32_t FAR_VALUE = 5;

const std::string& Header() {
    static const std::string header = BuildSave(DefaultSaveParams()).substr(0, HEADER_SIZE);
    return header;
}

PatchPlan FixedPlan() {
    PatchPlan plan;
    plan.append(GvarRequest{ADD_VALUE, ADD_INDEX, GvarAction::Add});
    plan.append(GvarRequest{CHANGE_VALUE, CHANGE_INDEX, GvarAction::Change});
    plan.append(GvarRequest{FAR_VALUE, FAR_INDEX, GvarAction::Change});
    return plan;
}

// A file holding the bytes, positioned at its start. Growth needs a real
// descriptor beneath the stream: on Linux one in-memory file is reused, so
// executions stay fast; elsewhere a temporary file per run.
#ifdef __linux__
FILE* OpenScratch(const std::string& bytes) {
    static FILE* file = [] {
        const int descriptor = memfd_create("gvtool-fuzz-save", 0);
        return descriptor < 0 ? nullptr : fdopen(descriptor, "w+b");
    }();
    if (!file) return nullptr;
    fflush(file);
    clearerr(file);
    if (ftruncate(fileno(file), 0) != 0) return nullptr;
    rewind(file);
    if (fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || fflush(file) != 0) {
        return nullptr;
    }
    rewind(file);
    return file;
}
void CloseScratch(FILE*) {}
#else
FILE* OpenScratch(const std::string& bytes) {
    FILE* file = tmpfile();
    if (!file) return nullptr;
    if (fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || fflush(file) != 0) {
        fclose(file);
        return nullptr;
    }
    rewind(file);
    return file;
}
void CloseScratch(FILE* file) { fclose(file); }
#endif

std::string ReadBack(FILE* file) {
    std::string bytes;
    fflush(file);
    clearerr(file);
    rewind(file);
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
    return bytes;
}

uint32_t LittleEndianAt(const std::string& bytes, size_t offset) {
    return ReadLittleEndian32(reinterpret_cast<const uint8_t*>(bytes.data() + offset));
}

std::string TableBytes(const std::vector<int32_t>& table) {
    std::string bytes;
    for (int32_t entry : table) bytes += LittleEndianBytes(static_cast<uint32_t>(entry));
    return bytes;
}

void Overlay(std::string& file, size_t at, const std::string& bytes) {
    if (file.size() < at + bytes.size()) file.resize(at + bytes.size(), '\0');
    file.replace(at, bytes.size(), bytes);
}

// The file a successful run must leave, from the regions the patcher
// located; "" with a description in *problem when the regions are not
// where the file says.
std::string Predicted(const std::string& before, const SavePatcher& patcher, std::string* problem) {
    const size_t n = patcher.gvars_count;
    const size_t block_offset = static_cast<size_t>(patcher.cities_block_offset);
    const size_t d = patcher.cities_list_size;
    const size_t marker = static_cast<size_t>(GVARS_END_SEARCH_OFFSET) +
                          static_cast<size_t>(patcher.gvars_end_offset);
    if (patcher.cities_block_offset < GVARS_OFFSET || block_offset != HEADER_SIZE + 4 * n ||
        d < 8 || block_offset + d > before.size() ||
        LittleEndianAt(before, block_offset + d - 4) != CITIES_LIST_END_MARKER) {
        *problem = "the located table and cities list do not match the file";
        return "";
    }
    if (patcher.gvars_end_offset < 0 || marker + 4 > before.size() ||
        LittleEndianAt(before, marker) != GVARS_END_MARKER) {
        *problem = "the located GVARs end marker is not in the file";
        return "";
    }
    std::vector<int32_t> table(n);
    for (size_t i = 0; i < n; ++i) {
        table[i] = static_cast<int32_t>(LittleEndianAt(before, HEADER_SIZE + 4 * i));
    }
    if (static_cast<uint32_t>(ADD_INDEX) >= table.size()) {
        table.resize(static_cast<size_t>(ADD_INDEX) + 1, 0);
        table[ADD_INDEX] = ADD_VALUE;
    }
    if (static_cast<uint32_t>(CHANGE_INDEX) < table.size()) table[CHANGE_INDEX] = CHANGE_VALUE;
    if (static_cast<uint32_t>(FAR_INDEX) < table.size()) table[FAR_INDEX] = FAR_VALUE;
    const size_t m = table.size();

    std::string after = before;
    if (m > n) after.insert(marker, 8 * (m - n), '\0');  // overwritten below
    const std::string entries = TableBytes(table);
    Overlay(after, HEADER_SIZE, entries);
    size_t position = HEADER_SIZE + 4 * m;
    if (m > n) {
        std::string block = before.substr(block_offset, d + 3);
        block.resize(d + 3, '\0');  // bytes past the end read as 0
        Overlay(after, position, block);
    }
    position += d + 3;
    Overlay(after, position, entries);
    return after;
}

}  // namespace

std::string CheckSavePatcher(const uint8_t* data, size_t size) {
    const std::string before = Header() + std::string(reinterpret_cast<const char*>(data), size);
    FILE* file = OpenScratch(before);
    if (!file) return "";  // no scratch file: nothing to check
    const DualLog saved = g_log;
    g_log.console = nullptr;
    g_log.file = nullptr;
    std::string problem;
    bool completed = false;
    SavePatcher patcher(file, "");
    try {
        PatchPlan plan = FixedPlan();
        patcher.run(plan);
        completed = true;
    } catch (const std::exception&) {
        // Reported by the driver; the file is what is checked here.
    } catch (...) {
        problem = "the run ended with an exception of no standard type";
    }
    g_log = saved;
    const std::string after = ReadBack(file);
    CloseScratch(file);
    if (!problem.empty()) return problem;
    if (!completed) return after == before ? "" : "a failed run changed the file";
    const std::string predicted = Predicted(before, patcher, &problem);
    if (!problem.empty()) return problem;
    if (after != predicted) {
        size_t at = 0;
        while (at < after.size() && at < predicted.size() && after[at] == predicted[at]) ++at;
        return "the patched file differs from the prediction at offset " + std::to_string(at) +
               " (size " + std::to_string(after.size()) + ", predicted " +
               std::to_string(predicted.size()) + ")";
    }
    return "";
}
