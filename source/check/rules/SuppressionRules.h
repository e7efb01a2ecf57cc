// The suppression lines of an ini file that silence nothing.
#pragma once

#include "IniLines.h"
#include "Warnings.h"

void suppressionWarnings(const IniShape& shape, Collector& add);
