// The words for facts that are data: each said here once, for the rules'
// messages and for the reports that print the facts.
#pragma once

#include <string>

#include "facts/Facts.h"

// How the kernel runs the program, or why it does not; "" when it runs it
// natively.
std::string kernelRunText(const KernelVerdict& verdict);

// What is wrong with a damaged ELF file: "it ends inside the ELF header".
std::string elfDamageText(const ElfDamage& damage);

// Why the interpreter further down a script's chain fails, after its name;
// `user` is whom access was judged for.
std::string nestedProblemText(const ExecutableInfo& info, const std::string& user);

// Why the loader cannot load the program, after its name; "" for none.
std::string loaderProblemText(const LinkCheck& linking);

// Why the desktop or systemd refuses the start's command line, after the
// name of its key; "" for none.
std::string execProblemText(const StartFacts& start);

// Where an argument of the VM command line comes from: "line 3",
// "installation ini line 4", "command-line argument 1", ...
std::string vmOriginText(const VmArgumentView& argument);
