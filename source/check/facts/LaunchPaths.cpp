#include "facts/LaunchPaths.h"

#include <sys/stat.h>

#include <cstring>
#include <string>

#include "launcher/Options.h"

namespace {

std::string absoluteIn(const std::string& dir, const std::string& path) {
    return path.empty() || path[0] == '/' ? path : dir + "/" + path;
}

void addProgram(std::vector<PathUse>& uses, const ElfCheck& program, const std::string& startDir) {
    if (!program.linking.loader.empty()) {
        uses.push_back({absoluteIn(startDir, program.linking.loader), "the dynamic loader"});
    }
    for (const std::string& dir : program.linking.searchedDirs) {
        uses.push_back({absoluteIn(startDir, dir), "a directory searched for libraries"});
    }
    for (const std::string& library : program.linking.libraries) {
        uses.push_back({absoluteIn(startDir, library), "a library"});
    }
}

// The file of "-javaagent:PATH=OPTIONS" or "-agentpath:PATH=OPTIONS": code
// the VM loads, found from the start directory when relative.
std::string agentOf(const std::string& element) {
    for (const char* prefix : {"-javaagent:", "-agentpath:"}) {
        const std::size_t size = std::strlen(prefix);
        if (element.compare(0, size, prefix) == 0) {
            // execv ends the element at a NUL byte.
            const std::string rest = std::string(element.c_str()).substr(size);
            return rest.substr(0, rest.find('='));
        }
    }
    return std::string();
}

// The agents the VM loads and the files of the three path properties, found
// from the start directory when relative.
void addVectorPaths(std::vector<PathUse>& uses, const LaunchVector& argv,
                    const std::string& startDir) {
    // The VM reads the last value of a property.
    const std::string keys[] = {Options::InitScript, Options::ProgramFile, Options::ConfigFile};
    const std::string assigned[] = {keys[0] + "=", keys[1] + "=", keys[2] + "="};
    std::size_t last[3] = {0, 0, 0};
    for (std::size_t i = 1; i < argv.size(); ++i) {
        // Looked at in place: the vector may be as large as the ini file.
        const std::string& element = argv.rest[i - 1];
        if (element.size() < 2 || element[0] != '-') {
            continue;
        }
        const std::string agent = element[1] == 'D' ? std::string() : agentOf(element);
        if (!agent.empty()) {
            uses.push_back({absoluteIn(startDir, agent), "the agent", true, argv.lineOf(i)});
        }
        for (std::size_t k = 0; k < 3; ++k) {
            // Nearly every element differs from all three past "-D".
            if (element[2] == assigned[k][2] &&
                element.compare(0, assigned[k].size(), assigned[k]) == 0) {
                last[k] = i;
            }
        }
    }
    for (std::size_t k = 0; k < 3; ++k) {
        if (last[k] != 0) {
            const std::string value = argv.at(last[k]).substr(keys[k].size() + 1);
            uses.push_back({absoluteIn(startDir, value), "the file of " + keys[k], false,
                            argv.lineOf(last[k])});
        }
    }
}

}  // namespace

std::vector<PathUse> launchPaths(const Facts& facts, const LaunchVector& argv) {
    std::vector<PathUse> uses;
    uses.push_back({facts.iniPath, "the ini file"});
    // The launcher looks up its own name and its ini file there, nothing else.
    uses.push_back({facts.workingDir, "the application directory", true, 0, true});
    if (facts.copiesSearched) {
        for (const LauncherCopy& copy : facts.copies.copies) {
            uses.push_back({facts.workingDir + "/" + copy.name, "the launcher copy"});
        }
    } else {
        const std::string& name = facts.invocationName;
        const std::string copy = facts.workingDir + "/" + name.substr(name.rfind('/') + 1);
        struct stat status {};
        if (lstat(copy.c_str(), &status) == 0) {
            uses.push_back({copy, "the launcher copy"});
        }
    }
    const std::string& startDir = facts.startDirResolved;
    uses.push_back({startDir, "the start directory"});
    const ExecutableInfo& info = facts.executableInfo;
    if (!facts.executable.empty()) {
        uses.push_back({info.resolved,
                        facts.launcherLine != 0 ? "the program of launcher=" : "the executable",
                        true, facts.launcherLine});
    }
    addProgram(uses, info.program, startDir);
    for (const std::string& interpreter : info.interpreterChain) {
        uses.push_back({interpreter, "the script's interpreter"});
    }
    addProgram(uses, info.interpreterProgram, startDir);
    addVectorPaths(uses, argv, startDir);
    return uses;
}
