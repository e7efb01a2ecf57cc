// Likely mistakes in an application's launcher setup. The launcher itself
// accepts all of them without a word.
#pragma once

#include <vector>

#include "Findings.h"

// The kernel's limit for one argument, its terminating NUL included.
constexpr std::size_t ARGUMENT_LIMIT = 131072;

// Every warning about `findings`, in the order of the lines they concern;
// those about no single line come last.
std::vector<Warning> findWarnings(const Findings& findings);
