// The findings about the start directory and the executable: whether the
// child can change into the one and execv the other, a script's
// interpreter included.
#pragma once

#include "facts/Facts.h"
#include "model/Collector.h"

void executableWarnings(const Facts& facts, Collector& add);
