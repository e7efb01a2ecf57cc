#include "facts/IniText.h"

#include <cstdio>
#include <memory>

namespace IniText {

namespace {

constexpr Encoding FORM_ORDER[] = {Encoding::Utf32LE, Encoding::Utf32BE, Encoding::Utf16LE,
                                   Encoding::Utf16BE};

std::size_t unitSize(Encoding encoding) {
    return encoding == Encoding::Utf32LE || encoding == Encoding::Utf32BE ? 4 : 2;
}

bool littleEndian(Encoding encoding) {
    return encoding == Encoding::Utf16LE || encoding == Encoding::Utf32LE;
}

bool isAsciiUnit(unsigned long unit) {
    return unit != 0 && unit < 0x80;
}

unsigned long unitAt(std::string_view bytes, std::size_t at, Encoding encoding) {
    const std::size_t size = unitSize(encoding);
    unsigned long unit = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t byte = littleEndian(encoding) ? at + size - 1 - i : at + i;
        unit = unit << 8 | static_cast<unsigned char>(bytes[byte]);
    }
    return unit;
}

void appendUtf8(std::string& out, unsigned long code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

void Detector::feed(const char* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size && !decided(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (total < 4) {
            head[total] = byte;
        }
        for (int f = 0; f < FORMS; ++f) {
            if (!alive[f]) {
                continue;
            }
            const Encoding form = FORM_ORDER[f];
            const std::size_t width = unitSize(form);
            const std::size_t place = total % width;
            partial[f] |= static_cast<unsigned long>(byte)
                          << (8 * (littleEndian(form) ? place : width - 1 - place));
            if (place + 1 < width) {
                continue;
            }
            const unsigned long unit = partial[f];
            partial[f] = 0;
            if (unit == 0 || (units[f] == 0 && !isAsciiUnit(unit))) {
                alive[f] = false;
            }
            ++units[f];
            ascii[f] += isAsciiUnit(unit) ? 1 : 0;
        }
        ++total;
    }
}

bool Detector::decided() const {
    // A byte-order mark decides at once; the forms without one need the
    // whole file while any of them is still possible.
    if (total >= 4 && head[0] == 0xFF && head[1] == 0xFE && head[2] == 0 && head[3] == 0) {
        return false;  // UTF-32 or UTF-16, told by the file's length
    }
    if (total >= 2 &&
        ((head[0] == 0xFF && head[1] == 0xFE) || (head[0] == 0xFE && head[1] == 0xFF))) {
        return total >= 4;
    }
    if (total >= 4 && head[0] == 0 && head[1] == 0 && head[2] == 0xFE && head[3] == 0xFF) {
        return true;
    }
    for (const bool possible : alive) {
        if (possible) {
            return false;
        }
    }
    return true;
}

TextForm Detector::result() const {
    const auto starts = [this](std::initializer_list<unsigned char> mark) {
        std::size_t i = 0;
        for (const unsigned char byte : mark) {
            if (i >= total || head[i] != byte) {
                return false;
            }
            ++i;
        }
        return true;
    };
    // UTF-32's little-endian mark begins with UTF-16's, so it is tried first.
    if (starts({0xFF, 0xFE, 0, 0}) && total % 4 == 0) {
        return {Encoding::Utf32LE, 4};
    }
    if (starts({0, 0, 0xFE, 0xFF})) {
        return {Encoding::Utf32BE, 4};
    }
    if (starts({0xFF, 0xFE})) {
        return {Encoding::Utf16LE, 2};
    }
    if (starts({0xFE, 0xFF})) {
        return {Encoding::Utf16BE, 2};
    }
    for (int f = 0; f < FORMS; ++f) {
        if (alive[f] && units[f] > 0 && total % unitSize(FORM_ORDER[f]) == 0 &&
            ascii[f] * 2 > units[f]) {
            return {FORM_ORDER[f], 0};
        }
    }
    return {};
}

TextForm detect(std::string_view bytes) {
    Detector detector;
    detector.feed(bytes.data(), bytes.size());
    return detector.result();
}

TextForm detectFile(const std::string& path) {
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    const std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "re"));
    Detector detector;
    if (!file) {
        return {};
    }
    char buffer[16384];
    std::size_t size = 0;
    while (!detector.decided() && (size = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        detector.feed(buffer, size);
    }
    return detector.result();
}

const char* encodingName(Encoding encoding) {
    switch (encoding) {
        case Encoding::Bytes:
            break;
        case Encoding::Utf16LE:
            return "UTF-16 (little-endian)";
        case Encoding::Utf16BE:
            return "UTF-16 (big-endian)";
        case Encoding::Utf32LE:
            return "UTF-32 (little-endian)";
        case Encoding::Utf32BE:
            return "UTF-32 (big-endian)";
    }
    return "bytes";
}

std::string toUtf8(std::string_view bytes, const TextForm& form, std::string& out) {
    const std::size_t size = unitSize(form.encoding);
    const std::string name = size == 2 ? "UTF-16" : "UTF-32";
    if ((bytes.size() - form.markSize) % size != 0) {
        return "not converted from " + name + ": the file ends inside a character";
    }
    for (std::size_t at = form.markSize; at < bytes.size(); at += size) {
        unsigned long code = unitAt(bytes, at, form.encoding);
        const std::string where = " at byte " + std::to_string(at);
        if (size == 2 && code >= 0xD800 && code <= 0xDBFF) {
            const unsigned long low =
                at + 2 < bytes.size() ? unitAt(bytes, at + 2, form.encoding) : 0;
            if (low < 0xDC00 || low > 0xDFFF) {
                return "not converted from " + name + ": an unpaired surrogate" + where;
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            at += 2;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            return "not converted from " + name + ": an unpaired surrogate" + where;
        } else if (code == 0) {
            // Its UTF-8 form, a NUL byte, would read as a wide file again.
            return "not converted from " + name + ": a NUL character" + where;
        } else if (code > 0x10FFFF) {
            return "not converted from " + name + ": no character has the number" + where;
        }
        appendUtf8(out, code);
    }
    return std::string();
}

}  // namespace IniText
