// The findings about the ini file as a whole: missing, unreadable, in
// another encoding.
#pragma once

#include "facts/Facts.h"
#include "model/Collector.h"

void iniFileWarnings(const Facts& facts, Collector& add);
