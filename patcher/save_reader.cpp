// save_reader.cpp - one reader in front of the held window and the stream,
// with the one marker search of the location step.
#include "save_reader.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <limits>

#include "byte_order.h"
#include "save_patcher.h"

namespace {

constexpr size_t MARKER_CHUNK_SIZE = 256;
// A marker is four bytes: the last three of a piece may start one that the
// next piece ends.
constexpr size_t CARRIED_BYTES = 3;
constexpr int64_t MAX_DISTANCE = std::numeric_limits<int32_t>::max();

// The offset of the first marker lying wholly inside the bytes.
std::optional<size_t> FirstMarker(const uint8_t* bytes, size_t count, uint32_t marker) {
    for (size_t i = 0; i + 4 <= count; ++i) {
        if (ReadLittleEndian32(bytes + i) == marker) return i;
    }
    return std::nullopt;
}

}  // namespace

SaveReader::SaveReader(FILE* file, size_t window_size) : file_(file), window_size_(window_size) {}

void SaveReader::hold_window() {
    window_.resize(window_size_);
    stream_at_ = -1;
    const size_t got = read_stream(0, window_.data(), window_.size());
    window_.resize(got);
    window_ends_file_ = got < window_size_;
    if (ferror(file_)) {
        clearerr(file_);
        window_.clear();
        window_ends_file_ = false;
    }
}

std::optional<int32_t> SaveReader::find_marker(int64_t start, uint32_t marker) {
    assert(start >= 0);
    uint8_t buffer[CARRIED_BYTES + MARKER_CHUNK_SIZE];
    size_t carried = 0;
    int64_t next = start;  // the first byte not searched yet
    const int64_t held = static_cast<int64_t>(window_.size());
    if (start < held) {
        const uint8_t* bytes = window_.data() + start;
        const size_t count = static_cast<size_t>(held - start);
        if (std::optional<size_t> i = FirstMarker(bytes, count, marker)) {
            return static_cast<int32_t>(*i);  // the window is smaller than MAX_DISTANCE
        }
        carried = std::min(CARRIED_BYTES, count);
        std::memcpy(buffer, bytes + count - carried, carried);
        next = held;
    }
    if (window_ends_file_) return std::nullopt;
    for (;;) {
        const size_t got = read_stream(next, buffer + carried, MARKER_CHUNK_SIZE);
        if (ferror(file_)) ReportLocationFailure(LocationFailure::SearchReadFailed);
        const size_t valid = carried + got;
        const int64_t base = next - static_cast<int64_t>(carried) - start;  // buffer[0]'s distance
        if (std::optional<size_t> i = FirstMarker(buffer, valid, marker)) {
            const int64_t distance = base + static_cast<int64_t>(*i);
            if (distance > MAX_DISTANCE) return std::nullopt;
            return static_cast<int32_t>(distance);
        }
        if (got < MARKER_CHUNK_SIZE) return std::nullopt;  // end of file
        next += static_cast<int64_t>(got);
        carried = std::min(CARRIED_BYTES, valid);
        std::memmove(buffer, buffer + valid - carried, carried);
        if (next - static_cast<int64_t>(carried) - start > MAX_DISTANCE) return std::nullopt;
    }
}

size_t SaveReader::read(int64_t offset, size_t count, uint8_t* bytes) {
    assert(offset >= 0);
    const int64_t held = static_cast<int64_t>(window_.size());
    size_t got = 0;
    if (offset < held) {
        got = std::min(count, static_cast<size_t>(held - offset));
        std::memcpy(bytes, window_.data() + offset, got);
    }
    if (got == count || window_ends_file_) return got;
    return got + read_stream(offset + static_cast<int64_t>(got), bytes + got, count - got);
}

const uint8_t* SaveReader::held(int64_t offset, size_t count) const {
    if (offset < 0 || offset + static_cast<int64_t>(count) > static_cast<int64_t>(window_.size())) {
        return nullptr;
    }
    return window_.data() + offset;
}

size_t SaveReader::read_stream(int64_t offset, uint8_t* bytes, size_t count) {
    // Seek results are not checked while locating: a failed seek shows up
    // as a marker or a list that is not found.
    const bool placed =
        offset == stream_at_ || fseek(file_, static_cast<long>(offset), SEEK_SET) == 0;
    const size_t got = fread(bytes, 1, count, file_);
    stream_at_ = placed && got == count && !ferror(file_) ? offset + static_cast<int64_t>(got) : -1;
    return got;
}
