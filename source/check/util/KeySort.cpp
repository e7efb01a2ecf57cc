#include "util/KeySort.h"

#include <algorithm>

namespace {

constexpr unsigned BUCKET_BITS = 10;
constexpr std::size_t BUCKETS = std::size_t{1} << BUCKET_BITS;
// Below this, the buckets' own bookkeeping costs more than it spares.
constexpr std::size_t FEW = 4096;

std::size_t bucketOf(std::uint64_t key) {
    return static_cast<std::size_t>(key >> (64 - BUCKET_BITS));
}

}  // namespace

void sortSpreadKeys(std::vector<std::uint64_t>& keys) {
    if (keys.size() < FEW) {
        std::sort(keys.begin(), keys.end());
        return;
    }
    // Where each bucket begins, and how far it is filled.
    std::vector<std::size_t> begin(BUCKETS + 1, 0);
    for (const std::uint64_t key : keys) {
        ++begin[bucketOf(key) + 1];
    }
    for (std::size_t b = 0; b < BUCKETS; ++b) {
        begin[b + 1] += begin[b];
    }
    std::vector<std::size_t> filled(begin.begin(), begin.end() - 1);
    // Each key goes straight to its bucket, the one it displaces on in turn.
    for (std::size_t b = 0; b < BUCKETS; ++b) {
        while (filled[b] < begin[b + 1]) {
            std::uint64_t key = keys[filled[b]];
            for (std::size_t to = bucketOf(key); to != b; to = bucketOf(key)) {
                std::swap(key, keys[filled[to]++]);
            }
            keys[filled[b]++] = key;
        }
    }
    for (std::size_t b = 0; b < BUCKETS; ++b) {
        std::sort(keys.begin() + static_cast<std::ptrdiff_t>(begin[b]),
                  keys.begin() + static_cast<std::ptrdiff_t>(begin[b + 1]));
    }
}
