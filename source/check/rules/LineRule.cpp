#include "rules/LineRule.h"

LineContext::LineContext(const IniLine& line, const Facts& facts, const IniShape& shape)
    : line(line),
      text(line.trimmed),
      parts(IniSyntax::keyLineOf(line.trimmed)),
      variant(parts.caseDiffers() ? std::string_view(*parts.known) : std::string_view()),
      facts(facts),
      shape(shape) {}
