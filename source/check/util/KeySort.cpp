#include "util/KeySort.h"

#include <algorithm>
#include <array>

namespace {

constexpr unsigned MOST_BITS = 10;
constexpr std::size_t MOST_BUCKETS = std::size_t{1} << MOST_BITS;
// Below this, the buckets' own bookkeeping costs more than it spares.
constexpr std::size_t FEW = 64;
// Keys a bucket is meant to get on average, which sets how many there are.
constexpr std::size_t A_BUCKET = 16;

// Sorts `count` keys from `first` on, which agree in their top `used` bits.
void sortBits(std::uint64_t* first, std::size_t count, unsigned used) {
    if (count < FEW || used >= 64) {
        std::sort(first, first + count);
        return;
    }
    unsigned bits = 1;
    while (bits < MOST_BITS && (count >> (bits + 1)) >= A_BUCKET) {
        ++bits;
    }
    bits = std::min(bits, 64 - used);
    const unsigned shift = 64 - used - bits;
    const std::uint64_t mask = (std::uint64_t{1} << bits) - 1;
    const std::size_t buckets = std::size_t{1} << bits;
    const auto bucketOf = [shift, mask](std::uint64_t key) {
        return static_cast<std::size_t>((key >> shift) & mask);
    };
    // Where each bucket begins, and how far it is filled.
    std::array<std::size_t, MOST_BUCKETS + 1> begin{};
    for (std::size_t i = 0; i < count; ++i) {
        ++begin[bucketOf(first[i]) + 1];
    }
    for (std::size_t b = 0; b < buckets; ++b) {
        begin[b + 1] += begin[b];
    }
    std::array<std::size_t, MOST_BUCKETS> filled{};
    std::copy(begin.begin(), begin.begin() + static_cast<std::ptrdiff_t>(buckets), filled.begin());
    // Each key goes straight to its bucket, the one it displaces on in turn.
    for (std::size_t b = 0; b < buckets; ++b) {
        while (filled[b] < begin[b + 1]) {
            std::uint64_t key = first[filled[b]];
            for (std::size_t to = bucketOf(key); to != b; to = bucketOf(key)) {
                std::swap(key, first[filled[to]++]);
            }
            first[filled[b]++] = key;
        }
    }
    for (std::size_t b = 0; b < buckets; ++b) {
        sortBits(first + begin[b], begin[b + 1] - begin[b], used + bits);
    }
}

}  // namespace

void sortSpreadKeys(std::vector<std::uint64_t>& keys) {
    sortBits(keys.data(), keys.size(), 0);
}
