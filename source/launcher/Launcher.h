// The launcher's whole run, from the environment to the started child.
#pragma once

// Returns the exit status: 1 once a launch has been attempted (successful or
// not), 2 when nothing could be attempted.
int runLauncher(int argc, char** argv);
