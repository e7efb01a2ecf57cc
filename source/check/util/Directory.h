// The names in a directory.
#pragma once

#include <string>
#include <vector>

// Every name in `dir` but "." and "..", in the order the directory gives
// them; none when it cannot be read.
std::vector<std::string> entriesOf(const std::string& dir);
