// The suppression lines of an ini file that silence nothing.
#pragma once

#include "Collector.h"
#include "IniLines.h"

void suppressionWarnings(const IniShape& shape, Collector& add);
