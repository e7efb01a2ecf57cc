#include "facts/JavaVm.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "facts/VmProbeOptions.h"

namespace {

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(" \t\r") + 1 - first);
}

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

std::string joined(const std::string& base, const std::string& path) {
    if (path.empty() || path[0] == '/') {
        return path;
    }
    return base + (base.empty() || base.back() == '/' ? "" : "/") + path;
}

bool isDirectory(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The java binary a -vm path names: a directory means its bin/java.
std::string javaOf(const std::string& path) {
    return isDirectory(path) ? path + (path.back() == '/' ? "" : "/") + "bin/java" : path;
}

// The java binary a -vm line names, in each of the forms the executable
// takes: a JRE's bin directory, a java executable, the VM's shared library
// (LIB/VARIANT/libjvm.so, asked through the java of its home) or an
// execution-environment description file, whose -Dee.executable names it.
std::string javaOfVmLine(const std::string& path) {
    if (isDirectory(path)) {
        return path + (path.back() == '/' ? "" : "/") + "java";
    }
    const auto endsWith = [&path](const std::string& end) {
        return path.size() >= end.size() &&
               path.compare(path.size() - end.size(), end.size(), end) == 0;
    };
    if (endsWith(".so")) {
        return directoryOf(directoryOf(directoryOf(path))) + "/bin/java";
    }
    if (!endsWith(".ee")) {
        return path;
    }
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::string library;
    while (std::getline(in, line)) {
        line = trimmed(line);
        std::size_t at = line.find("${ee.home}");
        if (at != std::string::npos) {
            line.replace(at, 10, directoryOf(path));
        }
        if (line.compare(0, 16, "-Dee.executable=") == 0) {
            return joined(directoryOf(path), line.substr(16));
        }
        if (line.compare(0, 16, "-Dee.vm.library=") == 0) {
            library = joined(directoryOf(path), line.substr(16));
        }
    }
    return library.empty() ? path : javaOfVmLine(library);
}

bool usable(const std::string& path, const AccessJudge& access, std::string& why) {
    const AccessVerdict verdict = access.judge(AccessOperation::Execute, path);
    if (verdict.granted() && !isDirectory(path)) {
        return true;
    }
    why = verdict.cause == AccessCause::NotFound ? "does not exist"
          : verdict.granted()                    ? "is a directory"
                                                 : "cannot be executed by " + access.user().name;
    return false;
}

// Whether the last of "-XX:+NAME" and "-XX:-NAME" turns flag NAME on.
bool flagOn(const VmArguments& arguments, const std::string& name) {
    bool on = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& text = arguments.text(i);
        on = text == "-XX:+" + name ? true : text == "-XX:-" + name ? false : on;
    }
    return on;
}

// The last -Xshare mode; empty for none.
std::string shareMode(const VmArguments& arguments) {
    std::string mode;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments.text(i).compare(0, 8, "-Xshare:") == 0) {
            mode = arguments.text(i).substr(8);
        }
    }
    return mode;
}

// The filename= of a flight recording's options, which are separated by
// commas and follow the option's name after "=" or ":".
std::string recordingFile(const std::string& text) {
    const std::size_t from = text.find_first_of("=:", std::strlen("-XX:StartFlightRecording"));
    if (from == std::string::npos) {
        return std::string();
    }
    std::string file;
    for (std::size_t at = from + 1; at <= text.size();) {
        const std::size_t end = std::min(text.find(',', at), text.size());
        if (text.compare(at, 9, "filename=") == 0) {
            file = text.substr(at + 9, end - at - 9);
        }
        at = end + 1;
    }
    return file;
}

// The file argument `i` makes the VM write, and whether only on a crash
// or a heap dump; empty for none.
std::string outputFile(const VmArguments& arguments, std::size_t i, bool& onEvent) {
    const std::string& text = arguments.text(i);
    const auto value = [&text](const char* prefix) {
        const std::string p(prefix);
        return text.compare(0, p.size(), p) == 0 ? text.substr(p.size()) : std::string();
    };
    onEvent = false;
    if (text.compare(0, 24, "-XX:StartFlightRecording") == 0) {
        return recordingFile(text);
    }
    if (!value("-XX:SharedArchiveFile=").empty()) {
        return shareMode(arguments) == "dump" ? value("-XX:SharedArchiveFile=") : std::string();
    }
    onEvent = !value("-XX:HeapDumpPath=").empty() || !value("-XX:ErrorFile=").empty();
    if (!value("-XX:HeapDumpPath=").empty()) {
        const bool dumps = flagOn(arguments, "HeapDumpOnOutOfMemoryError") ||
                           flagOn(arguments, "HeapDumpBeforeFullGC") ||
                           flagOn(arguments, "HeapDumpAfterFullGC");
        return dumps ? value("-XX:HeapDumpPath=") : std::string();
    }
    const std::string loggc = value("-Xloggc:");
    const std::string named = loggc.empty() ? value("-XX:ArchiveClassesAtExit=") : loggc;
    const std::string file = named.empty() ? value("-XX:ErrorFile=") : named;
    return file.empty() ? xlogFile(text) : file;
}

// Whether the VM writes an existing file in place rather than making it
// anew: a flight recording, and a log whose rotation is turned off. A
// rotated log is renamed away, and a class archive replaced, so either
// takes a directory the user can write in, or else the file itself.
bool writtenInPlace(const std::string& text) {
    return text.compare(0, 24, "-XX:StartFlightRecording") == 0 ||
           (text.compare(0, 6, "-Xlog:") == 0 && text.find("filecount=0") != std::string::npos);
}

// An existing file decides where the directory's verdict does not: one
// written in place must be writable, and one the directory refuses to
// replace is still written when the user may write it.
void judgeExistingOutput(VmFile& judged, const std::string& text, const AccessJudge& access) {
    struct stat status {};
    const std::string reachable = reachablePath(judged.path);
    const bool inPlace = writtenInPlace(text);
    if (judged.onEvent || stat(reachable.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
        (!inPlace && judged.access.granted()) ||
        (!judged.access.granted() && judged.access.cause != AccessCause::Denied)) {
        return;
    }
    if (permittedBy(status, extendedAcl(reachable), W_OK, access.user())) {
        judged.access = AccessVerdict();
        judged.access.path = judged.path;
    } else {
        judged.inPlace = true;
        judged.access.path = judged.path;
        judged.access.cause = AccessCause::Denied;
        judged.access.at = judged.path;
        judged.access.error = EACCES;
    }
}

// The VM refuses to start when it cannot create a file it writes at start.
void judgeOutputFile(VmFacts& vm, std::size_t i, const std::string& startDir,
                     const AccessJudge& access) {
    VmFile judged;
    const std::string file = outputFile(vm.arguments, i, judged.onEvent);
    if (file.empty()) {
        return;
    }
    judged.index = i;
    judged.output = true;
    judged.path = joined(startDir, file);
    // A heap dump path or a recording's file may be a directory to write in.
    const std::string dir = isDirectory(reachablePath(judged.path)) ? file : directoryOf(file);
    judged.access = access.judge({AccessProbe{AccessOperation::Create, dir, startDir}}).front();
    judgeExistingOutput(judged, vm.arguments.text(i), access);
    vm.files.push_back(judged);
}

// Where the VM looks for -agentlib libraries first, and what kind of
// library it loads; empty when `java` is no VM of the usual layout.
std::string vmLibraryDir(const std::string& java, ElfFile& elf) {
    char* real = realpath(java.c_str(), nullptr);
    if (real == nullptr) {
        return std::string();
    }
    const std::string resolved(real);
    free(real);
    elf = readElfFile(resolved);
    const std::string lib = directoryOf(directoryOf(resolved)) + "/lib";
    struct stat status {};
    return elf.isElf && stat((lib + "/libjava.so").c_str(), &status) == 0 ? lib : std::string();
}

// Whether the VM's arguments or its environment give a class path that
// may hold an agent's class the agent's jar lacks.
bool classPathElsewhere(const VmFacts& vm) {
    static const char* const PREFIXES[] = {"-cp",
                                           "-classpath",
                                           "--class-path",
                                           "-Xbootclasspath/a:",
                                           "-Djava.class.path=",
                                           "-Djava.system.class.loader=",
                                           "--patch-module",
                                           "--module-path",
                                           "-p",
                                           "--upgrade-module-path"};
    const char* classPath = std::getenv("CLASSPATH");
    if ((classPath != nullptr && *classPath != '\0') || !vm.variables.empty()) {
        return true;
    }
    for (std::size_t i = 0; i < vm.arguments.size(); ++i) {
        const std::string& text = vm.arguments.text(i);
        for (const char* prefix : PREFIXES) {
            const std::string p(prefix);
            const bool spaced = p.compare(0, 2, "-D") != 0 && p.back() != ':';
            if (text == p || (!spaced && text.compare(0, p.size(), p) == 0) ||
                (spaced && text.compare(0, p.size() + 1, p + "=") == 0)) {
                return true;
            }
        }
    }
    return false;
}

void judgeAgent(VmFile& file, const std::string& text, const std::string& named,
                const VmFacts& vm) {
    if (!file.access.granted()) {
        return;
    }
    if (text.compare(0, 11, "-javaagent:") == 0) {
        file.agent = checkAgentJar(reachablePath(file.path), named, classPathElsewhere(vm));
    } else if (text.compare(0, 11, "-agentpath:") == 0) {
        ElfFile vmElf;
        if (!vm.path.empty()) {
            vmLibraryDir(vm.path, vmElf);
        }
        file.agent = checkAgentPath(reachablePath(file.path), named, vmElf);
    }
}

// -agentlib:NAME[=OPTIONS] and -XrunNAME[:OPTIONS], found as the VM finds them.
void judgeAgentLibrary(VmFacts& vm, std::size_t i) {
    const std::string& text = vm.arguments.text(i);
    const bool xrun = text.compare(0, 5, "-Xrun") == 0;
    ElfFile elf;
    const std::string libDir = vm.path.empty() || (!xrun && text.compare(0, 10, "-agentlib:") != 0)
                                   ? std::string()
                                   : vmLibraryDir(vm.path, elf);
    if (libDir.empty()) {
        return;
    }
    std::string name = text.substr(xrun ? 5 : 10);
    name = name.substr(0, name.find(xrun ? ':' : '='));
    if (name.empty()) {
        return;
    }
    // The loader's search path is the one the check itself was given.
    const char* libraryPath = std::getenv("LD_LIBRARY_PATH");
    VmFile judged;
    judged.index = i;
    judged.agent =
        findAgentLibrary(name, libDir, libraryPath != nullptr ? libraryPath : "", elf, judged.path,
                         xrun ? AgentEntry::JvmOrAgentOnLoad : AgentEntry::AgentOnLoad);
    vm.files.push_back(judged);
}

}  // namespace

InstallationIni readInstallationIni(const std::string& path) {
    InstallationIni ini;
    std::ifstream in(path, std::ios::binary);
    if (path.empty() || !in) {
        return ini;
    }
    ini.read = true;
    std::string raw;
    std::size_t number = 0;
    bool vmSection = false;
    bool vmNext = false;
    while (std::getline(in, raw)) {
        ++number;
        const std::string line = trimmed(raw);
        // The native launcher skips empty lines and comments of its ini file.
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (vmSection) {
            ini.vmArgs.emplace_back(number, line);
        } else if (vmNext) {
            ini.vm = line;
            vmNext = false;
        } else if (line == "-vm") {
            vmNext = true;
            ini.vmLine = number;
        } else if (line == "-vmargs") {
            vmSection = true;
        }
    }
    return ini;
}

void findJavaVm(VmFacts& vm, const std::string& named, const std::string& executable,
                const std::string& startDir, const AccessJudge& access) {
    // Without an executable there is no ini file of its own to read.
    const std::string home = executable.empty() ? startDir : directoryOf(executable);
    vm.installationIni = executable.empty() ? std::string() : executable + ".ini";
    const InstallationIni ini = readInstallationIni(vm.installationIni);
    std::string why;
    if (!named.empty()) {
        vm.source = VmSource::Named;
        vm.path = javaOf(joined(startDir, named));
        vm.how = "named by --java";
        if (!usable(vm.path, access, why)) {
            vm.problem = "--java names " + vm.path + ", which " + why;
            vm.path.clear();
        }
        return;
    }
    if (!ini.vm.empty()) {
        vm.source = VmSource::IniVm;
        vm.vmLine = ini.vmLine;
        const std::string named = joined(home, ini.vm);
        vm.path = javaOfVmLine(named);
        vm.how = "the -vm line " + std::to_string(ini.vmLine) + " of " + vm.installationIni;
        if (!usable(vm.path, access, why)) {
            // A Java home is not what -vm takes: its bin directory is.
            vm.problem = isDirectory(named) && usable(named + "/bin/java", access, why)
                             ? "-vm names a Java home, " + named + ", not its bin directory"
                             : "-vm names " + vm.path + ", which " + why;
            vm.path.clear();
        }
        return;
    }
    const std::string bundled = home + "/jre/bin/java";
    if (usable(bundled, access, why)) {
        vm.source = VmSource::BundledJre;
        vm.path = bundled;
        vm.how = "the installation's own jre, as no -vm line names one";
        return;
    }
    const char* pathVariable = std::getenv("PATH");
    std::string search = pathVariable != nullptr ? pathVariable : "/usr/local/bin:/usr/bin:/bin";
    for (std::size_t start = 0; start <= search.size();) {
        std::size_t end = search.find(':', start);
        if (end == std::string::npos) {
            end = search.size();
        }
        const std::string dir = search.substr(start, end - start);
        const std::string candidate = (dir.empty() ? startDir : joined(startDir, dir)) + "/java";
        if (usable(candidate, access, why)) {
            vm.source = VmSource::Path;
            vm.path = candidate;
            vm.how = "java along PATH, as neither a -vm line nor jre/bin/java names one";
            return;
        }
        start = end + 1;
    }
}

void judgeVmFiles(VmFacts& vm, const std::string& startDir, const AccessJudge& access) {
    static const char* const PREFIXES[] = {
        "-javaagent:", "-agentpath:", "-XX:Flags=", "-XX:VMOptionsFile=", "@"};
    for (std::size_t i = 0; i < vm.arguments.size(); ++i) {
        const std::string& text = vm.arguments.text(i);
        // Only "@", "-X..." and the agents' options name a file: the rest
        // (nearly every property of a long VM section) is passed over.
        if (text.empty() ||
            (text[0] != '@' && (text[0] != '-' || std::strchr("Xja", text[1]) == nullptr))) {
            continue;
        }
        for (const char* prefix : PREFIXES) {
            const std::string p(prefix);
            if (text.compare(0, p.size(), p) != 0) {
                continue;
            }
            std::string file = text.substr(p.size());
            // An agent's options follow its path after "=".
            if (p == "-javaagent:" || p == "-agentpath:") {
                file = file.substr(0, file.find('='));
            }
            if (file.empty()) {
                continue;
            }
            VmFile judged;
            judged.index = i;
            judged.path = joined(startDir, file);
            // The VM opens a relative name from the start directory it runs in.
            judged.access =
                access.judge({AccessProbe{AccessOperation::Read, file, startDir}}).front();
            if (judged.access.granted() && isDirectory(reachablePath(judged.path))) {
                judged.access.cause = AccessCause::OtherError;
                judged.access.at = judged.path;
                judged.access.error = EISDIR;
            }
            judgeAgent(judged, text, file, vm);
            vm.files.push_back(judged);
        }
        judgeAgentLibrary(vm, i);
        judgeOutputFile(vm, i, startDir, access);
    }
}
