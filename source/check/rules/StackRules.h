// Arguments that execve accepts but that leave the new program too little
// of its stack to start on.
#pragma once

#include "facts/Facts.h"
#include "model/Collector.h"

void stackWarnings(const Facts& facts, Collector& add);
