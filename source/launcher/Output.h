// The launcher's standard output and error, written through C stdio. The C++
// streams would need their locale set up first, which costs more than the
// rest of a launch.
#pragma once

#include <cstdio>
#include <string_view>

// Writes the bytes as they stand, NUL bytes included; nothing is flushed, so
// a line can be left open. Writing to standard error first flushes standard
// output.
void writeText(std::FILE* stream, std::string_view text);

// Writes the text, a newline, and flushes.
void writeLine(std::FILE* stream, std::string_view text);
