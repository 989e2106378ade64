// save_reader.h - the save's bytes as the location and read steps see them:
// the file's first 96 KiB, read in one call and held, and the stream beyond.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

class SaveReader {
public:
    // The table, the cities block and both markers of a usual save lie
    // within this many bytes from the file's start: read in one call,
    // block-aligned, and searched in memory.
    static constexpr size_t WINDOW_SIZE = 96 * 1024;

    // Reads the open stream, which it never closes. A smaller window lets a
    // test reach the stream with a small file.
    explicit SaveReader(FILE* file, size_t window_size = WINDOW_SIZE);

    // Reads the window from the file's start. A read error leaves nothing
    // held: the stream meets the error again, where it is reported.
    void hold_window();

    // The distance from start of the first marker lying wholly inside the
    // file: searched in the window, then on in the stream in chunks of 256
    // bytes. The last three bytes of each piece are searched again with the
    // next, so a marker straddling a chunk's or the window's end is seen.
    // Nothing when there is none, or when its distance is beyond a signed
    // 32-bit value. Critical error "error while calculating GVARs count !"
    // (LocationFailure::SearchReadFailed) on a read error.
    std::optional<int32_t> find_marker(int64_t start, uint32_t marker);

    // Copies count bytes at offset (at least 0) into bytes, from the window
    // and then from the stream; those past the end of the file stay as they
    // are. Returns how many it copied; failed() tells a read error.
    size_t read(int64_t offset, size_t count, uint8_t* bytes);

    // True when a read of the stream failed, rather than ended.
    bool failed() const { return ferror(file_) != 0; }

    // The window's bytes from offset on when it holds all count of them,
    // null otherwise.
    const uint8_t* held(int64_t offset, size_t count) const;

private:
    // Reads count bytes at offset from the stream; seeks only when the
    // stream is not there already.
    size_t read_stream(int64_t offset, uint8_t* bytes, size_t count);

    FILE* file_;
    size_t window_size_;
    std::vector<uint8_t> window_;
    bool window_ends_file_ = false;  // the window holds the whole file
    int64_t stream_at_ = -1;         // the stream's position; -1: not known
};
