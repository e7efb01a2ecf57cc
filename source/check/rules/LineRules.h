// The findings about one line of the ini file, made as the lines are read,
// from the line's own facts and those known about the file by then.
#pragma once

#include "Collector.h"
#include "Facts.h"
#include "IniLines.h"

void lineWarnings(const Facts& facts, const IniShape& shape, const IniLine& line, Collector& add);
