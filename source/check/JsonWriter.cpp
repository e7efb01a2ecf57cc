#include "JsonWriter.h"

#include <cstdio>

#include "ByteText.h"

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

void JsonWriter::quoted(const std::string& utf8) {
    out << '"';
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
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
            default:
                if (u < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
                    out << escaped;
                } else {
                    out << c;
                }
        }
    }
    out << '"';
}

void JsonWriter::bytes(const std::string& value) {
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
