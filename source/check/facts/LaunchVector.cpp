#include "facts/LaunchVector.h"

std::size_t LaunchVector::lineOf(std::size_t i) const {
    // Element 0 is the command; 1 and 2 are the seed arguments.
    if (i == 0) {
        return launcherLine;
    }
    return i >= 3 && i - 3 < iniLines.size() ? iniLines[i - 3] : 0;
}
