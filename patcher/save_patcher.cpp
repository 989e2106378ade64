// save_patcher.cpp - the patch run: sort the plan, locate the table, read
// it, and hand it to the adding, changing and saving phases.
#include "save_patcher.h"

#include <algorithm>
#include <array>
#include <utility>

#include "byte_order.h"
#include "dual_log.h"
#include "messages.h"

namespace {

constexpr size_t ENTRIES_PER_READ = 1024;

// Reads entries from the stream's position into the table from index done
// on; entries are little-endian on every host. Returns how many whole
// entries the table then has.
uint32_t ReadEntries(FILE* file, std::vector<int32_t>& gvar_table, size_t done) {
    std::array<uint8_t, 4 * ENTRIES_PER_READ> bytes;
    while (done < gvar_table.size()) {
        const size_t wanted = std::min(ENTRIES_PER_READ, gvar_table.size() - done);
        const size_t got = fread(bytes.data(), 4, wanted, file);
        for (size_t i = 0; i < got; ++i) {
            gvar_table[done + i] = static_cast<int32_t>(ReadLittleEndian32(&bytes[4 * i]));
        }
        done += got;
        if (got < wanted) break;  // a short table: the rest stays 0
    }
    return static_cast<uint32_t>(done);
}

}  // namespace

SavePatcher::SavePatcher(FILE* file, std::string path)
    : save_file(file), save_path(std::move(path)) {}

std::vector<int32_t> SavePatcher::read_gvar_table(uint32_t* entries_read) {
    g_log << "\ncalculating ofssets and GVARs count...\n" << SEPARATOR_LINE;
    calculate_offsets();

    g_log << SEPARATOR_LINE << "\nread GVARs ( " << gvars_count << " )";
    std::vector<int32_t> gvar_table(gvars_count, 0);
    uint32_t read = read_near_entries(gvar_table);
    if (read < gvar_table.size() && !near_ends_file) {
        (void)fseek(save_file, GVARS_OFFSET + 4 * static_cast<long>(read), SEEK_SET);
        read = ReadEntries(save_file, gvar_table, read);
    }
    g_log << "\nreaded " << 4 * read << " bytes, " << read << " GVARs\n" << SEPARATOR_LINE << "\n";
    if (entries_read) *entries_read = read;
    return gvar_table;
}

void SavePatcher::run(PatchPlan& plan, StopSignalGuard& stop_signals) {
    SortPatchPlan(plan);
    std::vector<int32_t> gvar_table = read_gvar_table();

    g_log << "ADDING\n" << SEPARATOR_LINE;
    add_gvars(plan, gvar_table);
    g_log << SEPARATOR_LINE << "\n" << "CHANGING\n" << SEPARATOR_LINE;
    set_gvars(plan.change_list, gvar_table);
    g_log << SEPARATOR_LINE << "\n" << "SAVING\n" << SEPARATOR_LINE;
    save_gvars(gvar_table, stop_signals);
    g_log << SEPARATOR_LINE;
}
