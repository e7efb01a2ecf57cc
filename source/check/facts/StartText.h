// The line handling that desktop entries, systemd units and crontabs share.
#pragma once

#include <string>
#include <vector>

// The text without its leading and trailing blanks and tabs.
std::string blankTrimmed(const std::string& text);

// The text's lines, numbered from 1 by their place, each without its
// newline or a carriage return before it.
std::vector<std::string> textLines(const std::string& text);
