// Measures what launching costs, on one demo installation with the same ini
// file and the same stand-in child, three ways:
//   launcher    the release launcher, as users copy it
//   floor       launch_floor: only fork, chdir and execv, linked the same way
//   sh wrapper  wrapper.sh: what users write instead, in POSIX sh
// It first checks that all three start the child in the same directory with
// the same argument vector. It then counts the instructions executed by the
// launching process and its helpers (valgrind's callgrind, which gives the
// same count on a busy machine), and takes the median wall time from start to
// exit of the launching process over many rounds, running the three ways in
// turn within each round.
//
// Usage: launch_bench [ROUNDS]    (default 300)
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>

#include "Harness.h"

namespace fs = boost::filesystem;

namespace {

struct Way {
    const char* name;
    std::string program;
    std::vector<std::string> argv;
};

// Starts `program` in `dir` with its standard streams on /dev/null.
pid_t start(const std::string& dir, const std::string& program,
            const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& entry : env) {
        envp.push_back(const_cast<char*>(entry.c_str()));
    }
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, 0);
        dup2(devNull, 1);
        dup2(devNull, 2);
        if (chdir(dir.c_str()) == 0) {
            execve(program.c_str(), args.data(), envp.data());
        }
        _exit(127);
    }
    if (pid < 0) {
        std::perror("fork");
        std::exit(2);
    }
    return pid;
}

// Waits for every process left: the launched children are orphaned when
// their launcher exits, and come to this process as the subreaper.
void reapAll() {
    while (waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
    }
}

int waitExit(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs a way under callgrind and sums the instructions of every process it
// traced: the launching process and its helpers, not the Dashvane child.
long long countInstructions(const Way& way, const std::string& dir,
                            const std::vector<std::string>& env, int& processes) {
    const std::string out = dir + "/.callgrind";
    fs::remove_all(out);
    fs::create_directories(out);
    std::vector<std::string> argv = {"valgrind",
                                     "--tool=callgrind",
                                     "--trace-children=yes",
                                     "--trace-children-skip=*/Dashvane",
                                     "--callgrind-out-file=" + out + "/cg.%p",
                                     way.program};
    argv.insert(argv.end(), way.argv.begin() + 1, way.argv.end());
    std::string valgrind = "/usr/bin/valgrind";
    start(dir, valgrind, argv, env);
    reapAll();
    long long total = 0;
    processes = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(out)) {
        std::ifstream in(entry.path().string());
        std::string line;
        while (std::getline(in, line)) {
            if (line.compare(0, 8, "totals: ") == 0) {
                total += std::atoll(line.c_str() + 8);
                ++processes;
            }
        }
    }
    fs::remove_all(out);
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 300;
    if (rounds < 1) {
        std::fprintf(stderr, "usage: launch_bench [ROUNDS]\n");
        return 2;
    }
    // Orphaned children come back here, so each run ends with its child.
    prctl(PR_SET_CHILD_SUBREAPER, 1);

    dvltest::Installation inst;
    inst.writeIni(
        "-vmargs\n-Xmx1024m\n-Ddv.appInitScript=scripts/init.js\n"
        "-Ddv.appConfigFile=/etc/demo/app.cfg\n");
    dvltest::copyFile(DVL_FLOOR_BINARY, inst.appDir + "/launch_floor", 0755);
    dvltest::copyFile(DVL_WRAPPER_SCRIPT, inst.appDir + "/run.sh", 0755);

    const std::string dashvane = inst.eclipse + "/Dashvane";
    const std::vector<Way> ways = {
        {"launcher", inst.appDir + "/run", {"./run", "-Dtrace=on"}},
        {"floor",
         inst.appDir + "/launch_floor",
         {"./launch_floor", inst.eclipse, dashvane, "--launcher.appendVmargs", "-vmargs",
          "-Xmx1024m", "-Ddv.appInitScript=" + inst.appDir + "/scripts/init.js",
          "-Ddv.appConfigFile=/etc/demo/app.cfg", "-Ddv.webApp=demo", "-Dtrace=on"}},
        {"sh wrapper", inst.appDir + "/run.sh", {"./run.sh", "-Dtrace=on"}},
    };
    const std::vector<std::string> env = {"PATH=/usr/bin:/bin"};

    // Like for like: the same child, directory and arguments every way.
    dvltest::Record reference;
    for (const Way& way : ways) {
        fs::remove(inst.record);
        const int status = waitExit(start(inst.appDir, way.program, way.argv,
                                          {env[0], "DASHVANE_STANDIN_RECORD=" + inst.record}));
        reapAll();
        const dvltest::Record record = dvltest::readRecord(inst.record);
        if (status != 1 || !record.started) {
            std::fprintf(stderr, "%s: exit status %d, child %s\n", way.name, status,
                         record.started ? "started" : "not started");
            return 2;
        }
        if (&way == &ways.front()) {
            reference = record;
        } else if (record.argv != reference.argv || record.cwd != reference.cwd) {
            std::fprintf(stderr, "%s does not start the child as the launcher does\n", way.name);
            return 2;
        }
    }
    std::printf("All three start %s in %s with the same %zu arguments.\n\n", dashvane.c_str(),
                reference.cwd.c_str(), reference.argv.size());

    std::vector<long long> instructions(ways.size(), 0);
    std::vector<int> processes(ways.size(), 0);
    const bool haveValgrind = access("/usr/bin/valgrind", X_OK) == 0;
    if (haveValgrind) {
        for (std::size_t i = 0; i < ways.size(); ++i) {
            instructions[i] = countInstructions(ways[i], inst.appDir, env, processes[i]);
        }
    } else {
        std::printf("valgrind not found (Debian: valgrind): no instruction counts\n\n");
    }

    std::vector<std::vector<double>> times(ways.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < ways.size(); ++k) {
            // Rotate the order so that no way always runs right after another.
            const std::size_t i = (k + static_cast<std::size_t>(round)) % ways.size();
            const auto begin = std::chrono::steady_clock::now();
            const int status = waitExit(start(inst.appDir, ways[i].program, ways[i].argv, env));
            const std::chrono::duration<double, std::micro> took =
                std::chrono::steady_clock::now() - begin;
            reapAll();
            if (status != 1) {
                std::fprintf(stderr, "%s exited with %d\n", ways[i].name, status);
                return 2;
            }
            times[i].push_back(took.count());
        }
    }

    const double floorInstructions = static_cast<double>(instructions[1]);
    const double floorTime = median(times[1]);
    std::printf("%-11s %14s %10s %8s %16s %8s\n", "", "instructions", "processes", "x floor",
                "median wall (us)", "x floor");
    for (std::size_t i = 0; i < ways.size(); ++i) {
        const double wall = median(times[i]);
        std::printf(
            "%-11s %14lld %10d %8.2f %16.1f %8.2f\n", ways[i].name, instructions[i], processes[i],
            floorInstructions > 0 ? static_cast<double>(instructions[i]) / floorInstructions : 0.0,
            wall, wall / floorTime);
    }
    std::printf("\n%d rounds; instructions exclude the Dashvane child.\n", rounds);
    if (haveValgrind) {
        const double vsFloor = static_cast<double>(instructions[0]) / floorInstructions;
        const double vsWrapper =
            static_cast<double>(instructions[2]) / static_cast<double>(instructions[0]);
        std::printf(
            "launcher instructions: %.2f x floor (target at most 3), %.1f x fewer than "
            "the sh wrapper (target at least 5)\n",
            vsFloor, vsWrapper);
    }
    std::printf("launcher median wall time: %.2f x floor (target at most 1.3)\n",
                median(times[0]) / floorTime);
    return 0;
}
