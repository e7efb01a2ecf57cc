// Files and directories of the launch that someone besides root and the
// application's user can change.
#pragma once

#include "facts/Facts.h"
#include "model/Collector.h"

// One finding for each path judged that another user or group can change.
void writerWarnings(const Facts& facts, Collector& add);
