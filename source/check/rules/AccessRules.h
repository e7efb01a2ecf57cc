// Whose permissions were judged, when that may hide a fault: root's.
#pragma once

#include "facts/Facts.h"
#include "model/Collector.h"

void judgeWarnings(const Facts& facts, Collector& add);
