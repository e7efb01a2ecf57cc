#include "rules/VmRules.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <string_view>

#include "facts/VmProbeOptions.h"
#include "rules/FactText.h"
#include "rules/VmSectionRules.h"
#include "util/JavaOptions.h"
#include "util/Text.h"

namespace {

using K = KindId;

constexpr std::uint64_t KIB = 1024;
constexpr std::uint64_t MIB = KIB * 1024;
constexpr std::uint64_t GIB = MIB * 1024;

using Text::startsWith;

constexpr std::size_t NONE = std::numeric_limits<std::size_t>::max();

// The kernel starts no program with an argument this long, its end included.
constexpr std::size_t LONGEST_ARGUMENT = 131072;

// The kinds that say the VM refuses an argument: where the VM was asked,
// its own verdict speaks for the arguments it was started with.
bool vmSays(KindId kind) {
    switch (kind) {
        case K::VmUnknownFlag:
        case K::VmFlagSetting:
        case K::VmFlagLocked:
        case K::VmUnrecognizedOption:
        case K::VmSizeInvalid:
        case K::VmSizeTooSmall:
        case K::VmHeapOrder:
        case K::VmHeapUnreservable:
        case K::VmRefused:
            return true;
        default:
            return false;
    }
}

bool nameCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// Whether `words` hold `token` as a whole word.
bool mentions(const std::string& words, const std::string& token) {
    for (std::size_t at = words.find(token); !token.empty() && at != std::string::npos;
         at = words.find(token, at + 1)) {
        const std::size_t end = at + token.size();
        if ((at == 0 || !nameCharacter(words[at - 1]) || !nameCharacter(token[0])) &&
            (end == words.size() || !nameCharacter(words[end]))) {
            return true;
        }
    }
    return false;
}

// What the VM may call argument `text` by: the whole of it, a -XX flag's
// name, or the value after "=" (a module, a file).
std::string nameOf(const std::string& text, int how) {
    const std::size_t equals = text.find('=');
    if (how == 0) {
        return text;
    }
    if (how == 1) {
        if (!startsWith(text, "-XX:")) {
            return std::string();
        }
        const std::size_t from = text.size() > 4 && (text[4] == '+' || text[4] == '-') ? 5 : 4;
        return text.substr(from, equals == std::string::npos ? equals : equals - from);
    }
    const std::string value = equals == std::string::npos ? std::string() : text.substr(equals + 1);
    return value.size() < 3 ? std::string() : value;
}

// The argument the VM's refusal names: the last one it was started with
// that its words mention, by its whole text first; NONE for none.
std::size_t namedByVm(const VmFacts& vm) {
    if (!vm.verdict.asked || vm.verdict.started) {
        return NONE;
    }
    for (int how = 0; how < 3; ++how) {
        for (std::size_t i = vm.arguments.size(); i-- > 0;) {
            if (vm.arguments[i].probed &&
                mentions(vm.verdict.message, nameOf(vm.arguments.text(i), how))) {
                return i;
            }
        }
    }
    return NONE;
}

// The finding about argument `i`: on its line of our ini file, or in the
// installation's ini file, or said where it came from.
void place(const VmFacts& vm, Collector& add, std::size_t i, KindId kind,
           const std::string& message) {
    const VmArgumentView argument = vm.arguments[i];
    if (argument.iniLine != 0) {
        add(0, kind, message + " (" + vmOriginText(argument) + ")", vm.installationIni);
    } else if (argument.line != 0) {
        add(argument.line, kind,
            argument.file.empty() ? message : message + " (" + vmOriginText(argument) + ")");
    } else {
        add(0, kind, message + " (" + vmOriginText(argument) + ")");
    }
}

// The same, but a refusal the VM was asked about is left to its own verdict.
void about(const VmFacts& vm, Collector& add, std::size_t i, KindId kind,
           const std::string& message) {
    if (vm.arguments[i].probed && vm.verdict.asked && vmSays(kind) &&
        (vm.verdict.started || namedByVm(vm) == i)) {
        return;
    }
    place(vm, add, i, kind, message);
}

// -X options the VM takes without listing them under `java -X`.
constexpr const char* UNLISTED_X[] = {"-Xverify*", "-Xshare:dump", "-Xrun*", "-Xlog",
                                      "-Xmaxjitcodesize*"};

// Taken where the VM could not be asked for its own list.
constexpr const char* USUAL_X[] = {"-Xbatch",
                                   "-Xbootclasspath/a:*",
                                   "-Xcheck:jni",
                                   "-Xcomp",
                                   "-Xdebug",
                                   "-Xdiag",
                                   "-Xfuture",
                                   "-Xint",
                                   "-Xinternalversion",
                                   "-Xlog:*",
                                   "-Xloggc:*",
                                   "-Xmixed",
                                   "-Xmn*",
                                   "-Xms*",
                                   "-Xmx*",
                                   "-Xnoclassgc",
                                   "-Xrs",
                                   "-Xshare:auto",
                                   "-Xshare:off",
                                   "-Xshare:on",
                                   "-XshowSettings",
                                   "-XshowSettings:*",
                                   "-Xss*"};

// Deprecated spellings the VM still takes, and what replaces each.
struct Alias {
    const char* prefix;
    const char* instead;  // what to write instead, or what becomes of it
};
constexpr Alias DEPRECATED[] = {
    {"-noverify", "a later Java no longer turns verification off"},
    {"-Xverify:none", "a later Java no longer turns verification off"},
    {"-Xloggc:", "-Xlog:gc:FILE replaces it"},
    {"-Xfuture", "a later Java drops it"},
    {"-XX:+CreateMinidumpOnCrash", "-XX:+CreateCoredumpOnCrash replaces it"},
    {"-XX:-CreateMinidumpOnCrash", "-XX:-CreateCoredumpOnCrash replaces it"},
    {"-XX:DefaultMaxRAMFraction=", "-XX:MaxRAMPercentage= replaces it"},
    {"-XX:MaxRAMFraction=", "-XX:MaxRAMPercentage= replaces it"},
    {"-XX:InitialRAMFraction=", "-XX:InitialRAMPercentage= replaces it"},
    {"-XX:MinRAMFraction=", "-XX:MinRAMPercentage= replaces it"},
};

// Flags a current VM no longer knows, for when it could not be asked.
constexpr const char* REMOVED_FLAGS[] = {"MaxPermSize",
                                         "PermSize",
                                         "UseConcMarkSweepGC",
                                         "CMSClassUnloadingEnabled",
                                         "CMSInitiatingOccupancyFraction",
                                         "UseCMSInitiatingOccupancyOnly",
                                         "UseParNewGC",
                                         "AggressiveOpts",
                                         "UseSplitVerifier",
                                         "UseParallelOldGC",
                                         "CMSIncrementalMode"};

// The flag names that an alias stands for, which the VM's list leaves out.
constexpr const char* ALIAS_FLAGS[] = {"CreateMinidumpOnCrash", "DefaultMaxRAMFraction"};

bool matchesPattern(const std::string& argument, const std::string& pattern) {
    if (!pattern.empty() && pattern.back() == '*') {
        return argument.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
    }
    return argument == pattern;
}

bool knownX(const VmFacts& vm, const std::string& argument) {
    const auto matches = [&argument](const std::string& p) { return matchesPattern(argument, p); };
    if (std::any_of(std::begin(UNLISTED_X), std::end(UNLISTED_X), matches)) {
        return true;
    }
    if (!vm.info.xOptions.empty()) {
        return std::any_of(vm.info.xOptions.begin(), vm.info.xOptions.end(), matches);
    }
    return std::any_of(std::begin(USUAL_X), std::end(USUAL_X), matches);
}

// 0 for none; 1 when the option takes its value here; 2 when the next argument.
int standardOption(const std::string& argument) {
    const JavaOption* option = javaOption(argument);
    return option == nullptr ? 0 : option->next ? 2 : 1;
}

// A -XX value of type `type`, as the VM parses it.
bool validFlagValue(const std::string& type, const std::string& value) {
    if (type == "ccstr" || type == "ccstrlist") {
        return true;
    }
    if (type == "double") {
        char* end = nullptr;
        std::strtod(value.c_str(), &end);
        return !value.empty() && *end == '\0' && std::isdigit(static_cast<unsigned char>(value[0]));
    }
    const bool signedType = type == "int" || type == "intx";
    std::string magnitude = value;
    if (signedType && !magnitude.empty() && magnitude[0] == '-') {
        magnitude.erase(0, 1);
    }
    std::uint64_t bytes = 0;
    return parseVmSize(magnitude, bytes);
}

// The unlock state the VM keeps as it reads the -XX options in order.
struct Unlocks {
    bool diagnostic = false;
    bool experimental = false;
};

void flagRule(const VmFacts& vm, Collector& add, std::size_t i, Unlocks& unlocks) {
    const std::string& text = vm.arguments.text(i);
    const std::string body = text.substr(4);
    const bool sign = !body.empty() && (body[0] == '+' || body[0] == '-');
    const std::size_t equals = body.find('=');
    const std::string name = body.substr(
        sign ? 1 : 0, equals == std::string::npos ? std::string::npos : equals - (sign ? 1 : 0));
    if (name == "Flags" || name == "VMOptionsFile" ||
        std::find(std::begin(ALIAS_FLAGS), std::end(ALIAS_FLAGS), name) != std::end(ALIAS_FLAGS)) {
        return;
    }
    const auto found = vm.info.flags.find(name);
    if (found == vm.info.flags.end()) {
        const bool removed = std::find(std::begin(REMOVED_FLAGS), std::end(REMOVED_FLAGS), name) !=
                             std::end(REMOVED_FLAGS);
        if (!vm.info.flags.empty() || removed) {
            about(vm, add, i, K::VmUnknownFlag, "Unrecognized VM option '" + body + "'");
        }
        return;
    }
    const VmFlag& flag = found->second;
    const bool boolean = flag.type == "bool";
    if (sign && !boolean) {
        about(vm, add, i, K::VmFlagSetting, "Unexpected +/- setting in VM option '" + name + "'");
        return;
    }
    if (boolean && (!sign || equals != std::string::npos)) {
        about(vm, add, i, K::VmFlagSetting,
              (sign ? "Improperly specified VM option '" : "Missing +/- setting for VM option '") +
                  body + "'");
        return;
    }
    if (!boolean &&
        (equals == std::string::npos || !validFlagValue(flag.type, body.substr(equals + 1)))) {
        about(vm, add, i, K::VmFlagSetting, "Improperly specified VM option '" + body + "'");
        return;
    }
    if (name == "UnlockDiagnosticVMOptions") {
        unlocks.diagnostic = body[0] == '+';
    } else if (name == "UnlockExperimentalVMOptions") {
        unlocks.experimental = body[0] == '+';
    } else if ((flag.experimental && !unlocks.experimental) ||
               (flag.diagnostic && !unlocks.diagnostic)) {
        const char* which = flag.experimental ? "experimental" : "diagnostic";
        about(vm, add, i, K::VmFlagLocked,
              "VM option '" + name + "' is " + which + " and must be enabled via -XX:+Unlock" +
                  (flag.experimental ? "Experimental" : "Diagnostic") + "VMOptions before it");
    }
}

// Paths that nothing expands: the VM takes "~" and "$HOME" as they are.
void textRules(const VmFacts& vm, Collector& add, std::size_t i) {
    const std::string& text = vm.arguments.text(i);
    // Two searches for one byte each: an argument may be as long as the file.
    if (text.find('"') != std::string::npos || text.find('\'') != std::string::npos) {
        about(vm, add, i, K::VmQuotes,
              "quotes in \"" + text + "\" reach the VM as they are: nothing removes them");
    }
    std::size_t valueAt = text.find('=');
    if (!startsWith(text, "-D")) {
        valueAt = startsWith(text, "-XX:") ? text.find('=') : text.find(':');
    }
    if (valueAt == std::string::npos) {
        return;
    }
    // A view: the value of a long line is not copied to be looked at.
    const std::string_view value = std::string_view(text).substr(valueAt + 1);
    const std::size_t dollar = value.find('$');
    const bool variable = dollar != std::string::npos && dollar + 1 < value.size() &&
                          (value[dollar + 1] == '{' || value[dollar + 1] == '_' ||
                           std::isalpha(static_cast<unsigned char>(value[dollar + 1])));
    if (value == "~" || startsWith(value, "~/") || variable) {
        about(vm, add, i, K::VmUnexpandedPath,
              "\"" + std::string(value) + "\" is taken as written: no shell expands " +
                  (variable ? "a variable" : "\"~\"") + " in a VM argument");
    }
}

// The options whose value is a memory size; -Xss and the heap sizes.
bool sizeOption(const std::string& text) {
    return startsWith(text, "-Xmx") || startsWith(text, "-Xms") || startsWith(text, "-Xss") ||
           startsWith(text, "-Xmn") || startsWith(text, "-XX:MaxHeapSize=") ||
           startsWith(text, "-XX:InitialHeapSize=") || startsWith(text, "-XX:ThreadStackSize=");
}

// The last of each memory size: index into the arguments and its value.
struct Sizes {
    std::size_t maxAt = NONE, initialAt = NONE, stackAt = NONE, youngAt = NONE;
    std::uint64_t max = 0, initial = 0, stack = 0, young = 0;
    bool valid = true;  // every size parses
};

// What an argument sets, its value in bytes; false for no size option.
bool sizeOf(const std::string& text, char& which, std::string& value) {
    static const std::pair<const char*, char> OPTIONS[] = {{"-Xmx", 'x'},
                                                           {"-Xms", 's'},
                                                           {"-Xss", 't'},
                                                           {"-Xmn", 'n'},
                                                           {"-XX:MaxHeapSize=", 'x'},
                                                           {"-XX:InitialHeapSize=", 's'},
                                                           {"-XX:ThreadStackSize=", 'k'}};
    // Every one begins "-X": most arguments are told apart by two bytes.
    if (text.size() < 2 || text[0] != '-' || text[1] != 'X') {
        return false;
    }
    for (const auto& option : OPTIONS) {
        if (startsWith(text, option.first)) {
            which = option.second;
            value = text.substr(std::strlen(option.first));
            return true;
        }
    }
    return false;
}

// "@FILE", which the java launcher replaces with the options in FILE.
bool argumentFile(const std::string& text) {
    return text.size() > 1 && text[0] == '@' && text[1] != '@';
}

// The arguments the VM reads before a main class ends them.
std::size_t optionsEnd(const VmFacts& vm) {
    for (std::size_t i = 0; i < vm.arguments.size(); ++i) {
        const std::string& text = vm.arguments.text(i);
        if ((text.empty() || (text[0] != '-' && !argumentFile(text)) ||
             (text.size() == 4 && text == "-jar")) &&
            !vm.arguments[i].fromVmFile) {
            return i;
        }
        if (standardOption(text) == 2) {
            ++i;
        }
    }
    return vm.arguments.size();
}

const char* sizeName(char which) {
    switch (which) {
        case 'x':
            return "maximum heap size";
        case 's':
            return "initial heap size";
        case 'n':
            return "maximum new generation size";
        default:
            return "thread stack size";
    }
}

Sizes collectSizes(const VmFacts& vm, Collector* add) {
    Sizes sizes;
    const std::size_t end = optionsEnd(vm);
    for (std::size_t i = 0; i < end; ++i) {
        const std::string& text = vm.arguments.text(i);
        char which = 0;
        std::string value;
        std::uint64_t bytes = 0;
        if (!sizeOf(text, which, value)) {
            continue;
        }
        // -Xmx0 is refused; an initial heap or a stack of 0 means the default.
        if (!parseVmSize(value, bytes) || (which == 'x' && bytes == 0) ||
            (which == 'k' && bytes > std::numeric_limits<std::uint64_t>::max() / KIB)) {
            sizes.valid = false;
            if (add != nullptr) {
                about(vm, *add, i, K::VmSizeInvalid,
                      std::string("Invalid ") + sizeName(which) + ": " + text);
            }
            continue;
        }
        if (which == 'x' && sizes.maxAt != NONE && sizes.max != bytes && add != nullptr) {
            about(vm, *add, i, K::VmHeapOverridden,
                  text + " overrides \"" + vm.arguments[sizes.maxAt].text + "\" (" +
                      vmOriginText(vm.arguments[sizes.maxAt]) + "): the last one counts");
        }
        (which == 'x'   ? (sizes.maxAt = i, sizes.max = bytes)
         : which == 's' ? (sizes.initialAt = i, sizes.initial = bytes)
         : which == 'n' ? (sizes.youngAt = i, sizes.young = bytes)
         : which == 'k' ? (sizes.stackAt = i, sizes.stack = bytes * KIB)
                        : (sizes.stackAt = i, sizes.stack = bytes));
    }
    return sizes;
}

int dataModel(const VmFacts& vm) {
    return vm.info.dataModel != 0 ? vm.info.dataModel : 64;
}

// The VM's own words where it refuses the agent; a note where the check
// could not read what the VM needs.
void agentRule(const VmFacts& vm, Collector& add, const VmFile& file) {
    if (file.agent.verdict == AgentVerdict::Refused) {
        about(vm, add, file.index, K::VmAgentUnusable, file.agent.words);
        return;
    }
    Collector lowered([&add](const Finding& finding) {
        Finding note = finding;
        note.lowered = true;
        add(note);
    });
    about(vm, lowered, file.index, K::VmAgentUnusable,
          file.path + " is not judged for loading: " + file.agent.words);
}

// What keeps the VM from writing, loading or reading the file an option names.
void fileRule(const VmFacts& vm, Collector& addAll, const VmFile& file) {
    if (file.output && file.inPlace && !file.access.granted()) {
        about(vm, addAll, file.index, K::VmLogDirectory,
              file.path +
                  " exists and cannot be written by the application's user: the VM refuses "
                  "to start without it");
    } else if (file.output && !file.access.granted()) {
        about(vm, addAll, file.index, file.onEvent ? K::VmDumpDirectory : K::VmLogDirectory,
              "the directory of " + file.path +
                  " cannot be written in by the application's user (" +
                  (file.access.cause == AccessCause::NotFound ? std::string("does not exist")
                                                              : file.access.at) +
                  (file.onEvent ? "): the file would be lost"
                                : "): the VM refuses to start without it"));
    } else if (file.agent.verdict != AgentVerdict::Loads) {
        agentRule(vm, addAll, file);
    } else if (!file.access.granted()) {
        about(vm, addAll, file.index, K::VmFileUnreadable,
              file.path + " cannot be read by the application's user (" +
                  (file.access.cause == AccessCause::NotFound ? std::string("does not exist")
                                                              : file.access.at) +
                  ")");
    }
}

}  // namespace

bool parseVmSize(const std::string& text, std::uint64_t& bytes) {
    std::size_t digits = 0;
    std::uint64_t value = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) {
        const std::uint64_t digit = static_cast<std::uint64_t>(text[digits] - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
        ++digits;
    }
    if (digits == 0 || text.size() > digits + 1) {
        return false;
    }
    std::uint64_t unit = 1;
    if (text.size() == digits + 1) {
        switch (std::tolower(static_cast<unsigned char>(text.back()))) {
            case 'k':
                unit = KIB;
                break;
            case 'm':
                unit = MIB;
                break;
            case 'g':
                unit = GIB;
                break;
            case 't':
                unit = GIB * 1024;
                break;
            default:
                return false;
        }
    }
    if (value > std::numeric_limits<std::uint64_t>::max() / unit) {
        return false;
    }
    bytes = value * unit;
    return true;
}

void vmSourceRules(const VmFacts& vm, Collector& add) {
    if (!vm.problem.empty()) {
        add(0, K::VmNotUsable, vm.problem,
            vm.source == VmSource::IniVm ? vm.installationIni : std::string());
    } else if (vm.source == VmSource::None) {
        add(0, K::VmNotFound,
            "no Java VM: no -vm line in " + vm.installationIni +
                ", no jre/bin/java beside it, no java along PATH");
    } else if (!vm.info.problem.empty()) {
        add(0, K::VmNotAsked,
            "the Java VM " + vm.path + " could not be asked about itself (" + vm.info.problem +
                "): its arguments are judged by rule alone");
    }
    if (vm.mayStart && !vm.verdict.asked && !vm.verdict.message.empty()) {
        add(0, K::VmNotAsked,
            "the Java VM " + vm.path + " could not be started with its arguments (" +
                vm.verdict.message + "): they are judged by rule alone");
    }
    for (const std::string& assignment : vm.variables) {
        const std::string variable = assignment.substr(0, assignment.find('='));
        const bool judged = vm.verdict.asked && variable != "JDK_JAVA_OPTIONS";
        add(0, K::VmEnvironment,
            variable + " is set: the VM reads options from it, which the check " +
                (judged ? "judged with the VM's arguments" : "does not judge"));
    }
}

void vmArgumentRules(const VmFacts& vm, Collector& addAll) {
    Unlocks unlocks;
    for (const VmFile& file : vm.files) {
        fileRule(vm, addAll, file);
    }
    // A line of ours meant as something else has its finding already: the
    // VM still reads it, but what it says about it is not said twice.
    Collector silent([](const Finding&) {});
    for (std::size_t i = 0; i < vm.arguments.size(); ++i) {
        // Where an element came from is asked only of the few it matters for.
        const std::string& text = vm.arguments.text(i);
        Collector& add = refusedLineMeantOtherwise(text) && vm.arguments[i].line != 0 &&
                                 vm.arguments[i].file.empty()
                             ? silent
                             : addAll;
        textRules(vm, add, i);
        // A property has no alias, names no file and is no class: nearly
        // every line of a long VM section is done with here.
        if (text.compare(0, 2, "-D") == 0) {
            continue;
        }
        for (const Alias& alias : DEPRECATED) {
            if (startsWith(text, alias.prefix)) {
                about(vm, add, i, K::VmDeprecatedAlias,
                      "\"" + text + "\" is deprecated: " + alias.instead);
            }
        }
        if (argumentFile(text)) {
            continue;  // one the user cannot read, judged with the VM's files
        }
        if ((text.empty() || text[0] != '-' || text == "-jar") && !vm.arguments[i].fromVmFile) {
            about(vm, add, i, K::VmMainClass,
                  text == "-jar" ? std::string("-jar makes the VM run the jar named next, "
                                               "not the application")
                                 : "Could not find or load main class " + text +
                                       ": the VM takes the first argument that is no option as "
                                       "the class to run");
            return;
        }
        const int standard = standardOption(text);
        if (sizeOption(text) || standard != 0) {
            i += standard == 2 ? 1 : 0;
        } else if (startsWith(text, "-XX:")) {
            flagRule(vm, add, i, unlocks);
        } else if (!startsWith(text, "-X") || !knownX(vm, text)) {
            about(vm, add, i, K::VmUnrecognizedOption, "Unrecognized option: " + text);
        }
    }
}

void vmSizeRules(const VmFacts& vm, Collector& add) {
    const Sizes sizes = collectSizes(vm, &add);
    const bool bits32 = dataModel(vm) == 32;
    const bool hasMax = sizes.maxAt != NONE;
    const bool hasInitial = sizes.initialAt != NONE;
    for (const std::pair<std::size_t, std::uint64_t>& heap :
         {std::make_pair(sizes.maxAt, sizes.max), std::make_pair(sizes.initialAt, sizes.initial)}) {
        if (bits32 && heap.first != NONE && heap.second >= 4 * GIB) {
            about(vm, add, heap.first, K::VmHeapUnreservable,
                  "\"" + vm.arguments[heap.first].text +
                      "\" exceeds the maximum representable size of a 32-bit VM");
            return;
        }
    }
    if (hasMax && hasInitial && sizes.initial > sizes.max) {
        about(vm, add, std::max(sizes.maxAt, sizes.initialAt), K::VmHeapOrder,
              "Initial heap size set to a larger value than the maximum heap size: \"" +
                  vm.arguments[sizes.initialAt].text + "\" and \"" +
                  vm.arguments[sizes.maxAt].text + "\"");
        return;
    }
    if (vm.sizes.asked) {
        if (!vm.sizes.started) {
            std::string on = vm.kernelBits == 32 ? "this 32-bit kernel (3 GiB of address space)"
                             : bits32
                                 ? "this 64-bit kernel (4 GiB of address space for a 32-bit VM)"
                                 : "this machine";
            std::size_t last = 0;
            for (std::size_t at : {sizes.maxAt, sizes.initialAt, sizes.stackAt, sizes.youngAt}) {
                last = at != NONE ? std::max(last, at) : last;
            }
            // The VM's own words tell a size below its floor from one it cannot reserve.
            const std::string& said = vm.sizes.message;
            const bool small = said.find("oo small") != std::string::npos;
            about(vm, add, last, small ? K::VmSizeTooSmall : K::VmHeapUnreservable,
                  "the VM refuses the memory sizes on " + on + ": " + said);
        }
        return;
    }
    if (hasMax && sizes.max < 2 * MIB) {
        about(vm, add, sizes.maxAt, K::VmSizeTooSmall,
              "Too small maximum heap: \"" + vm.arguments[sizes.maxAt].text + "\"");
    }
    if (hasInitial && sizes.initial != 0 && sizes.initial < MIB) {
        about(vm, add, sizes.initialAt, K::VmSizeTooSmall,
              "Too small initial heap: \"" + vm.arguments[sizes.initialAt].text + "\"");
    }
    if (sizes.stackAt != NONE && sizes.stack != 0 && sizes.stack < 136 * KIB) {
        about(vm, add, sizes.stackAt, K::VmSizeTooSmall,
              "The Java thread stack size specified is too small: \"" +
                  vm.arguments[sizes.stackAt].text + "\"");
    }
}

std::vector<std::string> sizesToAsk(const VmFacts& vm) {
    const Sizes sizes = collectSizes(vm, nullptr);
    std::vector<std::string> ask;
    if (!sizes.valid ||
        (sizes.maxAt != NONE && sizes.initialAt != NONE && sizes.initial > sizes.max)) {
        return ask;
    }
    const bool bits32 = dataModel(vm) == 32;
    const std::uint64_t heap = std::max(sizes.max, sizes.initial);
    // Sizes near the VM's own floors, and 32-bit heaps between what the
    // rules refuse and what every address space gives.
    const bool near = (sizes.maxAt != NONE && sizes.max < 16 * MIB) ||
                      (sizes.initialAt != NONE && sizes.initial != 0 && sizes.initial < 16 * MIB) ||
                      (sizes.stackAt != NONE && sizes.stack != 0 && sizes.stack < MIB) ||
                      (bits32 && heap > GIB && heap < 4 * GIB);
    if (!near) {
        return ask;
    }
    for (std::size_t at : {sizes.initialAt, sizes.maxAt, sizes.youngAt, sizes.stackAt}) {
        if (at != NONE) {
            ask.push_back(vm.arguments.text(at));
        }
    }
    return ask;
}

namespace {

// A property the VM only stores for the application, such as the
// launcher's -Ddv.webApp=NAME: it cannot change the verdict, and leaving it
// out lets applications that differ only in such properties share one.
bool applicationProperty(const std::string& text) {
    static const char* const VM_READS[] = {"java.",  "jdk.", "sun.",  "com.sun.", "javax.",
                                           "jvmci.", "os.",  "file.", "user.",    "native."};
    const std::size_t equals = text.find('=');
    if (!startsWith(text, "-D") || text.size() < 3 || equals == std::string::npos ||
        !std::isalpha(static_cast<unsigned char>(text[2]))) {
        return false;
    }
    const std::string_view name(text.data() + 2, equals - 2);
    // Asked of every property: most differ from every prefix in the first byte.
    return std::none_of(std::begin(VM_READS), std::end(VM_READS), [name](const char* prefix) {
        return name[0] == prefix[0] && name.compare(0, std::strlen(prefix), prefix) == 0;
    });
}

// The kind of a refusal, by the VM's own words; the first that fits.
struct Refusal {
    const char* words;
    KindId kind;
};
constexpr Refusal REFUSALS[] = {
    {"maximum representable size", K::VmHeapUnreservable},
    {"Could not reserve enough space", K::VmHeapUnreservable},
    {"outside the allowed range", K::VmRefused},
    {"Unrecognized VM option", K::VmUnknownFlag},
    {"Unrecognized option", K::VmUnrecognizedOption},
    {"must be enabled via -XX:+Unlock", K::VmFlagLocked},
    {"Improperly specified VM option", K::VmFlagSetting},
    {"Missing +/- setting", K::VmFlagSetting},
    {"Unexpected +/- setting", K::VmFlagSetting},
    {"Initial heap size set to a larger value", K::VmHeapOrder},
    {"too small", K::VmSizeTooSmall},
    {"Too small", K::VmSizeTooSmall},
    {"Invalid maximum heap size", K::VmSizeInvalid},
    {"Invalid initial heap size", K::VmSizeInvalid},
    {"Invalid thread stack size", K::VmSizeInvalid},
    {"Invalid maximum new generation size", K::VmSizeInvalid},
};

KindId refusalKind(const std::string& words) {
    for (const Refusal& refusal : REFUSALS) {
        if (words.find(refusal.words) != std::string::npos) {
            return refusal.kind;
        }
    }
    return K::VmRefused;
}

}  // namespace

void vmVerdictRules(const VmFacts& vm, Collector& add) {
    if (!vm.verdict.asked || vm.verdict.started) {
        return;
    }
    const std::string said = "the VM refuses to come up: " + vm.verdict.message;
    const KindId kind = refusalKind(vm.verdict.message);
    const std::size_t named = namedByVm(vm);
    if (named != NONE) {
        place(vm, add, named, kind, said);
        return;
    }
    // Naming no option, it is said once, unless a rule has said why already.
    std::size_t ruled = 0;
    Collector count([&ruled](const Finding& finding) { ruled += vmSays(finding.kind) ? 1 : 0; });
    vmArgumentRules(vm, count);
    vmSizeRules(vm, count);
    if (ruled == 0) {
        std::string from;
        for (const std::string& variable : vm.verdict.environment) {
            from += (from.empty() ? " (with " : ", ") + variable.substr(0, variable.find('='));
        }
        add(0, kind, said + (from.empty() ? std::string() : from + " of the environment)"));
    }
}

std::vector<std::size_t> argumentsToAsk(const VmFacts& vm) {
    std::vector<std::size_t> ask;
    const std::size_t end = optionsEnd(vm);
    for (std::size_t i = 0; i < end; ++i) {
        const std::string& text = vm.arguments.text(i);
        // A line meant as something else has its own finding, and so has an
        // argument too long for any program to be started with.
        if (applicationProperty(text) || effectOutsideVm(text) != nullptr ||
            text.size() >= LONGEST_ARGUMENT ||
            (refusedLineMeantOtherwise(text) && vm.arguments[i].line != 0 &&
             vm.arguments[i].file.empty())) {
            continue;
        }
        ask.push_back(i);
        if (standardOption(text) == 2 && i + 1 < end) {
            ask.push_back(++i);
        }
    }
    return ask;
}
