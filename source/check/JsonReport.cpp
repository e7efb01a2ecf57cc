#include "JsonReport.h"

#include "ByteText.h"
#include "IniLines.h"
#include "Kernel.h"

namespace {

const char* iniStateName(IniState state) {
    switch (state) {
        case IniState::Read:
            return "read";
        case IniState::Missing:
            return "missing";
        case IniState::Directory:
            return "directory";
        case IniState::Unreadable:
            return "unreadable";
        case IniState::NotRegular:
            return "not regular";
    }
    return "";
}

const char* kindName(FileKind kind) {
    switch (kind) {
        case FileKind::Missing:
            return "missing";
        case FileKind::Directory:
            return "directory";
        case FileKind::Elf:
            return "elf";
        case FileKind::Script:
            return "script";
        case FileKind::Other:
            return "other";
    }
    return "";
}

nlohmann::ordered_json lineOrNull(std::size_t line) {
    return line == 0 ? nlohmann::ordered_json() : nlohmann::ordered_json(line);
}

}  // namespace

nlohmann::ordered_json jsonBytes(const std::string& bytes) {
    if (ByteText::isValidUtf8(bytes)) {
        return bytes;
    }
    return {{"hex", ByteText::hex(bytes)}, {"display", ByteText::visible(bytes)}};
}

namespace {

nlohmann::ordered_json elfCheckJson(const ElfCheck& check) {
    nlohmann::ordered_json missing = nlohmann::ordered_json::array();
    for (const MissingLibrary& library : check.linking.missing) {
        missing.push_back(
            {{"name", jsonBytes(library.name)}, {"neededBy", jsonBytes(library.neededBy)}});
    }
    return {{"kind", check.kind},
            {"runs", check.runs},
            {"howRun", jsonBytes(check.howRun)},
            {"damage", jsonBytes(check.damage)},
            {"loader", jsonBytes(check.linking.loader)},
            {"loaderProblem", jsonBytes(check.linking.loaderProblem)},
            {"missingLibraries", missing}};
}

nlohmann::ordered_json copiesJson(const Findings& findings) {
    nlohmann::ordered_json copies = nlohmann::ordered_json::array();
    for (const LauncherCopy& copy : findings.copies.copies) {
        copies.push_back({{"name", jsonBytes(copy.name)},
                          {"version", jsonBytes(copy.version)},
                          {"executable", copy.executable},
                          {"symlink", copy.symlink}});
    }
    return copies;
}

}  // namespace

nlohmann::ordered_json jsonReport(const Findings& findings) {
    nlohmann::ordered_json lines = nlohmann::ordered_json::array();
    for (const IniLine& line : findings.lines) {
        nlohmann::ordered_json entry = {{"line", line.number},
                                        {"text", jsonBytes(line.raw)},
                                        {"visible", ByteText::visible(line.raw)},
                                        {"region", line.inHead ? "head" : "VM section"},
                                        {"effect", effectText(line.effect)}};
        if (line.argument != 0) {
            entry["argument"] = line.argument;
            entry["element"] = jsonBytes(line.element);
        }
        lines.push_back(entry);
    }

    nlohmann::ordered_json defaultName = {{"added", findings.defaultNameArgument != 0}};
    if (findings.defaultNameArgument != 0) {
        defaultName["argument"] = findings.defaultNameArgument;
        defaultName["element"] = jsonBytes(findings.argv[findings.defaultNameArgument]);
    }

    const ExecutableInfo& info = findings.executableInfo;
    nlohmann::ordered_json executable = {{"path", jsonBytes(findings.argv.front())},
                                         {"fromLine", lineOrNull(findings.launcherLine)},
                                         {"resolved", jsonBytes(info.resolved)},
                                         {"type", kindName(info.kind)},
                                         {"executable", info.executable},
                                         {"kernelMachine", KernelInfo::current().machine}};
    if (info.kind == FileKind::Elf) {
        executable["elfClass"] = info.elfClass;
        executable["program"] = elfCheckJson(info.program);
    }
    if (info.kind == FileKind::Script) {
        executable["interpreter"] = jsonBytes(info.interpreter);
        executable["interpreterUsable"] = info.interpreterUsable;
        if (info.interpreterProgram.checked) {
            executable["interpreterProgram"] = elfCheckJson(info.interpreterProgram);
        }
    }

    nlohmann::ordered_json argv = nlohmann::ordered_json::array();
    for (const std::string& arg : findings.argv) {
        argv.push_back(jsonBytes(arg));
    }

    nlohmann::ordered_json warnings = nlohmann::ordered_json::array();
    for (const Warning& warning : findings.warnings) {
        warnings.push_back({{"line", lineOrNull(warning.line)},
                            {"kind", warning.kind},
                            {"message", jsonBytes(warning.message)}});
    }

    return {{"applicationDirectory", jsonBytes(findings.workingDir)},
            {"invocationName", jsonBytes(findings.invocationName)},
            {"iniFile",
             {{"name", jsonBytes(findings.iniFile)},
              {"path", jsonBytes(findings.iniPath)},
              {"state", iniStateName(findings.iniState)}}},
            {"lines", lines},
            {"defaultApplicationName", defaultName},
            {"startDirectory",
             {{"path", jsonBytes(findings.startDirResolved)}, {"usable", findings.startDirUsable}}},
            {"executable", executable},
            {"argv", argv},
            {"argumentBytes", findings.argumentBytes},
            {"environmentBytes", findings.environmentBytes},
            {"argumentLimit", findings.argumentLimit},
            {"launcherCopies",
             findings.copiesSearched ? copiesJson(findings) : nlohmann::ordered_json()},
            {"warnings", warnings}};
}

void writeJsonReport(std::ostream& out, const Findings& findings) {
    // Every string in the document is valid UTF-8 (see jsonBytes), so the
    // strict default of dump never throws here.
    out << jsonReport(findings).dump(2) << '\n';
}
