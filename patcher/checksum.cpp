// checksum.cpp - the journal's checksum. Its values are stored in journals
// on the disk: a change here makes every journal left behind a mismatch.
#include "checksum.h"

#include <algorithm>
#include <cstring>

#include "byte_order.h"

namespace {

constexpr uint64_t PRIME1 = 0x9e3779b185ebca87u;
constexpr uint64_t PRIME2 = 0xc2b2ae3d27d4eb4fu;
constexpr uint64_t PRIME3 = 0x165667b19e3779f9u;
constexpr uint64_t PRIME4 = 0x85ebca77c2b2ae63u;
constexpr uint64_t PRIME5 = 0x27d4eb2f165667c5u;

uint64_t RotateLeft(uint64_t value, int bits) { return value << bits | value >> (64 - bits); }

uint64_t Round(uint64_t lane, uint64_t word) {
    return RotateLeft(lane + word * PRIME2, 31) * PRIME1;
}

uint64_t MergeLane(uint64_t hash, uint64_t lane) {
    return (hash ^ Round(0, lane)) * PRIME1 + PRIME4;
}

}  // namespace

// Lanes start apart, so equal words in different lanes mix differently.
JournalChecksum::JournalChecksum() : lanes_{PRIME1 + PRIME2, PRIME2, 0, 0 - PRIME1} {}

void JournalChecksum::add_stripe(const uint8_t* stripe) {
    for (int i = 0; i < 4; ++i) lanes_[i] = Round(lanes_[i], ReadLittleEndian64(stripe + 8 * i));
}

void JournalChecksum::add(const uint8_t* bytes, size_t count) {
    total_ += count;
    if (pending_count_ > 0) {
        const size_t taken = std::min(count, sizeof pending_ - pending_count_);
        std::memcpy(pending_ + pending_count_, bytes, taken);
        pending_count_ += taken;
        bytes += taken;
        count -= taken;
        if (pending_count_ < sizeof pending_) return;
        add_stripe(pending_);
        pending_count_ = 0;
    }
    for (; count >= sizeof pending_; bytes += sizeof pending_, count -= sizeof pending_) {
        add_stripe(bytes);
    }
    if (count > 0) std::memcpy(pending_, bytes, count);
    pending_count_ = count;
}

uint64_t JournalChecksum::value() const {
    uint64_t hash;
    if (total_ >= sizeof pending_) {
        hash = RotateLeft(lanes_[0], 1) + RotateLeft(lanes_[1], 7) + RotateLeft(lanes_[2], 12) +
               RotateLeft(lanes_[3], 18);
        for (uint64_t lane : lanes_) hash = MergeLane(hash, lane);
    } else {
        hash = lanes_[2] + PRIME5;
    }
    hash += total_;
    size_t i = 0;
    for (; i + 8 <= pending_count_; i += 8) {
        hash = RotateLeft(hash ^ Round(0, ReadLittleEndian64(pending_ + i)), 27) * PRIME1 + PRIME4;
    }
    if (i + 4 <= pending_count_) {
        hash = RotateLeft(hash ^ ReadLittleEndian32(pending_ + i) * PRIME1, 23) * PRIME2 + PRIME3;
        i += 4;
    }
    for (; i < pending_count_; ++i) hash = RotateLeft(hash ^ pending_[i] * PRIME5, 11) * PRIME1;
    hash = (hash ^ hash >> 33) * PRIME2;
    hash = (hash ^ hash >> 29) * PRIME3;
    return hash ^ hash >> 32;
}
