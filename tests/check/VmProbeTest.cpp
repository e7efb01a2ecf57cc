// Starting the real VM for its verdict: options with effects outside the
// VM never reach it, and what reaches it leaves nothing behind.
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TempDir.h"
#include "facts/AccessJudge.h"
#include "facts/JavaVm.h"
#include "facts/VmGathering.h"
#include "facts/VmProbe.h"
#include "facts/VmProbeOptions.h"
#include "rules/VmRules.h"
#include "util/Directory.h"

namespace {

std::string realJava() {
    char resolved[PATH_MAX];
    return realpath("/usr/bin/java", resolved) != nullptr ? resolved : std::string();
}

// The verdict on `arguments` as the check asks for it.
VmFacts askedAbout(const std::string& java, const std::vector<std::string>& arguments) {
    VmFacts vm;
    vm.judged = vm.mayStart = true;
    vm.path = java;
    for (const std::string& text : arguments) {
        VmArgument argument;
        argument.text = text;
        argument.line = vm.arguments.size() + 2;
        vm.arguments.push_back(argument);
    }
    askVmArguments(vm, argumentsToAsk(vm), AccessJudge());
    return vm;
}

struct Unsafe {
    const char* what;
    std::vector<std::string> arguments;  // "W" stands for the watched directory
};

std::vector<std::string> inWatched(std::vector<std::string> arguments, const std::string& dir) {
    for (std::string& argument : arguments) {
        for (std::size_t at = argument.find("W/"); at != std::string::npos;
             at = argument.find("W/", at + dir.size())) {
            argument.replace(at, 1, dir);
        }
    }
    return arguments;
}

TEST(VmProbe, OptionsWithEffectsOutsideTheVmNeverReachIt) {
    const std::string java = realJava();
    if (java.empty() || access(java.c_str(), X_OK) != 0) {
        GTEST_SKIP() << "no Java VM at /usr/bin/java";
    }
    const TempDir watched;
    const std::string w = watched.path() + "/";
    const std::string marker = watched.path() + "/ran";
    watched.write("args", "-Xlog:gc:file=" + w + "from-argfile.log\n");
    watched.write("flags", "+UnlockDiagnosticVMOptions\n+LogVMOutput\n");
    const std::vector<Unsafe> rows = {
        {"an agent jar", {"-javaagent:W/agent.jar"}},
        {"an agent library", {"-agentlib:jdwp=transport=dt_socket,server=y,address=127.0.0.1:0"}},
        {"an agent by path", {"-agentpath:W/libagent.so"}},
        {"an old-style agent", {"-Xrunhprof"}},
        {"a log file", {"-Xlog:gc:file=W/gc.log"}},
        {"a log file without file=", {"-Xlog:gc*:W/bare.log:time"}},
        {"a quoted log file", {"-Xlog:all=info:file=\"W/quoted.log\""}},
        {"a relative log file", {"-Xlog:gc:relative.log"}},
        {"the old gc log", {"-Xloggc:W/old-gc.log"}},
        {"a flight recording", {"-XX:StartFlightRecording=filename=W/rec.jfr"}},
        {"a class-data archive at exit", {"-XX:ArchiveClassesAtExit=W/dynamic.jsa"}},
        {"a class-data dump", {"-XX:SharedArchiveFile=W/static.jsa", "-Xshare:dump"}},
        {"a class list", {"-XX:DumpLoadedClassList=W/classes.lst"}},
        {"the VM's own log",
         {"-XX:+UnlockDiagnosticVMOptions", "-XX:+LogVMOutput", "-XX:LogFile=W/vm.log"}},
        {"perf data saved",
         {"-XX:+UsePerfData", "-XX:+PerfDataSaveToFile", "-XX:PerfDataSaveFile=W/perf"}},
        {"heap dumps", {"-XX:+HeapDumpOnOutOfMemoryError", "-XX:HeapDumpPath=W/heap"}},
        {"a crash report", {"-XX:ErrorFile=W/err.log"}},
        {"commands on events", {"-XX:OnError=touch W/ran", "-XX:OnOutOfMemoryError=touch W/ran"}},
        {"the heap touched whole", {"-XX:+AlwaysPreTouch"}},
        {"huge pages of the system", {"-XX:+UseLargePages"}},
        {"the management agent", {"-Dcom.sun.management.jmxremote.port=0"}},
        {"an argument file", {"@W/args"}},
        {"flag files", {"-XX:Flags=W/flags", "-XX:VMOptionsFile=W/args"}},
    };
    const VmFacts safe = askedAbout(java, {"-Xmx64m", "-Xlog:gc:stderr"});
    EXPECT_TRUE(safe.verdict.started && safe.arguments[1].probed) << safe.verdict.message;
    // Options that only name a file the VM reads stay in.
    const std::vector<std::string> stayIn = {"-Xmx64m", "-XX:SharedArchiveFile=" + w + "static.jsa",
                                             "-XX:+UnlockDiagnosticVMOptions"};
    for (const Unsafe& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<std::string> arguments = {"-Xmx64m"};
        for (const std::string& argument : inWatched(row.arguments, watched.path())) {
            arguments.push_back(argument);
        }
        const VmFacts asked = askedAbout(java, arguments);
        EXPECT_TRUE(asked.verdict.asked) << asked.verdict.message;
        for (const VmArgument& argument : asked.arguments) {
            const bool kept =
                std::find(stayIn.begin(), stayIn.end(), argument.text) != stayIn.end();
            EXPECT_EQ(argument.probed, kept) << argument.text;
        }
        EXPECT_TRUE(asked.verdict.leftBehind.empty());
        EXPECT_EQ(entriesOf(watched.path()), (std::vector<std::string>{"args", "flags"}))
            << "in " << watched.path();
        EXPECT_NE(access(marker.c_str(), F_OK), 0);
    }
}

// What the table above proves rests on this: the VM does write where it is
// told to, in the watched directory or in its scratch directory.
TEST(VmProbe, AWriteByTheVmIsSeen) {
    const std::string java = realJava();
    if (java.empty() || access(java.c_str(), X_OK) != 0) {
        GTEST_SKIP() << "no Java VM at /usr/bin/java";
    }
    const TempDir watched;
    const VmVerdict verdict = probeArguments(
        java, {"-Xlog:gc:file=" + watched.path() + "/gc.log", "-Xlog:gc:relative.log"}, {},
        AccessJudge());
    EXPECT_TRUE(verdict.started) << verdict.message;
    EXPECT_EQ(entriesOf(watched.path()), std::vector<std::string>{"gc.log"});
    EXPECT_EQ(verdict.leftBehind, std::vector<std::string>{"relative.log"});
}

TEST(VmProbe, VariablesSplitAsTheVmSplitsThem) {
    const struct {
        const char* value;
        std::vector<std::string> options;
    } rows[] = {
        {"", {}},
        {"  -Xmx1g\t-ea  ", {"-Xmx1g", "-ea"}},
        {"-Dtitle='My shop' -Dx=\"a b\"", {"-Dtitle=My shop", "-Dx=a b"}},
        {"-Dempty='' -Da", {"-Dempty=", "-Da"}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(splitVmVariable(row.value), row.options) << row.value;
    }
}

}  // namespace
