#include "cli/OptionTable.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "report/Formats.h"
#include "util/ByteText.h"

const char USAGE[] = "usage: dashvane-launcher-check [OPTIONS] [APPDIR...] [-- ARGS...]\n";

namespace {

// Applies the option to the command line; returns the usage error, if any.
// `value` is empty for an option that takes none.
using Apply = std::string (*)(CommandLine& line, const std::string& value);

struct Option {
    const char* name;   // "--name"
    const char* alias;  // "-h", or nullptr
    const char* value;  // what --help calls its value; nullptr for a switch
    const char* help;   // wrapped by writeHelp
    Apply apply;
};

std::string severityValue(CommandLine& line, const std::string& text) {
    line.haveSeverity = true;
    if (!parseSeverity(text, line.threshold)) {
        return "--severity takes note, warning or error, not \"" + ByteText::visible(text) + "\"";
    }
    return std::string();
}

std::string ignoreValue(CommandLine& line, const std::string& text) {
    line.haveIgnore = true;
    std::string::size_type start = 0;
    while (start <= text.size()) {
        const std::string::size_type comma = std::min(text.find(',', start), text.size());
        const std::string name = text.substr(start, comma - start);
        KindId id{};
        if (!findKind(name, id)) {
            const std::string nearest = nearestKind(name);
            return "--ignore: no kind \"" + ByteText::visible(name) + "\" (" +
                   (nearest.empty() ? "" : "did you mean \"" + nearest + "\"? ") +
                   "--list-kinds lists them)";
        }
        line.ignored.set(static_cast<std::size_t>(id));
        start = comma + 1;
    }
    return std::string();
}

std::string formatValue(CommandLine& line, const std::string& text) {
    if (findFormat(text) == nullptr && text != "man") {
        return "--format takes " + formatNames() + " (or man with --list-kinds), not \"" +
               ByteText::visible(text) + "\"";
    }
    if (!line.format.empty() && line.format != text) {
        return "--format given twice: " + line.format + " and " + text;
    }
    line.format = text;
    return std::string();
}

std::string colourValue(CommandLine& line, const std::string& text) {
    if (text == "auto") {
        line.colour = ColourChoice::Auto;
    } else if (text == "always") {
        line.colour = ColourChoice::Always;
    } else if (text == "never") {
        line.colour = ColourChoice::Never;
    } else {
        return "--color takes auto, always or never, not \"" + ByteText::visible(text) + "\"";
    }
    return std::string();
}

std::string backupValue(CommandLine& line, const std::string& text) {
    using SafeRewrite::Backup;
    const std::vector<std::pair<const char*, Backup>> modes = {{"existing", Backup::Existing},
                                                               {"numbered", Backup::Numbered},
                                                               {"simple", Backup::Simple},
                                                               {"none", Backup::None}};
    for (const auto& mode : modes) {
        if (text == mode.first) {
            line.backup = mode.second;
            line.backupOption = "--backup";
            return std::string();
        }
    }
    return "--backup takes existing, numbered, simple or none, not \"" + ByteText::visible(text) +
           "\"";
}

const std::vector<Option>& options() {
    static const std::vector<Option> TABLE = {
        {"--name", nullptr, "NAME",
         "the launcher copy's name, as it is started (default: the one copy of the launcher "
         "in the directory, else ./run)",
         [](CommandLine& line, const std::string& value) {
             line.name = value;
             line.haveName = true;
             return std::string();
         }},
        {"--user", nullptr, "USER",
         "judge permissions as USER (a login name or a number), the user who starts the "
         "application; as root the check runs as that user",
         [](CommandLine& line, const std::string& value) {
             line.user = value;
             line.haveUser = true;
             return std::string();
         }},
        {"--installation", nullptr, "DIR",
         "check every application directory under DIR/apps that holds a launcher copy or an "
         "ini file",
         [](CommandLine& line, const std::string& value) {
             line.installations.push_back(value);
             return std::string();
         }},
        {"--java", nullptr, "PATH",
         "judge the arguments for the Java VM PATH (a java binary or a Java home) instead of "
         "the one the Dashvane executable finds",
         [](CommandLine& line, const std::string& value) {
             line.java = value;
             return std::string();
         }},
        {"--no-vm", nullptr, nullptr,
         "judge the Java VM's arguments by rule alone: never start the VM to ask it about "
         "itself or its arguments, not even to weigh a mend of --fix",
         [](CommandLine& line, const std::string&) {
             line.noVm = true;
             return std::string();
         }},
        {"--no-cache", nullptr, nullptr,
         "start the Java VM for its verdict and its description of itself even where an earlier "
         "run kept them",
         [](CommandLine& line, const std::string&) {
             line.noCache = true;
             return std::string();
         }},
        {"--start", nullptr, "FILE",
         "judge the start file FILE (a desktop entry, a systemd unit, a crontab, a shell "
         "wrapper, or a link or copy of a launcher copy), its kind told by its content and "
         "name, in place of the ones searched for; without APPDIR, check the applications it "
         "starts",
         [](CommandLine& line, const std::string& value) {
             line.starts.push_back(value);
             return std::string();
         }},
        {"--start-kind", nullptr, "KIND",
         "read each --start FILE as KIND: desktop-entry, systemd-unit, cron, shell-wrapper or "
         "path-link",
         [](CommandLine& line, const std::string& value) {
             if (!startKindNamed(value, line.startKind)) {
                 return "--start-kind takes desktop-entry, systemd-unit, cron, shell-wrapper or "
                        "path-link, not \"" +
                        ByteText::visible(value) + "\"";
             }
             line.haveStartKind = true;
             return std::string();
         }},
        {"--root", nullptr, "DIR",
         "search the start files (desktop entries, units, crontabs, PATH) under DIR as a prefix "
         "(DIR/etc/systemd/system, DIR/home/USER/.config/autostart...); the paths inside them "
         "are taken as written",
         [](CommandLine& line, const std::string& value) {
             line.root = value;
             line.haveRoot = true;
             return std::string();
         }},
        {"--format", nullptr, "FORMAT",
         "how the report is written: gcc (the default), json, sarif or checkstyle; see "
         "Formats below",
         formatValue},
        {"--json", nullptr, nullptr, "the same as --format json",
         [](CommandLine& line, const std::string&) {
             line.json = true;
             return std::string();
         }},
        {"--pretty", nullptr, nullptr, "indent the json or sarif document",
         [](CommandLine& line, const std::string&) {
             line.pretty = true;
             return std::string();
         }},
        {"--explain", nullptr, nullptr,
         "explain each application in full: its lines and what the launcher does with each, "
         "the start directory, the executable, the argument vector, the Java VM and its whole "
         "command line, and each way it is started with its directory, name and vector (gcc "
         "and json)",
         [](CommandLine& line, const std::string&) {
             line.explain = true;
             return std::string();
         }},
        {"--quiet", "-q", nullptr,
         "print nothing at all when nothing at or above the severity is found (gcc)",
         [](CommandLine& line, const std::string&) {
             line.quiet = true;
             return std::string();
         }},
        {"--color", nullptr, "WHEN",
         "colour the severities: auto (the default: on a terminal, unless NO_COLOR is set), "
         "always or never",
         colourValue},
        {"--severity", nullptr, "LEVEL",
         "the lowest severity shown and counted: note, warning (the default) or error",
         severityValue},
        {"--ignore", nullptr, "KIND[,KIND...]", "do not report these kinds of findings",
         ignoreValue},
        {"--config", nullptr, "FILE",
         "read the ignored kinds and the severities of kinds from FILE, in place of the "
         "installation's .dashvane-launcher-check or "
         "$XDG_CONFIG_HOME/dashvane-launcher-check/config",
         [](CommandLine& line, const std::string& value) {
             line.config = value;
             return std::string();
         }},
        {"--no-config", nullptr, nullptr, "read no configuration file",
         [](CommandLine& line, const std::string&) {
             line.noConfig = true;
             return std::string();
         }},
        {"--diff", nullptr, nullptr,
         "print, as a unified diff, what --fix would write, in place of the report; change "
         "nothing; on a terminal, lines with bytes that are not printable text are shown "
         "escaped, under a header that says so; piped, the diff applies with patch",
         [](CommandLine& line, const std::string&) {
             line.diff = true;
             return std::string();
         }},
        {"--fix", nullptr, nullptr,
         "mend the mechanical mistakes of each ini file (--list-kinds says which), then "
         "report what is left; the gcc format says each mend; the original is kept as "
         "NAME.ini~ (see --backup); one run mends all it can, so a second changes nothing; "
         "a mend that would make the launch fail, the Java VM's verdict included, is left, "
         "and its finding says why",
         [](CommandLine& line, const std::string&) {
             line.fix = true;
             return std::string();
         }},
        {"--backup", nullptr, "MODE",
         "with --fix, how the original is kept: existing (the default: NAME.ini~ while no "
         "backup exists, then NAME.ini.~1~, NAME.ini.~2~...), numbered, simple (NAME.ini~ "
         "alone, refused once it exists) or none; a backup is never overwritten",
         backupValue},
        {"--no-backup", nullptr, nullptr, "the same as --backup=none",
         [](CommandLine& line, const std::string&) {
             line.backup = SafeRewrite::Backup::None;
             line.backupOption = "--no-backup";
             return std::string();
         }},
        {"--list-kinds", nullptr, nullptr,
         "list every kind of finding with its severity, why, advice, and an example failing "
         "and fixed; as text, --format json, or --format man for the manual page; followed "
         "by KIND, print that kind's page",
         [](CommandLine& line, const std::string&) {
             line.kinds = true;
             return std::string();
         }},
        {"--version", nullptr, nullptr, "print the version",
         [](CommandLine& line, const std::string&) {
             line.version = true;
             return std::string();
         }},
        {"--help", "-h", nullptr, "print this help",
         [](CommandLine& line, const std::string&) {
             line.help = true;
             return std::string();
         }},
    };
    return TABLE;
}

// The help's text after the options: what they cannot say one at a time.
const char NOTES[] =
    "  -- ARGS...             the arguments the launcher itself is started with (by a\n"
    "                         desktop entry or a script); they join the argument vector\n"
    "\n"
    "An APPDIR argument may name the ini file instead: APPDIR/NAME.ini checks APPDIR as\n"
    "started by ./NAME.\n"
    "\n"
    "Formats:\n";

const char AFTER_FORMATS[] =
    "\n"
    "A head line \"# dashvane-launcher-check: ignore KIND[,KIND...]\" in an ini file\n"
    "silences those kinds for that file.\n"
    "\n"
    "A line that a mechanical mistake hides today (a byte-order mark, -VMARGS, carriage\n"
    "returns alone, UTF-16 or UTF-32, a missing -vmargs) is judged as it would be once\n"
    "the mistake is mended, the Java VM's verdict included: a latent-finding, a warning\n"
    "(a note where the finding is one), as the launch does not meet it today.\n"
    "\n"
    "Refused as usage errors: --diff with --fix, --json, --explain, --quiet or a format\n"
    "other than gcc; --backup or --no-backup without --fix; --json with another --format;\n"
    "--pretty without json or sarif; --explain with sarif or checkstyle; --quiet with\n"
    "--explain or another format than gcc; --color=always without a gcc report; --format\n"
    "man without --list-kinds; --list-kinds with anything but --format gcc, json or man and\n"
    "--pretty; an ini file argument with a --name that names another file. --help and\n"
    "--version ignore the rest.\n"
    "\n"
    "Exit status: 0 when nothing at or above the severity is found, 1 when something is,\n"
    "2 when a check could not be completed, 3 for a usage error.\n";

constexpr std::size_t HELP_COLUMN = 25;
constexpr std::size_t HELP_WIDTH = 90;

// `text` folded at blanks into lines that end by HELP_WIDTH, each starting
// at HELP_COLUMN; the first is padded there from `column`.
void wrapped(std::ostream& out, const std::string& text, std::size_t column) {
    const std::size_t width = HELP_WIDTH - HELP_COLUMN;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.size();
        if (end - start > width) {
            end = text.rfind(' ', start + width);
            if (end == std::string::npos || end <= start) {
                end = std::min(text.find(' ', start + width), text.size());
            }
        }
        out << std::string(HELP_COLUMN - column, ' ') << text.substr(start, end - start) << '\n';
        column = 0;
        start = end + 1;
    }
}

// Whether `arg` is `option` itself or `option=VALUE`.
bool names(const std::string& arg, const char* option) {
    const std::size_t length = std::strlen(option);
    return arg.compare(0, length, option) == 0 && (arg.size() == length || arg[length] == '=');
}

}  // namespace

std::string parseCommandLine(int argc, const char* const* argv, CommandLine& line) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            line.arguments.assign(argv + i + 1, argv + argc);
            break;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            line.paths.push_back(arg);
            continue;
        }
        const Option* found = nullptr;
        for (const Option& option : options()) {
            if (names(arg, option.name) || (option.alias != nullptr && arg == option.alias)) {
                found = &option;
                break;
            }
        }
        if (found == nullptr) {
            return "unknown option " + ByteText::visible(arg);
        }
        std::string value;
        const std::size_t length = std::strlen(found->name);
        if (found->value == nullptr) {
            if (arg.size() > length && arg[0] == '-' && arg[1] == '-') {
                return std::string(found->name) + " takes no value";
            }
        } else if (arg.size() > length) {
            value = arg.substr(length + 1);
        } else if (i + 1 == argc) {
            return std::string(found->name) + " needs a value";
        } else {
            value = argv[++i];
        }
        const std::string problem = found->apply(line, value);
        if (!problem.empty()) {
            return problem;
        }
    }
    return std::string();
}

void writeHelp(std::ostream& out) {
    out << USAGE << "       dashvane-launcher-check [OPTIONS] --installation DIR\n"
        << "       dashvane-launcher-check [OPTIONS] --start FILE\n"
        << "\n"
           "Checks Dashvane application directories: tells, without launching them, what "
           "their\n"
           "launcher copy will do and every mistake that makes its launch, or the Java VM it\n"
           "starts, fail or differ from what the ini file plainly says. It starts the VM as\n"
           "the application's user to ask it about itself, then with -version and the whole\n"
           "argument list, options with effects outside the VM left out (never with\n"
           "--no-vm); to know the executable's libraries it has the system's loader list\n"
           "them. Without APPDIR the working directory is checked.\n"
           "\n"
           "Options:\n";
    for (const Option& option : options()) {
        std::string left = "  ";
        if (option.alias != nullptr) {
            left += std::string(option.alias) + ", ";
        }
        left += option.name;
        if (option.value != nullptr) {
            left += std::string(" ") + option.value;
        }
        out << left;
        if (left.size() + 2 > HELP_COLUMN) {
            out << '\n';
            wrapped(out, option.help, 0);
        } else {
            wrapped(out, option.help, left.size());
        }
    }
    out << NOTES;
    for (const Format& format : formats()) {
        const std::string left = std::string("  ") + format.name;
        out << left;
        wrapped(out, format.help, left.size());
    }
    out << AFTER_FORMATS;
}
