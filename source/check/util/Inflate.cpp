#include "util/Inflate.h"

#include <array>
#include <cstdint>

namespace {

constexpr int MAX_BITS = 15;
constexpr int MAX_LENGTHS = 286;  // literal and length codes
constexpr int MAX_DISTANCES = 30;

struct Damaged {};

// Canonical Huffman codes: how many of each length, symbols in code order.
struct Huffman {
    std::array<short, MAX_BITS + 1> count{};
    std::array<short, 288> symbol{};
};

// Fills `h` from the code lengths; 0 when complete, above 0 when
// incomplete, below 0 when over-subscribed.
int build(Huffman& h, const short* length, int n) {
    h.count.fill(0);
    for (int s = 0; s < n; ++s) {
        ++h.count[static_cast<std::size_t>(length[s])];
    }
    if (h.count[0] == n) {
        return 0;
    }
    int left = 1;
    for (int len = 1; len <= MAX_BITS; ++len) {
        left = left * 2 - h.count[static_cast<std::size_t>(len)];
        if (left < 0) {
            return left;
        }
    }
    std::array<short, MAX_BITS + 1> offset{};
    for (int len = 1; len < MAX_BITS; ++len) {
        offset[static_cast<std::size_t>(len + 1)] = static_cast<short>(
            offset[static_cast<std::size_t>(len)] + h.count[static_cast<std::size_t>(len)]);
    }
    for (int s = 0; s < n; ++s) {
        if (length[s] != 0) {
            h.symbol[static_cast<std::size_t>(offset[static_cast<std::size_t>(length[s])]++)] =
                static_cast<short>(s);
        }
    }
    return left;
}

class Inflater {
public:
    Inflater(const std::string& in, std::size_t limit, std::string& out)
        : in(in), limit(limit), out(out) {}

    void run() {
        bool last = false;
        while (!last) {
            last = bits(1) == 1;
            const unsigned type = bits(2);
            if (type == 0) {
                stored();
            } else if (type == 1) {
                fixed();
            } else if (type == 2) {
                dynamic();
            } else {
                throw Damaged();
            }
        }
    }

private:
    unsigned bits(int need) {
        std::uint32_t value = buffer;
        while (count < need) {
            if (at == in.size()) {
                throw Damaged();
            }
            value |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[at++])) << count;
            count += 8;
        }
        buffer = value >> need;
        count -= need;
        return value & ((1u << need) - 1);
    }

    void emit(char c) {
        if (out.size() >= limit) {
            throw Damaged();
        }
        out += c;
    }

    void stored() {
        buffer = 0;
        count = 0;
        if (in.size() - at < 4) {
            throw Damaged();
        }
        const auto byte = [this](std::size_t i) {
            return static_cast<unsigned>(static_cast<unsigned char>(in[at + i]));
        };
        const unsigned length = byte(0) | byte(1) << 8;
        if ((byte(2) | byte(3) << 8) != (~length & 0xffff) || in.size() - at - 4 < length) {
            throw Damaged();
        }
        at += 4;
        for (unsigned i = 0; i < length; ++i) {
            emit(in[at++]);
        }
    }

    int decode(const Huffman& h) {
        int code = 0;
        int first = 0;
        int index = 0;
        for (int len = 1; len <= MAX_BITS; ++len) {
            code |= static_cast<int>(bits(1));
            const int n = h.count[static_cast<std::size_t>(len)];
            if (code - n < first) {
                return h.symbol[static_cast<std::size_t>(index + code - first)];
            }
            index += n;
            first = (first + n) << 1;
            code <<= 1;
        }
        throw Damaged();
    }

    void codes(const Huffman& lengths, const Huffman& distances) {
        static const short BASE[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                       15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                       67, 83, 99, 115, 131, 163, 195, 227, 258};
        static const short EXTRA[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                        2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        static const short DIST_BASE[30] = {
            1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
            193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
        static const short DIST_EXTRA[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                             6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
        for (int symbol = decode(lengths); symbol != 256; symbol = decode(lengths)) {
            if (symbol < 256) {
                emit(static_cast<char>(symbol));
                continue;
            }
            symbol -= 257;
            if (symbol >= 29) {
                throw Damaged();
            }
            const unsigned length = static_cast<unsigned>(BASE[symbol]) + bits(EXTRA[symbol]);
            const int d = decode(distances);
            if (d >= MAX_DISTANCES) {
                throw Damaged();
            }
            const std::size_t distance =
                static_cast<std::size_t>(DIST_BASE[d]) + bits(DIST_EXTRA[d]);
            if (distance > out.size()) {
                throw Damaged();
            }
            for (unsigned i = 0; i < length; ++i) {
                emit(out[out.size() - distance]);
            }
        }
    }

    void fixed() {
        short length[288];
        for (int s = 0; s < 288; ++s) {
            length[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        }
        Huffman lengths;
        build(lengths, length, 288);
        for (int s = 0; s < MAX_DISTANCES; ++s) {
            length[s] = 5;
        }
        Huffman distances;
        build(distances, length, MAX_DISTANCES);
        codes(lengths, distances);
    }

    void dynamic() {
        static const short ORDER[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                        11, 4,  12, 3, 13, 2, 14, 1, 15};
        const int nlen = static_cast<int>(bits(5)) + 257;
        const int ndist = static_cast<int>(bits(5)) + 1;
        const int ncode = static_cast<int>(bits(4)) + 4;
        if (nlen > MAX_LENGTHS || ndist > MAX_DISTANCES) {
            throw Damaged();
        }
        short length[MAX_LENGTHS + MAX_DISTANCES] = {};
        for (int i = 0; i < ncode; ++i) {
            length[ORDER[i]] = static_cast<short>(bits(3));
        }
        Huffman lengths;
        if (build(lengths, length, 19) != 0) {
            throw Damaged();
        }
        for (int i = 0; i < nlen + ndist;) {
            const int symbol = decode(lengths);
            if (symbol < 16) {
                length[i++] = static_cast<short>(symbol);
                continue;
            }
            if (symbol == 16 && i == 0) {
                throw Damaged();
            }
            const short repeated = symbol == 16 ? length[i - 1] : 0;
            const int times = symbol == 16   ? 3 + static_cast<int>(bits(2))
                              : symbol == 17 ? 3 + static_cast<int>(bits(3))
                                             : 11 + static_cast<int>(bits(7));
            if (i + times > nlen + ndist) {
                throw Damaged();
            }
            for (int k = 0; k < times; ++k) {
                length[i++] = repeated;
            }
        }
        Huffman distances;
        const int lengthsLeft = build(lengths, length, nlen);
        const int distancesLeft = build(distances, length + nlen, ndist);
        // Only a code of a single symbol may be incomplete.
        if (length[256] == 0 || lengthsLeft < 0 ||
            (lengthsLeft > 0 && nlen - lengths.count[0] != 1) || distancesLeft < 0 ||
            (distancesLeft > 0 && ndist - distances.count[0] != 1)) {
            throw Damaged();
        }
        codes(lengths, distances);
    }

    const std::string& in;
    std::size_t limit;
    std::string& out;
    std::size_t at = 0;
    std::uint32_t buffer = 0;
    int count = 0;
};

}  // namespace

bool inflateRaw(const std::string& deflated, std::size_t limit, std::string& out) {
    out.clear();
    try {
        Inflater(deflated, limit, out).run();
    } catch (const Damaged&) {
        return false;
    }
    return true;
}
