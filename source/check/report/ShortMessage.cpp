#include "report/ShortMessage.h"

#include <vector>

namespace {

// Where the message may be cut: after ": ", "; " or ". " outside quotes, as
// a quoted path or a quoted line of the VM may hold any of them.
std::vector<std::size_t> clauseEnds(const std::string& message) {
    std::vector<std::size_t> ends;
    bool quoted = false;
    for (std::size_t i = 0; i + 1 < message.size(); ++i) {
        const char c = message[i];
        if (c == '\\') {
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == ':' || c == ';' || c == '.') && message[i + 1] == ' ') {
            ends.push_back(i);
        }
    }
    return ends;
}

}  // namespace

void shortenMessage(std::string& message, std::string& advice) {
    if (message.size() <= LONGEST_MESSAGE) {
        return;
    }
    const std::vector<std::size_t> ends = clauseEnds(message);
    if (ends.empty()) {
        return;
    }
    std::size_t cut = ends.front();
    for (const std::size_t end : ends) {
        if (end <= LONGEST_MESSAGE) {
            cut = end;
        }
    }
    const std::string rest = message.substr(cut + 2);
    message.erase(cut);
    advice = advice.empty() ? rest : rest + '\n' + advice;
}
