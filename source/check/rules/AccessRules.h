// Whose permissions were judged, when that may hide a fault: root's.
#pragma once

#include "Collector.h"
#include "Facts.h"

void judgeWarnings(const Facts& facts, Collector& add);
