// Small pieces of text handling that several parts of the checker share.
#pragma once

#include <string>
#include <string_view>

namespace Text {

// UTF-8's byte-order mark, which an editor may save in front of a file.
extern const std::string BYTE_ORDER_MARK;

// Asked of every line of a long file: most differ in their first byte,
// which is told before a call to compare the rest.
inline bool startsWith(std::string_view text, std::string_view prefix) {
    return prefix.empty() || (text.size() >= prefix.size() && text[0] == prefix[0] &&
                              text.compare(0, prefix.size(), prefix) == 0);
}

// `words` as a sentence: a capital first, a full stop last.
std::string sentence(const std::string& words);

}  // namespace Text
