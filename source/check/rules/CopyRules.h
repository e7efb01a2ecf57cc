// The launcher copies that start this application, beside their ini files.
#pragma once

#include "Collector.h"
#include "Facts.h"

void copyWarnings(const Facts& facts, Collector& add);
