#include "rules/LaunchRules.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "rules/RuleText.h"
#include "util/KeySort.h"

namespace {

std::string argumentName(const LaunchVector& argv, std::size_t argument) {
    const std::size_t line = argv.lineOf(argument);
    return "argument " + std::to_string(argument) +
           (line != 0 ? " (line " + std::to_string(line) + ")" : std::string());
}

// Sorted pairs of a key's hash and the element's index rather than a map of
// copies: a huge VM section costs eight bytes an element here, sorted in
// place, not another copy of every property. The hash is the high half, so
// plain integer order sorts by hash and, within one, by the file's order.
using Property = std::uint64_t;

std::uint32_t hashOf(Property property) {
    return static_cast<std::uint32_t>(property >> 32);
}

std::uint32_t indexOf(Property property) {
    return static_cast<std::uint32_t>(property);
}

const std::string& element(const LaunchVector& argv, std::uint32_t index) {
    return argv.rest[index + 2];
}

std::string_view keyOf(const LaunchVector& argv, std::uint32_t index) {
    const std::string& text = element(argv, index);
    return std::string_view(text.data(), std::min(text.find('='), text.size()));
}

// The ini file's system properties, sorted by their key's hash and, within
// one hash, in the file's order.
std::vector<Property> propertiesOf(const LaunchVector& argv) {
    std::vector<Property> properties;
    for (std::uint32_t i = 0; i < argv.iniLines.size(); ++i) {
        if (element(argv, i).compare(0, 2, "-D") == 0) {
            std::uint32_t hash = 2166136261u;  // FNV-1a
            for (const char c : keyOf(argv, i)) {
                hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
            }
            properties.push_back(std::uint64_t{hash} << 32 | i);
        }
    }
    sortSpreadKeys(properties);
    return properties;
}

}  // namespace

void duplicateWarnings(const LaunchVector& argv, Collector& add) {
    const std::vector<Property> properties = propertiesOf(argv);
    // Keys that only share the hash are told apart by comparing them, and
    // each repetition is compared with the first line that set its property.
    std::vector<std::pair<std::uint32_t, std::string>> found;
    for (std::size_t group = 0; group < properties.size();) {
        std::size_t end = group + 1;
        while (end < properties.size() && hashOf(properties[end]) == hashOf(properties[group])) {
            ++end;
        }
        for (std::size_t i = group + 1; i < end; ++i) {
            const std::uint32_t again = indexOf(properties[i]);
            std::size_t first = group;
            while (keyOf(argv, indexOf(properties[first])) != keyOf(argv, again)) {
                ++first;
            }
            const std::string base = element(argv, indexOf(properties[first])).c_str();
            if (first == i || base == element(argv, again).c_str()) {
                continue;
            }
            found.emplace_back(argv.iniLines[again],
                               quoted(keyOf(argv, again)) +
                                   " set again with a different value (line " +
                                   std::to_string(argv.iniLines[indexOf(properties[first])]) +
                                   " gives " + quoted(base) + "): the executable gets both");
        }
        group = end;
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& warning : found) {
        add(warning.first, KindId::DuplicateProperty, warning.second);
    }
}

void sizeWarnings(const Facts& facts, const LaunchVector& argv, Collector& add) {
    std::size_t largest = 0;
    std::size_t largestSize = 0;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::size_t size = std::strlen((i == 0 ? argv.command : argv.rest[i - 1]).c_str());
        if (size > largestSize) {
            largest = i;
            largestSize = size;
        }
        if (size + 1 > ARGUMENT_LIMIT) {
            add(argv.lineOf(i), KindId::ArgumentTooLong,
                argumentName(argv, i) + " is " + std::to_string(size) +
                    " bytes long, more than the kernel takes: the child reports " + LAUNCH_FAILED,
                std::string(),
                "the kernel takes at most " + std::to_string(ARGUMENT_LIMIT - 1) +
                    " bytes for one argument (execv fails with E2BIG)\nshorten the argument "
                    "below " +
                    std::to_string(ARGUMENT_LIMIT) + " bytes");
        }
    }
    const std::size_t total = facts.argumentBytes + facts.environmentBytes;
    if (facts.argumentLimit != 0 && total > facts.argumentLimit) {
        add(0, KindId::ArgumentsTooLong,
            "the arguments and the environment take " + std::to_string(total) + " bytes, " +
                std::to_string(total - facts.argumentLimit) +
                " more than the kernel takes: the child reports " + LAUNCH_FAILED,
            std::string(),
            "the arguments take " + std::to_string(facts.argumentBytes) +
                " bytes and the environment " + std::to_string(facts.environmentBytes) +
                " (strings with their NULs, the executable's path once more, and the kernel's "
                "pointers); the limit is " +
                std::to_string(facts.argumentLimit) +
                " bytes, a quarter of the stack limit (execv fails with E2BIG)\nthe largest is " +
                argumentName(argv, largest) + ", " + std::to_string(largestSize) + " bytes long\n" +
                kindOf(KindId::ArgumentsTooLong).advice);
    }
}
