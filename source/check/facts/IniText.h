// What an ini file is written in: bytes, as the launcher reads them, or
// UTF-16 or UTF-32, which a Windows editor may have saved and in which the
// launcher finds no line it knows. One decision for the check and for --fix.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace IniText {

enum class Encoding { Bytes, Utf16LE, Utf16BE, Utf32LE, Utf32BE };

struct TextForm {
    Encoding encoding = Encoding::Bytes;
    std::size_t markSize = 0;  // the byte-order mark in front, if any
};

// Tells the encoding from the file's bytes, fed in pieces of any size, so a
// file of any length is judged whole in the memory of one piece. A file
// shows a wide encoding by its byte-order mark or, without one, by the NUL
// bytes that pad its ASCII characters: its first unit and most of the others
// are ASCII, and no unit is NUL. A UTF-8 file is told apart within its first
// four bytes.
class Detector {
public:
    void feed(const char* bytes, std::size_t size);
    // Whether more bytes can still change the answer.
    bool decided() const;
    TextForm result() const;

private:
    static constexpr int FORMS = 4;  // UTF-32LE, UTF-32BE, UTF-16LE, UTF-16BE
    unsigned char head[4] = {0, 0, 0, 0};
    std::size_t total = 0;
    bool alive[FORMS] = {true, true, true, true};
    std::size_t units[FORMS] = {0, 0, 0, 0};
    std::size_t ascii[FORMS] = {0, 0, 0, 0};
    unsigned long partial[FORMS] = {0, 0, 0, 0};
};

TextForm detect(std::string_view bytes);

// Reads the file only as far as the answer needs. Bytes for a file that
// cannot be read.
TextForm detectFile(const std::string& path);

// "UTF-16 (little-endian)" and so on.
const char* encodingName(Encoding encoding);

// Converts the whole text or nothing: a sequence that names no character
// cannot be carried over without losing its bytes. Returns the reason for
// refusing, or an empty string.
std::string toUtf8(std::string_view bytes, const TextForm& form, std::string& out);

}  // namespace IniText
