#include "util/Text.h"

namespace Text {

const std::string BYTE_ORDER_MARK = "\xEF\xBB\xBF";

std::string sentence(const std::string& words) {
    std::string text = words;
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') {
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    }
    if (!text.empty() && text.back() != '.') {
        text += '.';
    }
    return text;
}

}  // namespace Text
