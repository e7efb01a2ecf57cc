#include "Warnings.h"

#include <sys/stat.h>

#include <algorithm>
#include <limits>
#include <map>

#include "ByteText.h"
#include "IniFormat.h"
#include "Options.h"

namespace {

const std::string BYTE_ORDER_MARK = "\xEF\xBB\xBF";
const std::string NO_BREAK_SPACE = "\xC2\xA0";
const std::string FAILED = "\"Failed to launch\"";

std::string quoted(const std::string& bytes) {
    return '"' + ByteText::visible(bytes) + '"';
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// The key that `key` was probably meant to be when it differs from one only
// in letter case; empty otherwise.
std::string caseVariantOf(const std::string& key) {
    for (const std::string* known : {&Options::Lanucher, &Options::WebApp, &Options::InitScript,
                                     &Options::ProgramFile, &Options::ConfigFile}) {
        if (key != *known && lowerAscii(key) == lowerAscii(*known)) {
            return *known;
        }
    }
    return std::string();
}

bool isPathKey(const std::string& key) {
    return key == Options::InitScript || key == Options::ProgramFile || key == Options::ConfigFile;
}

bool isKnownKey(const std::string& key) {
    return key == Options::Lanucher || key == Options::WebApp || isPathKey(key);
}

bool hasControlByte(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u < 0x20 && c != '\t' && c != '\r' && c != '\0') || u == 0x7F;
    });
}

class Collector {
public:
    explicit Collector(std::vector<Warning>& warnings) : warnings(warnings) {}
    void operator()(std::size_t line, const char* kind, const std::string& message) {
        warnings.push_back(Warning{line, kind, message});
    }

private:
    std::vector<Warning>& warnings;
};

// How a line is split: the key before the first "=", the value after it,
// and the key without the blanks that end it.
struct Split {
    std::string key;
    std::string looseKey;
    std::string value;
    bool hasValue = false;
};

Split split(const std::string& line) {
    Split parts;
    const IniFormat::Chars all = IniFormat::charsOf(line);
    const IniFormat::Chars key = IniFormat::keyOf(all);
    parts.key.assign(key.begin(), key.end());
    parts.hasValue = key.end() != all.end();
    if (parts.hasValue) {
        parts.value.assign(key.end() + 1, all.end());
    }
    parts.looseKey = parts.key;
    while (!parts.looseKey.empty() && isBlank(parts.looseKey.back())) {
        parts.looseKey.pop_back();
    }
    return parts;
}

void byteWarnings(const IniLine& line, Collector& add) {
    const std::string& text = line.trimmed;
    if (line.number == 1 && line.raw.compare(0, BYTE_ORDER_MARK.size(), BYTE_ORDER_MARK) == 0) {
        std::string rest = line.raw.substr(BYTE_ORDER_MARK.size());
        IniFormat::trim(rest);
        IniFormat::State state = IniFormat::State::Searching;
        const IniFormat::Role meant = IniFormat::step(state, rest);
        add(line.number, "byte-order-mark",
            std::string("byte-order mark before the first line: the launcher does not skip it") +
                (meant == IniFormat::Role::LauncherLine ? ", so this is not a launcher line"
                 : meant == IniFormat::Role::OpensVmSection
                     ? ", so this line does not open the VM section"
                     : ""));
    }
    if (text.find('\r') != std::string::npos) {
        add(line.number, "carriage-return",
            "carriage return inside the line: a file whose lines end in a carriage return alone "
            "is read as one single line");
    }
    if (text.find('\0') != std::string::npos) {
        add(line.number, "nul-byte",
            line.argument != 0
                ? "NUL byte: the argument ends before it, as " + quoted(line.element.c_str())
                : std::string("NUL byte in the line"));
    }
    if (hasControlByte(text)) {
        add(line.number, "control-byte", "control byte in the line, shown as \\xNN");
    }
    if (text.find(NO_BREAK_SPACE) != std::string::npos) {
        add(line.number, "no-break-space",
            "no-break space (\\u{00A0}): not white space to the launcher, so it stays in the line");
    }
}

void headWarnings(const Findings& findings, const IniLine& line, const Split& parts,
                  Collector& add) {
    const std::string& text = line.trimmed;
    const std::string variant = caseVariantOf(parts.looseKey);
    if (line.effect == LineEffect::LauncherTaken) {
        if (!parts.value.empty() && isBlank(parts.value[0])) {
            add(line.number, "blanks-around-equals",
                "blank after \"=\": the executable path " + quoted(parts.value) +
                    " starts with it");
        }
        return;
    }
    if (line.effect != LineEffect::IgnoredInHead) {
        return;
    }
    if (parts.key == Options::Lanucher) {
        add(line.number, "second-launcher",
            "second launcher line ignored: line " + std::to_string(findings.launcherLine) +
                " already named the executable");
    } else if (parts.looseKey == Options::Lanucher && parts.key != parts.looseKey) {
        add(line.number, "blanks-around-equals",
            "blanks around \"=\": not taken as the launcher line, so ignored");
    } else if (variant == Options::Lanucher) {
        add(line.number, "letter-case",
            quoted(parts.looseKey) + " is not \"launcher\": keys are case-sensitive, so ignored");
    } else if (text != VMARGS && lowerAscii(text) == VMARGS) {
        add(line.number, "letter-case",
            quoted(text) + " is not \"-vmargs\": it does not open the VM section, so ignored");
    } else if (parts.looseKey == Options::WebApp || variant == Options::WebApp) {
        add(line.number, "name-in-head",
            "application name before -vmargs ignored; the default " +
                quoted(Options::WebApp + '=' + findings.applicationName) + " is added");
    } else if (!text.empty() && text[0] == '-') {
        add(line.number, "argument-in-head",
            "ignored: arguments count only after the -vmargs line");
    }
}

void vmWarnings(const Findings& findings, const IniLine& line, const Split& parts, Collector& add) {
    const std::string& text = line.trimmed;
    const std::string variant = caseVariantOf(parts.looseKey);
    const std::string defaultName = quoted(Options::WebApp + '=' + findings.applicationName);
    if (parts.looseKey == Options::Lanucher || variant == Options::Lanucher) {
        add(line.number, "launcher-in-vm-section",
            "launcher line after -vmargs: passed to the executable as an argument; the "
            "executable is not replaced");
    } else if (text == VMARGS) {
        add(line.number, "vmargs-in-vm-section",
            "second -vmargs line: passed to the executable as an argument");
    } else if (lowerAscii(text) == VMARGS) {
        add(line.number, "letter-case",
            quoted(text) + " is not \"-vmargs\": passed to the executable as an argument");
    } else if (parts.key != parts.looseKey && isKnownKey(parts.looseKey)) {
        add(line.number, "blanks-around-equals",
            "blanks around \"=\": not taken as " + parts.looseKey +
                (parts.looseKey == Options::WebApp ? ", so passed as written, and the default " +
                                                         defaultName + " is added as well"
                                                   : ", so passed as written, not made absolute"));
    } else if (!variant.empty()) {
        add(line.number, "letter-case",
            quoted(parts.looseKey) + " is not " + variant +
                ": keys are case-sensitive, so passed as written" +
                (variant == Options::WebApp
                     ? ", and the default " + defaultName + " is added as well"
                     : ", not made absolute"));
    } else if (!text.empty() && (text[0] == '#' || text[0] == ';')) {
        add(line.number, "comment-in-vm-section",
            "the ini file has no comments: passed to the executable as an argument");
    }

    if (line.effect == LineEffect::NameSuppressed && !parts.value.empty() &&
        isBlank(parts.value[0])) {
        add(line.number, "blanks-around-equals",
            "blank after \"=\": the application name " + quoted(parts.value) + " starts with it");
    }
    if (line.effect != LineEffect::PathMadeAbsolute) {
        return;
    }
    const std::string::size_type equals = line.element.find('=');
    const std::string path =
        equals == std::string::npos ? std::string() : line.element.substr(equals + 1).c_str();
    struct stat status {};
    if (parts.value.empty()) {
        add(line.number, "empty-path",
            "empty value: " + parts.key + " becomes the application directory itself");
    } else if (isBlank(parts.value[0])) {
        add(line.number, "blanks-around-equals",
            "blank after \"=\": it becomes part of the path " + quoted(path));
    } else if (stat(path.c_str(), &status) != 0) {
        add(line.number, "missing-path",
            parts.key + " names " + quoted(path) + ", which does not exist");
    }
}

void duplicateWarnings(const Findings& findings, Collector& add) {
    struct First {
        std::string element;
        std::size_t line;
    };
    std::map<std::string, First> seen;
    for (const IniLine& line : findings.lines) {
        const std::string element = line.element.c_str();
        if (line.argument == 0 || element.compare(0, 2, "-D") != 0) {
            continue;
        }
        const std::string key = element.substr(0, element.find('='));
        const auto found = seen.emplace(key, First{element, line.number});
        if (!found.second && found.first->second.element != element) {
            add(line.number, "duplicate-property",
                quoted(key) + " set again with a different value (line " +
                    std::to_string(found.first->second.line) + " gives " +
                    quoted(found.first->second.element) + "): the executable gets both");
        }
    }
}

std::size_t lineOfArgument(const Findings& findings, std::size_t argument) {
    if (argument == 0) {
        return findings.launcherLine;
    }
    for (const IniLine& line : findings.lines) {
        if (line.argument == argument) {
            return line.number;
        }
    }
    return 0;
}

std::string argumentName(const Findings& findings, std::size_t argument) {
    const std::size_t line = lineOfArgument(findings, argument);
    return "argument " + std::to_string(argument) +
           (line != 0 ? " (line " + std::to_string(line) + ")" : std::string());
}

void sizeWarnings(const Findings& findings, Collector& add) {
    std::size_t largest = 0;
    for (std::size_t i = 0; i < findings.argv.size(); ++i) {
        const std::size_t size = findings.argv[i].size();
        if (size > findings.argv[largest].size()) {
            largest = i;
        }
        if (size + 1 > ARGUMENT_LIMIT) {
            add(lineOfArgument(findings, i), "argument-too-long",
                argumentName(findings, i) + " is " + std::to_string(size) +
                    " bytes long; the kernel takes at most " + std::to_string(ARGUMENT_LIMIT - 1) +
                    " bytes for one argument, so execv fails with E2BIG and the child reports " +
                    FAILED);
        }
    }
    const std::size_t total = findings.argumentBytes + findings.environmentBytes;
    if (findings.argumentLimit != 0 && total > findings.argumentLimit) {
        add(0, "arguments-too-long",
            "the arguments take " + std::to_string(findings.argumentBytes) +
                " bytes and the environment " + std::to_string(findings.environmentBytes) +
                " (strings, NULs and pointers), more than the system's limit of " +
                std::to_string(findings.argumentLimit) +
                " bytes (sysconf(_SC_ARG_MAX)), so execv fails with E2BIG; the largest is " +
                argumentName(findings, largest) + ", " +
                std::to_string(findings.argv[largest].size()) + " bytes long");
    }
}

void iniFileWarnings(const Findings& findings, Collector& add) {
    const std::string name = "ini file " + quoted(findings.iniFile);
    switch (findings.iniState) {
        case IniState::Read:
            break;
        case IniState::Missing:
            add(0, "ini-missing",
                name +
                    " does not exist: the launcher reads it as empty and passes only the "
                    "default arguments");
            break;
        case IniState::Directory:
            add(0, "ini-directory", name + " is a directory: the launcher reads it as empty");
            break;
        case IniState::Unreadable:
            add(0, "ini-unreadable", name + " cannot be opened: the launcher reads it as empty");
            break;
        case IniState::NotRegular:
            add(0, "ini-not-regular",
                name +
                    " is a named pipe or a device: the launcher reads it as it opens it, a "
                    "named pipe only once a writer comes; the check does not read it and "
                    "shows the launch for an empty file");
            break;
    }
}

void executableWarnings(const Findings& findings, Collector& add) {
    if (!findings.startDirUsable) {
        add(0, "start-directory",
            "start directory " + quoted(findings.startDirResolved) +
                " does not exist or cannot be entered: the child fails with \"Failed to launch, "
                "could not set start directory\"");
    }
    const ExecutableInfo& info = findings.executableInfo;
    const std::size_t line = findings.launcherLine;
    const std::string name = "executable " + quoted(info.resolved);
    if (findings.argv.front().empty()) {
        add(line, "executable-missing",
            "the launcher line names no executable: the child fails with " + FAILED);
    } else if (info.kind == FileKind::Missing) {
        add(line, "executable-missing", name + " does not exist: the child fails with " + FAILED);
    } else if (info.kind == FileKind::Directory) {
        add(line, "executable-not-executable",
            name + " is a directory: the child fails with " + FAILED);
    } else if (!info.executable) {
        add(line, "executable-not-executable",
            name + " is not executable: the child fails with " + FAILED);
    } else if (info.kind == FileKind::Script && !info.interpreterUsable) {
        add(line, "interpreter-missing",
            name + " is a script whose interpreter " + quoted(info.interpreter) +
                " does not exist or is not executable: the child fails with " + FAILED);
    } else if (info.kind == FileKind::Other) {
        add(line, "executable-unknown-format",
            name +
                " is neither an ELF file nor a script with an interpreter line: the child "
                "fails with " +
                FAILED);
    }
}

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
                        Collector& add) {
    if (!check.checked) {
        return;
    }
    if (!check.damage.empty()) {
        add(line, "executable-damaged",
            name + " is a damaged ELF file, perhaps copied only in part: " + check.damage +
                (check.execRefused ? ". execv fails with \"Exec format error\" and the child "
                                     "reports " +
                                         FAILED
                                   : std::string(". execv succeeds, but the program is killed "
                                                 "(SIGSEGV or SIGBUS) as soon as it touches "
                                                 "the missing part")) +
                "; copy the program again");
        return;
    }
    if (!check.runs) {
        add(line, "executable-foreign-machine",
            name + " is " + check.howRun + ": execv fails with \"Exec format error\" and the " +
                "child reports " + FAILED + "; install the build of it for this machine" +
                (check.kind == "32-bit i386" ? " or enable the kernel's 32-bit support" : ""));
        return;
    }
    const LinkCheck& linking = check.linking;
    if (!linking.loaderProblem.empty()) {
        add(line, "loader-missing",
            name + " needs the " + check.kind + " loader " + quoted(linking.loader) + ", which " +
                linking.loaderProblem +
                ": execv fails with \"No such file or directory\" although the program exists, "
                "and the child reports " +
                FAILED + "; install the " + check.kind + " C library" + libcPackage(check.kind));
    }
    for (const MissingLibrary& missing : linking.missing) {
        add(line, "library-missing",
            "library " + quoted(missing.name) + " (" + check.kind + "), needed by " +
                quoted(missing.neededBy) +
                ", is not found where the dynamic loader looks (RPATH and RUNPATH, "
                "LD_LIBRARY_PATH, the loader cache, the default directories): execv succeeds "
                "but the child ends at once with \"error while loading shared libraries\"; "
                "install the " +
                check.kind + " build of it" +
                (missing.name.compare(0, 5, "libc.") == 0 ? libcPackage(check.kind) : ""));
    }
}

void elfWarnings(const Findings& findings, Collector& add) {
    const ExecutableInfo& info = findings.executableInfo;
    if (!info.executable || findings.argv.front().empty()) {
        return;
    }
    const std::string name = "executable " + quoted(info.resolved);
    if (info.kind == FileKind::Elf) {
        elfProgramWarnings(info.program, name, findings.launcherLine, add);
    } else if (info.kind == FileKind::Script && info.interpreterUsable) {
        elfProgramWarnings(info.interpreterProgram,
                           "the interpreter " + quoted(info.interpreter) + " of the script " + name,
                           findings.launcherLine, add);
    }
}

// The launcher copies that start this application, beside their ini files.
void copyWarnings(const Findings& findings, Collector& add) {
    if (!findings.copiesSearched) {
        return;
    }
    const std::vector<LauncherCopy>& copies = findings.copies.copies;
    const std::vector<std::string>& inis = findings.copies.iniFiles;
    if (copies.empty()) {
        add(0, "no-launcher-copy",
            "no copy of the launcher in the application directory, so nothing starts this "
            "application: copy dashvane-launcher into it, or make a symbolic link to it, named "
            "after the ini file (\"run\" for \"run.ini\")");
        return;
    }
    std::string names;
    for (const LauncherCopy& copy : copies) {
        names += (names.empty() ? "" : ", ") + quoted(copy.name);
        if (!copy.executable) {
            add(0, "launcher-copy-not-executable",
                "launcher copy " + quoted(copy.name) +
                    " is not executable, so it cannot start the application: chmod +x it");
        }
        if (copy.version != DVL_VERSION) {
            add(0, "launcher-copy-stale",
                "launcher copy " + quoted(copy.name) + " is version " + quoted(copy.version) +
                    ", this check " + quoted(DVL_VERSION) +
                    ": it may not launch as shown here; replace it with the installed launcher, "
                    "or a symbolic link to it");
        }
    }
    if (copies.size() > 1) {
        add(0, "several-launcher-copies",
            "several launcher copies (" + names +
                "): each reads the ini file named after it; this check shows " +
                quoted(findings.invocationName));
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
        add(0, "ini-without-copy",
            "launcher copy " + quoted(copy.name) + " reads " + quoted(own) +
                ", which does not exist, while " + others +
                " belongs to no copy: rename the copy or the ini file so that they match");
    }
}

}  // namespace

std::vector<Warning> findWarnings(const Findings& findings) {
    std::vector<Warning> warnings;
    Collector add(warnings);
    for (const IniLine& line : findings.lines) {
        const Split parts = split(line.trimmed);
        byteWarnings(line, add);
        if (line.inHead) {
            headWarnings(findings, line, parts, add);
        } else {
            vmWarnings(findings, line, parts, add);
        }
    }
    duplicateWarnings(findings, add);
    sizeWarnings(findings, add);
    iniFileWarnings(findings, add);
    executableWarnings(findings, add);
    elfWarnings(findings, add);
    copyWarnings(findings, add);
    std::stable_sort(warnings.begin(), warnings.end(), [](const Warning& a, const Warning& b) {
        const auto order = [](std::size_t line) {
            return line == 0 ? std::numeric_limits<std::size_t>::max() : line;
        };
        return order(a.line) < order(b.line);
    });
    return warnings;
}
