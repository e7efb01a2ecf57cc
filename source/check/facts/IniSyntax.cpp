#include "facts/IniSyntax.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "launcher/Options.h"
#include "util/ByteWords.h"

namespace IniSyntax {

const std::string NO_BREAK_SPACE = "\xC2\xA0";

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerAscii(x) == lowerAscii(y);
           });
}

bool hasControlByte(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u < 0x20 && c != '\t' && c != '\r' && c != '\0') || u == 0x7F;
    });
}

namespace {

// A byte below 0x20 is one whose top three bits are zero; DEL and 0xC2
// are matched as zero bytes once XORed away. One branch for the three.
bool unusualWord(std::uint64_t word) {
    using namespace ByteWords;
    return (hasZero(word & (ONES * 0xE0)) | hasByte(word, 0x7F) | hasByte(word, 0xC2)) != 0;
}

bool unusual(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F || u == 0xC2;
}

}  // namespace

bool hasUnusualByte(std::string_view text) {
    // Eight bytes a step, a line may be as long as the file.
    constexpr std::size_t WORD = ByteWords::SIZE;
    if (text.size() < WORD) {
        return std::any_of(text.begin(), text.end(), unusual);
    }
    std::size_t at = 0;
    for (; at + WORD <= text.size(); at += WORD) {
        if (unusualWord(ByteWords::at(text, at))) {
            return true;
        }
    }
    // The last bytes as a word that overlaps the one before: looking at a
    // byte twice changes nothing.
    return at != text.size() && unusualWord(ByteWords::at(text, text.size() - WORD));
}

KeyLine keyLineOf(std::string_view trimmed) {
    KeyLine parts;
    const std::string_view::size_type equals = trimmed.find('=');
    parts.hasEquals = equals != std::string_view::npos;
    parts.key = trimmed.substr(0, equals);
    if (parts.hasEquals) {
        parts.value = trimmed.substr(equals + 1);
    }
    parts.looseKey = parts.key;
    while (!parts.looseKey.empty() && isBlank(parts.looseKey.back())) {
        parts.looseKey.remove_suffix(1);
    }
    parts.valueText = parts.value;
    while (!parts.valueText.empty() && isBlank(parts.valueText.front())) {
        parts.valueText.remove_prefix(1);
    }
    for (const std::string* known : {&Options::Lanucher, &Options::WebApp, &Options::InitScript,
                                     &Options::ProgramFile, &Options::ConfigFile}) {
        if (equalsIgnoringCase(parts.looseKey, *known)) {
            parts.known = known;
        }
    }
    return parts;
}

std::string KeyLine::meant() const {
    return known == nullptr ? std::string() : *known + '=' + std::string(valueText);
}

bool isPathKey(std::string_view key) {
    return key == Options::InitScript || key == Options::ProgramFile || key == Options::ConfigFile;
}

bool isKnownKey(std::string_view key) {
    return key == Options::Lanucher || key == Options::WebApp || isPathKey(key);
}

}  // namespace IniSyntax
