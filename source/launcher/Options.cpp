#include "Options.h"

bool DVL_DBG_ENABLE = false;

// Defined in this order, so they are constructed in this order before main.
namespace Options {
const std::string Lanucher = "launcher";
const std::string WebApp = "-Ddv.webApp";
const std::string InitScript = "-Ddv.appInitScript";
const std::string ProgramFile = "-Ddv.appProgramFile";
const std::string ConfigFile = "-Ddv.appConfigFile";
}  // namespace Options

const std::string VMARGS = "-vmargs";
const std::string VMARGSAPPEND = "--launcher.appendVmargs";

#if defined(_FORTIFY_SOURCE) && _FORTIFY_SOURCE >= 2
// The preprocessor flag leaves no trace of its own in the binary; this note
// lets the build's hardening check see that the core library, which every
// program links, was compiled with it.
[[maybe_unused]] __attribute__((used, section(".note.dvl"))) const char FORTIFY_NOTE[] =
    "dvl-hardening: _FORTIFY_SOURCE=2";
#endif
