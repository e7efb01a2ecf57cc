// The ways an application is started: desktop entries, systemd units, cron
// lines and links along PATH, judged by what the launcher needs of them.
#pragma once

#include "facts/StartFacts.h"
#include "model/Collector.h"

// The findings about the start file itself, at its file and line.
void startRules(const StartFacts& start, Collector& add);
