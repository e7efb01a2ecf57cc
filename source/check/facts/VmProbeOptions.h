// Which of the VM's options a probe may start it with: those whose every
// effect stays inside the VM. The others are judged by rule alone.
#pragma once

#include <string>
#include <vector>

// What `argument` would do outside the VM, in words; nullptr when the VM
// may be started with it.
const char* effectOutsideVm(const std::string& argument);

// A VM variable's value split into options as the VM splits it: at blanks,
// with quotes keeping blanks inside one option and removed.
std::vector<std::string> splitVmVariable(const std::string& value);

// The file an -Xlog option writes to; empty for standard output or error.
std::string xlogFile(const std::string& argument);
