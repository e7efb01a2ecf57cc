// The Java VM the Dashvane executable hands its VM arguments to, found as an
// Eclipse-platform native launcher finds it, and the whole VM command line.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "facts/AccessJudge.h"
#include "facts/AgentFiles.h"
#include "facts/VmArguments.h"

enum class VmSource { None, Named, IniVm, BundledJre, Path };

// A -XX flag as the VM lists it.
struct VmFlag {
    std::string type;  // "bool", "intx", "size_t", "ccstr", ...
    bool diagnostic = false;
    bool experimental = false;
};

// What the VM says about itself, asked with none of the application's options.
struct VmInfo {
    bool asked = false;   // a probe was run
    std::string problem;  // why it could not be asked; empty when it answered
    std::string version;  // java.version
    int dataModel = 0;    // 32 or 64; 0 when unknown
    std::map<std::string, VmFlag> flags;
    // As `java -X` lists them; "-Xmx*" takes any text after "-Xmx".
    std::vector<std::string> xOptions;
};

// The VM's own verdict on the memory sizes alone.
struct SizeVerdict {
    std::vector<std::string> sizes;  // the options it was asked with
    bool asked = false;
    bool started = false;
    std::string message;  // its words of refusal
};

// A file an option names, resolved against the start directory.
struct VmFile {
    std::size_t index = 0;  // in the VM command line
    std::string path;       // absolute
    AccessVerdict access;   // reading it, as the application's user
    // A file the VM writes: `access` is creating a file in its directory.
    bool output = false;
    bool onEvent = false;  // written only on a crash or a heap dump, not at start
    bool inPlace = false;  // an existing file the user cannot write: `access` is writing it
    AgentCheck agent;      // what keeps the VM from loading an agent's file
};

// The VM's own verdict on its whole argument list, started with -version
// and every option whose effects stay inside it.
struct VmVerdict {
    bool asked = false;    // it was started and answered
    bool started = false;  // it came up
    std::string message;   // its words of refusal; why it could not be asked when not asked
    std::vector<std::string> options;      // the options it was started with
    std::vector<std::string> environment;  // the VM variables it was started with
    std::vector<std::string> leftBehind;   // what it left in its scratch directory
};

struct VmFacts {
    bool judged = false;    // whether the VM is part of the check at all
    bool mayStart = false;  // whether the VM may be asked (not --no-vm)
    VmSource source = VmSource::None;
    std::string path;                    // the java binary taken
    std::string how;                     // why this one, in words
    std::string problem;                 // a -vm or --java that names nothing usable
    std::string installationIni;         // the Dashvane executable's own ini file
    std::size_t vmLine = 0;              // its -vm line
    VmArguments arguments;               // the whole VM command line, in order
    std::vector<std::string> variables;  // VM variables of the launch's environment, "NAME=VALUE"
    std::vector<VmFile> files;
    VmInfo info;
    SizeVerdict sizes;
    VmVerdict verdict;
    int kernelBits = 64;
};

// The installation's ini file: its -vm path and line, and its VM arguments
// (the lines after -vmargs), comments and empty lines left out.
struct InstallationIni {
    bool read = false;
    std::string vm;
    std::size_t vmLine = 0;
    std::vector<std::pair<std::size_t, std::string>> vmArgs;  // line and text
};
InstallationIni readInstallationIni(const std::string& path);

// Finds the VM for the executable `executable` (absolute) started in
// `startDir`: `named` (--java) first, then the installation ini's -vm, then
// jre/bin/java beside it, then java along the user's PATH.
void findJavaVm(VmFacts& vm, const std::string& named, const std::string& executable,
                const std::string& startDir, const AccessJudge& access);

// The files the arguments name (agents, -XX:Flags=, -XX:VMOptionsFile=),
// resolved against `startDir` and judged for reading as the user, agents
// for loading too; the files the VM writes, their directory judged for
// creating a file in it.
void judgeVmFiles(VmFacts& vm, const std::string& startDir, const AccessJudge& access);
