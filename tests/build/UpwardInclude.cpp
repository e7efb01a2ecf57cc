// Compiled as part of the facts layer, which must not see the rules above
// it: the build of this file is expected to fail at the include.
#include "rules/LineRules.h"
