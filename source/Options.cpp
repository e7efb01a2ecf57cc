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
