// Names shared by every part of the launcher: the diagnostics switch and the
// ini keys and arguments that the options reader and the spawner agree on.
#pragma once

#include <string>

// True when the environment variable of the same name exists, whatever its
// value. Set once at the start of the launcher and only read afterwards.
extern bool DVL_DBG_ENABLE;

namespace Options {
// The misspelling is the established name of this key.
extern const std::string Lanucher;     // "launcher": replaces the executable path
extern const std::string WebApp;       // "-Ddv.webApp": the application name
extern const std::string InitScript;   // "-Ddv.appInitScript": a file, made absolute
extern const std::string ProgramFile;  // "-Ddv.appProgramFile": a file, made absolute
extern const std::string ConfigFile;   // "-Ddv.appConfigFile": a file, made absolute
}  // namespace Options

extern const std::string VMARGS;        // "-vmargs"
extern const std::string VMARGSAPPEND;  // "--launcher.appendVmargs"
