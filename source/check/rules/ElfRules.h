// The executable, or a script's interpreter, as the kernel and the dynamic
// loader will see it: its machine, its state, its loader and libraries.
#pragma once

#include "facts/Facts.h"
#include "model/Collector.h"

void elfWarnings(const Facts& facts, Collector& add);
