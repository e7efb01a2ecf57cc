// The check's verdict on the Java VM's arguments against the real VM: each
// installation's Dashvane executable is a stand-in that does with its
// arguments what the native launcher does, and starts the VM with them.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <boost/filesystem.hpp>
#include <nlohmann/json.hpp>

#include "Harness.h"
#include "LauncherFixture.h"

using namespace dvltest;
using Json = nlohmann::json;

namespace {

// The VM from the installation ini's -vm line, else jre/bin/java, else PATH;
// the ini's VM section, then everything after our -vmargs; -version stands
// in for the application. The VM's exit status goes to the record.
const char STANDIN[] = R"SH(#!/bin/bash
ini="$0.ini"; home=$(dirname "$0"); vm=; pre=(); section=0; next=0
if [ -f "$ini" ]; then
    while IFS= read -r line || [ -n "$line" ]; do
        line="${line%$'\r'}"
        case $line in ''|'#'*) continue ;; esac
        if [ $section = 1 ]; then pre+=("$line")
        elif [ $next = 1 ]; then vm=$line; next=0
        elif [ "$line" = -vm ]; then next=1
        elif [ "$line" = -vmargs ]; then section=1; fi
    done < "$ini"
fi
if [ -n "$vm" ]; then
    case $vm in /*) ;; *) vm="$home/$vm" ;; esac
    case $vm in
    *.so) vm="$(dirname "$(dirname "$(dirname "$vm")")")/bin/java" ;;
    *.ee) vm=$(sed -n "s|^-Dee.executable=||p" "$vm" | sed "s|\${ee.home}|$(dirname "$vm")|") ;;
    esac
    [ -d "$vm" ] && vm="$vm/java"
elif [ -x "$home/jre/bin/java" ]; then vm="$home/jre/bin/java"
else vm=$(command -v java); fi
while [ $# -gt 0 ] && [ "$1" != -vmargs ]; do shift; done
shift
"$vm" -XX:-UsePerfData "${pre[@]}" "$@" -version > "$DASHVANE_STANDIN_RECORD.out" 2>&1
echo $? > "$DASHVANE_STANDIN_RECORD.tmp" && mv "$DASHVANE_STANDIN_RECORD.tmp" "$DASHVANE_STANDIN_RECORD"
)SH";

const char I386_JAVA[] = "/usr/lib/jvm/java-17-openjdk-i386/bin/java";

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Row {
    const char* what;
    std::string ini;                     // our ini file
    std::vector<std::string> arguments;  // the launcher's own
    std::string installationIni;         // eclipse/Dashvane.ini; "" for none
    const char* kind;                    // the error expected; nullptr for none
    std::vector<std::pair<std::string, std::string>> files = {};  // in eclipse/: name, text
    // Run on the eclipse directory once laid out: owners and modes.
    std::function<void(const std::string&)> prepare = nullptr;
    bool asNobody = false;  // launched by nobody, and checked with --user nobody
    std::map<std::string, std::string> env = {};  // more; "{eclipse}" stands for its path
};

struct Outcome {
    bool vmStarted = false;
    bool vmCrashed = false;  // the launched VM ended by a signal
    std::string vmSaid;
    Json report;
};

// Whether both the launch and the check got an answer from the VM: neither a
// crash nor a probe that could not ask it.
bool answered(const Outcome& outcome) {
    const Json& vm = outcome.report.at("vm");
    const Json& verdict = vm.at("verdict");
    return !outcome.vmCrashed && vm.at("asked").get<bool>() &&
           (verdict.is_null() || verdict.at("asked").get<bool>());
}

// Lays out `row`, launches it for real and checks it.
Outcome launchAndCheck(const Row& row, const std::string& bundledJava = "") {
    Installation inst;
    writeFile(inst.eclipse + "/Dashvane", STANDIN, 0755);
    if (!bundledJava.empty()) {
        boost::filesystem::create_directories(inst.eclipse + "/jre/bin");
        writeFile(inst.eclipse + "/jre/bin/java", bundledJava, 0755);
    }
    if (!row.installationIni.empty()) {
        writeFile(inst.eclipse + "/Dashvane.ini", row.installationIni);
    }
    inst.writeIni(row.ini);
    for (const auto& file : row.files) {
        const boost::filesystem::path path = inst.eclipse + "/" + file.first;
        boost::filesystem::create_directories(path.parent_path());
        writeFile(path.string(), file.second, file.second.compare(0, 2, "#!") == 0 ? 0755 : 0644);
    }
    if (row.prepare) {
        row.prepare(inst.eclipse);
    }
    if (row.asNobody) {
        // The stand-in records as that user too.
        boost::filesystem::create_directory(inst.root + "/records");
        boost::filesystem::permissions(inst.root + "/records", boost::filesystem::perms(01777));
        inst.record = inst.root + "/records/record";
    }
    std::map<std::string, std::string> env = baseEnv(inst);
    for (auto variable : row.env) {
        const std::size_t at = variable.second.find("{eclipse}");
        if (at != std::string::npos) {
            variable.second.replace(at, 9, inst.eclipse);
        }
        env[variable.first] = variable.second;
    }
    Command launch;
    launch.program = inst.appDir + "/run";
    launch.argv = {"./run"};
    launch.argv.insert(launch.argv.end(), row.arguments.begin(), row.arguments.end());
    launch.cwd = inst.appDir;
    launch.env = env;
    if (row.asNobody) {
        launch.beforeExec = becomeUnprivileged;
    }
    run(launch);
    // The launcher does not wait for its child.
    for (int i = 0; i < 600 && access(inst.record.c_str(), F_OK) != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Outcome outcome;
    outcome.vmStarted = readAll(inst.record) == "0\n";
    outcome.vmCrashed = std::atoi(readAll(inst.record).c_str()) > 128;
    outcome.vmSaid = readAll(inst.record + ".out");
    Command check;
    check.program = DVL_CHECK_BINARY;
    check.argv = {"dashvane-launcher-check", "--json", "--severity=error"};
    if (row.asNobody) {
        check.argv.insert(check.argv.end(), {"--user", "nobody"});
    }
    check.argv.insert(check.argv.end(), {inst.appDir, "--"});
    check.argv.insert(check.argv.end(), row.arguments.begin(), row.arguments.end());
    check.cwd = inst.root;
    check.env = env;
    const Result result = run(check);
    outcome.report = Json::parse(result.out).at("applications").at(0);
    return outcome;
}

// Emulated, a 32-bit VM now and then dies at start or outlasts the probe's
// time limit; a VM that gave no answer says nothing of agreement, so the
// row is laid out again, up to twice.
Outcome answeredLaunch(const Row& row, const std::string& bundledJava = "") {
    Outcome outcome = launchAndCheck(row, bundledJava);
    for (int again = 0; again < 2 && !answered(outcome); ++again) {
        outcome = launchAndCheck(row, bundledJava);
    }
    EXPECT_TRUE(answered(outcome)) << outcome.vmSaid << outcome.report.dump();
    return outcome;
}

Outcome expectAgreement(const Row& row, bool retried = false) {
    SCOPED_TRACE(row.what);
    Outcome outcome = retried ? answeredLaunch(row) : launchAndCheck(row);
    const Json& findings = outcome.report.at("findings");
    EXPECT_EQ(findings.empty(), outcome.vmStarted)
        << "the VM said: " << outcome.vmSaid << "\nthe check said: " << findings.dump();
    EXPECT_EQ(findings.empty(), row.kind == nullptr) << findings.dump();
    if (row.kind != nullptr && !findings.empty()) {
        EXPECT_EQ(findings.at(0).at("kind"), row.kind) << findings.dump();
    }
    return outcome;
}

bool vmInstalled(const std::string& java) {
    return access(java.c_str(), X_OK) == 0 &&
           std::system((java + " -XX:-UsePerfData -version >/dev/null 2>&1").c_str()) == 0;
}

TEST(CheckVm, VerdictOnEachArgumentIsTheRealVmsVerdict) {
    if (!vmInstalled("/usr/bin/java")) {
        GTEST_SKIP() << "no Java VM at /usr/bin/java (scripts/deps.sh installs one)";
    }
    const std::string v = "-vmargs\n";
    const std::vector<Row> rows = {
        {"a flag removed from Java", v + "-XX:MaxPermSize=256m\n", {}, "", "vm-unknown-flag"},
        {"a collector removed from Java",
         v + "-XX:+UseConcMarkSweepGC\n",
         {},
         "",
         "vm-unknown-flag"},
        {"a fraction of a unit", v + "-Xmx1.5g\n", {}, "", "vm-size-invalid"},
        {"a heap without a unit is in bytes", v + "-Xmx512\n", {}, "", "vm-size-too-small"},
        {"initial heap above the maximum", v + "-Xms2g\n-Xmx1g\n", {}, "", "vm-heap-order"},
        {"two options on one line", v + "-Xms512m -Xmx1g\n", {}, "", "vm-size-invalid"},
        {"a stack below the minimum", v + "-Xss16k\n", {}, "", "vm-size-too-small"},
        {"an experimental flag not unlocked", v + "-XX:+UseEpsilonGC\n", {}, "", "vm-flag-locked"},
        // The launcher's own finding on the line becomes an error with a VM known.
        {"a comment below -vmargs", v + "# heap\n-Xmx1g\n", {}, "", "comment-in-vm-section"},
        {"a relative agent, taken from the eclipse directory",
         v + "-javaagent:lib/agent.jar\n",
         {},
         "",
         "vm-file-unreadable"},
        {"an application's argument on the command line",
         v + "-Xmx1g\n",
         {"-clean"},
         "",
         "vm-unrecognized-option"},
        {"the installation's initial heap above our maximum",
         v + "-Xmx1g\n",
         {},
         "-vmargs\n-Xms2g\n",
         "vm-heap-order"},
        {"a -vm naming nothing",
         v + "-Xmx1g\n",
         {},
         "-vm\n/opt/no-java-here\n-vmargs\n",
         "vm-not-usable"},
        {"a boolean flag given a value", v + "-XX:UseG1GC=true\n", {}, "", "vm-flag-setting"},
        {"a second -vmargs below -vmargs", v + "-Xmx1g\n-vmargs\n", {}, "", "vmargs-in-vm-section"},
        {"a launcher line below -vmargs",
         v + "-Xmx1g\nlauncher=/bin/true\n",
         {},
         "",
         "launcher-in-vm-section"},
        // Clean setups, which must stay clean.
        {"a heap", v + "-Xmx1g\n", {}, "", nullptr},
        {"both heaps in order", v + "-Xms512m\n-Xmx1g\n", {}, "", nullptr},
        {"a stack", v + "-Xss1m\n", {}, "", nullptr},
        {"an experimental flag unlocked",
         v + "-XX:+UnlockExperimentalVMOptions\n-XX:+UseEpsilonGC\n",
         {},
         "",
         nullptr},
        {"properties with blanks and quotes", v + "-Dtitle=My shop\n-Dq=\"x\"\n", {}, "", nullptr},
        {"a later maximum heap overrides",
         v + "-Xmx1g\n-Xmx2g\n",
         {},
         "-vmargs\n-Xmx512m\n",
         nullptr},
        {"standard options and a percentage",
         v + "-ea\n-Xint\n-XX:MaxRAMPercentage=50\n",
         {"-Dfrom.desktop=1"},
         "",
         nullptr},
        // -vm in each form the executable takes.
        {"a -vm naming a JRE's bin directory",
         v + "-Xmx1g\n",
         {},
         "-vm\n/usr/lib/jvm/java-17-openjdk-amd64/bin\n-vmargs\n-Xshare:auto\n",
         nullptr},
        {"a -vm naming a Java home, not its bin directory",
         v + "-Xmx1g\n",
         {},
         "-vm\n/usr/lib/jvm/java-17-openjdk-amd64\n-vmargs\n",
         "vm-not-usable"},
        {"a -vm naming the VM's library",
         v + "-Xmx1g\n",
         {},
         "-vm\n/usr/lib/jvm/java-17-openjdk-amd64/lib/server/libjvm.so\n-vmargs\n",
         nullptr},
        {"a -vm naming an execution-environment file",
         v + "-Xmx1g\n",
         {},
         "-vm\njava17.ee\n-vmargs\n",
         nullptr,
         {{"java17.ee", "# the VM\n-Dee.executable=${ee.home}/jdk/bin/java\n"},
          {"jdk/bin/java", "#!/bin/sh\nexec /usr/bin/java \"$@\"\n"}}},
        {"a deprecated spelling", v + "-XX:+CreateMinidumpOnCrash\n-noverify\n", {}, "", nullptr},
        // What the VM alone knows: ranges, constraints between flags, module
        // options, properties it refuses, options it takes without listing.
        {"a percentage out of range", v + "-XX:MaxRAMPercentage=150\n", {}, "", "vm-refused"},
        {"a stack flag in kilobytes given megabytes",
         v + "-XX:ThreadStackSize=2m\n",
         {},
         "",
         "vm-refused"},
        {"a code cache in bytes", v + "-XX:ReservedCodeCacheSize=256\n", {}, "", "vm-refused"},
        {"too few compiler threads", v + "-XX:CICompilerCount=1\n", {}, "", "vm-refused"},
        {"concurrent above parallel threads",
         v + "-XX:ParallelGCThreads=2\n-XX:ConcGCThreads=5\n",
         {},
         "",
         "vm-refused"},
        {"two collectors, the installation's and ours",
         v + "-XX:+UseParallelGC\n",
         {},
         "-vmargs\n-XX:+UseG1GC\n",
         "vm-refused"},
        {"--add-opens without its target",
         v + "--add-opens=java.base/java.lang\n",
         {},
         "",
         "vm-refused"},
        {"a module Java 17 no longer has",
         v + "--add-modules=java.xml.bind\n",
         {},
         "",
         "vm-refused"},
        {"endorsed directories", v + "-Djava.endorsed.dirs=/opt/e\n", {}, "", "vm-refused"},
        {"a log level the VM does not know", v + "-Xlog:gc=bogus\n", {}, "", "vm-refused"},
        {"a log file in a missing directory",
         v + "-Xlog:gc:file=/nonexistent-dir/gc.log\n",
         {},
         "",
         "vm-log-directory"},
        {"options taken though not listed",
         v + "-Xnoagent\n-Xminf0.3\n-Xmaxf0.6\n",
         {},
         "",
         nullptr},
        {"native access for the class path",
         v + "--enable-native-access=ALL-UNNAMED\n",
         {},
         "",
         nullptr},
        {"unknown flags made harmless, after them",
         v + "-XX:+NoSuchFlag\n-XX:+IgnoreUnrecognizedVMOptions\n",
         {},
         "",
         nullptr},
    };
    for (const Row& row : rows) {
        expectAgreement(row);
    }
}

// Files of options, read as the java launcher and the VM read them, their
// options judged by the VM; an agent in them is judged without being run.
TEST(CheckVm, OptionFilesAreReadAsTheVmReadsThem) {
    if (!vmInstalled("/usr/bin/java")) {
        GTEST_SKIP() << "no Java VM at /usr/bin/java (scripts/deps.sh installs one)";
    }
    const std::string v = "-vmargs\n";
    const std::vector<Row> rows = {
        {"an argument file of good options",
         v + "@conf/jvm.args\n",
         {},
         "",
         nullptr,
         {{"conf/jvm.args", "# heap\n-Xmx1g \"-Dtitle=My shop\"\n-Dq=\"a\\tb\"\n"}}},
        {"an argument file with an option the VM refuses",
         v + "-Xmx1g\n@conf/jvm.args\n",
         {},
         "",
         "vm-unrecognized-option",
         {{"conf/jvm.args", "-Xss1m\n-Xbogus\n"}}},
        {"an argument file whose ranges the VM refuses",
         v + "@conf/jvm.args\n",
         {},
         "",
         "vm-refused",
         {{"conf/jvm.args", "-XX:MaxRAMPercentage=150\n"}}},
        {"a missing argument file", v + "@conf/none.args\n", {}, "", "vm-file-unreadable"},
        {"an agent in an argument file, judged without being run",
         v + "@agent.args\n",
         {},
         "",
         "vm-file-unreadable",
         {{"agent.args", "-javaagent:/nonexistent/agent.jar\n"}}},
        {"a flag file of good flags",
         v + "-XX:Flags=conf/flags\n",
         {},
         "",
         nullptr,
         {{"conf/flags", "+UseSerialGC # the collector\nMaxHeapSize=1073741824\n"}}},
        {"a flag file with a flag Java no longer has",
         v + "-XX:Flags=conf/flags\n",
         {},
         "",
         "vm-unknown-flag",
         {{"conf/flags", "+UseSerialGC\nMaxPermSize=268435456\n"}}},
        {"an option file of good options",
         v + "-XX:VMOptionsFile=conf/vm.options\n",
         {},
         "",
         nullptr,
         {{"conf/vm.options", "-Xmx1g '-Dtitle=My shop'\n-XX:+UseSerialGC\n"}}},
        {"an option file with a comment, which it does not have",
         v + "-XX:VMOptionsFile=conf/vm.options\n",
         {},
         "",
         "vm-unrecognized-option",
         {{"conf/vm.options", "-Xmx1g # heap\n"}}},
    };
    for (const Row& row : rows) {
        expectAgreement(row);
    }
}

// A 32-bit VM: a heap past 4 GiB the rules refuse; between, the VM says.
// Where this kernel does not run 32-bit programs, the installation's own
// jre/bin/java runs the VM through qemu-i386, which gives it 4 GiB as a
// 64-bit kernel would.
// A zip entry: its name, its text, and that text deflated, or empty to store it.
struct ZipEntry {
    std::string name;
    std::string text;
    std::string deflated = std::string();
};

// A zip as a jar tool writes one.
std::string zipOf(const std::vector<ZipEntry>& entries) {
    const auto le = [](std::size_t value, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i) {
            out += static_cast<char>(value >> (8 * i) & 0xff);
        }
        return out;
    };
    std::string local;
    std::string central;
    for (const ZipEntry& entry : entries) {
        std::uint32_t crc = 0xffffffff;
        for (const char c : entry.text) {
            crc ^= static_cast<unsigned char>(c);
            for (int k = 0; k < 8; ++k) {
                crc = crc >> 1 ^ (0xedb88320 & (0 - (crc & 1)));
            }
        }
        const std::string& data = entry.deflated.empty() ? entry.text : entry.deflated;
        const std::string head = le(20, 2) + le(0, 2) + le(entry.deflated.empty() ? 0 : 8, 2) +
                                 le(0, 4) + le(~crc, 4) + le(data.size(), 4) +
                                 le(entry.text.size(), 4) + le(entry.name.size(), 2) + le(0, 2);
        central += std::string("PK\x01\x02", 4) + le(20, 2) + head + le(0, 6) + le(0, 4) +
                   le(local.size(), 4) + entry.name;
        local += std::string("PK\x03\x04", 4) + head + entry.name + data;
    }
    return local + central + std::string("PK\x05\x06", 4) + le(0, 4) + le(entries.size(), 2) +
           le(entries.size(), 2) + le(central.size(), 4) + le(local.size(), 4) + le(0, 2);
}

// Options the probe leaves out, judged from their files against the real
// VM started with them: agents that run no code, files written to the tree.
TEST(CheckVm, LeftOutOptionsAreJudgedAsTheVmLoadsAndWritesThem) {
    if (!vmInstalled("/usr/bin/java")) {
        GTEST_SKIP() << "no Java VM at /usr/bin/java (scripts/deps.sh installs one)";
    }
    const std::string v = "-vmargs\n-Xmx256m\n";
    const std::string manifest = "Manifest-Version: 1.0\r\nCreated-By: hand\r\n\r\n";
    // The manifest, deflated by zlib at its best compression.
    const std::string deflated(
        "\xf3\x4d\xcc\xcb\x4c\x4b\x2d\x2e\xd1\x0d\x4b\x2d\x2a\xce\xcc\xcf\xb3\x52\x30\xd4"
        "\x33\xe0\xe5\x72\x2e\x4a\x4d\x2c\x49\x4d\xd1\x75\xaa\xb4\x52\xc8\x48\xcc\x4b\xe1"
        "\xe5\xe2\xe5\x02\x00",
        45);
    const std::string missing = "/nonexistent-dir/";
    // An agent whose jar names a class it lacks, and the class, with an empty
    // premain, in a directory of its own.
    std::string agentClass;
    const char* const hex =
        "cafebabe000000340008010011636f6d2f6578616d706c652f4167656e740700010100106a6176612f6c"
        "616e672f4f626a6563740700030100077072656d61696e010015284c6a6176612f6c616e672f5374726"
        "96e673b2956010004436f6465002100020004000000000001000900050006000100070000000d0000000"
        "100000001b1000000000000";
    for (const char* at = hex; *at != '\0'; at += 2) {
        agentClass += static_cast<char>(std::stoi(std::string(at, 2), nullptr, 16));
    }
    const std::vector<std::pair<std::string, std::string>> elsewhere = {
        {"lib/agent.jar",
         zipOf({{"META-INF/MANIFEST.MF",
                 "Manifest-Version: 1.0\r\nPremain-Class: com.example.Agent\r\n\r\n"}})},
        {"lib/classes/com/example/Agent.class", agentClass}};
    const std::vector<Row> rows = {
        {"an agent jar without Premain-Class",
         v + "-javaagent:lib/agent.jar=verbose\n",
         {},
         "",
         "vm-agent-unusable",
         {{"lib/agent.jar", zipOf({{"META-INF/MANIFEST.MF", manifest}})}}},
        {"an agent jar, deflated, without Premain-Class",
         v + "-javaagent:lib/agent.jar\n",
         {},
         "",
         "vm-agent-unusable",
         {{"lib/agent.jar", zipOf({{"META-INF/MANIFEST.MF", manifest, deflated}})}}},
        {"an agent jar that is empty",
         v + "-javaagent:lib/agent.jar\n",
         {},
         "",
         "vm-agent-unusable",
         {{"lib/agent.jar", ""}}},
        {"an agent jar that is text",
         v + "-javaagent:lib/agent.jar\n",
         {},
         "",
         "vm-agent-unusable",
         {{"lib/agent.jar", "not a zip\n"}}},
        {"an agent jar that lacks its Premain-Class",
         v + "-javaagent:lib/agent.jar\n",
         {},
         "",
         "vm-agent-unusable",
         {{"lib/agent.jar",
           zipOf({{"META-INF/MANIFEST.MF",
                   "Manifest-Version: 1.0\r\nPremain-Class: com.example.agent.Tra\r\n ce\r\n\r\n"},
                  {"com/example/agent/Tra.class", "a class of another name"}})}}},
        // The VM looks for the class along the class path, which holds it.
        {"an agent jar without its class, on the class path given by -cp",
         v + "-cp\nlib/classes\n-javaagent:lib/agent.jar\n",
         {},
         "",
         nullptr,
         elsewhere},
        {"an agent jar without its class, on the class path given as a property",
         v + "-Djava.class.path=lib/classes\n-javaagent:lib/agent.jar\n",
         {},
         "",
         nullptr,
         elsewhere},
        {"an agent jar without its class, on the class path given by --class-path=",
         v + "--class-path=lib/classes\n-javaagent:lib/agent.jar\n",
         {},
         "",
         nullptr,
         elsewhere},
        {"an agent jar without its class, on no class path",
         v + "-javaagent:lib/agent.jar\n",
         {},
         "",
         "vm-agent-unusable",
         elsewhere},
        {"an agent jar whose Class-Path names nothing that exists",
         v + "-javaagent:lib/agent.jar\n",
         {},
         "",
         "vm-agent-unusable",
         {{"lib/agent.jar",
           zipOf({{"META-INF/MANIFEST.MF",
                   "Manifest-Version: 1.0\r\nPremain-Class: a.Agent\r\nClass-Path: dep.jar "
                   "classes/\r\nBoot-Class-Path: boot.jar\r\n\r\n"}})}}},
        {"an agent jar without a manifest",
         v + "-javaagent:lib/agent.jar\n",
         {},
         "",
         "vm-agent-unusable",
         {{"lib/agent.jar", zipOf({{"a.txt", "x"}})}}},
        {"an agent library not found", v + "-agentlib:nosuchagent\n", {}, "", "vm-agent-unusable"},
        {"an agent path that is no library",
         v + "-agentpath:lib/libagent.so\n",
         {},
         "",
         "vm-agent-unusable",
         {{"lib/libagent.so",
           "not a library, but long enough to be read "
           "as one if it were one of them at all\n"}}},
        {"an agent path that is missing",
         v + "-agentpath:lib/libnone.so\n",
         {},
         "",
         "vm-file-unreadable"},
        {"a log file in an existing directory", v + "-Xloggc:gc.log\n", {}, "", nullptr},
        {"a flight recording in a missing directory",
         v + "-XX:StartFlightRecording=name=x,filename=" + missing + "r.jfr\n",
         {},
         "",
         "vm-log-directory"},
        {"a flight recording, its file named first, in a missing directory",
         v + "-XX:StartFlightRecording=filename=" + missing + "r.jfr\n",
         {},
         "",
         "vm-log-directory"},
        {"a class archive at exit in a missing directory",
         v + "-XX:ArchiveClassesAtExit=" + missing + "a.jsa\n",
         {},
         "",
         "vm-log-directory"},
        {"a class archive dumped to a missing directory",
         v + "-Xshare:dump\n-XX:SharedArchiveFile=" + missing + "a.jsa\n",
         {},
         "",
         "vm-log-directory"},
        {"a class archive to use that is missing",
         v + "-Xshare:on\n-XX:SharedArchiveFile=" + missing + "a.jsa\n",
         {},
         "",
         "vm-refused"},
        {"a heap dump path in a missing directory",
         v + "-XX:+HeapDumpOnOutOfMemoryError\n-XX:HeapDumpPath=" + missing + "h.hprof\n",
         {},
         "",
         nullptr},
        {"a crash report in a missing directory",
         v + "-XX:ErrorFile=" + missing + "e.log\n",
         {},
         "",
         nullptr},
    };
    for (const Row& row : rows) {
        // The option is the ini file's last line, and the refusal is there.
        const Json findings = expectAgreement(row).report.at("findings");
        if (row.kind != nullptr && !findings.empty()) {
            EXPECT_EQ(findings.at(0).at("line"), std::count(row.ini.begin(), row.ini.end(), '\n'))
                << row.what << ": " << findings.dump();
        }
    }
}

// A shared library the system's compiler builds from C `source` in `dir`,
// where the libraries it links with are; empty when it cannot.
std::string builtLibrary(const std::string& dir, const std::string& name, const std::string& source,
                         const std::string& flags) {
    writeFile(dir + "/" + name + ".c", source);
    const std::string command = "cc -shared -fPIC -o " + dir + "/" + name + " " + dir + "/" + name +
                                ".c " + flags + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0 ? readAll(dir + "/" + name) : std::string();
}

// The options of JAVA_TOOL_OPTIONS and _JAVA_OPTIONS that a probe leaves out
// are judged from their files as the ini file's are, and said for the
// application, naming the variable.
TEST(CheckVm, OptionsOfTheEnvironmentAreJudgedAsTheVmLoadsAndWritesThem) {
    if (!vmInstalled("/usr/bin/java")) {
        GTEST_SKIP() << "no Java VM at /usr/bin/java (scripts/deps.sh installs one)";
    }
    const std::string v = "-vmargs\n-Xmx256m\n";
    const std::string manifest = "Manifest-Version: 1.0\r\nCreated-By: hand\r\n\r\n";
    Row base{"", v, {}, "", nullptr};
    const struct {
        const char* what;
        const char* variable;
        const char* value;
        const char* kind;
    } rows[] = {
        {"an agent jar without Premain-Class", "JAVA_TOOL_OPTIONS", "-javaagent:lib/agent.jar",
         "vm-agent-unusable"},
        {"an agent library not found", "_JAVA_OPTIONS", "-agentlib:nosuchagent",
         "vm-agent-unusable"},
        {"a log in a missing directory", "JAVA_TOOL_OPTIONS",
         "-Xmx128m -Xlog:gc:file=/nonexistent-dir/gc.log", "vm-log-directory"},
        {"a log the VM can write", "JAVA_TOOL_OPTIONS", "-Xlog:gc:file=gc.log", nullptr},
        {"a heap dump in a missing directory: said, but no error", "_JAVA_OPTIONS",
         "-XX:+HeapDumpOnOutOfMemoryError -XX:HeapDumpPath=/nonexistent-dir/", nullptr},
        // The VM reads flag and option files named there, but takes no @FILE.
        {"a flag file that is missing", "JAVA_TOOL_OPTIONS", "-XX:Flags=/nonexistent-dir/f",
         "vm-file-unreadable"},
        {"a flag file the VM takes", "JAVA_TOOL_OPTIONS", "-XX:Flags={eclipse}/conf/ok.flags",
         nullptr},
        {"an option file with an option the VM refuses", "_JAVA_OPTIONS",
         "-XX:VMOptionsFile={eclipse}/conf/bad.options", "vm-unrecognized-option"},
        {"an argument file, which the VM takes only on its command line", "JAVA_TOOL_OPTIONS",
         "@{eclipse}/conf/ok.flags", "vm-unrecognized-option"},
    };
    for (const auto& row : rows) {
        Row laid = base;
        laid.what = row.what;
        laid.kind = row.kind;
        laid.env = {{row.variable, row.value}};
        laid.files = {{"lib/agent.jar", zipOf({{"META-INF/MANIFEST.MF", manifest}})},
                      {"conf/ok.flags", "+UseSerialGC\n"},
                      {"conf/bad.options", "-Xmx128m\n-Xbogus\n"}};
        const Json findings = expectAgreement(laid).report.at("findings");
        if (row.kind != nullptr && !findings.empty()) {
            EXPECT_TRUE(findings.at(0).at("line").is_null()) << findings.dump();
            EXPECT_NE(findings.dump().find(row.variable), std::string::npos) << findings.dump();
        }
    }
}

// cron and systemd hand the launch the VM variables the start file sets, and
// none of the check's own: the VM is judged for that start with the file's,
// and a refusal is an error of the start, at its line. The real VM, given
// the same variables alone, decides each row.
TEST(CheckVm, AStartsOwnVmVariablesAreJudgedWithThem) {
    if (!vmInstalled("/usr/bin/java")) {
        GTEST_SKIP() << "no Java VM at /usr/bin/java (scripts/deps.sh installs one)";
    }
    const struct {
        const char* what;
        bool unit;                  // a systemd unit; a cron.d file otherwise
        const char* fileVariable;   // set by the start file; "" for none
        const char* checkVariable;  // in the check's own environment; "" for none
    } rows[] = {
        {"an option the VM refuses, in the crontab", false, "JAVA_TOOL_OPTIONS=-Xbogus", ""},
        {"an option the VM takes, in the crontab", false, "_JAVA_OPTIONS=-Xmx128m", ""},
        {"an option the VM refuses, in the check's environment alone", false, "",
         "JAVA_TOOL_OPTIONS=-Xbogus"},
        {"the crontab's own option, over the check's", false, "JAVA_TOOL_OPTIONS=-Xmx128m",
         "JAVA_TOOL_OPTIONS=-Xbogus"},
        {"an option the VM refuses, in the unit", true, "JAVA_TOOL_OPTIONS=-Xbogus", ""},
        {"an option the VM refuses, in the check's environment, not the unit's", true, "",
         "_JAVA_OPTIONS=-Xbogus"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Installation inst;
        writeFile(inst.eclipse + "/Dashvane", STANDIN, 0755);
        inst.writeIni("-vmargs\n-Xmx256m\n");
        const std::string variable = row.fileVariable;
        const std::string file =
            inst.root + "/prefix/etc/" + (row.unit ? "systemd/system/shop.service" : "cron.d/shop");
        boost::filesystem::create_directories(boost::filesystem::path(file).parent_path());
        writeFile(file, row.unit ? "[Service]\nType=forking\nSuccessExitStatus=1\n"
                                   "WorkingDirectory=" +
                                       inst.appDir + "\nEnvironment=\"" + variable +
                                       "\"\nExecStart=" + inst.appDir + "/run\n"
                                 : variable + "\n@reboot root cd " + inst.appDir + " && ./run\n");
        const std::string real =
            "env -i PATH=/usr/bin:/bin " + variable +
            " /usr/bin/java -XX:-UsePerfData -Xmx256m -version >/dev/null 2>&1";
        const bool startsThatWay = std::system(real.c_str()) == 0;
        Command check;
        check.program = DVL_CHECK_BINARY;
        check.argv = {"dashvane-launcher-check", "--json",   "--severity=error", "--root",
                      inst.root + "/prefix",     inst.appDir};
        check.cwd = inst.root;
        check.env = baseEnv(inst);
        const std::string own = row.checkVariable;
        if (!own.empty()) {
            check.env[own.substr(0, own.find('='))] = own.substr(own.find('=') + 1);
        }
        const Json report = Json::parse(run(check).out).at("applications").at(0);
        ASSERT_EQ(report.at("starts").size(), 1u) << report.at("starts").dump();
        std::vector<Json> atStart;
        for (const Json& finding : report.at("findings")) {
            if (finding.at("file") == file) {
                atStart.push_back(finding);
            }
        }
        EXPECT_EQ(atStart.empty(), startsThatWay) << report.at("findings").dump();
        if (!atStart.empty()) {
            EXPECT_EQ(atStart.at(0).at("line"), row.unit ? 6 : 2) << atStart.at(0).dump();
        }
    }
}

// Libraries the VM loads as agents, each needing the entry point it calls,
// which dlsym also finds in the libraries it needs.
TEST(CheckVm, AgentLibrariesAreJudgedByTheEntryPointTheVmCalls) {
    if (!vmInstalled("/usr/bin/java")) {
        GTEST_SKIP() << "no Java VM at /usr/bin/java (scripts/deps.sh installs one)";
    }
    const std::string entry = "int Agent_OnLoad(void* v, char* o, void* r) { return 0; }\n";
    const std::pair<const char*, std::string> sources[] = {
        {"none", "int helper(void) { return 1; }\n"},
        {"hidden", "__attribute__((visibility(\"hidden\"))) " + entry},
        {"static", "int Agent_OnLoad_static(void* v, char* o, void* r) { return 0; }\n"},
        {"entry", entry},
        {"weak", "__attribute__((weak)) " + entry},
        {"jvm1", "int JVM_OnLoad(void* v, char* o, void* r) { return 0; }\n"},
        {"needs",
         "int Agent_OnLoad(void*, char*, void*);\nint f(void) { return Agent_OnLoad(0, 0, 0); }\n"},
    };
    const std::string dir =
        (boost::filesystem::temp_directory_path() / boost::filesystem::unique_path()).string();
    boost::filesystem::create_directories(dir);
    Row base{"", "", {}, "", nullptr};
    base.env = {{"LD_LIBRARY_PATH", "{eclipse}/lib"}};
    for (const auto& source : sources) {
        const std::string name = "lib" + std::string(source.first) + ".so";
        const std::string flags =
            name == "libneeds.so" ? "-L" + dir + " -lentry -Wl,-rpath,'$ORIGIN'" : "";
        base.files.emplace_back("lib/" + name, builtLibrary(dir, name, source.second, flags));
    }
    boost::filesystem::remove_all(dir);
    for (const auto& file : base.files) {
        if (file.second.empty()) {
            GTEST_SKIP() << "the system's compiler (cc) did not build " << file.first;
        }
    }
    // The option, and the error expected; nullptr for none.
    const std::pair<const char*, const char*> rows[] = {
        {"-agentpath:lib/libnone.so", "vm-agent-unusable"},
        {"-agentpath:lib/libhidden.so=x", "vm-agent-unusable"},
        {"-agentpath:lib/libstatic.so", "vm-agent-unusable"},
        {"-agentpath:lib/libentry.so", nullptr},
        {"-agentpath:lib/libweak.so", nullptr},
        {"-agentpath:lib/libneeds.so", nullptr},
        {"-agentlib:none=x", "vm-agent-unusable"},
        {"-agentlib:jvm1", "vm-agent-unusable"},
        {"-Xrunnone:x", "vm-agent-unusable"},
        {"-Xrunjvm1", nullptr},
        {"-Xrunentry:x", nullptr},
        {"-Xrunnosuchagent", "vm-agent-unusable"},
    };
    for (const auto& row : rows) {
        Row laid = base;
        laid.what = row.first;
        laid.ini = "-vmargs\n-Xmx256m\n" + std::string(row.first) + "\n";
        laid.kind = row.second;
        const Json findings = expectAgreement(laid).report.at("findings");
        if (row.second != nullptr && !findings.empty()) {
            EXPECT_EQ(findings.at(0).at("line"), 3) << row.first << ": " << findings.dump();
        }
    }
}

// Files the VM writes that exist already, as the user the VM runs as: a
// rotated log is renamed away where the directory allows, else written in
// place; a recording, or a log not rotated, is always written in place.
TEST(CheckVm, ExistingOutputFilesAreJudgedAsTheVmWritesThem) {
    DVL_REQUIRE_ROOT();
    if (!vmInstalled("/usr/bin/java")) {
        GTEST_SKIP() << "no Java VM at /usr/bin/java (scripts/deps.sh installs one)";
    }
    // The file is in the eclipse directory, which nobody cannot write in, or
    // in logs/, which they can; nobody or root owns it.
    const struct {
        const char* option;
        const char* file;
        bool nobodyOwns;
        const char* kind;
    } rows[] = {
        {"-Xlog:gc:file=logs/gc.log", "logs/gc.log", false, nullptr},
        {"-Xlog:gc:file=gc.log", "gc.log", true, nullptr},
        {"-Xloggc:gc.log", "gc.log", false, "vm-log-directory"},
        {"-Xlog:gc:file=logs/gc.log::filecount=0", "logs/gc.log", false, "vm-log-directory"},
        {"-XX:StartFlightRecording=filename=logs/r.jfr", "logs/r.jfr", false, "vm-log-directory"},
        {"-XX:StartFlightRecording=filename=r.jfr", "r.jfr", true, nullptr},
    };
    for (const auto& row : rows) {
        Row laid{
            row.option, "-vmargs\n-Xmx256m\n" + std::string(row.option) + "\n", {}, "", row.kind};
        laid.asNobody = true;
        laid.prepare = [&row](const std::string& eclipse) {
            boost::filesystem::create_directories(eclipse + "/logs");
            boost::filesystem::permissions(eclipse + "/logs", boost::filesystem::perms(0777));
            writeFile(eclipse + "/" + row.file, "", 0644);
            EXPECT_EQ(row.nobodyOwns ? chown((eclipse + "/" + row.file).c_str(), 65534, 65534) : 0,
                      0);
        };
        expectAgreement(laid);
    }
}

// The 32-bit VM judges for itself: its heaps, and the Client VM that
// -client selects from its jvm.cfg, which lacks the server compiler's flags
// and its class-data archive.
TEST(CheckVm, ThirtyTwoBitVmIsAskedAsItRuns) {
    if (access(I386_JAVA, X_OK) != 0) {
        GTEST_SKIP()
            << "no 32-bit Java VM at " << I386_JAVA
            << " (scripts/deps.sh installs openjdk-17-jre-headless:i386 for the i386 stage)";
    }
    std::string java = I386_JAVA;
    if (!vmInstalled(java)) {
        const std::string qemu = findProgram("qemu-i386");
        if (qemu.empty()) {
            GTEST_SKIP() << "this kernel runs no 32-bit program and qemu-i386 is missing";
        }
        java = "exec " + qemu + " " + java;
    } else {
        java = "exec " + java;
    }
    const struct {
        const char* lines;  // below -vmargs
        const char* kind;   // the error expected; nullptr for none
        bool atLine;        // at the last line, as the VM's words name its option
    } rows[] = {
        {"-Xmx1g\n", nullptr, true},
        {"-Xmx3g\n", nullptr, true},
        {"-Xmx4g\n", "vm-heap-unreservable", true},
        {"-XX:+UseZGC\n", "vm-refused", true},
        {"-client\n-XX:TieredStopAtLevel=1\n", nullptr, true},
        {"-client\n-XX:+UseParallelGC\n", nullptr, true},
        {"-client\n-XX:+UseSuperWord\n", "vm-unknown-flag", true},
        {"-client\n-XX:MaxInlineLevel=20\n", "vm-unknown-flag", true},
        // The archive's absence is said without naming -Xshare.
        {"-client\n-Xshare:on\n", "vm-refused", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.lines);
        const Row laid{row.lines, "-vmargs\n" + std::string(row.lines), {}, "", row.kind};
        const std::string bundled = "#!/bin/sh\n" + java + " \"$@\"\n";
        const Outcome outcome = answeredLaunch(laid, bundled);
        const Json& findings = outcome.report.at("findings");
        EXPECT_EQ(findings.empty(), outcome.vmStarted) << outcome.vmSaid << findings.dump();
        EXPECT_EQ(outcome.report.at("vm").at("data_model"), 32);
        if (row.kind != nullptr && !findings.empty()) {
            const std::string lines = row.lines;
            const auto last =
                static_cast<std::size_t>(std::count(lines.begin(), lines.end(), '\n')) + 1;
            EXPECT_EQ(findings.at(0).at("kind"), row.kind) << findings.dump();
            EXPECT_EQ(findings.at(0).at("line"), row.atLine ? Json(last) : Json())
                << findings.dump();
        }
    }
}

// The 32-bit VM, named by a link so that the check reads its ELF kind as
// the VM's own, loads agent libraries of its own kind only, found where it
// looks; its output files are judged as the 64-bit VM's are.
TEST(CheckVm, ThirtyTwoBitVmLoadsOnlyAgentsOfItsOwnKind) {
    if (!vmInstalled(I386_JAVA)) {
        GTEST_SKIP() << "no 32-bit Java VM this kernel runs at " << I386_JAVA
                     << " (scripts/deps.sh installs it and registers qemu-i386 where needed)";
    }
    const std::string entry = "int Agent_OnLoad(void* v, char* o, void* r) { return 0; }\n";
    const std::string dir =
        (boost::filesystem::temp_directory_path() / boost::filesystem::unique_path()).string();
    boost::filesystem::create_directories(dir);
    Row base{"", "", {}, "", nullptr};
    base.env = {{"LD_LIBRARY_PATH", "{eclipse}/lib"}};
    base.files = {{"lib/libwide.so", builtLibrary(dir, "libwide.so", entry, "")},
                  {"lib/libnarrow.so", builtLibrary(dir, "libnarrow.so", entry, "-m32")}};
    boost::filesystem::remove_all(dir);
    for (const auto& file : base.files) {
        if (file.second.empty()) {
            GTEST_SKIP() << "the system's compiler (cc, cc -m32) did not build " << file.first;
        }
    }
    base.prepare = [](const std::string& eclipse) {
        boost::filesystem::create_directories(eclipse + "/jre/bin");
        boost::filesystem::create_symlink(I386_JAVA, eclipse + "/jre/bin/java");
    };
    // The option, and the error expected; nullptr for none.
    const std::pair<const char*, const char*> rows[] = {
        {"-agentpath:lib/libwide.so", "vm-agent-unusable"},
        {"-agentpath:lib/libnarrow.so", nullptr},
        {"-agentlib:wide", "vm-agent-unusable"},
        {"-agentlib:narrow", nullptr},
        {"-agentlib:nosuchagent", "vm-agent-unusable"},
        {"-Xlog:gc:file=/nonexistent-dir/gc.log", "vm-log-directory"},
        {"-Xlog:gc:file=gc.log", nullptr},
    };
    for (const auto& row : rows) {
        Row laid = base;
        laid.what = row.first;
        laid.ini = "-vmargs\n-Xmx256m\n" + std::string(row.first) + "\n";
        laid.kind = row.second;
        const Outcome outcome = expectAgreement(laid, true);
        EXPECT_EQ(outcome.report.at("vm").at("data_model"), 32) << row.first;
        const Json& findings = outcome.report.at("findings");
        if (row.second != nullptr && !findings.empty()) {
            EXPECT_EQ(findings.at(0).at("line"), 3) << row.first << ": " << findings.dump();
        }
    }
}

// Random VM argument lists from the grammar the check judges, safe options
// only, each launched for real: 60 lists, or as many as DVL_VM_DIFFERENTIAL
// says, from a fixed seed or DVL_VM_DIFFERENTIAL_SEED.
TEST(CheckVm, RandomArgumentListsAgreeWithTheRealVm) {
    if (!vmInstalled("/usr/bin/java")) {
        GTEST_SKIP() << "no Java VM at /usr/bin/java (scripts/deps.sh installs one)";
    }
    const std::vector<std::string> pieces = {
        "-Xmx1g", "-Xmx64m", "-Xmx1.5g", "-Xmx512", "-Xmx2G", "-Xmx0", "-Xmx", "-Xms256m", "-Xms4g",
        "-Xms0", "-Xss512k", "-Xss16k", "-Xss2m", "-Xmn32m", "-Xmx8m", "-Xmx1x",
        "-XX:MaxHeapSize=1g", "-XX:InitialHeapSize=3g", "-XX:ThreadStackSize=1024", "-XX:+UseG1GC",
        "-XX:+UseSerialGC", "-XX:UseG1GC", "-XX:+MaxHeapSize", "-XX:MaxRAMPercentage=50",
        "-XX:MaxRAMPercentage=abc", "-XX:ConcGCThreads=-1", "-XX:+UseEpsilonGC",
        "-XX:+UnlockExperimentalVMOptions", "-XX:+UnlockDiagnosticVMOptions",
        "-XX:-UnlockExperimentalVMOptions", "-XX:+PrintCompilation2", "-XX:+LogTouchedMethods",
        "-XX:MaxPermSize=128m", "-XX:+UseConcMarkSweepGC", "-XX:+UseCompressedOops",
        "-XX:+CreateMinidumpOnCrash", "-Dx=1", "-D", "-Dpath=~/x", "-ea", "-da:foo...", "-esa",
        "-Xint", "-Xmixed", "-Xbatch", "-Xrs", "-Xshare:auto", "-Xshare:off", "-Xverify:none",
        "-noverify", "-server", "-verbose:gc", "-Xfoo", "-clean", "-XshowSettings:vm",
        "--add-opens=java.base/java.lang=ALL-UNNAMED", "-Xcheck:jni", "-Xdiag",
        // What the VM alone knows.
        "-XX:MaxRAMPercentage=150", "-XX:CICompilerCount=1", "-XX:ParallelGCThreads=2",
        "-XX:ConcGCThreads=5", "-XX:+UseParallelGC", "-XX:+IgnoreUnrecognizedVMOptions",
        "--add-modules=java.xml.bind", "--add-opens=java.base/java.lang",
        "--enable-native-access=ALL-UNNAMED", "-Djava.ext.dirs=/opt/ext", "-Xnoagent", "-Xminf0.3",
        "-Xlog:gc=bogus", "-Xlog:gc:stderr", "-client",
        // Files of options, whose words are drawn from the same pieces.
        "@conf/a.args", "-XX:VMOptionsFile=conf/b.options", "-XX:Flags=conf/c.flags"};
    const std::vector<std::string> flags = {"+UseSerialGC",        "MaxHeapSize=67108864",
                                            "NoSuchFlag=1",        "-UseCompressedOops",
                                            "ParallelGCThreads=0", "# c"};
    const char* count = std::getenv("DVL_VM_DIFFERENTIAL");
    const int lists = count != nullptr ? std::atoi(count) : 60;
    const char* seed = std::getenv("DVL_VM_DIFFERENTIAL_SEED");
    std::mt19937 random(seed != nullptr ? static_cast<unsigned>(std::atol(seed)) : 20261207u);
    int divergences = 0;
    for (int n = 0; n < lists; ++n) {
        std::string ini = "-vmargs\n";
        const std::size_t length = 1 + random() % 4;
        for (std::size_t i = 0; i < length; ++i) {
            ini += pieces[random() % pieces.size()] + "\n";
        }
        Row row{"random", ini, {}, "", nullptr};
        for (const char* file : {"conf/a.args", "conf/b.options", "conf/c.flags"}) {
            const bool flagFile = std::string(file) == "conf/c.flags";
            std::string text;
            for (std::size_t i = random() % 3; i-- > 0;) {
                text += (flagFile ? flags[random() % flags.size()]
                                  : pieces[random() % (pieces.size() - 3)]) +
                        (random() % 2 != 0 ? "\n" : " ");
            }
            row.files.emplace_back(file, text);
            ini += text.empty() ? "" : std::string("# ") + file + ": " + text + "\n";
        }
        SCOPED_TRACE(ini);
        const Outcome outcome = launchAndCheck(row);
        const bool agrees = outcome.report.at("findings").empty() == outcome.vmStarted;
        divergences += agrees ? 0 : 1;
        EXPECT_TRUE(agrees) << "the VM said: " << outcome.vmSaid
                            << "\nthe check said: " << outcome.report.at("findings").dump();
    }
    std::cout << lists << " random lists, " << divergences << " divergences\n";
}

}  // namespace

namespace {

// A VM that counts the starts that give a verdict (those with -version),
// and apart from them those that ask it to describe itself, with the
// language it was asked in.
std::string countingVm(const std::string& dir) {
    return "#!/bin/sh\ncase \" $* \" in *' -version '*) echo >> " + dir +
           "/starts ;; *' -XX:+PrintFlagsFinal '*) echo \"$LC_ALL\" >> " + dir +
           "/described ;; esac\nexec /usr/lib/jvm/java-17-openjdk-amd64/bin/java \"$@\"\n";
}

std::size_t linesOf(const std::string& path) {
    const std::string text = readAll(path);
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Verdicts, and the VM's description of itself, kept across runs serve
// until the VM changes, a record is cut short, or --no-cache; each row is a
// run, in order, over the same setup. The description is asked for in a
// language it can be read in, whatever the user's.
TEST(CheckVm, VerdictsKeptAcrossRunsUntilTheVmChanges) {
    if (!vmInstalled("/usr/lib/jvm/java-17-openjdk-amd64/bin/java")) {
        GTEST_SKIP() << "no amd64 Java VM";
    }
    const Installation inst;
    const std::string java = inst.root + "/java";
    writeFile(java, countingVm(inst.root), 0755);
    inst.writeIni("-vmargs\n-XX:MaxRAMPercentage=150\n");
    const struct {
        const char* what;
        std::vector<std::string> options;
        bool changeVm;
        bool cutKept;        // each kept record loses its last two bytes
        std::size_t starts;  // counted so far, as the descriptions are
    } runs[] = {
        {"the first run asks", {}, false, false, 1},
        {"the second is served", {}, false, false, 1},
        {"--no-cache asks again", {"--no-cache"}, false, false, 2},
        {"a changed VM is asked", {}, true, false, 3},
        {"then served again", {}, false, false, 3},
        {"records cut short are asked again", {}, false, true, 4},
        {"--no-vm never asks", {"--no-vm"}, false, false, 4},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.what);
        if (run.changeVm) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            writeFile(java, countingVm(inst.root) + "# changed\n", 0755);
        }
        if (run.cutKept) {
            for (const auto& kept : boost::filesystem::directory_iterator(
                     inst.root + "/cache/dashvane-launcher-check")) {
                boost::filesystem::resize_file(kept.path(),
                                               boost::filesystem::file_size(kept.path()) - 2);
            }
        }
        Command check;
        check.program = DVL_CHECK_BINARY;
        check.argv = {"dashvane-launcher-check", "--json", "--java", java};
        check.argv.insert(check.argv.end(), run.options.begin(), run.options.end());
        check.argv.push_back(inst.appDir);
        check.cwd = inst.root;
        check.env = baseEnv(inst);
        check.env["XDG_CACHE_HOME"] = inst.root + "/cache";
        check.env["LC_ALL"] = "de_DE.UTF-8";
        const Result result = dvltest::run(check);
        const Json findings = Json::parse(result.out).at("applications").at(0).at("findings");
        EXPECT_EQ(linesOf(inst.root + "/starts"), run.starts);
        std::string describedIn;
        for (std::size_t i = 0; i < run.starts; ++i) {
            describedIn += "C\n";
        }
        EXPECT_EQ(readAll(inst.root + "/described"), describedIn);
        // The kept verdict says what the VM said; rules alone cannot.
        const bool noVm = !run.options.empty() && run.options[0] == "--no-vm";
        const auto refusals = std::count_if(findings.begin(), findings.end(), [](const Json& f) {
            return f.at("kind") == "vm-refused" && f.at("line") == 2;
        });
        EXPECT_EQ(refusals, noVm ? 0 : 1) << findings;
    }
}

// An installation's applications are asked about side by side; the report
// is still each application's own, in order, and each distinct argument
// list is asked once, whether verdicts are kept or not.
TEST(CheckVm, ApplicationsAskedSideBySideAreReportedInOrder) {
    if (!vmInstalled("/usr/lib/jvm/java-17-openjdk-amd64/bin/java")) {
        GTEST_SKIP() << "no amd64 Java VM";
    }
    const Installation inst;
    const std::string java = inst.root + "/java";
    writeFile(java, countingVm(inst.root), 0755);
    const char* const lists[] = {"-vmargs\n-XX:MaxRAMPercentage=150\n", "-vmargs\n-Xmx64m\n"};
    std::vector<std::string> dirs;
    for (int i = 0; i < 6; ++i) {
        const std::string dir = inst.root + "/ws/apps/app" + std::to_string(i);
        boost::filesystem::create_directories(dir);
        copyFile(inst.appDir + "/run", dir + "/run", 0755);
        writeFile(dir + "/run.ini", lists[i % 2]);
        dirs.push_back(dir);
    }
    for (const std::string option : {"--no-cache", "--color=never"}) {
        SCOPED_TRACE(option);
        boost::filesystem::remove(inst.root + "/starts");
        boost::filesystem::remove_all(inst.root + "/tmp");
        boost::filesystem::create_directories(inst.root + "/tmp");
        Command check;
        check.program = DVL_CHECK_BINARY;
        check.argv = {"dashvane-launcher-check", "--json", option, "--java", java};
        check.argv.insert(check.argv.end(), dirs.begin(), dirs.end());
        check.cwd = inst.root;
        check.env = baseEnv(inst);
        check.env["XDG_CACHE_HOME"] = inst.root + "/cache-" + option;
        check.env["TMPDIR"] = inst.root + "/tmp";
        const Result result = dvltest::run(check);
        const Json apps = Json::parse(result.out).at("applications");
        ASSERT_EQ(apps.size(), dirs.size()) << result.out;
        for (std::size_t i = 0; i < dirs.size(); ++i) {
            EXPECT_EQ(apps.at(i).at("directory"), dirs[i]);
            const Json& findings = apps.at(i).at("findings");
            const auto refusals = std::count_if(
                findings.begin(), findings.end(),
                [](const Json& f) { return f.at("kind") == "vm-refused" && f.at("line") == 2; });
            EXPECT_EQ(refusals, i % 2 == 0 ? 1 : 0) << dirs[i] << "\n" << findings;
        }
        EXPECT_EQ(linesOf(inst.root + "/starts"), 2u);
        // The verdicts handed between the processes leave nothing behind.
        EXPECT_TRUE(boost::filesystem::is_empty(inst.root + "/tmp"));
    }
}

}  // namespace
