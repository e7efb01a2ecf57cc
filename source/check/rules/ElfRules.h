// The executable, or a script's interpreter, as the kernel and the dynamic
// loader will see it: its machine, its state, its loader and libraries.
#pragma once

#include "Collector.h"
#include "Facts.h"

void elfWarnings(const Facts& facts, Collector& add);
