// Measures dashvane-launcher-check where it must scale: a 100 MB ini file in
// every output mode, against the launcher's own peak memory on the same file,
// and a whole installation of 200 applications.
//
// Usage: check_bench [MEGABYTES] [APPLICATIONS]    (defaults: 100 and 200)
//
// Bounds it checks, exiting 1 when one is broken: in every mode and on every
// shape of the large file, the checker's peak resident set stays within the
// launcher's plus 64 MiB, and its time within 1.5 times the launcher's; the
// installation takes under 1 s with a warm cache.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "Harness.h"

namespace {

constexpr long HEADROOM_KIB = 64 * 1024;
constexpr double TIME_FACTOR = 1.5;

struct Sample {
    double seconds;
    long maxRssKiB;
};

// Runs a program with its output thrown away; wait4 reports that process's
// own peak, not its child's.
Sample measure(const std::vector<std::string>& argv, const std::string& cwd) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, 0);
        dup2(devNull, 1);
        dup2(devNull, 2);
        if (chdir(cwd.c_str()) != 0) {
            _exit(127);
        }
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) > 2) {
        std::fprintf(stderr, "%s did not run\n", argv[0].c_str());
        std::exit(2);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return {elapsed.count(), usage.ru_maxrss};
}

// The shapes of a large file: property lines in the VM section (which the
// launcher keeps), the same lines in the head (which it reads and forgets),
// and one single line as long as the whole file.
enum class Shape { VmLines, HeadLines, OneLine };

const char* shapeName(Shape shape) {
    switch (shape) {
        case Shape::VmLines:
            return "lines below -vmargs";
        case Shape::HeadLines:
            return "lines without -vmargs";
        case Shape::OneLine:
            return "one line below -vmargs";
    }
    return "";
}

void writeIni(const std::string& path, std::size_t megabytes, Shape shape) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (shape != Shape::HeadLines) {
        out << "-vmargs\n";
    }
    const std::size_t bytes = megabytes * 1024 * 1024;
    if (shape == Shape::OneLine) {
        out << "-Dcom.example.long=" << std::string(bytes, 'v') << "\n";
        return;
    }
    std::size_t written = 0;
    char line[80];
    for (std::size_t i = 0; written < bytes; ++i) {
        const int n = std::snprintf(line, sizeof line, "-Dcom.example.property%zu=value-%zu\n", i,
                                    i * 7919 % 100003);
        out.write(line, n);
        written += static_cast<std::size_t>(n);
    }
}

// Every output format, with and without the Java VM, and the diff of a mend.
const std::vector<std::vector<std::string>>& modes() {
    static const std::vector<std::vector<std::string>> all = {
        {},
        {"--no-vm"},
        {"--explain"},
        {"--json"},
        {"--format", "sarif"},
        {"--format", "checkstyle"},
        {"--explain", "--no-vm"},
        {"--json", "--no-vm"},
        {"--diff"},
    };
    return all;
}

bool largeFile(const dvltest::Installation& inst, const std::string& checker, std::size_t megabytes,
               Shape shape) {
    writeIni(inst.appDir + "/run.ini", megabytes, shape);
    const Sample launcher = measure({inst.appDir + "/run"}, inst.appDir);
    std::printf("\n%zu MB ini file, %s\n", megabytes, shapeName(shape));
    std::printf("  %-28s %8.2f s %10ld KiB\n", "launcher", launcher.seconds, launcher.maxRssKiB);
    bool ok = true;
    for (const std::vector<std::string>& mode : modes()) {
        std::vector<std::string> argv = {checker};
        argv.insert(argv.end(), mode.begin(), mode.end());
        argv.push_back(".");
        const Sample sample = measure(argv, inst.appDir);
        std::string name = "checker";
        for (const std::string& option : mode) {
            name += " " + option;
        }
        const bool withinMemory = sample.maxRssKiB <= launcher.maxRssKiB + HEADROOM_KIB;
        // The launcher's own time, from a file this large, is the yardstick.
        const bool withinTime = sample.seconds <= TIME_FACTOR * launcher.seconds;
        std::printf("  %-28s %8.2f s %10ld KiB  %4.1fx%s%s\n", name.c_str(), sample.seconds,
                    sample.maxRssKiB, sample.seconds / launcher.seconds,
                    withinMemory ? "" : "  OVER MEMORY BOUND",
                    withinTime ? "" : "  OVER TIME BOUND");
        ok = ok && withinMemory && withinTime;
    }
    return ok;
}

bool installation(const dvltest::Installation& inst, const std::string& checker,
                  std::size_t applications) {
    const std::string apps = inst.root + "/ws/apps";
    for (std::size_t i = 0; i < applications; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/app%03zu", i);
        const std::string dir = apps + name;
        mkdir(dir.c_str(), 0755);
        dvltest::copyFile(inst.appDir + "/run", dir + "/run", 0755);
        dvltest::writeFile(dir + "/run.ini",
                           "-vmargs\n-Xmx1024m\n-Ddv.appConfigFile=/etc/hostname\n-Dindex=" +
                               std::to_string(i) + "\n");
    }
    std::vector<double> times;
    for (int run = 0; run < 5; ++run) {
        times.push_back(measure({checker, "--installation", inst.root + "/ws"}, inst.root).seconds);
    }
    std::sort(times.begin(), times.end());
    std::printf("\n--installation with %zu applications (warm cache, median of 5): %.3f s\n",
                applications + 1, times[times.size() / 2]);
    return times[times.size() / 2] < 1.0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    const std::size_t applications = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 200;
    const std::string checker = DVL_CHECK_BINARY;
    const dvltest::Installation inst;
    bool ok = true;
    for (const Shape shape : {Shape::VmLines, Shape::HeadLines, Shape::OneLine}) {
        ok = largeFile(inst, checker, megabytes, shape) && ok;
    }
    writeIni(inst.appDir + "/run.ini", 0, Shape::VmLines);
    ok = installation(inst, checker, applications - 1) && ok;
    std::printf("\n%s\n", ok ? "all bounds hold" : "A BOUND IS BROKEN");
    return ok ? 0 : 1;
}
