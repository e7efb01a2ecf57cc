// The rules about one line of the ini file as data: each a condition and a
// message, kept in a table whose order says which of them can fire.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "facts/Facts.h"
#include "facts/IniLines.h"
#include "facts/IniSyntax.h"
#include "model/Collector.h"

// What a line rule sees: the line as judged (without a byte-order mark),
// its parts, and the facts about the file and the application known when
// the line is read.
struct LineContext {
    LineContext(const IniLine& line, const Facts& facts, const IniShape& shape);

    const IniLine& line;
    std::string_view text;  // the line's trimmed text
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
    // Whether this case loses what the file plainly asks for, whatever the
    // kind's severity: then it is an error. Null for never.
    bool (*loses)(const LineContext&) = nullptr;
};

// Tries the rules of the table in their order and reports the first one
// that applies. Every line of a large file passes through here, so the
// table is a template argument: each condition is then called directly,
// and can be inlined, rather than through a pointer read from the table.
template <const auto& rules, std::size_t... i>
void reportFirst(const LineContext& context, Collector& add, std::index_sequence<i...>) {
    const LineRule* first = nullptr;
    // || stops at the first condition that holds.
    static_cast<void>(((rules[i].applies(context) ? (first = &rules[i], true) : false) || ...));
    if (first != nullptr && first->kind != KindId::Count) {
        Finding finding{context.line.number, first->kind, first->message(context), std::string()};
        finding.escalated = first->loses != nullptr && first->loses(context);
        add(finding);
    }
}

template <const auto& rules>
void reportFirst(const LineContext& context, Collector& add) {
    reportFirst<rules>(context, add, std::make_index_sequence<std::size(rules)>());
}
