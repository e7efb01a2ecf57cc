#include "facts/VmProbeOptions.h"

#include "util/Text.h"

namespace {

enum class Match { Exact, Prefix, LogFile };

struct Effect {
    const char* option;
    Match match;
    const char* effect;
};

const char AGENT[] = "loads an agent, which runs code of its own";
const char WRITES[] = "writes a file";
const char RUNS[] = "runs a command";
const char OPTIONS_FILE[] = "reads options from a file, which may hold any of these";

// Every option a probe leaves out. The VM started with -version must not
// write, run, listen or reserve anything outside itself.
constexpr Effect OUTSIDE_VM[] = {
    {"-javaagent:", Match::Prefix, AGENT},
    {"-agentlib:", Match::Prefix, AGENT},
    {"-agentpath:", Match::Prefix, AGENT},
    {"-Xrun", Match::Prefix, AGENT},
    {"-Xlog", Match::LogFile, WRITES},
    {"-Xloggc:", Match::Prefix, WRITES},
    {"-XX:StartFlightRecording", Match::Prefix, WRITES},
    {"-XX:FlightRecorderOptions", Match::Prefix, WRITES},
    {"-XX:+HeapDumpOnOutOfMemoryError", Match::Exact, WRITES},
    {"-XX:+HeapDumpBeforeFullGC", Match::Exact, WRITES},
    {"-XX:+HeapDumpAfterFullGC", Match::Exact, WRITES},
    {"-XX:HeapDumpPath=", Match::Prefix, WRITES},
    {"-XX:ErrorFile=", Match::Prefix, WRITES},
    {"-XX:ArchiveClassesAtExit=", Match::Prefix, WRITES},
    {"-Xshare:dump", Match::Exact, WRITES},
    {"-XX:+DumpSharedSpaces", Match::Exact, WRITES},
    {"-XX:+DynamicDumpSharedSpaces", Match::Exact, WRITES},
    {"-XX:DumpLoadedClassList=", Match::Prefix, WRITES},
    {"-XX:+LogVMOutput", Match::Exact, WRITES},
    {"-XX:LogFile=", Match::Prefix, WRITES},
    {"-XX:+LogCompilation", Match::Exact, WRITES},
    {"-XX:+UsePerfData", Match::Exact, WRITES},
    {"-XX:+PerfDataSaveToFile", Match::Exact, WRITES},
    {"-XX:PerfDataSaveFile=", Match::Prefix, WRITES},
    {"-XX:ReplayDataFile=", Match::Prefix, WRITES},
    {"-XX:+CrashOnOutOfMemoryError", Match::Exact, WRITES},
    {"-XX:OnError=", Match::Prefix, RUNS},
    {"-XX:OnOutOfMemoryError=", Match::Prefix, RUNS},
    {"-XX:+ShowMessageBoxOnError", Match::Exact, "waits for a debugger on an error"},
    {"-XX:+AlwaysPreTouch", Match::Exact, "touches the whole heap at start"},
    {"-XX:+UseLargePages", Match::Exact, "takes huge pages from the system's pool"},
    {"-XX:+UseSHM", Match::Exact, "takes shared memory segments of the system"},
    {"-XX:+StartAttachListener", Match::Exact, "opens a socket in the temporary directory"},
    {"-XX:+ManagementServer", Match::Exact, "starts the management agent, which listens on a port"},
    {"-Dcom.sun.management.", Match::Prefix,
     "starts the management agent, which listens on a port"},
    {"-XX:Flags=", Match::Prefix, OPTIONS_FILE},
    {"-XX:VMOptionsFile=", Match::Prefix, OPTIONS_FILE},
    {"@", Match::Prefix, OPTIONS_FILE},
};

}  // namespace

std::string xlogFile(const std::string& argument) {
    if (!Text::startsWith(argument, "-Xlog:")) {
        return std::string();
    }
    // -Xlog:WHAT:OUTPUT:DECORATIONS:...; OUTPUT is stdout, stderr or a file.
    const std::size_t first = argument.find(':');
    const std::size_t second = argument.find(':', first + 1);
    if (second == std::string::npos) {
        return std::string();
    }
    std::string output = argument.substr(second + 1);
    if (Text::startsWith(output, "file=")) {
        output.erase(0, 5);
        if (!output.empty() && output[0] == '"') {
            return output.substr(1, output.find('"', 1) - 1);
        }
    }
    output = output.substr(0, output.find(':'));
    return output == "stdout" || output == "stderr" || output == "#0" || output == "#1"
               ? std::string()
               : output;
}

const char* effectOutsideVm(const std::string& argument) {
    if (argument.empty()) {
        return nullptr;
    }
    // Asked of every argument: the first two bytes rule out nearly every
    // entry before a whole comparison (argument[1] is the NUL when short).
    const char first = argument[0];
    const char second = argument[1];
    for (const Effect& entry : OUTSIDE_VM) {
        if ((entry.option[1] != second && entry.option[1] != '\0') || entry.option[0] != first) {
            continue;
        }
        const bool matches = entry.match == Match::Exact ? argument == entry.option
                             : entry.match == Match::Prefix
                                 ? Text::startsWith(argument, entry.option)
                                 : !xlogFile(argument).empty();
        if (matches) {
            return entry.effect;
        }
    }
    return nullptr;
}

std::vector<std::string> splitVmVariable(const std::string& value) {
    std::vector<std::string> options;
    std::string current;
    bool inOption = false;
    char quote = 0;
    for (const char c : value) {
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            } else {
                current += c;
            }
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (inOption) {
                options.push_back(current);
            }
            current.clear();
            inOption = false;
        } else if (c == '"' || c == '\'') {
            quote = c;
            inOption = true;
        } else {
            current += c;
            inOption = true;
        }
    }
    if (inOption) {
        options.push_back(current);
    }
    return options;
}
