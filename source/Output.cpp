#include "Output.h"

void writeText(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

void writeLine(std::FILE* stream, std::string_view text) {
    writeText(stream, text);
    std::fputc('\n', stream);
    std::fflush(stream);
}
