// Runs the check on a stack of its own, so that it never dies of the
// stack the user's limit and environment leave it.
#pragma once

#include <functional>

// The check's exit status when it cannot finish.
constexpr int OWN_STACK_INCOMPLETE = 2;

// Runs `work` on a stack of known size and returns its status.
// Without memory for that stack, or when even it runs out, says so on
// standard error and returns, or exits with, OWN_STACK_INCOMPLETE.
int runOnOwnStack(const std::function<int()>& work);
