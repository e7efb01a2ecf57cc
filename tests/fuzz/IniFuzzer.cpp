// libFuzzer harness for the ini file reader. Each input is written to a real
// file and read by a real ProgramOptions, through the same file-reading path
// the launcher uses; then the invariants below are checked against a small
// independent model of the format (README "The ini file").
//
//   - the first two elements are the seed arguments;
//   - exactly one application-name property comes from the defaults when the
//     VM section has none, and none when it has one;
//   - every rebuilt path property is absolute or starts with the application
//     directory, and every other VM line passes unchanged, in file order;
//   - the command-line arguments come last, unchanged;
//   - nothing but the documented exception (memory exhausted, reported as
//     "Exception: ..." on standard error) escapes or is reported.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "launcher/Options.h"
#include "launcher/ProgramOptions.h"

namespace {

const std::string WORKING_DIR = "/srv/ws/apps/demo";
const std::string ECLIPSE_DIR = "/srv/ws/eclipse";
const std::string DEFAULT_WEBAPP = "-Ddv.webApp=demo";
const std::vector<std::string> COMMAND_LINE = {
    "-Dtrace=on", "", "-Ddv.webApp=cli", "-Ddv.appInitScript=relative.js", " padded ", "a=b=c"};

std::string tempDir;
std::string iniPath;

[[noreturn]] void violated(const std::string& what) {
    std::fprintf(stderr, "INVARIANT VIOLATED: %s\n", what.c_str());
    std::abort();
}

void check(bool condition, const std::string& what) {
    if (!condition) {
        violated(what);
    }
}

void removeTempDir() {
    unlink(iniPath.c_str());
    rmdir(tempDir.c_str());
}

void writeInput(const uint8_t* data, size_t size) {
    const int fd = open(iniPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    check(fd >= 0, "cannot create the ini file");
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        check(n > 0, "cannot write the ini file");
        done += static_cast<size_t>(n);
    }
    check(close(fd) == 0, "cannot close the ini file");
}

// The model: lines split at '\n' as std::getline does, trimmed of the white
// space of the "C" locale.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string trimmed(const std::string& line) {
    std::size_t begin = 0;
    std::size_t end = line.size();
    while (begin < end && isBlank(line[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(line[end - 1])) {
        --end;
    }
    return line.substr(begin, end - begin);
}

std::vector<std::string> linesOf(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        lines.push_back(trimmed(bytes.substr(start, end - start)));
        start = end + 1;
    }
    return lines;
}

std::string keyOf(const std::string& line) {
    return line.substr(0, line.find('='));
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool isPathKey(const std::string& key) {
    return key == Options::InitScript || key == Options::ProgramFile || key == Options::ConfigFile;
}

struct Model {
    std::string launcher = ECLIPSE_DIR + "/Dashvane";
    std::vector<std::string> vmLines;  // the non-empty lines of the VM section
    std::size_t webApps = 0;           // of them, those naming the application
};

Model model(const std::string& bytes) {
    Model m;
    bool launcherTaken = false;
    bool vmSection = false;
    for (const std::string& line : linesOf(bytes)) {
        if (vmSection) {
            if (!line.empty()) {
                m.vmLines.push_back(line);
                m.webApps += keyOf(line) == Options::WebApp ? 1 : 0;
            }
        } else if (!launcherTaken && keyOf(line) == Options::Lanucher) {
            const std::size_t eq = line.find('=');
            m.launcher = eq == std::string::npos ? "" : line.substr(eq + 1);
            launcherTaken = true;
        } else if (line == VMARGS) {
            vmSection = true;
        }
    }
    return m;
}

void checkInvariants(const std::string& bytes, const std::vector<std::string>& args,
                     const std::string& launcher) {
    const Model m = model(bytes);
    const std::size_t defaults = m.webApps == 0 ? 1 : 0;
    check(args.size() == 2 + m.vmLines.size() + defaults + COMMAND_LINE.size(),
          "the number of arguments");
    check(args[0] == VMARGSAPPEND && args[1] == VMARGS, "the seed arguments come first");
    check(launcher == m.launcher, "the executable is the first launcher line of the head");

    for (std::size_t i = 0; i < m.vmLines.size(); ++i) {
        const std::string& line = m.vmLines[i];
        const std::string& arg = args[2 + i];
        const std::string key = keyOf(line);
        if (!isPathKey(key)) {
            check(arg == line, "a VM line passes unchanged: " + line);
            continue;
        }
        const std::size_t eq = line.find('=');
        const std::string raw = eq == std::string::npos ? "" : line.substr(eq + 1);
        check(startsWith(arg, key + "="), "a path property keeps its key: " + line);
        const std::string value = arg.substr(key.size() + 1);
        const bool keptAbsolute = value == raw && startsWith(raw, "/");
        const bool underAppDir = startsWith(value, WORKING_DIR) && value.size() >= raw.size() &&
                                 value.compare(value.size() - raw.size(), raw.size(), raw) == 0;
        check(keptAbsolute || underAppDir,
              "a path property is absolute or under the application directory: " + arg);
    }

    std::size_t named = 0;
    for (std::size_t i = 2; i < args.size() - COMMAND_LINE.size(); ++i) {
        named += keyOf(args[i]) == Options::WebApp ? 1 : 0;
    }
    check(named == m.webApps + defaults, "one default application name exactly when none");
    if (defaults == 1) {
        check(args[2 + m.vmLines.size()] == DEFAULT_WEBAPP,
              "the default application name follows the ini arguments");
    }

    const std::vector<std::string> tail(args.end() - static_cast<long>(COMMAND_LINE.size()),
                                        args.end());
    check(tail == COMMAND_LINE, "the command-line arguments come last, unchanged");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/dvl-fuzz-XXXXXX";
    check(mkdtemp(&pattern[0]) != nullptr, "cannot create a temporary directory");
    tempDir = pattern;
    iniPath = tempDir + "/run.ini";
    std::atexit(removeTempDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    writeInput(data, size);
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    // The constructor reports the documented exception on standard error.
    std::ostringstream errors;
    std::streambuf* const saved = std::cerr.rdbuf(errors.rdbuf());
    std::vector<std::string> args;
    std::string launcher;
    try {
        const ProgramOptions options(iniPath, "Dashvane", WORKING_DIR, ECLIPSE_DIR, false,
                                     COMMAND_LINE);
        args = options.GetVMArgs();
        launcher = options.GetLauncher();
    } catch (...) {
        std::cerr.rdbuf(saved);
        violated("an exception escaped the ProgramOptions constructor");
    }
    std::cerr.rdbuf(saved);

    const std::string reported = errors.str();
    if (reported == "Exception: std::bad_alloc\n") {
        return 0;  // documented: the launch goes on with what was read
    }
    check(reported.empty(), "unexpected report: " + reported);
    checkInvariants(bytes, args, launcher);
    return 0;
}
