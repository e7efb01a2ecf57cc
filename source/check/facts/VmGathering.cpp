#include "facts/VmGathering.h"

#include "facts/IniExamination.h"
#include "facts/JavaVm.h"
#include "facts/Kernel.h"
#include "facts/OptionFiles.h"
#include "facts/VmProbe.h"
#include "facts/VmProbeOptions.h"
#include "util/Text.h"

#include <cstdlib>

namespace {

// Where the element after "--launcher.appendVmargs" and "-vmargs" stands.
constexpr std::size_t FIRST_INI_ARGUMENT = 3;

// The value the launch's VM variable `name` has; nullptr when not set.
const char* variableOf(const VmFacts& vm, const std::string& name) {
    for (const std::string& variable : vm.variables) {
        if (Text::startsWith(variable, name + "=")) {
            return variable.c_str() + name.size() + 1;
        }
    }
    return nullptr;
}

// The options of the VM variables that a probe leaves out, judged from
// their files as the ini file's are, flag and option files read as the
// VM reads them there; the VM reads JAVA_TOOL_OPTIONS before its command
// line. It refuses @FILE there, which the probe keeps to hear it say so.
void addVariableOptions(VmFacts& vm) {
    for (const char* name : {"JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS"}) {
        const char* value = variableOf(vm, name);
        for (const std::string& option :
             value != nullptr ? splitVmVariable(value) : std::vector<std::string>()) {
            const char* effect = effectOutsideVm(option);
            if (effect == nullptr || option[0] == '@') {
                continue;
            }
            VmArgument argument;
            argument.text = option;
            argument.origin = VmOrigin::Environment;
            argument.variable = name;
            argument.fromVmFile = true;
            vm.arguments.push_back(argument);
        }
    }
}

void addArguments(Facts& findings, std::size_t ownArguments, const LaunchVector& argv) {
    VmFacts& vm = findings.vm;
    addVariableOptions(vm);
    for (const auto& line : readInstallationIni(vm.installationIni).vmArgs) {
        VmArgument argument;
        argument.text = line.second;
        argument.iniLine = line.first;
        argument.origin = VmOrigin::InstallationIni;
        vm.arguments.push_back(argument);
    }
    vm.arguments.attach(argv, FIRST_INI_ARGUMENT, findings.defaultNameArgument,
                        argv.size() - ownArguments);
}

// The VM variables as a probe may be given them: options with effects
// outside the VM dropped, the rest joined as the VM splits them again.
std::vector<std::string> probeVariables(const VmFacts& vm) {
    std::vector<std::string> variables;
    for (const char* name : {"JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS"}) {
        const char* value = variableOf(vm, name);
        if (value == nullptr) {
            continue;
        }
        std::string kept;
        for (const std::string& option : splitVmVariable(value)) {
            if (effectOutsideVm(option) == nullptr || option[0] == '@') {
                const char quote = option.find('\'') == std::string::npos ? '\'' : '"';
                kept += (kept.empty() ? "" : " ") + (quote + option) + quote;
            }
        }
        variables.push_back(std::string(name) + "=" + kept);
    }
    return variables;
}

}  // namespace

void findVmOf(Facts& findings, const std::string& named, const AccessJudge& access) {
    const std::string startDir = absoluteFrom(findings.workingDir, findings.startDir);
    const std::string& command = findings.executable;
    findJavaVm(findings.vm, named, command.empty() ? command : absoluteFrom(startDir, command),
               startDir, access);
}

void gatherVm(Facts& findings, bool ask, std::size_t ownArguments, const LaunchVector& argv,
              const AccessJudge& access, const std::vector<std::string>* variables, bool kept) {
    VmFacts& vm = findings.vm;
    vm.judged = true;
    vm.mayStart = ask;
    vm.kernelBits = static_cast<int>(kernelPointerSize() * 8);
    vm.variables = variables != nullptr ? *variables : vmVariables();
    addArguments(findings, ownArguments, argv);
    expandOptionFiles(vm, findings.startDirResolved, access);
    judgeVmFiles(vm, findings.startDirResolved, access);
    if (vm.mayStart && !vm.path.empty()) {
        vm.info = probeVm(vm.path, access, kept);
    }
}

bool vmMayBeAsked(const VmFacts& vm) {
    return vm.mayStart && !vm.path.empty() && vm.info.problem.empty();
}

void askVmSizes(VmFacts& vm, const std::vector<std::string>& sizes, const AccessJudge& access) {
    if (vmMayBeAsked(vm) && !sizes.empty()) {
        vm.sizes = probeSizes(vm.path, sizes, access);
    }
}

void askVmArguments(VmFacts& vm, const std::vector<std::size_t>& indexes, const AccessJudge& access,
                    bool kept) {
    if (!vmMayBeAsked(vm)) {
        return;
    }
    std::vector<std::string> options;
    for (std::size_t i : indexes) {
        vm.arguments.markProbed(i);
        options.push_back(vm.arguments.text(i));
    }
    vm.verdict = probeArguments(vm.path, options, probeVariables(vm), access, kept);
}
