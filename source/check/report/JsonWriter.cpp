#include "report/JsonWriter.h"

#include <charconv>
#include <cstdio>

#include "util/ByteText.h"

JsonWriter::JsonWriter(std::ostream& out, bool pretty) : sink(out), pretty(pretty) {}

void JsonWriter::flush() {
    sink.flush();
}

void JsonWriter::newline() {
    if (pretty) {
        put('\n');
        put(std::string(filled.size() * 2, ' '));
    }
}

void JsonWriter::beforeValue() {
    if (afterKey) {
        afterKey = false;
        return;
    }
    if (!filled.empty()) {
        if (filled.back()) {
            put(',');
        }
        filled.back() = true;
        newline();
    }
}

void JsonWriter::beginObject() {
    beforeValue();
    put('{');
    filled.push_back(false);
}

void JsonWriter::close(char bracket) {
    const bool any = filled.back();
    filled.pop_back();
    if (any) {
        newline();
    }
    put(bracket);
    // A whole document reaches the stream as soon as it is complete.
    if (filled.empty()) {
        flush();
    }
}

void JsonWriter::endObject() {
    close('}');
}

void JsonWriter::beginArray() {
    beforeValue();
    put('[');
    filled.push_back(false);
}

void JsonWriter::endArray() {
    close(']');
}

void JsonWriter::key(std::string_view name) {
    beforeValue();
    put('"');
    put(name);
    put('"');
    put(pretty ? ": " : ":");
    afterKey = true;
}

void JsonWriter::quoted(std::string_view utf8) {
    put('"');
    // Runs of plain characters go out in one write: reports can be large.
    for (std::size_t run = 0; run < utf8.size();) {
        const std::size_t i = ByteText::jsonPlainEnd(utf8, run);
        put(utf8.substr(run, i - run));
        if (i == utf8.size()) {
            break;
        }
        const auto u = static_cast<unsigned char>(utf8[i]);
        run = i + 1;
        switch (u) {
            case '"':
                put("\\\"");
                break;
            case '\\':
                put("\\\\");
                break;
            case '\n':
                put("\\n");
                break;
            case '\r':
                put("\\r");
                break;
            case '\t':
                put("\\t");
                break;
            default: {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
                put(escaped);
            }
        }
    }
    put('"');
}

void JsonWriter::bytes(std::string_view value) {
    if (ByteText::isValidUtf8(value)) {
        beforeValue();
        quoted(value);
        return;
    }
    beginObject();
    key("hex");
    text(ByteText::hex(value).c_str());
    key("display");
    text(ByteText::visible(value).c_str());
    endObject();
}

void JsonWriter::text(const char* value) {
    beforeValue();
    quoted(value);
}

void JsonWriter::number(std::size_t value) {
    beforeValue();
    char digits[24];
    const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
    put(std::string_view(digits, static_cast<std::size_t>(end.ptr - digits)));
}

void JsonWriter::boolean(bool value) {
    beforeValue();
    put(value ? "true" : "false");
}

void JsonWriter::null() {
    beforeValue();
    put("null");
}

void JsonWriter::finish() {
    put('\n');
    flush();
}
