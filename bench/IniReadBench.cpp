// Measures what a very large launcher ini file costs the real launcher: peak
// memory (it must stay flat, as only one line is held at a time) and reading
// speed on head lines, which the launcher reads and ignores.
//
// Usage: ini_read_bench [MEGABYTES] [RUNS]    (defaults: 200 and 5)
//
// It lays out a throwaway installation, runs the launcher there with a small
// ini file and with a large one, and compares the launcher process alone
// (wait4 reports its own peak resident set; its child is not waited for).
#include <fcntl.h>
#include <sys/resource.h>
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

struct Sample {
    double seconds;
    long maxRssKiB;
};

Sample runLauncher(const std::string& appDir, const std::string& record) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, 0);
        dup2(devNull, 1);
        dup2(devNull, 2);
        if (chdir(appDir.c_str()) != 0) {
            _exit(127);
        }
        const std::string recordVar = "DASHVANE_STANDIN_RECORD=" + record;
        char* const argv[] = {const_cast<char*>("./run"), nullptr};
        char* const envp[] = {const_cast<char*>("PATH=/usr/bin:/bin"),
                              const_cast<char*>(recordVar.c_str()), nullptr};
        execve("./run", argv, envp);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 1) {
        std::fprintf(stderr, "the launcher did not exit with status 1\n");
        std::exit(2);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return {elapsed.count(), usage.ru_maxrss};
}

Sample median(std::vector<Sample> samples) {
    std::sort(samples.begin(), samples.end(),
              [](const Sample& a, const Sample& b) { return a.seconds < b.seconds; });
    Sample mid = samples[samples.size() / 2];
    for (const Sample& s : samples) {
        mid.maxRssKiB = std::max(mid.maxRssKiB, s.maxRssKiB);
    }
    return mid;
}

std::vector<Sample> measure(const std::string& appDir, const std::string& record, int runs) {
    runLauncher(appDir, record);  // warms the page cache
    std::vector<Sample> samples;
    for (int i = 0; i < runs; ++i) {
        samples.push_back(runLauncher(appDir, record));
    }
    return samples;
}

// Head lines of several kinds, none of which the launcher acts on.
void writeLargeIni(const std::string& path, long long bytes) {
    static const char* const kinds[] = {
        "; comment line kept for the people who maintain this application %08lld\n",
        "-Ddv.webApp=ignored-in-the-head-%08lld\n",
        "# -Xmx2048m -XX:+UseG1GC -Dsome.long.property.name=value-%08lld\n",
        "launcher = /not/a/launcher/line/because/of/the/blanks/%08lld\n",
    };
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    char line[256];
    long long written = 0;
    for (long long n = 0; written < bytes; ++n) {
        const int len = std::snprintf(line, sizeof line, kinds[n % 4], n);
        out.write(line, len);
        written += len;
    }
    out << "-vmargs\n-Xmx1024m\n";
}

}  // namespace

int main(int argc, char** argv) {
    const long long megabytes = argc > 1 ? std::atoll(argv[1]) : 200;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const dvltest::Installation inst;
    const std::string& appDir = inst.appDir;
    const std::string& record = inst.record;

    inst.writeIni("-vmargs\n-Xmx1024m\n-Ddv.appInitScript=scripts/init.js\n");
    const Sample small = median(measure(appDir, record, runs * 4));

    const long long bytes = megabytes << 20;
    writeLargeIni(appDir + "/run.ini", bytes);
    const Sample large = median(measure(appDir, record, runs));
    // The last stand-in may still be writing its record into the tree.
    usleep(200000);

    const double extraSeconds = large.seconds - small.seconds;
    const double mbPerSecond = extraSeconds > 0 ? (bytes / 1e6) / extraSeconds : 0;
    const long extraKiB = large.maxRssKiB - small.maxRssKiB;
    std::printf("ini file of %lld MiB of ignored head lines, %d runs (median wall time)\n",
                megabytes, runs);
    std::printf("  small ini: %8.2f ms, peak RSS %ld KiB\n", small.seconds * 1e3, small.maxRssKiB);
    std::printf("  large ini: %8.2f ms, peak RSS %ld KiB\n", large.seconds * 1e3, large.maxRssKiB);
    std::printf("  reading speed: %.0f MB/s (target: at least 500)\n", mbPerSecond);
    std::printf("  extra peak memory: %ld KiB (target: at most 2048)\n", extraKiB);
    const bool met = mbPerSecond >= 500 && extraKiB <= 2048;
    std::printf("%s\n", met ? "targets met" : "TARGETS MISSED");
    return met ? 0 : 1;
}
