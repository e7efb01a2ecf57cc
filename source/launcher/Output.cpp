#include "Output.h"

void writeText(std::FILE* stream, std::string_view text) {
    // Standard error follows what was already written to standard output, as
    // tied C++ streams do, so both read in order on one terminal or file.
    if (stream == stderr) {
        std::fflush(stdout);
    }
    std::fwrite(text.data(), 1, text.size(), stream);
}

void writeLine(std::FILE* stream, std::string_view text) {
    writeText(stream, text);
    std::fputc('\n', stream);
    std::fflush(stream);
}
