// The findings about the ini file as a whole: missing, unreadable, in
// another encoding.
#pragma once

#include "Collector.h"
#include "Facts.h"

void iniFileWarnings(const Facts& facts, Collector& add);
