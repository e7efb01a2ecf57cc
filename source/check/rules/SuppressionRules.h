// The suppression lines of an ini file that silence nothing.
#pragma once

#include "facts/IniLines.h"
#include "model/Collector.h"

void suppressionWarnings(const IniShape& shape, Collector& add);
