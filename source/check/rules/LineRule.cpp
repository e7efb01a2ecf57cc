#include "LineRule.h"

LineContext::LineContext(const IniLine& line, const Facts& facts, const IniShape& shape)
    : line(line),
      text(line.trimmed),
      parts(IniSyntax::keyLineOf(line.trimmed)),
      variant(parts.caseDiffers() ? std::string_view(*parts.known) : std::string_view()),
      facts(facts),
      shape(shape) {}

void reportFirst(const LineRule* rules, std::size_t count, const LineContext& context,
                 Collector& add) {
    for (std::size_t i = 0; i < count; ++i) {
        if (rules[i].applies(context)) {
            if (rules[i].kind != KindId::Count) {
                add(context.line.number, rules[i].kind, rules[i].message(context));
            }
            return;
        }
    }
}
