// The rules about a line before the VM section, which the launcher ignores
// unless it is the launcher line or opens the VM section.
#pragma once

#include "model/Collector.h"
#include "rules/LineRule.h"

void headLineWarnings(const LineContext& context, Collector& add);
