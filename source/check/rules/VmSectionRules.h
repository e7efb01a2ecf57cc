// The rules about a line of the VM section, which the launcher passes on
// as an argument: what it was meant to be, and the application name or
// path it gives.
#pragma once

#include "Collector.h"
#include "LineRule.h"

void vmSectionLineWarnings(const LineContext& context, Collector& add);
