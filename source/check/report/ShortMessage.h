// A finding's first line stays short enough to read: what is wrong, then
// the detail of how the launch fails on the note lines below it.
#pragma once

#include <cstddef>
#include <string>

// The longest message a finding's first line carries.
constexpr std::size_t LONGEST_MESSAGE = 120;

// Cuts `message` after its last clause that keeps it within LONGEST_MESSAGE
// (or after its first, when even that one is longer), at ": ", "; " or ". "
// outside quotes; the rest becomes the first of the `advice` lines.
void shortenMessage(std::string& message, std::string& advice);
