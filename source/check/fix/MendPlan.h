// What --fix would write for an application, judged before it is written:
// a mend that would add an error to the launch the original does not have
// is not made, and the finding it leaves says why.
#pragma once

#include <string>

#include "Check.h"
#include "IniFix.h"

// `original` is what the application's ini file holds now.
IniFixResult planMend(const CheckRequest& request, const std::string& original);
