// Whose permissions were judged, when that may hide a fault: root's; and
// the files the path properties name that the user cannot read.
#pragma once

#include "facts/Facts.h"
#include "model/Collector.h"

void judgeWarnings(const Facts& facts, Collector& add);
void dataAccessWarnings(const Facts& facts, Collector& add);
