// Small pieces of text handling that several parts of the checker share.
#pragma once

#include <string>
#include <string_view>

namespace Text {

// UTF-8's byte-order mark, which an editor may save in front of a file.
extern const std::string BYTE_ORDER_MARK;

inline bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// `words` as a sentence: a capital first, a full stop last.
std::string sentence(const std::string& words);

}  // namespace Text
