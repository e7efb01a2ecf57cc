// Tests of eight bytes at once, for lines that may be as long as the file.
// Each marks the high bit of a byte that fits it, and never marks one when
// no byte of the word fits.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace ByteWords {

constexpr std::size_t SIZE = sizeof(std::uint64_t);
constexpr std::uint64_t ONES = 0x0101010101010101u;
constexpr std::uint64_t HIGH = 0x8080808080808080u;

// The eight bytes of `bytes` from `pos`, which must all be there.
inline std::uint64_t at(std::string_view bytes, std::size_t pos) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes.data() + pos, SIZE);
    return word;
}

inline std::uint64_t hasZero(std::uint64_t word) {
    return (word - ONES) & ~word & HIGH;
}

inline std::uint64_t hasByte(std::uint64_t word, unsigned char byte) {
    return hasZero(word ^ (byte * ONES));
}

// Any byte below `bound`, which is at most 0x80.
inline std::uint64_t hasBelow(std::uint64_t word, unsigned char bound) {
    return (word - bound * ONES) & ~word & HIGH;
}

}  // namespace ByteWords
