// The findings about one line of the ini file, made as the lines are read,
// from the line's own facts and those known about the file by then.
#pragma once

#include "facts/Facts.h"
#include "facts/IniLines.h"
#include "model/Collector.h"

void lineWarnings(const Facts& facts, const IniShape& shape, const IniLine& line, Collector& add);
