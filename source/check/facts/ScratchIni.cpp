#include "facts/ScratchIni.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

ScratchIni::ScratchIni(const std::string& text) {
    descriptor = memfd_create("dashvane-launcher-check", MFD_CLOEXEC);
    std::string candidate = "/proc/self/fd/" + std::to_string(descriptor);
    if (descriptor >= 0 && !writeAll(text) && ::access(candidate.c_str(), R_OK) == 0) {
        path = candidate;
        return;
    }
    close();
    const char* dir = std::getenv("TMPDIR");
    std::string name = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") +
                       "/dashvane-launcher-check-XXXXXX";
    descriptor = mkostemp(&name[0], O_CLOEXEC);
    if (descriptor < 0 || writeAll(text)) {
        throw std::runtime_error("cannot judge the mended ini file: no scratch file: " +
                                 std::string(std::strerror(errno)));
    }
    path = name;
    unlinkAtEnd = true;
}

ScratchIni::~ScratchIni() {
    if (unlinkAtEnd) {
        unlink(path.c_str());
    }
    close();
}

bool ScratchIni::writeAll(const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t written = write(descriptor, text.data() + done, text.size() - done);
        if (written < 0) {
            return true;
        }
        done += static_cast<std::size_t>(written);
    }
    return false;
}

void ScratchIni::close() {
    if (descriptor >= 0) {
        ::close(descriptor);
    }
    descriptor = -1;
}
