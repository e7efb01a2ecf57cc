#include "facts/IniSyntax.h"

#include <algorithm>

#include "launcher/Options.h"

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

bool hasUnusualByte(std::string_view text) {
    const auto unusual = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F || u == 0xC2;
    };
    // Whole blocks without a branch per byte: a line may be as long as the file.
    constexpr std::size_t BLOCK = 16;
    std::size_t at = 0;
    for (; at + BLOCK <= text.size(); at += BLOCK) {
        bool found = false;
        for (std::size_t i = 0; i < BLOCK; ++i) {
            found |= unusual(text[at + i]);
        }
        if (found) {
            return true;
        }
    }
    return std::any_of(text.begin() + at, text.end(), unusual);
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
