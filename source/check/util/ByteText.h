// Byte strings of the ini format shown to people and scripts: the format is
// bytes, so nothing here assumes valid UTF-8 or drops a byte.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ByteText {

// True for strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool isValidUtf8(std::string_view bytes);

// The bytes with every invisible or ambiguous one spelled out, C style:
// \t \r \n \v \f \\ \", \xNN for other control bytes (NUL is \x00) and for bytes that
// are not UTF-8, and \u{XXXX} for invisible characters such as the
// byte-order mark or the no-break space. Always valid UTF-8.
std::string visible(std::string_view bytes);
// The same, appended to `out`.
void appendVisible(std::string& out, std::string_view bytes);
// Whether every byte is printable ASCII other than a quote or a backslash,
// which visible() leaves as they are.
bool isVisible(std::string_view bytes);

// Where the run from `pos` of bytes a JSON string holds as they are ends:
// the first control byte, quote or backslash, or the end.
std::size_t jsonPlainEnd(std::string_view bytes, std::size_t pos);

// Two lower-case hexadecimal digits per byte.
std::string hex(std::string_view bytes);

}  // namespace ByteText
