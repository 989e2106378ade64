// checksum.h - the journal's checksum, over its header, its payload and the
// save's first 30055 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// A 64-bit checksum of bytes given in pieces: four lanes of multiply-and-
// rotate rounds over 8-byte words, then a mix of the lanes, the length and
// the last bytes. Fast enough to cover a large tail at copying speed, and
// any split of the same bytes gives one value.
class JournalChecksum {
public:
    JournalChecksum();
    void add(const uint8_t* bytes, size_t count);
    uint64_t value() const;

private:
    void add_stripe(const uint8_t* stripe);

    uint64_t lanes_[4];
    uint8_t pending_[32] = {};
    size_t pending_count_ = 0;
    uint64_t total_ = 0;
};
