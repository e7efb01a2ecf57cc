#include "rules/SuppressionRules.h"

#include "util/ByteText.h"

namespace {

std::string didYouMean(const std::string& name) {
    const std::string nearest = nearestKind(name);
    return nearest.empty() ? std::string()
                           : "did you mean \"" + nearest + "\"? (--list-kinds lists them)";
}

}  // namespace

void suppressionWarnings(const IniShape& shape, Collector& add) {
    for (const auto& unknown : shape.unknownSuppressions) {
        add(unknown.first, KindId::UnknownSuppression,
            unknown.second.empty()
                ? std::string("suppression line names no kind: write \"ignore KIND[,KIND...]\"")
                : "suppression line: \"" + ByteText::visible(unknown.second) +
                      "\" is no kind the checker knows, so nothing is silenced by it",
            std::string(), unknown.second.empty() ? std::string() : didYouMean(unknown.second));
    }
}
