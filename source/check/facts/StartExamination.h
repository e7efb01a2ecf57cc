// The child's side of the launch: the start directory, the executable, a
// script's interpreter, the launcher copies, and who may change the paths
// the launch uses.
#pragma once

#include "facts/AccessJudge.h"
#include "facts/Facts.h"
#include "facts/LaunchVector.h"
#include "facts/Writers.h"

// The child changes into the start directory, then runs execv there: both
// judged as the user, in one go.
void describeStart(Facts& facts, const AccessJudge& access);

// Who besides root and the user can change the paths the launch uses: the
// user judged, or for root the application directory's owner.
void describeWriters(Facts& facts, const LaunchVector& argv, const AccessJudge& access,
                     PathCache& paths);
