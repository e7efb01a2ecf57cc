// The rules about one line of the ini file as data: each a condition and a
// message, kept in a table whose order says which of them can fire.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "Collector.h"
#include "Facts.h"
#include "IniLines.h"
#include "IniSyntax.h"

// What a line rule sees: the line as judged (without a byte-order mark),
// its parts, and the facts about the file and the application known when
// the line is read.
struct LineContext {
    LineContext(const IniLine& line, const Facts& facts, const IniShape& shape);

    const IniLine& line;
    const std::string& text;  // the line's trimmed text
    IniSyntax::KeyLine parts;
    // The launcher's key the line means when only its letter case differs;
    // empty otherwise.
    std::string_view variant;
    const Facts& facts;
    const IniShape& shape;
};

struct LineRule {
    // Nothing is said when the rule applies with KindId::Count: the line is
    // accounted for by a finding made elsewhere, and no later rule of the
    // table may speak about it.
    KindId kind;
    bool (*applies)(const LineContext&);
    std::string (*message)(const LineContext&);
};

// Tries `rules` in their order and reports the first one that applies.
void reportFirst(const LineRule* rules, std::size_t count, const LineContext& context,
                 Collector& add);

template <std::size_t N>
void reportFirst(const LineRule (&rules)[N], const LineContext& context, Collector& add) {
    reportFirst(rules, N, context, add);
}
