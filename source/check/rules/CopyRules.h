// The launcher copies that start this application, beside their ini files.
#pragma once

#include "facts/Facts.h"
#include "model/Collector.h"

void copyWarnings(const Facts& facts, Collector& add);
