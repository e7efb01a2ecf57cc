// Asks the Java VM about many applications side by side. Each application
// is still checked and reported one after the other, in order; before that,
// worker processes check them with nothing reported, one per processor, so
// the VM's verdicts, which take most of the time, are known when the real
// check comes to them.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

class ProbeAhead {
public:
    // Runs `checkQuietly(i)` for every i below `count`: the first here, to
    // learn what every application shares (the VM's own description), the
    // rest split over worker processes, unless the first's verdict was
    // kept by an earlier run. Their verdicts reach this process
    // through the user's cache when `kept`, else through a scratch
    // directory that lives as long as this object. Nothing else of theirs
    // comes back.
    ProbeAhead(std::size_t count, bool kept, const std::function<void(std::size_t)>& checkQuietly);
    ~ProbeAhead();
    ProbeAhead(const ProbeAhead&) = delete;
    ProbeAhead& operator=(const ProbeAhead&) = delete;

private:
    std::string scratch;
};
