#include "Warnings.h"

#include <algorithm>
#include <cstring>

#include "ByteText.h"
#include "IniFormat.h"
#include "IniSyntax.h"
#include "Options.h"
#include "PropertyPath.h"

using namespace IniSyntax;

namespace {

const std::string FAILED = "\"Failed to launch\"";

std::string quoted(std::string_view bytes) {
    return '"' + ByteText::visible(std::string(bytes)) + '"';
}

// "the line after it is", "the 3 lines after it are".
std::string linesAfter(std::size_t count) {
    return count == 1 ? "the line after it is"
                      : "the " + std::to_string(count) + " lines after it are";
}

std::string argumentName(const LaunchVector& argv, std::size_t argument) {
    const std::size_t line = argv.lineOf(argument);
    return "argument " + std::to_string(argument) +
           (line != 0 ? " (line " + std::to_string(line) + ")" : std::string());
}

// Why the path judged fails the user: the words after its name in a
// warning. "does not exist" is kept for ENOENT alone.
std::string accessProblem(const AccessVerdict& verdict, const std::string& user,
                          const std::string& denied) {
    const std::string& path = verdict.path;
    const std::string at = quoted(verdict.at);
    switch (verdict.cause) {
        case AccessCause::Granted:
            break;
        case AccessCause::NotFound:
            return verdict.at == path ? "does not exist" : "does not exist: there is no " + at;
        case AccessCause::NotSearchable:
            return "cannot be reached: directory " + at + " cannot be searched by " + user;
        case AccessCause::DanglingLink:
            return (verdict.at == path ? std::string("is a dangling symbolic link ")
                                       : "cannot be reached: dangling symbolic link " + at + " ") +
                   "-> " + quoted(verdict.target);
        case AccessCause::Denied:
            return denied + " by " + user;
        case AccessCause::NotDirectory:
            return verdict.at == path ? "is not a directory"
                                      : "cannot be reached: " + at + " is not a directory";
        case AccessCause::NoexecMount:
            return "lies on a file system mounted noexec, which runs no program";
        case AccessCause::TooManyLinks:
            return "cannot be reached: too many levels of symbolic links at " + at;
        case AccessCause::OtherError:
            return "cannot be judged: " + at + ": " + std::strerror(verdict.error);
    }
    return std::string();
}

// The kind for a cause that no one operation owns; `fallback` otherwise.
KindId accessKind(const AccessVerdict& verdict, KindId fallback) {
    switch (verdict.cause) {
        case AccessCause::NotSearchable:
            return KindId::PathNotSearchable;
        case AccessCause::DanglingLink:
            return KindId::DanglingLink;
        case AccessCause::NoexecMount:
            return KindId::NoexecMount;
        default:
            return fallback;
    }
}

}  // namespace

std::size_t LaunchVector::lineOf(std::size_t i) const {
    // Element 0 is the command; 1 and 2 are the seed arguments.
    if (i == 0) {
        return launcherLine;
    }
    return i >= 3 && i - 3 < iniLines.size() ? iniLines[i - 3] : 0;
}

LineRules::LineRules(const Facts& findings, const IniShape& shape, Collector& add)
    : findings(findings), shape(shape), add(add) {}

void LineRules::check(const IniLine& line) {
    bytes(line);
    // A byte-order mark is reported once; the rest of its line is judged as
    // if it were not there, so a second mistake on line 1 is not hidden.
    const IniLine* judged = &line;
    IniLine withoutMark;
    if (line.number == 1 && line.trimmed.compare(0, BYTE_ORDER_MARK.size(), BYTE_ORDER_MARK) == 0) {
        withoutMark = line;
        withoutMark.trimmed.erase(0, BYTE_ORDER_MARK.size());
        IniFormat::trim(withoutMark.trimmed);
        judged = &withoutMark;
    }
    if (judged->inHead) {
        head(*judged);
    } else {
        vmSection(*judged);
    }
}

bool LineRules::followsFromShape(const IniLine& line) const {
    // The line that was meant to open the VM section is reported itself;
    // what it leaves in the head follows from it.
    if (shape.meantVmSectionLine != 0) {
        return line.number >= shape.meantVmSectionLine;
    }
    return shape.firstVmArgumentLine != 0 && line.number >= shape.firstVmArgumentLine;
}

void LineRules::bytes(const IniLine& line) {
    const std::string& text = line.trimmed;
    if (line.number == 1 && line.raw.compare(0, BYTE_ORDER_MARK.size(), BYTE_ORDER_MARK) == 0) {
        std::string rest = line.raw.substr(BYTE_ORDER_MARK.size());
        IniFormat::trim(rest);
        IniFormat::State state = IniFormat::State::Searching;
        const IniFormat::Role meant = IniFormat::step(state, rest);
        add(line.number, KindId::ByteOrderMark,
            std::string(
                "the file starts with a byte-order mark, which the launcher does not skip") +
                (meant == IniFormat::Role::LauncherLine ? ", so this is not a launcher line"
                 : meant == IniFormat::Role::OpensVmSection && shape.vmSectionLine == 0
                     ? ", so this line does not open the VM section and " +
                           linesAfter(shape.lines - 1) + " ignored"
                 : meant == IniFormat::Role::OpensVmSection
                     ? ", so this line does not open the VM section: line " +
                           std::to_string(shape.vmSectionLine) + " does"
                     : ""));
    }
    if (!hasUnusualByte(text)) {
        return;
    }
    if (text.find('\r') != std::string::npos) {
        add(line.number, KindId::CarriageReturn,
            "carriage return inside the line: the file's lines end in a carriage return alone, "
            "so the launcher reads them as one single line");
    }
    if (text.find('\0') != std::string::npos) {
        add(line.number, KindId::NulByte,
            line.argument != 0
                ? "NUL byte: the argument ends before it, as " + quoted(line.element.c_str())
                : std::string("NUL byte in the line"));
    }
    if (hasControlByte(text)) {
        add(line.number, KindId::ControlByte, "control byte in the line, shown as \\xNN");
    }
    if (text.find(NO_BREAK_SPACE) != std::string::npos) {
        add(line.number, KindId::NoBreakSpace,
            "no-break space (\\u{00A0}): not white space to the launcher, so it stays in the line");
    }
}

void LineRules::head(const IniLine& line) {
    const std::string& text = line.trimmed;
    const KeyLine parts = keyLineOf(text);
    const std::string_view variant =
        parts.caseDiffers() ? std::string_view(*parts.known) : std::string_view();
    if (line.effect == LineEffect::LauncherTaken) {
        if (!parts.value.empty() && isBlank(parts.value[0])) {
            add(line.number, KindId::BlanksAroundEquals,
                "blank after \"=\": the executable path " + quoted(parts.value) +
                    " starts with it");
        }
        return;
    }
    if (line.effect != LineEffect::IgnoredInHead) {
        return;
    }
    if (line.number == shape.firstVmArgumentLine && shape.meantVmSectionLine == 0) {
        add(line.number, KindId::MissingVmargs,
            "the file has no -vmargs line, so the launcher ignores all " +
                std::to_string(shape.lines) +
                " lines and passes no arguments from it; -vmargs "
                "probably belongs before this line");
    }
    if (parts.key == Options::Lanucher && findings.launcherLine == 0) {
        // Kept from being the launcher line by a byte-order mark, said above.
    } else if (parts.key == Options::Lanucher) {
        add(line.number, KindId::SecondLauncher,
            "second launcher line ignored: line " + std::to_string(findings.launcherLine) +
                " already named the executable");
    } else if (parts.looseKey == Options::Lanucher && parts.key != parts.looseKey) {
        add(line.number, KindId::BlanksAroundEquals,
            "blanks around \"=\": not taken as the launcher line, so ignored");
    } else if (variant == Options::Lanucher) {
        add(line.number, KindId::LetterCase,
            quoted(parts.looseKey) + " is not \"launcher\": keys are case-sensitive, so ignored");
    } else if (text == VMARGS) {
        // Kept from opening the VM section by a byte-order mark, said above.
    } else if (equalsIgnoringCase(text, VMARGS)) {
        add(line.number, KindId::LetterCase,
            quoted(text) + " is not \"-vmargs\": it does not open the VM section" +
                (shape.vmSectionLine == 0
                     ? ", so " + linesAfter(shape.lines - line.number) + " ignored"
                     : std::string()));
    } else if (followsFromShape(line)) {
        return;
    } else if (parts.looseKey == Options::WebApp || variant == Options::WebApp) {
        add(line.number, KindId::NameInHead,
            "application name before -vmargs ignored" +
                (findings.defaultNameAdded
                     ? "; the default " + quoted(Options::WebApp + '=' + findings.applicationName) +
                           " is added"
                     : std::string("; a line below -vmargs names the application")));
    } else if (!text.empty() && text[0] == '-') {
        add(line.number, KindId::ArgumentInHead,
            "ignored: arguments count only after the -vmargs line");
    }
}

void LineRules::vmSection(const IniLine& line) {
    const std::string& text = line.trimmed;
    const KeyLine parts = keyLineOf(text);
    const std::string_view variant =
        parts.caseDiffers() ? std::string_view(*parts.known) : std::string_view();
    // Said only where the launcher adds it: another line may name the application.
    const auto defaultName = [this] {
        return findings.defaultNameAdded
                   ? ", and the default " +
                         quoted(Options::WebApp + '=' + findings.applicationName) +
                         " is added as well"
                   : std::string();
    };
    if (parts.looseKey == Options::Lanucher || variant == Options::Lanucher) {
        add(line.number, KindId::LauncherInVmSection,
            "launcher line after -vmargs: passed to the executable as an argument; the "
            "executable is not replaced");
    } else if (text == VMARGS) {
        add(line.number, KindId::VmargsInVmSection,
            "second -vmargs line: passed to the executable as an argument");
    } else if (equalsIgnoringCase(text, VMARGS)) {
        add(line.number, KindId::LetterCase,
            quoted(text) + " is not \"-vmargs\": passed to the executable as an argument");
    } else if (parts.key != parts.looseKey && isKnownKey(parts.looseKey)) {
        add(line.number, KindId::BlanksAroundEquals,
            "blanks around \"=\": not taken as " + std::string(parts.looseKey) +
                (parts.looseKey == Options::WebApp ? ", so passed as written" + defaultName()
                                                   : ", so passed as written, not made absolute"));
    } else if (!variant.empty()) {
        add(line.number, KindId::LetterCase,
            quoted(parts.looseKey) + " is not " + std::string(variant) +
                ": keys are case-sensitive, so passed as written" +
                (variant == Options::WebApp ? defaultName() : ", not made absolute"));
    } else if (!text.empty() && (text[0] == '#' || text[0] == ';')) {
        add(line.number, KindId::CommentInVmSection,
            "the ini file has no comments: passed to the executable as an argument");
    }

    if (line.effect == LineEffect::NameSuppressed) {
        if (parts.value.empty()) {
            add(line.number, KindId::EmptyApplicationName,
                "the application gets an empty name, and the default " +
                    quoted(Options::WebApp + '=' + findings.applicationName) + " is not added");
        } else if (isBlank(parts.value[0])) {
            add(line.number, KindId::BlanksAroundEquals,
                "blank after \"=\": the application name " + quoted(parts.value) +
                    " starts with it");
        }
    }
    if (line.effect == LineEffect::PathMadeAbsolute || line.effect == LineEffect::PathAbsolute) {
        path(line);
    }
}

void LineRules::path(const IniLine& line) {
    const KeyLine parts = keyLineOf(line.trimmed);
    const std::string path = propertyPath(line.element);
    if (parts.value.empty()) {
        add(line.number, KindId::EmptyPath,
            "empty value: " + std::string(parts.key) + " becomes the application directory itself");
    } else if (isBlank(parts.value[0])) {
        add(line.number, KindId::BlanksAroundEquals,
            "blank after \"=\": it becomes part of the path " + quoted(path));
    } else if (line.pathState == PathState::Missing) {
        add(line.number, KindId::MissingPath,
            std::string(parts.key) + " names " + quoted(path) + ", which does not exist");
    } else if (line.pathState == PathState::Directory) {
        add(line.number, KindId::PathIsDirectory,
            std::string(parts.key) + " names " + quoted(path) +
                ", which is a directory, not a file");
    }
}

void duplicateWarnings(const LaunchVector& argv, Collector& add) {
    // Sorted pairs of a key's hash and the element's index rather than a map
    // of copies: a huge VM section costs eight bytes an element here, sorted
    // in place, not another copy of every property.
    struct Property {
        std::uint32_t hash;   // of the key, up to the first "="
        std::uint32_t index;  // among the ini file's elements
    };
    const auto element = [&argv](std::uint32_t index) -> const std::string& {
        return argv.rest[index + 2];
    };
    const auto key = [&element](std::uint32_t index) {
        const std::string& text = element(index);
        return std::string_view(text.data(), std::min(text.find('='), text.size()));
    };
    std::vector<Property> properties;
    for (std::uint32_t i = 0; i < argv.iniLines.size(); ++i) {
        if (element(i).compare(0, 2, "-D") == 0) {
            std::uint32_t hash = 2166136261u;  // FNV-1a
            for (const char c : key(i)) {
                hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
            }
            properties.push_back({hash, i});
        }
    }
    std::sort(properties.begin(), properties.end(), [](const Property& a, const Property& b) {
        return a.hash != b.hash ? a.hash < b.hash : a.index < b.index;
    });
    // Within one hash the order is the file's; keys that only share the hash
    // are told apart by comparing them, and each repetition is compared with
    // the first line that set its property.
    std::vector<std::pair<std::uint32_t, std::string>> found;
    for (std::size_t group = 0; group < properties.size();) {
        std::size_t end = group + 1;
        while (end < properties.size() && properties[end].hash == properties[group].hash) {
            ++end;
        }
        for (std::size_t i = group + 1; i < end; ++i) {
            const std::uint32_t again = properties[i].index;
            std::size_t first = group;
            while (key(properties[first].index) != key(again)) {
                ++first;
            }
            const std::string base = element(properties[first].index).c_str();
            if (first == i || base == element(again).c_str()) {
                continue;
            }
            found.emplace_back(argv.iniLines[again],
                               quoted(key(again)) + " set again with a different value (line " +
                                   std::to_string(argv.iniLines[properties[first].index]) +
                                   " gives " + quoted(base) + "): the executable gets both");
        }
        group = end;
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& warning : found) {
        add(warning.first, KindId::DuplicateProperty, warning.second);
    }
}

void sizeWarnings(const Facts& findings, const LaunchVector& argv, Collector& add) {
    std::size_t largest = 0;
    std::size_t largestSize = 0;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::size_t size = std::strlen((i == 0 ? argv.command : argv.rest[i - 1]).c_str());
        if (size > largestSize) {
            largest = i;
            largestSize = size;
        }
        if (size + 1 > ARGUMENT_LIMIT) {
            add(argv.lineOf(i), KindId::ArgumentTooLong,
                argumentName(argv, i) + " is " + std::to_string(size) +
                    " bytes long; the kernel takes at most " + std::to_string(ARGUMENT_LIMIT - 1) +
                    " bytes for one argument, so execv fails with E2BIG and the child reports " +
                    FAILED);
        }
    }
    const std::size_t total = findings.argumentBytes + findings.environmentBytes;
    if (findings.argumentLimit != 0 && total > findings.argumentLimit) {
        add(0, KindId::ArgumentsTooLong,
            "the arguments take " + std::to_string(findings.argumentBytes) +
                " bytes and the environment " + std::to_string(findings.environmentBytes) +
                " (strings with their NULs, the executable's path once more, and the kernel's "
                "pointers), " +
                std::to_string(total - findings.argumentLimit) +
                " more than the kernel's limit of " + std::to_string(findings.argumentLimit) +
                " bytes (a quarter of the stack limit), so execv fails with E2BIG; the largest "
                "is " +
                argumentName(argv, largest) + ", " + std::to_string(largestSize) + " bytes long");
    }
}

namespace {

// Whether the missing ini file is that of a launcher copy while another ini
// file belongs to no copy: one misnamed file, which ini-without-copy reports.
bool misnamedIniMissing(const Facts& findings) {
    const std::vector<LauncherCopy>& copies = findings.copies.copies;
    const auto copyNamed = [&copies](const std::string& name) {
        return std::any_of(copies.begin(), copies.end(),
                           [&name](const LauncherCopy& copy) { return copy.name == name; });
    };
    const std::vector<std::string>& inis = findings.copies.iniFiles;
    const bool orphan = std::any_of(inis.begin(), inis.end(), [&](const std::string& ini) {
        return !copyNamed(ini.substr(0, ini.size() - 4));
    });
    const std::string dir = findings.workingDir + '/';
    const std::string& ini = findings.iniPath;
    return findings.copiesSearched && orphan && ini.compare(0, dir.size(), dir) == 0 &&
           ini.size() > dir.size() + 4 &&
           copyNamed(ini.substr(dir.size(), ini.size() - dir.size() - 4));
}

}  // namespace

void iniFileWarnings(const Facts& findings, Collector& add) {
    const std::string name = "ini file " + quoted(findings.iniFile);
    switch (findings.iniState) {
        case IniState::Read:
            if (findings.encoding != Encoding::Bytes) {
                add(0, KindId::WideEncoding,
                    name + " is saved as " + IniText::encodingName(findings.encoding) +
                        (findings.byteOrderMark ? " with a byte-order mark" : "") +
                        ": the launcher reads bytes, so it finds no line it knows and passes "
                        "no arguments from the file");
            }
            break;
        case IniState::Missing:
            if (misnamedIniMissing(findings)) {
                break;
            }
            add(0, KindId::IniMissing,
                name +
                    " does not exist: the launcher reads it as empty and passes only the "
                    "default arguments");
            break;
        case IniState::Directory:
            add(0, KindId::IniDirectory, name + " is a directory: the launcher reads it as empty");
            break;
        case IniState::Unreadable:
            if (findings.iniAccess.granted()) {
                // Judged readable for another user, but this process cannot read it.
                add(0, KindId::IniUnreadable,
                    name + " can be read by " + findings.accessUser +
                        ", but not by the check itself, which shows the launch for an empty "
                        "file: run the check as root");
                break;
            }
            add(0, accessKind(findings.iniAccess, KindId::IniUnreadable),
                name + " " +
                    accessProblem(findings.iniAccess, findings.accessUser, "cannot be read") +
                    ": the launcher reads it as empty");
            break;
        case IniState::NotRegular:
            add(0, KindId::IniNotRegular,
                name +
                    " is a named pipe or a device: the launcher reads it as it opens it, a "
                    "named pipe only once a writer comes; the check does not read it and "
                    "shows the launch for an empty file");
            break;
    }
}

void executableWarnings(const Facts& findings, Collector& add) {
    const std::string& user = findings.accessUser;
    if (!findings.startDirUsable) {
        const AccessVerdict& verdict = findings.startDirAccess;
        add(0, accessKind(verdict, KindId::StartDirectory),
            "start directory " + quoted(findings.startDirResolved) + " " +
                accessProblem(verdict, user, "cannot be entered") +
                ": the child fails with \"Failed to launch, could not set start directory\"",
            findings.startDirResolved);
    }
    if (!findings.startDirUsable) {
        // The child fails at its change of directory and never runs execv.
        return;
    }
    const ExecutableInfo& info = findings.executableInfo;
    const AccessVerdict& verdict = findings.executableAccess;
    const std::size_t line = findings.launcherLine;
    // About the launcher line when there is one, else about the executable itself.
    const std::string file = line != 0 ? std::string() : info.resolved;
    const std::string name = "executable " + quoted(info.resolved);
    const std::string fails = ": the child fails with " + FAILED;
    if (findings.executable.empty()) {
        add(line, KindId::ExecutableMissing, "the launcher line names no executable" + fails, file);
    } else if (verdict.cause == AccessCause::NotFound) {
        add(line, KindId::ExecutableMissing, name + " " + accessProblem(verdict, user, "") + fails,
            file);
    } else if (info.kind == FileKind::Directory) {
        add(line, KindId::ExecutableNotExecutable, name + " is a directory" + fails, file);
    } else if (!verdict.granted()) {
        add(line, accessKind(verdict, KindId::ExecutableNotExecutable),
            name + " " + accessProblem(verdict, user, "is not executable") + fails, file);
    } else if (info.kind == FileKind::Script && !info.nestedInterpreter.empty() &&
               findings.interpreterAccess.granted()) {
        add(line, KindId::InterpreterMissing,
            name + " is a script whose interpreter " + quoted(info.interpreter) + " runs " +
                quoted(info.nestedInterpreter) + " in turn, which " + info.nestedProblem +
                (info.nestedExecSucceeds ? ": execv succeeds, but the interpreter ends at once "
                                           "with \"No such file or directory\""
                                         : fails),
            file);
    } else if (info.kind == FileKind::Script && !info.interpreterUsable) {
        const AccessVerdict& interpreter = findings.interpreterAccess;
        const KindId kind = interpreter.cause == AccessCause::NotFound || info.interpreter.empty()
                                ? KindId::InterpreterMissing
                                : accessKind(interpreter, KindId::InterpreterNotExecutable);
        add(line, kind,
            name + " is a script" +
                (info.interpreter.empty()
                     ? std::string(" whose \"#!\" line names no interpreter")
                     : " whose interpreter " + quoted(info.interpreter) + " " +
                           accessProblem(interpreter, user, "is not executable")) +
                fails,
            file);
    } else if (info.kind == FileKind::Script && !findings.scriptAccess.granted()) {
        add(line, accessKind(findings.scriptAccess, KindId::ScriptUnreadable),
            name + " is a script, and it " +
                accessProblem(findings.scriptAccess, user, "cannot be read") +
                ": execv starts its interpreter, which cannot read it, so the application does "
                "not start and the launcher reports nothing",
            file);
    } else if (info.kind == FileKind::Other) {
        add(line, KindId::ExecutableUnknownFormat,
            name +
                " is neither an ELF file nor a script with an interpreter line: the child "
                "fails with " +
                FAILED,
            file);
    }
}

void judgeWarnings(const Facts& findings, Collector& add) {
    if (!findings.judgedAsRoot) {
        return;
    }
    const std::string& owner = findings.appDirOwner;
    add(0, KindId::JudgedAsRoot,
        "permissions were judged for root, who bypasses them; the application directory "
        "belongs to " +
            (owner.empty() ? std::string("no one known") : owner) +
            (owner.empty() || owner == "root" ? std::string()
                                              : ", so --user " + owner + " may be the one"),
        findings.workingDir);
}

namespace {

// The Debian package of the C library for programs of `kind`, as a hint.
std::string libcPackage(const std::string& kind) {
    const std::pair<const char*, const char*> packages[] = {
        {"32-bit i386", "libc6:i386"},     {"64-bit x86-64", "libc6:amd64"},
        {"64-bit AArch64", "libc6:arm64"}, {"32-bit ARM", "libc6:armhf"},
        {"64-bit s390", "libc6:s390x"},    {"64-bit RISC-V", "libc6:riscv64"}};
    for (const auto& package : packages) {
        if (kind == package.first) {
            return std::string(" (Debian: ") + package.second + ")";
        }
    }
    return std::string();
}

// What the kernel and the dynamic loader make of the ELF program `check`
// describes; `name` says which program it is.
void elfProgramWarnings(const ElfCheck& check, const std::string& name, std::size_t line,
                        const std::string& file, Collector& add) {
    if (!check.checked) {
        return;
    }
    if (!check.damage.empty()) {
        add(line, KindId::ExecutableDamaged,
            name + " is a damaged ELF file, perhaps copied only in part: " + check.damage +
                (check.execRefused ? ". execv fails with \"Exec format error\" and the child "
                                     "reports " +
                                         FAILED
                                   : std::string(". execv succeeds, but the program is killed "
                                                 "(SIGSEGV or SIGBUS) as soon as it touches "
                                                 "the missing part")),
            file);
        return;
    }
    if (!check.runs) {
        add(line, KindId::ExecutableForeignMachine,
            name + " is " + check.howRun + ": execv fails with \"Exec format error\" and the " +
                "child reports " + FAILED,
            file);
        return;
    }
    const LinkCheck& linking = check.linking;
    if (!linking.loaderProblem.empty()) {
        add(line, KindId::LoaderMissing,
            name + " needs the " + check.kind + " loader " + quoted(linking.loader) + ", which " +
                linking.loaderProblem +
                ": execv fails with \"No such file or directory\" although the program exists, "
                "and the child reports " +
                FAILED + "; the " + check.kind + " C library provides it" + libcPackage(check.kind),
            file);
    }
    for (const MissingLibrary& missing : linking.missing) {
        add(line, KindId::LibraryMissing,
            "library " + quoted(missing.name) + " (" + check.kind + "), needed by " +
                quoted(missing.neededBy) +
                ", is not found where the dynamic loader looks (RPATH and RUNPATH, "
                "LD_LIBRARY_PATH, the loader cache, the default directories): execv succeeds "
                "but the child ends at once with \"error while loading shared libraries\"" +
                (missing.name.compare(0, 5, "libc.") == 0
                     ? "; the " + check.kind + " C library provides it" + libcPackage(check.kind)
                     : std::string()),
            file);
    }
}

}  // namespace

void elfWarnings(const Facts& findings, Collector& add) {
    const ExecutableInfo& info = findings.executableInfo;
    if (!findings.startDirUsable || !info.executable || findings.executable.empty()) {
        return;
    }
    const std::string name = "executable " + quoted(info.resolved);
    const std::string file = findings.launcherLine != 0 ? std::string() : info.resolved;
    if (info.kind == FileKind::Elf) {
        elfProgramWarnings(info.program, name, findings.launcherLine, file, add);
    } else if (info.kind == FileKind::Script && info.interpreterUsable) {
        elfProgramWarnings(info.interpreterProgram,
                           "the interpreter " + quoted(info.interpreter) + " of the script " + name,
                           findings.launcherLine, file, add);
    }
}

// The launcher copies that start this application, beside their ini files.
void copyWarnings(const Facts& findings, Collector& add) {
    if (!findings.copiesSearched) {
        return;
    }
    const std::vector<LauncherCopy>& copies = findings.copies.copies;
    const std::vector<std::string>& inis = findings.copies.iniFiles;
    const auto pathOf = [&findings](const std::string& name) {
        return findings.workingDir + '/' + name;
    };
    if (copies.empty()) {
        // The copy started, as a link to a launcher that is gone.
        if (!findings.danglingCopyTarget.empty()) {
            add(0, KindId::DanglingLink,
                "launcher copy " + quoted(findings.invocationName) +
                    " is a dangling symbolic link -> " + quoted(findings.danglingCopyTarget) +
                    ", so nothing starts this application",
                findings.iniPath.substr(0, findings.iniPath.size() - 4));
            return;
        }
        add(0, KindId::NoLauncherCopy,
            "no copy of the launcher in the application directory, so nothing starts this "
            "application (a program \"run\" is a copy only when it carries the launcher's "
            "version note: an old build does not)",
            findings.workingDir);
        return;
    }
    std::string names;
    for (std::size_t i = 0; i < copies.size(); ++i) {
        const LauncherCopy& copy = copies[i];
        names += (names.empty() ? "" : ", ") + quoted(copy.name);
        if (i < findings.copyAccess.size() && !findings.copyAccess[i].granted()) {
            const AccessVerdict& verdict = findings.copyAccess[i];
            add(0, accessKind(verdict, KindId::LauncherCopyNotExecutable),
                "launcher copy " + quoted(copy.name) + " " +
                    accessProblem(verdict, findings.accessUser, "is not executable") +
                    ", so it cannot start the application",
                pathOf(copy.name));
        } else if (i >= findings.copyAccess.size() && !copy.executable) {
            add(0, KindId::LauncherCopyNotExecutable,
                "launcher copy " + quoted(copy.name) +
                    " is not executable, so it cannot start the application",
                pathOf(copy.name));
        }
        if (copy.version != DVL_VERSION) {
            add(0, KindId::LauncherCopyStale,
                "launcher copy " + quoted(copy.name) + " is version " + quoted(copy.version) +
                    ", this check " + quoted(DVL_VERSION) + ": it may not launch as shown here",
                pathOf(copy.name));
        }
    }
    if (copies.size() > 1) {
        add(0, KindId::SeveralLauncherCopies,
            "several launcher copies (" + names +
                "): each reads the ini file named after it; this check shows " +
                quoted(findings.invocationName),
            findings.workingDir);
    }
    std::vector<std::string> orphans;
    for (const std::string& ini : inis) {
        const std::string owner = ini.substr(0, ini.size() - 4);
        if (std::none_of(copies.begin(), copies.end(),
                         [&](const LauncherCopy& copy) { return copy.name == owner; })) {
            orphans.push_back(ini);
        }
    }
    for (const LauncherCopy& copy : copies) {
        const std::string own = copy.name + ".ini";
        if (orphans.empty() || std::find(inis.begin(), inis.end(), own) != inis.end()) {
            continue;
        }
        std::string others;
        for (const std::string& orphan : orphans) {
            others += (others.empty() ? "" : ", ") + quoted(orphan);
        }
        add(0, KindId::IniWithoutCopy,
            "launcher copy " + quoted(copy.name) + " reads " + quoted(own) +
                ", which does not exist, while " + others + " belongs to no copy",
            pathOf(copy.name));
    }
}
