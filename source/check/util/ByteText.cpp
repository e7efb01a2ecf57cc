#include "util/ByteText.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "util/ByteWords.h"

namespace ByteText {

namespace {

// Length of the well-formed UTF-8 sequence at `pos` (1 to 4), or 0.
std::size_t sequenceAt(std::string_view s, std::size_t pos, std::uint32_t& codePoint) {
    const auto byte = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (pos + length > s.size() || byte(pos + 1) < low || byte(pos + 1) > high) {
        return 0;
    }
    codePoint = lead & (0xFFu >> (length + 1));
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) {
            return 0;
        }
        codePoint = (codePoint << 6) | (byte(pos + i) & 0x3Fu);
    }
    return length;
}

// Characters that print as nothing, or as a blank, or change the layout.
bool invisible(std::uint32_t c) {
    return (c >= 0x80 && c <= 0xA0) || c == 0xAD || c == 0x034F || c == 0x061C ||
           (c >= 0x115F && c <= 0x1160) || c == 0x1680 || c == 0x180E ||
           (c >= 0x2000 && c <= 0x200F) || (c >= 0x2028 && c <= 0x202F) ||
           (c >= 0x205F && c <= 0x206F) || c == 0x3000 || c == 0x3164 || c == 0xFEFF ||
           (c >= 0xFFF0 && c <= 0xFFFB);
}

void appendFormatted(std::string& out, const char* format, unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    out += text;
}

}  // namespace

namespace {

// Printable ASCII that stands for itself in quoted text.
bool plainAscii(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u < 0x7F && c != '\\' && c != '"';
}

using ByteWords::hasBelow;
using ByteWords::hasByte;
using ByteWords::HIGH;

// Whether any of eight bytes is not plain: at or above 0x7F, below 0x20, a
// quote or a backslash.
bool anyNotPlain(std::uint64_t word) {
    return ((word & HIGH) | hasBelow(word, 0x20) | hasByte(word, 0x7F) | hasByte(word, '"') |
            hasByte(word, '\\')) != 0;
}

// Where the run from `pos` ends at the first byte `stops`: eight bytes at
// a time while `wordStops` finds none of them in a word, then one by one.
template <typename WordStops, typename Stops>
std::size_t runEnd(std::string_view bytes, std::size_t pos, WordStops wordStops, Stops stops) {
    while (pos + 8 <= bytes.size() && !wordStops(ByteWords::at(bytes, pos))) {
        pos += 8;
    }
    while (pos < bytes.size() && !stops(bytes[pos])) {
        ++pos;
    }
    return pos;
}

// Eight at a time first: an explanation spells out every line twice.
std::size_t plainRunEnd(std::string_view bytes, std::size_t pos) {
    return runEnd(
        bytes, pos, [](std::uint64_t word) { return anyNotPlain(word); },
        [](char c) { return !plainAscii(c); });
}

}  // namespace

bool isVisible(std::string_view bytes) {
    return plainRunEnd(bytes, 0) == bytes.size();
}

bool isValidUtf8(std::string_view bytes) {
    std::uint32_t ignored = 0;
    for (std::size_t pos = 0; pos < bytes.size();) {
        // ASCII, nearly every byte of an ini file, eight at a time.
        if (pos + 8 <= bytes.size() && (ByteWords::at(bytes, pos) & HIGH) == 0) {
            pos += 8;
            continue;
        }
        const std::size_t length = sequenceAt(bytes, pos, ignored);
        if (length == 0) {
            return false;
        }
        pos += length;
    }
    return true;
}

std::size_t jsonPlainEnd(std::string_view bytes, std::size_t pos) {
    return runEnd(
        bytes, pos,
        [](std::uint64_t word) {
            return (hasBelow(word, 0x20) | hasByte(word, '"') | hasByte(word, '\\')) != 0;
        },
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '"' || c == '\\'; });
}

std::string visible(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    appendVisible(out, bytes);
    return out;
}

void appendVisible(std::string& out, std::string_view bytes) {
    for (std::size_t pos = 0; pos < bytes.size();) {
        // Runs of plain ASCII, nearly every byte of an ini file, go in whole.
        const std::size_t plain = plainRunEnd(bytes, pos);
        if (plain > pos) {
            out.append(bytes, pos, plain - pos);
            pos = plain;
            continue;
        }
        std::uint32_t c = 0;
        const std::size_t length = sequenceAt(bytes, pos, c);
        if (length == 0) {
            appendFormatted(out, "\\x%02x", static_cast<unsigned char>(bytes[pos]));
            ++pos;
            continue;
        }
        if (length > 1) {
            if (invisible(c)) {
                appendFormatted(out, "\\u{%04X}", c);
            } else {
                out.append(bytes, pos, length);
            }
            pos += length;
            continue;
        }
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\v':
                out += "\\v";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    appendFormatted(out, "\\x%02x", c);
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++pos;
    }
}

std::string hex(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        out += digits[u >> 4];
        out += digits[u & 0x0F];
    }
    return out;
}

}  // namespace ByteText
