// The findings about the argument vector as a whole, once every line is read.
#pragma once

#include <cstddef>

#include "facts/Facts.h"
#include "facts/LaunchVector.h"
#include "model/Collector.h"

// The kernel's limit for one argument, its terminating NUL included.
constexpr std::size_t ARGUMENT_LIMIT = 131072;

// A property set twice with different values.
void duplicateWarnings(const LaunchVector& argv, Collector& add);

// Arguments that the kernel refuses to copy.
void sizeWarnings(const Facts& facts, const LaunchVector& argv, Collector& add);
