// saving.cpp - the SAVING phase: journals the regions it will change, grows
// the save file at the GVARs end marker when the table grew, writes the
// table, the cities block and the copy, and commits; any failure after the
// journal exists puts the save back from it.
#include <algorithm>
#include <array>
#include <vector>

#include "byte_order.h"
#include "dual_log.h"
#include "journal.h"
#include "messages.h"
#include "platform/file.h"
#include "save_patcher.h"

namespace {

// The tail moves from the end backwards in chunks of at most this.
constexpr int64_t TAIL_CHUNK_SIZE = 1 << 20;
// Entries go out through a small buffer rather than a copy of the table.
constexpr size_t ENTRIES_PER_WRITE = 1024;

[[noreturn]] void WriteFailed() { CriticalError(SAVE_WRITE_FAILED); }

void SeekOrFail(FILE* file, long offset, int origin) {
    if (StreamSeek(file, offset, origin) != 0) WriteFailed();
}

int32_t TellOrFail(FILE* file) {
    long position = StreamTell(file);
    if (position < 0 || position > MAX_SAVE_SIZE) WriteFailed();
    return static_cast<int32_t>(position);
}

void WriteOrFail(FILE* file, const uint8_t* bytes, size_t count) {
    if (count != 0 && StreamWrite(bytes, 1, count, file) != count) WriteFailed();
}

// Little-endian on every host, whatever the host's own byte order.
void WriteEntries(FILE* file, const std::vector<int32_t>& gvar_table) {
    std::array<uint8_t, 4 * ENTRIES_PER_WRITE> bytes;
    size_t done = 0;
    while (done < gvar_table.size()) {
        size_t count = std::min(ENTRIES_PER_WRITE, gvar_table.size() - done);
        for (size_t i = 0; i < count; ++i) {
            WriteLittleEndian32(&bytes[4 * i], static_cast<uint32_t>(gvar_table[done + i]));
        }
        WriteOrFail(file, bytes.data(), 4 * count);
        done += count;
    }
}

// Writes the table at 30055, the cities block after it when the table grew
// (otherwise it is in place already) and the copy after the block.
void WriteRegions(FILE* save_file, const TableLocation& location,
                  const std::vector<uint8_t>& cities_block,
                  const std::vector<int32_t>& gvar_table) {
    const uint32_t m = static_cast<uint32_t>(gvar_table.size());
    const uint32_t block_size = location.cities_list_size + 3;
    SeekOrFail(save_file, GVARS_OFFSET, SEEK_SET);
    g_log << "write GVARs to SAVE file ( offset = " << GVARS_OFFSET << ", count = " << m
          << " ) ..." << std::endl;
    WriteEntries(save_file, gvar_table);

    if (m > location.gvars_count) {
        const int32_t position = TellOrFail(save_file);
        g_log << "write cities block to SAVE file( offset = " << position
              << ", size = " << block_size << " ) ..." << std::endl;
        WriteOrFail(save_file, cities_block.data(), cities_block.size());
    } else {
        // Unmoved, the cities block is already in place.
        SeekOrFail(save_file, static_cast<long>(block_size), SEEK_CUR);
    }

    const int32_t position = TellOrFail(save_file);
    g_log << "write copy of GVARs to SAVE file ( offset = " << position << ", count = " << m
          << " ) ..." << std::endl;
    WriteEntries(save_file, gvar_table);
}

// Grows the stream's file by growth bytes and moves everything from position
// to the old end up by growth, from the end backwards. Critical error
// "can't set new size to SAVE file !" when the file cannot grow, and
// "error while writing SAVE file !" when moving the bytes fails. tail, when
// given, holds the tail_length bytes from position to the old end; when the
// file measures the same, they are written from it rather than read again.
void ResizeSaveFile(FILE* save_file, int32_t position, int32_t growth, const uint8_t* tail,
                    int64_t tail_length) {
    int64_t old_size = 0;
    // Offsets are signed 32-bit throughout; a file past that cannot be
    // addressed, so it is not grown.
    if (growth < 0 || !StreamFileSize(save_file, &old_size) ||
        old_size + growth > MAX_SAVE_SIZE || !GrowStreamFile(save_file, old_size, growth)) {
        CriticalError(SAVE_RESIZE_FAILED);
    }
    int64_t remaining = old_size - position;
    if (tail && remaining > 0 && tail_length == remaining) {
        // Written from memory, the tail needs no order and no second read.
        SeekOrFail(save_file, static_cast<long>(position + growth), SEEK_SET);
        WriteOrFail(save_file, tail, static_cast<size_t>(remaining));
        if (StreamFlush(save_file) != 0) WriteFailed();
        return;
    }
    // From the end backwards, so that overlapping ranges move intact.
    std::vector<uint8_t> buffer(static_cast<size_t>(std::clamp<int64_t>(remaining, 1, TAIL_CHUNK_SIZE)));
    int64_t moved = 0;
    while (remaining > 0) {
        const size_t chunk = static_cast<size_t>(std::min(remaining, TAIL_CHUNK_SIZE));
        moved += static_cast<int64_t>(chunk);
        SeekOrFail(save_file, static_cast<long>(-(growth + moved)), SEEK_END);
        if (StreamRead(buffer.data(), 1, chunk, save_file) != chunk) WriteFailed();
        SeekOrFail(save_file, static_cast<long>(-moved), SEEK_END);
        WriteOrFail(save_file, buffer.data(), chunk);
        remaining -= static_cast<int64_t>(chunk);
    }
    if (StreamFlush(save_file) != 0) WriteFailed();
}

}  // namespace

void SavePatcher::check_before_saving(const std::vector<int32_t>& gvar_table) const {
    const uint32_t m = static_cast<uint32_t>(gvar_table.size());
    const uint32_t n = location_.gvars_count;
    if (m <= n) return;
    // Growth inserts at the end marker; if the copy does not end there, the
    // move would tear the file apart.
    const int64_t copy_end = int64_t{location_.cities_block_offset} +
                             location_.cities_list_size + 3 + 4 * int64_t{n};
    if (copy_end != GVARS_END_SEARCH_OFFSET + location_.gvars_end_offset) {
        CriticalError("wrong GVARs end marker offset !");
    }
    if (8 * (int64_t{m} - n) > MAX_SAVE_SIZE) CriticalError(SAVE_RESIZE_FAILED);
}

void SavePatcher::save_gvars(const std::vector<int32_t>& gvar_table,
                             StopSignalGuard& stop_signals) {
    g_log << "flushing buffer to SAVE file ..." << std::endl;
    check_before_saving(gvar_table);
    const uint32_t m = static_cast<uint32_t>(gvar_table.size());
    const uint32_t n = location_.gvars_count;
    const uint32_t block_size = location_.cities_list_size + 3;
    const bool grows = m > n;
    const int32_t insertion = GVARS_END_SEARCH_OFFSET + location_.gvars_end_offset;
    const int64_t growth = grows ? 8 * (int64_t{m} - n) : 0;

    // Nothing of the save changes before its journal is durable.
    SaveJournal journal(save_file_, save_path_, stop_signals, resolved_path_);
    const uint8_t* head = reader_.held(0, static_cast<size_t>(GVARS_OFFSET));
    journal.write(gvar_table, block_size, static_cast<int32_t>(growth), head);
    try {
        if (grows) {
            g_log << "resizing SAVE file on " << static_cast<uint32_t>(growth) << " bytes ..."
                  << std::endl;
            const int64_t tail_length = journal.original_size() - insertion;
            ResizeSaveFile(save_file_, insertion, static_cast<int32_t>(growth),
                             journal.held_bytes(insertion, tail_length), tail_length);
        } else if (journal.final_size() > journal.original_size()) {
            // The copy runs past the end of a damaged file: the file takes
            // its final size in one step, as a growing one does.
            if (journal.final_size() > MAX_SAVE_SIZE ||
                !GrowStreamFile(save_file_, journal.original_size(),
                                static_cast<int32_t>(journal.final_size() - journal.original_size()))) {
                WriteFailed();
            }
        }
        WriteRegions(save_file_, location_, cities_block_, gvar_table);
        journal.commit();
    } catch (...) {
        // The save is put back before the driver reports what went wrong.
        journal.roll_back();
        throw;
    }
}
