#include "rules/Registry.h"

#include "rules/AccessRules.h"
#include "rules/CopyRules.h"
#include "rules/ElfRules.h"
#include "rules/ExecutableRules.h"
#include "rules/IniFileRules.h"
#include "rules/LaunchRules.h"
#include "rules/LineRules.h"
#include "rules/StackRules.h"
#include "rules/SuppressionRules.h"
#include "rules/VmRules.h"
#include "rules/WriterRules.h"

namespace {

using FactsRule = void (*)(const Facts&, Collector&);

void suppressionRules(const Facts&, const IniShape& shape, Collector& add) {
    suppressionWarnings(shape, add);
}

using HeadRule = void (*)(const Facts&, const IniShape&, Collector&);
using VectorRule = void (*)(const LaunchVector&, Collector&);
using LaunchRule = void (*)(const Facts&, const LaunchVector&, Collector&);

constexpr FactsRule HEAD[] = {judgeWarnings, iniFileWarnings};
constexpr HeadRule SHAPE[] = {suppressionRules};
constexpr VectorRule VECTOR[] = {duplicateWarnings};
constexpr LaunchRule SIZES[] = {sizeWarnings};
constexpr FactsRule LAUNCH[] = {stackWarnings, executableWarnings, elfWarnings,
                                copyWarnings,  writerWarnings,     dataAccessWarnings};

}  // namespace

void headRules(const Facts& facts, const IniShape& shape, Collector& add) {
    for (FactsRule rule : HEAD) {
        rule(facts, add);
    }
    for (HeadRule rule : SHAPE) {
        rule(facts, shape, add);
    }
}

void lineRules(const Facts& facts, const IniShape& shape, const IniLine& line, Collector& add) {
    lineWarnings(facts, shape, line, add);
}

// They quote the element of a path property and, up to it, of a line with
// a NUL byte, and judge the path.
bool lineRulesReadElement(const IniLine& line) {
    return line.argument != 0 && (line.effect == LineEffect::PathMadeAbsolute ||
                                  line.effect == LineEffect::PathAbsolute ||
                                  line.trimmed.find('\0') != std::string_view::npos);
}

void vectorRules(const LaunchVector& argv, Collector& add) {
    for (VectorRule rule : VECTOR) {
        rule(argv, add);
    }
}

void launchRules(const Facts& facts, const LaunchVector& argv, Collector& add) {
    for (LaunchRule rule : SIZES) {
        rule(facts, argv, add);
    }
    for (FactsRule rule : LAUNCH) {
        rule(facts, add);
    }
}

void vmRules(const Facts& facts, Collector& add) {
    if (!facts.vm.judged) {
        return;
    }
    vmSourceRules(facts.vm, add);
    if (!facts.vm.path.empty()) {
        vmArgumentRules(facts.vm, add);
        vmSizeRules(facts.vm, add);
        vmVerdictRules(facts.vm, add);
    }
}
