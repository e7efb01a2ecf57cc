// The rules about a line of the VM section, which the launcher passes on
// as an argument: what it was meant to be, and the application name or
// path it gives.
#pragma once

#include "model/Collector.h"
#include "rules/LineRule.h"

void vmSectionLineWarnings(const LineContext& context, Collector& add);

// Whether a VM-section line with this trimmed text is one the launcher
// passes on though it was meant as something else the Java VM refuses (a
// comment, a second -vmargs, a launcher line). Its own finding is the one
// said about it: what the VM then does with it follows from that mistake.
bool refusedLineMeantOtherwise(const std::string& text);
