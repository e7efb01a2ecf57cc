// A JSON document written as it is produced, so a report of any size needs
// no tree of values in memory, and writing it never throws. Small pieces
// gather in a buffer of a few pages before they reach the stream: a report
// of a long VM section is millions of them.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "report/TextOutput.h"

class JsonWriter {
public:
    // Compact, or indented by two blanks when `pretty`.
    JsonWriter(std::ostream& out, bool pretty);
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // The key of the next member of the current object: a name of the
    // report's own, written as it is, with nothing to escape.
    void key(std::string_view name);

    // Bytes without losing one: a string when they are valid UTF-8; else an
    // object with "hex", every byte as two hex digits, and "display", the
    // bytes with \xNN for those that are not UTF-8.
    void bytes(std::string_view value);
    void text(const char* value);
    void number(std::size_t value);
    void boolean(bool value);
    void null();

    // Ends the document with a newline.
    void finish();
    // Hands what is buffered to the stream, as at the end of an application.
    void flush();

private:
    void beforeValue();
    void newline();
    void close(char bracket);
    void quoted(std::string_view utf8);
    // A report of a long VM section is millions of small pieces.
    void put(char c) { sink << c; }
    void put(std::string_view piece) { sink << piece; }

    TextOutput::Buffered sink;
    bool pretty;
    // For each open object or array, whether it has a member yet.
    std::vector<char> filled;
    bool afterKey = false;
};
