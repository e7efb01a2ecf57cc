#include "report/JsonWriter.h"

#include <cstdio>

#include "util/ByteText.h"

JsonWriter::JsonWriter(std::ostream& out, bool pretty) : out(out), pretty(pretty) {}

void JsonWriter::newline() {
    if (pretty) {
        out << '\n' << std::string(filled.size() * 2, ' ');
    }
}

void JsonWriter::beforeValue() {
    if (afterKey) {
        afterKey = false;
        return;
    }
    if (!filled.empty()) {
        if (filled.back()) {
            out << ',';
        }
        filled.back() = true;
        newline();
    }
}

void JsonWriter::beginObject() {
    beforeValue();
    out << '{';
    filled.push_back(false);
}

void JsonWriter::close(char bracket) {
    const bool any = filled.back();
    filled.pop_back();
    if (any) {
        newline();
    }
    out << bracket;
}

void JsonWriter::endObject() {
    close('}');
}

void JsonWriter::beginArray() {
    beforeValue();
    out << '[';
    filled.push_back(false);
}

void JsonWriter::endArray() {
    close(']');
}

void JsonWriter::key(const char* name) {
    beforeValue();
    quoted(name);
    out << (pretty ? ": " : ":");
    afterKey = true;
}

void JsonWriter::quoted(std::string_view utf8) {
    out << '"';
    // Runs of plain characters go out in one write: reports can be large.
    std::size_t run = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto u = static_cast<unsigned char>(utf8[i]);
        if (u >= 0x20 && u != '"' && u != '\\') {
            continue;
        }
        out.write(utf8.data() + run, static_cast<std::streamsize>(i - run));
        run = i + 1;
        switch (u) {
            case '"':
                out << "\\\"";
                break;
            case '\\':
                out << "\\\\";
                break;
            case '\n':
                out << "\\n";
                break;
            case '\r':
                out << "\\r";
                break;
            case '\t':
                out << "\\t";
                break;
            default: {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
                out << escaped;
            }
        }
    }
    out.write(utf8.data() + run, static_cast<std::streamsize>(utf8.size() - run));
    out << '"';
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
    out << value;
}

void JsonWriter::boolean(bool value) {
    beforeValue();
    out << (value ? "true" : "false");
}

void JsonWriter::null() {
    beforeValue();
    out << "null";
}

void JsonWriter::finish() {
    out << '\n';
}
