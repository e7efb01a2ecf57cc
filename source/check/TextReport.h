// The check's findings as text for people.
#pragma once

#include <ostream>

#include "Findings.h"

void writeTextReport(std::ostream& out, const Findings& findings);
