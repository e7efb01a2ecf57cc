// Whether the VM can load the agents its options name, judged from the
// files alone: nothing of an agent is run.
#pragma once

#include <string>

#include "facts/ElfFile.h"

enum class AgentVerdict {
    Loads,    // nothing found that keeps the VM from loading it
    Refused,  // the VM refuses to come up: `words` are its own
    Unread,   // what the VM needs could not be read here: `words` say why
};

struct AgentCheck {
    AgentVerdict verdict = AgentVerdict::Loads;
    std::string words;
};

// The entry point the VM calls in an agent's library.
enum class AgentEntry {
    AgentOnLoad,       // -agentlib, -agentpath
    JvmOrAgentOnLoad,  // -Xrun: JVM_OnLoad, else Agent_OnLoad
};

// -javaagent:NAMED: `path` (NAMED resolved) must be a zip whose main
// manifest section has Premain-Class; a manifest stored or deflated is
// read, one of another method or too large is Unread. The class must be in
// the jar unless the manifest or the VM's arguments (`classPathElsewhere`)
// give a class path of their own.
AgentCheck checkAgentJar(const std::string& path, const std::string& named,
                         bool classPathElsewhere);

// -agentpath:NAMED: `path` must be a shared object of `vm`'s kind that
// exports Agent_OnLoad.
AgentCheck checkAgentPath(const std::string& path, const std::string& named, const ElfFile& vm);

// -agentlib:NAME and -XrunNAME: libNAME.so in the VM's own library
// directory `vmLibDir`, else where the system's loader finds it
// (`ldLibraryPath`, its cache, its directories for `vm`'s kind), exporting
// `entry`. The found file, or empty, goes to `found`.
AgentCheck findAgentLibrary(const std::string& name, const std::string& vmLibDir,
                            const std::string& ldLibraryPath, const ElfFile& vm, std::string& found,
                            AgentEntry entry);
