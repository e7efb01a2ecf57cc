// What the Java VM makes of the VM command line: pure functions of the VM's
// facts, the VM's own answers where it was asked, and rules where it was not.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "facts/JavaVm.h"
#include "facts/LaunchVector.h"
#include "model/Collector.h"

// A memory size as the VM reads one: digits, then at most one of k, m, g, t
// in either case. False for anything else or a value past 64 bits.
bool parseVmSize(const std::string& text, std::uint64_t& bytes);

// Which VM was taken, or why none; the VM variables of the environment.
void vmSourceRules(const VmFacts& vm, Collector& add);

// Every argument of the VM command line, in the order the VM reads them.
void vmArgumentRules(const VmFacts& vm, Collector& add);

// The heap and stack sizes, the last occurrence of each winning.
void vmSizeRules(const VmFacts& vm, Collector& add);

// The VM's own verdict on the arguments it was started with: a refusal at
// the argument its words name, in its words.
void vmVerdictRules(const VmFacts& vm, Collector& add);

// The arguments to start the VM with for its verdict (indexes into
// vm.arguments): its options before a main class, but for those with
// effects outside the VM and lines meant as something else.
std::vector<std::size_t> argumentsToAsk(const VmFacts& vm);

// The memory-size options to ask the VM about, when the rules alone cannot
// tell whether it comes up with them; empty when they can.
std::vector<std::string> sizesToAsk(const VmFacts& vm);
