// What execve copies for the launch: the argument and environment bytes,
// the room the kernel gives them and the new program's stack.
#pragma once

#include "facts/Facts.h"
#include "facts/LaunchVector.h"

// Needs the executable described first: a script's interpreter and its
// argument are copied too.
void measureArguments(Facts& facts, const LaunchVector& argv);
