#include "facts/VmProbe.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string_view>
#include <tuple>

#include "util/ChildProcess.h"
#include "util/Directory.h"
#include "util/JavaOptions.h"
#include "util/Text.h"

extern char** environ;

namespace {

// The variables a VM reads options from; a probe must not read the user's.

// A VM that has not answered by then is taken as not answering.
constexpr int TIME_LIMIT_MS = 20000;

// A probe touches no more memory than this; the heap it only reserves is
// not counted, so the sizes it is asked about are not limited by it.
constexpr unsigned long long DATA_LIMIT = 8ULL << 30;

struct Answer {
    bool ran = false;
    int status = -1;
    std::string output;  // standard output and error together
    std::string problem;
    std::vector<std::string> leftBehind;  // names in its scratch directory once it ended
};

// Whether the environment entry "NAME=VALUE" sets `name`.
bool sets(const char* entry, std::string_view name) {
    return std::strncmp(entry, name.data(), name.size()) == 0 && entry[name.size()] == '=';
}

// This environment without the VM variables, then `variables` ("NAME=VALUE"),
// which take the place of any of the same name.
std::vector<std::string> probeEnvironment(const std::vector<std::string>& variables) {
    std::vector<std::string> env;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        bool replaced = false;
        for (const char* name : VM_VARIABLES) {
            replaced = replaced || sets(*entry, name);
        }
        for (const std::string& variable : variables) {
            replaced =
                replaced || sets(*entry, std::string_view(variable).substr(0, variable.find('=')));
        }
        if (!replaced) {
            env.emplace_back(*entry);
        }
    }
    env.insert(env.end(), variables.begin(), variables.end());
    return env;
}

// Why the child could not be started, or the VM could not be run in it.
std::string problemOf(const ChildOutcome& child, const UserIdentity& user) {
    if (!child.ran()) {
        return (child.failedCall == "pipe" ? "no pipe: " : "cannot start it: ") +
               std::string(std::strerror(child.error));
    }
    if (child.timedOut) {
        return "it did not answer within " + std::to_string(TIME_LIMIT_MS / 1000) + " s";
    }
    const int code = child.exitCode();
    return code < 0 || code == 126 || code == 127 ? "it could not be started as " + user.name
                                                  : std::string();
}

// Runs the VM with `options`: output, exit status, or why it could not.
// Perf data off: a probe leaves no hsperfdata file behind.
Answer runVm(const std::string& java, const std::vector<std::string>& options,
             const AccessJudge& access, const std::vector<std::string>& variables = {}) {
    Answer answer;
    char dirTemplate[] = "/tmp/dashvane-launcher-check-vm-XXXXXX";
    const char* dir = mkdtemp(dirTemplate);
    if (dir == nullptr) {
        answer.problem = std::string("no temporary directory: ") + std::strerror(errno);
        return answer;
    }
    const UserIdentity& user = access.user();
    ChildOptions child;
    child.directory = dir;
    child.switchUser = geteuid() == 0 && user.uid != 0;
    child.uid = user.uid;
    child.gid = user.gid;
    child.groups = user.groups;
    child.limitMs = TIME_LIMIT_MS;
    child.dataMax = DATA_LIMIT;
    if (child.switchUser && chown(dir, user.uid, user.gid) != 0) {
        rmdir(dir);
        answer.problem =
            std::string("cannot hand the temporary directory over: ") + std::strerror(errno);
        return answer;
    }
    std::vector<std::string> args = {java, "-XX:-UsePerfData"};
    args.insert(args.end(), options.begin(), options.end());
    const ChildOutcome outcome = runProgram(args, probeEnvironment(variables), child);
    answer.leftBehind = entriesOf(dir);
    answer.output = outcome.output;
    answer.problem = problemOf(outcome, user);
    answer.ran = outcome.ran() && answer.problem.empty();
    if (outcome.ran() && !outcome.timedOut) {
        answer.status = WIFEXITED(outcome.status) ? WEXITSTATUS(outcome.status)
                                                  : 128 + WTERMSIG(outcome.status);
    }
    // The VM may leave files in its working directory; none of them matter.
    const std::string removal = std::string("rm -rf -- '") + dir + "'";
    if (rmdir(dir) != 0 && std::system(removal.c_str()) != 0 && answer.problem.empty()) {
        answer.problem = "cannot remove its temporary directory";
    }
    return answer;
}

std::string firstWord(const std::string& text, std::size_t& at) {
    const std::size_t start = text.find_first_not_of(" \t", at);
    if (start == std::string::npos) {
        at = text.size();
        return std::string();
    }
    const std::size_t end = text.find_first_of(" \t", start);
    at = end == std::string::npos ? text.size() : end;
    return text.substr(start, at - start);
}

// A line of -XX:+PrintFlagsFinal: "     bool UseG1GC    = true   {product} {ergonomic}".
void readFlag(const std::string& line, VmInfo& info) {
    std::size_t at = 0;
    const std::string type = firstWord(line, at);
    const std::string name = firstWord(line, at);
    if (type.empty() || name.empty() || line.find('=', at) == std::string::npos ||
        line.find('{') == std::string::npos) {
        return;
    }
    VmFlag flag;
    flag.type = type;
    const std::string kinds = line.substr(line.find('{'));
    flag.diagnostic = kinds.find("diagnostic") != std::string::npos;
    flag.experimental = kinds.find("experimental") != std::string::npos;
    info.flags[name] = flag;
}

// A line of `java -X`: "    -Xmx<size>        set maximum Java heap size".
void readXOption(const std::string& line, VmInfo& info) {
    std::size_t at = 0;
    std::string word = firstWord(line, at);
    if (!Text::startsWith(word, "-X") || Text::startsWith(word, "-XX")) {
        return;
    }
    const std::size_t angle = word.find('<');
    // "-Xmx<size>" takes any text after "-Xmx": kept as the prefix "-Xmx*".
    if (angle != std::string::npos) {
        word = word.substr(0, angle) + '*';
    }
    info.xOptions.push_back(word);
}

std::string propertyOf(const std::string& output, const std::string& name) {
    const std::string key = name + " = ";
    const std::size_t at = output.find(key);
    if (at == std::string::npos) {
        return std::string();
    }
    const std::size_t start = at + key.size();
    return output.substr(start, output.find('\n', start) - start);
}

// Hands `vm` the VM's words of refusal: its lines, without the VM's closing words.
std::string refusal(const std::string& output) {
    std::istringstream lines(output);
    std::string line;
    std::string words;
    while (std::getline(lines, line)) {
        if (line.empty() ||
            line.find("Could not create the Java Virtual Machine") != std::string::npos ||
            line.find("A fatal exception has occurred") != std::string::npos ||
            line == "Error occurred during initialization of VM" ||
            Text::startsWith(line, "Picked up ")) {
            continue;
        }
        words += (words.empty() ? "" : "; ") + line;
    }
    return words;
}

// A verdict kept across runs: its file names the VM binary as it is now
// (path, size, time, inode of java and of its libjvm), the user, the
// options and the variables, so a changed VM or setup is a new file. The
// whole key is kept in it too, so two keys of one name never mix.
std::string binaryStamp(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return path + " -";
    }
    return path + " " + std::to_string(status.st_size) + " " +
           std::to_string(status.st_mtim.tv_sec) + "." + std::to_string(status.st_mtim.tv_nsec) +
           " " + std::to_string(status.st_ino);
}

// `question` tells a verdict on options from the VM's description of itself.
std::string keptKey(const char* question, const std::string& java,
                    const std::vector<std::string>& options,
                    const std::vector<std::string>& variables, const AccessJudge& access) {
    char resolved[PATH_MAX];
    const std::string real = realpath(java.c_str(), resolved) != nullptr ? resolved : java;
    const std::string home = real.substr(0, real.rfind("/bin/"));
    std::string key = std::string(question) + "\n" + binaryStamp(real) + "\n" +
                      binaryStamp(home + "/lib/server/libjvm.so") + "\n" +
                      binaryStamp(home + "/lib/client/libjvm.so") + "\nuser " +
                      std::to_string(access.user().uid) + "\n";
    for (const std::string& option : options) {
        key += "option " + option + "\n";
    }
    for (const std::string& variable : variables) {
        key += "variable " + variable + "\n";
    }
    return key;
}

std::size_t& verdictsStarted() {
    static std::size_t started = 0;
    return started;
}

// Where the probes of this run share their verdicts, whether kept or not.
std::string& sharedDirectory() {
    static std::string dir;
    return dir;
}

std::string keptDirectory() {
    if (!sharedDirectory().empty()) {
        return sharedDirectory();
    }
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    if (cache != nullptr && cache[0] == '/') {
        return std::string(cache) + "/dashvane-launcher-check";
    }
    return home != nullptr && home[0] == '/' ? std::string(home) + "/.cache/dashvane-launcher-check"
                                             : std::string();
}

// The file of the verdict and, on its first line, its key; "" for none.
std::string keptRecord(const char* question, const std::string& java,
                       const std::vector<std::string>& options,
                       const std::vector<std::string>& variables, const AccessJudge& access) {
    const std::string dir = keptDirectory();
    if (dir.empty()) {
        return std::string();
    }
    const std::string key = keptKey(question, java, options, variables, access);
    char name[32];
    std::snprintf(name, sizeof name, "/vm-%016zx", std::hash<std::string>()(key));
    return dir + name + "\n" + key;
}

// One byte string per line: newlines inside are escaped.
std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        out += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : std::string(1, c);
    }
    return out;
}

bool readKept(const std::string& record, VmVerdict& verdict) {
    if (record.empty()) {
        return false;
    }
    const std::size_t split = record.find('\n');
    std::ifstream in(record.substr(0, split), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string kept = text.str();
    const std::string key = escaped(record.substr(split + 1)) + "\n";
    // A record ends with its message's newline: one cut short, by a full
    // disk or a crash, is not taken for a whole one.
    if (!in || kept.compare(0, key.size(), key) != 0 || kept.back() != '\n') {
        return false;
    }
    std::istringstream rest(kept.substr(key.size()));
    std::string started;
    std::string message;
    if (!std::getline(rest, started) || !std::getline(rest, message) ||
        (started != "started" && started != "refused")) {
        return false;
    }
    verdict.asked = true;
    verdict.started = started == "started";
    for (std::size_t at = 0; at < message.size(); ++at) {
        const bool escape = message[at] == '\\' && at + 1 < message.size();
        verdict.message += !escape ? message[at] : message[++at] == 'n' ? '\n' : message[at];
    }
    return true;
}

// Kept for the next run; a cache that cannot be written only costs time.
void writeKept(const std::string& record, const VmVerdict& verdict) {
    if (record.empty()) {
        return;
    }
    const std::size_t split = record.find('\n');
    const std::string path = record.substr(0, split);
    const std::string dir = path.substr(0, path.rfind('/'));
    mkdir(dir.substr(0, dir.rfind('/')).c_str(), 0700);
    mkdir(dir.c_str(), 0700);
    const std::string temporary = path + "." + std::to_string(getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << escaped(record.substr(split + 1)) << "\n"
            << (verdict.started ? "started" : "refused") << "\n"
            << escaped(verdict.message) << "\n";
        if (!out.flush()) {
            unlink(temporary.c_str());
            return;
        }
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
    }
}

}  // namespace

std::size_t vmStartsForVerdicts() {
    return verdictsStarted();
}

void shareVerdictsIn(const std::string& dir) {
    sharedDirectory() = dir;
}

VmInfo probeVm(const std::string& java, const AccessJudge& access, bool kept) {
    static std::map<std::string, VmInfo> cache;
    const auto known = cache.find(java);
    if (known != cache.end()) {
        return known->second;
    }
    VmInfo info;
    info.asked = true;
    // One start answers everything: -X lists the options once the VM has
    // printed its flags and properties.
    const std::vector<std::string> options = {
        "-XX:+UnlockDiagnosticVMOptions", "-XX:+UnlockExperimentalVMOptions",
        "-XX:+PrintFlagsFinal", "-XshowSettings:properties", "-X"};
    // Starting the VM to hear this costs more than checking a whole
    // application, and the answer changes only with the VM binary.
    const std::string record = kept || !sharedDirectory().empty()
                                   ? keptRecord("self", java, options, {}, access)
                                   : std::string();
    VmVerdict described;
    if (!readKept(record, described) || !described.started) {
        // Its option list is translated, and a translated one cannot be
        // read; the description serves runs in every language.
        const Answer answer = runVm(java, options, access, {"LC_ALL=C"});
        if (!answer.problem.empty() || answer.status != 0) {
            info.problem = !answer.problem.empty()
                               ? answer.problem
                               : "it did not answer as a Java VM does: " + refusal(answer.output);
            cache[java] = info;
            return info;
        }
        described.started = true;
        described.message = answer.output;
        writeKept(record, described);
    }
    const std::string& output = described.message;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        readFlag(line, info);
        readXOption(line, info);
    }
    info.version = propertyOf(output, "java.version");
    const std::string model = propertyOf(output, "sun.arch.data.model");
    info.dataModel = model == "32" ? 32 : model == "64" ? 64 : 0;
    cache[java] = info;
    return info;
}

SizeVerdict probeSizes(const std::string& java, const std::vector<std::string>& sizes,
                       const AccessJudge& access) {
    static std::map<std::pair<std::string, std::vector<std::string>>, SizeVerdict> cache;
    const auto key = std::make_pair(java, sizes);
    const auto known = cache.find(key);
    if (known != cache.end()) {
        return known->second;
    }
    SizeVerdict verdict;
    verdict.sizes = sizes;
    std::vector<std::string> options = sizes;
    options.push_back("-version");
    const Answer answer = runVm(java, options, access);
    verdict.asked = answer.ran;
    verdict.started = answer.ran && answer.status == 0;
    verdict.message = answer.ran ? refusal(answer.output) : answer.problem;
    if (verdict.started) {
        verdict.message.clear();
    }
    cache[key] = verdict;
    return verdict;
}

std::vector<std::string> vmVariables() {
    std::vector<std::string> set;
    for (const char* name : VM_VARIABLES) {
        if (const char* value = std::getenv(name)) {
            set.push_back(std::string(name) + "=" + value);
        }
    }
    return set;
}

VmVerdict probeArguments(const std::string& java, const std::vector<std::string>& options,
                         const std::vector<std::string>& variables, const AccessJudge& access,
                         bool kept) {
    using Key = std::tuple<std::string, std::vector<std::string>, std::vector<std::string>>;
    static std::map<Key, VmVerdict> cache;
    const Key key{java, options, variables};
    const auto known = cache.find(key);
    if (known != cache.end()) {
        return known->second;
    }
    VmVerdict verdict;
    verdict.options = options;
    verdict.environment = variables;
    const bool shared = kept || !sharedDirectory().empty();
    const std::string record =
        shared ? keptRecord("verdict", java, options, variables, access) : std::string();
    if (readKept(record, verdict)) {
        cache[key] = verdict;
        return verdict;
    }
    std::vector<std::string> asked = options;
    asked.push_back("-version");
    ++verdictsStarted();
    const Answer answer = runVm(java, asked, access, variables);
    verdict.asked = answer.ran;
    verdict.started = answer.ran && answer.status == 0;
    verdict.leftBehind = answer.leftBehind;
    verdict.message = verdict.started ? std::string()
                      : answer.ran    ? refusal(answer.output)
                                      : answer.problem;
    // Short of memory under the probe's own limit, it says nothing of the launch.
    if (!verdict.started && answer.output.find("commit_memory") != std::string::npos) {
        verdict.asked = false;
        verdict.message = "it needed more memory than a probe is given";
    }
    if (verdict.asked) {
        writeKept(record, verdict);
    }
    cache[key] = verdict;
    return verdict;
}
