#include "TextReport.h"

#include "ByteText.h"
#include "IniLines.h"

namespace {

std::string quoted(const std::string& bytes) {
    return '"' + ByteText::visible(bytes) + '"';
}

const char* iniStateText(IniState state) {
    switch (state) {
        case IniState::Read:
            return "read";
        case IniState::Missing:
            return "missing: read as empty";
        case IniState::Directory:
            return "a directory: read as empty";
        case IniState::Unreadable:
            return "cannot be opened: read as empty";
        case IniState::NotRegular:
            return "a named pipe or a device: not read";
    }
    return "";
}

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
                   (!info.program.damage.empty()   ? " (damaged)"
                    : !info.program.runs           ? " (not run by this kernel)"
                    : !info.program.howRun.empty() ? " (" + info.program.howRun + ")"
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

void writeCopies(std::ostream& out, const Findings& findings) {
    if (!findings.copiesSearched) {
        return;
    }
    out << "Launcher copies:" << (findings.copies.copies.empty() ? " none" : "") << '\n';
    for (const LauncherCopy& copy : findings.copies.copies) {
        out << "  " << quoted(copy.name) << ": version " << quoted(copy.version)
            << (copy.symlink ? ", a symbolic link" : "")
            << (copy.executable ? "" : ", not executable") << '\n';
    }
}

}  // namespace

void writeTextReport(std::ostream& out, const Findings& findings) {
    out << "Application directory: " << quoted(findings.workingDir) << '\n'
        << "Invocation name: " << quoted(findings.invocationName) << '\n'
        << "Ini file: " << quoted(findings.iniFile) << " (" << iniStateText(findings.iniState)
        << ")\n";

    if (!findings.lines.empty()) {
        out << "\nLines:\n";
    }
    for (const IniLine& line : findings.lines) {
        out << "  " << line.number << ' ' << quoted(line.raw) << "\n      "
            << effectText(line.effect);
        if (line.argument != 0) {
            out << " as argument " << line.argument << ' ' << quoted(line.element);
        }
        out << '\n';
    }
    out << "  end of file: ";
    if (findings.defaultNameArgument != 0) {
        out << "default application name added as argument " << findings.defaultNameArgument << ' '
            << quoted(findings.argv[findings.defaultNameArgument]) << '\n';
    } else {
        out << "no default application name\n";
    }

    const ExecutableInfo& info = findings.executableInfo;
    out << "\nStart directory: " << quoted(findings.startDirResolved)
        << (findings.startDirUsable ? "" : " (missing or cannot be entered)") << '\n'
        << "Executable: " << quoted(findings.argv.front());
    if (findings.launcherLine != 0) {
        out << " (from line " << findings.launcherLine << ')';
    }
    out << '\n';
    if (!findings.argv.front().empty()) {
        out << "  " << quoted(info.resolved) << ": " << fileText(info) << '\n';
    }
    writeCopies(out, findings);

    out << "\nArgument vector (" << findings.argv.size() << " elements, " << findings.argumentBytes
        << " bytes, environment " << findings.environmentBytes << " bytes, limit "
        << findings.argumentLimit << " bytes):\n";
    for (std::size_t i = 0; i < findings.argv.size(); ++i) {
        out << "  " << i << ' ' << quoted(findings.argv[i]) << '\n';
    }

    if (findings.warnings.empty()) {
        out << "\nNo warnings.\n";
        return;
    }
    out << "\nWarnings (" << findings.warnings.size() << "):\n";
    for (const Warning& warning : findings.warnings) {
        out << "  ";
        if (warning.line != 0) {
            out << "line " << warning.line << ": ";
        }
        out << warning.message << " [" << warning.kind << "]\n";
    }
}
