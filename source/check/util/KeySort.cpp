#include "util/KeySort.h"

#include <algorithm>
#include <vector>

namespace {

constexpr unsigned MOST_BITS = 10;
// Below this, the buckets' own bookkeeping costs more than it spares.
constexpr std::size_t FEW = 64;
// Keys a bucket is meant to get on average, which sets how many there are.
constexpr std::size_t A_BUCKET = 16;

// Sorts `count` keys from `first` on, which agree in their top `used` bits.
// A frame holds little, its bookkeeping on the heap, and keys that all fall
// into one bucket go on to the next bits here: repeated keys share most of
// their bits, and the sort may run on a thread whose stack is small.
void sortBits(std::uint64_t* first, std::size_t count, unsigned used) {
    while (count >= FEW && used < 64) {
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
        std::vector<std::size_t> begin(buckets + 1, 0);
        for (std::size_t i = 0; i < count; ++i) {
            ++begin[bucketOf(first[i]) + 1];
        }
        used += bits;
        const std::size_t one = bucketOf(first[0]);
        if (begin[one + 1] == count) {
            continue;
        }
        for (std::size_t b = 0; b < buckets; ++b) {
            begin[b + 1] += begin[b];
        }
        std::vector<std::size_t> filled(begin.begin(), begin.end() - 1);
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
            sortBits(first + begin[b], begin[b + 1] - begin[b], used);
        }
        return;
    }
    std::sort(first, first + count);
}

}  // namespace

void sortSpreadKeys(std::vector<std::uint64_t>& keys) {
    sortBits(keys.data(), keys.size(), 0);
}
