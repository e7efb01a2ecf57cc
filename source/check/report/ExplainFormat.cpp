#include "report/ExplainFormat.h"

#include <memory>
#include <string>

#include "facts/ExecutableInspection.h"
#include "facts/IniLines.h"
#include "report/FactWords.h"
#include "report/TextOutput.h"
#include "rules/FactText.h"

namespace {

using TextOutput::Quoted;
using TextOutput::quoted;

std::string fileText(const ExecutableInfo& info) {
    switch (info.kind) {
        case FileKind::Missing:
            return "does not exist";
        case FileKind::Directory:
            return "a directory";
        case FileKind::Elf:
            return std::string(info.executable ? "executable" : "not executable") + ", " +
                   (info.program.kind.empty() ? std::string("ELF") : info.program.kind) +
                   " ELF file" +
                   (info.program.damage.kind != ElfDamageKind::None ? " (damaged)"
                    : !info.program.runs                            ? " (not run by this kernel)"
                    : info.program.howRun.how != KernelRun::Natively
                        ? " (" + kernelRunText(info.program.howRun) + ")"
                        : "");
        case FileKind::Script:
            return std::string(info.executable ? "executable" : "not executable") +
                   ", script for " + quoted(info.interpreter) +
                   (info.interpreterUsable ? "" : " (not found or not executable)");
        case FileKind::Other:
            return std::string(info.executable ? "executable" : "not executable") +
                   ", neither an ELF file nor a script";
    }
    return "";
}

void begin(std::ostream& out, const Tally& tally, const Facts& facts) {
    if (tally.applications > 1) {
        out << '\n';
    }
    out << "Application directory: " << quoted(facts.workingDir) << '\n'
        << "Invocation name: " << quoted(facts.invocationName) << '\n'
        << "Ini file: " << quoted(facts.iniFile) << " (" << iniStateText(facts.iniState) << ")\n"
        << "Permissions: " << accessMethodText(facts) << "\n\nLines:\n";
}

void line(TextOutput::Buffered& out, const IniLine& line) {
    out << "  " << line.number << ' ' << Quoted{line.raw} << "\n      " << effectText(line.effect);
    if (line.argument != 0) {
        out << " as argument " << line.argument << ' ' << Quoted{line.element};
    }
    out << '\n';
}

// Which VM, why, what it said of itself, and every element it is handed.
void vmSection(std::ostream& out, const VmFacts& vm) {
    out << "\nJava VM: ";
    if (vm.path.empty()) {
        out << (vm.problem.empty() ? std::string("none found") : vm.problem) << '\n';
    } else {
        out << quoted(vm.path) << " (" << vm.how << ")\n  ";
        if (!vm.mayStart) {
            out << "not started (--no-vm): judged by rule alone\n";
        } else if (!vm.info.problem.empty()) {
            out << "could not be asked: " << vm.info.problem << '\n';
        } else {
            out << "version " << vm.info.version << ", " << vm.info.dataModel << "-bit, "
                << vm.info.flags.size() << " -XX flags, " << vm.info.xOptions.size()
                << " -X options\n";
        }
        if (vm.sizes.asked) {
            out << "  asked with the memory sizes alone:";
            for (const std::string& size : vm.sizes.sizes) {
                out << ' ' << quoted(size);
            }
            out << (vm.sizes.started ? ": comes up" : ": refuses: " + vm.sizes.message) << " (on a "
                << vm.kernelBits << "-bit kernel)\n";
        }
    }
    out << "\nVM command line (" << vm.arguments.size() << " elements):\n";
    TextOutput::Buffered elements(out);
    for (std::size_t i = 0; i < vm.arguments.size(); ++i) {
        elements << "  " << i << ' ' << Quoted{vm.arguments.text(i)} << " ("
                 << vmOriginText(vm.arguments[i]) << ")\n";
    }
}

// Each way the application is started, and what the launch gets that way.
void startSection(std::ostream& out, const std::vector<StartCheck>& starts) {
    out << "\nStarted by:" << (starts.empty() ? " nothing found" : "") << '\n';
    for (const StartCheck& check : starts) {
        const StartFacts& start = check.start;
        out << "  " << startKindName(start.kind) << ' ' << quoted(start.file);
        if (start.line != 0) {
            out << " line " << start.line;
        }
        out << "\n    working directory " << quoted(start.workingDir) << ", name "
            << quoted(start.invocationName)
            << (start.user.empty() ? std::string() : ", as " + start.user) << '\n';
        if (!check.checked) {
            out << "    not followed: " << check.problem << '\n';
            continue;
        }
        out << "    vector:";
        for (const std::string& element : check.vector) {
            out << ' ' << quoted(element);
        }
        out << '\n';
        for (const Finding& finding : check.findings) {
            const Kind& kind = kindOf(finding.kind);
            out << "    " << severityName(severityOf(finding)) << ": " << finding.message << " ["
                << kind.name << "]\n";
        }
    }
}

void end(std::ostream& out, const Facts& facts, const LaunchVector& argv) {
    const ExecutableInfo& info = facts.executableInfo;
    out << "  end of file: ";
    if (facts.defaultNameArgument != 0) {
        out << "default application name added as argument " << facts.defaultNameArgument << ' '
            << quoted(argv.at(facts.defaultNameArgument)) << '\n';
    } else {
        out << "no default application name\n";
    }
    out << "\nStart directory: " << quoted(facts.startDirResolved)
        << (facts.startDirUsable ? "" : " (missing or cannot be entered)") << '\n'
        << "Executable: " << quoted(facts.executable);
    if (facts.launcherLine != 0) {
        out << " (from line " << facts.launcherLine << ')';
    }
    out << '\n';
    if (!facts.executable.empty()) {
        out << "  " << quoted(info.resolved) << ": " << fileText(info) << '\n';
    }
    out << "\nArgument vector (" << argv.size() << " elements, " << facts.argumentBytes
        << " bytes, environment " << facts.environmentBytes << " bytes, limit "
        << facts.argumentLimit << " bytes):\n";
    {
        TextOutput::Buffered elements(out);
        for (std::size_t i = 0; i < argv.size(); ++i) {
            elements << "  " << i << ' ' << Quoted{argv.view(i)} << '\n';
        }
    }
    if (facts.copiesSearched) {
        out << "\nLauncher copies:" << (facts.copies.copies.empty() ? " none" : "") << '\n';
        for (const LauncherCopy& copy : facts.copies.copies) {
            out << "  " << quoted(copy.name) << ": version " << quoted(copy.version)
                << (copy.symlink ? ", a symbolic link" : "")
                << (copy.executable ? "" : ", not executable") << '\n';
        }
    }
    startSection(out, facts.starts);
    out << "\nPaths the launch uses, and who besides root and " << facts.changer
        << " can change them:\n";
    for (const JudgedPath& judged : facts.judgedPaths) {
        out << "  " << quoted(judged.path) << ": owner " << judged.owner << ", group "
            << judged.group << ", mode " << modeText(judged.mode)
            << (judged.acl ? " with an ACL" : "") << (judged.onTheWay ? ", on the way to " : ", ")
            << judged.use.role;
        for (std::size_t i = 0; i < judged.writers.size(); ++i) {
            const PathWriter& writer = judged.writers[i];
            out << (i == 0 ? "; changed by " : ", ") << writer.who << " (" << writer.how << ')';
        }
        out << '\n';
    }
    if (facts.vm.judged) {
        vmSection(out, facts.vm);
    }
}

}  // namespace

Formatter explainFormat(std::ostream& out, const FormatOptions& options, const Tally& tally) {
    Formatter format;
    const bool colour = options.colour;
    // The lines go out in large pieces, gathered across lines: what else is
    // written first hands over those gathered before it.
    const auto lines = std::make_shared<TextOutput::Buffered>(out);
    format.begin = [&out, &tally, lines](const std::string&, const Facts& facts) {
        lines->flush();
        begin(out, tally, facts);
    };
    format.line = [lines](const Facts&, const IniLine& iniLine) { line(*lines, iniLine); };
    format.finding = [&out, colour, lines](const Facts&, const ShownFinding& shown) {
        lines->flush();
        TextOutput::finding(out, shown, colour);
    };
    format.end = [&out, lines](const Facts& facts, const LaunchVector& argv) {
        lines->flush();
        end(out, facts, argv);
    };
    format.failed = [&out, colour, lines](const std::string& shownDir, const std::string& problem) {
        lines->flush();
        TextOutput::failure(out, shownDir, problem, colour);
    };
    format.finish = [&out, &tally, lines]() {
        lines->flush();
        out << '\n';
        TextOutput::summary(out, tally);
    };
    return format;
}
