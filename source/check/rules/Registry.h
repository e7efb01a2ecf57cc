// Every rule of the check in one place, in the order they speak: those about
// the file as a whole, those about each line as it is read, those about the
// launch once its vector is known (the vector's own first), and those about
// the Java VM. The check and the rule tests run the same lists.
#pragma once

#include "facts/Facts.h"
#include "facts/IniLines.h"
#include "facts/LaunchVector.h"
#include "model/Collector.h"

// Before the first line: whose permissions, the file, its suppression lines.
void headRules(const Facts& facts, const IniShape& shape, Collector& add);

// One line, with what the launcher does with it.
void lineRules(const Facts& facts, const IniShape& shape, const IniLine& line, Collector& add);

// Whether the line rules read what the launcher made of the line (its
// element, and the state of the path it names): a line may be judged before
// the launcher's vector is known only where they do not.
bool lineRulesReadElement(const IniLine& line);

// The vector alone, before the launch's: it needs no facts, so it may be
// judged while they are gathered or the other rules run.
void vectorRules(const LaunchVector& argv, Collector& add);

// The vector's size, the executable and the paths the launch uses.
void launchRules(const Facts& facts, const LaunchVector& argv, Collector& add);

// The Java VM, when it was judged.
void vmRules(const Facts& facts, Collector& add);
