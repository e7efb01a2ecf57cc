// Checkstyle XML, which CI servers read: a <file> element per run of
// findings about one file, an <error> element per finding, its source the
// kind as dashvane-launcher-check.KIND.
#pragma once

#include <string>

#include "report/Formatter.h"

Formatter checkstyleFormat(std::ostream& out, const FormatOptions& options, const Tally& tally);

// Bytes as the value of an XML attribute in double quotes: markup escaped,
// and what XML 1.0 cannot hold at all (control bytes, bytes that are not
// UTF-8, U+FFFE and U+FFFF) spelled out as the text report spells it.
std::string xmlAttribute(const std::string& bytes);
