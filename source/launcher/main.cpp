#include <cstdint>

#include "Launcher.h"
#include "LauncherNote.h"

namespace {

// An allocated note section lands in a PT_NOTE segment, which neither strip
// nor --gc-sections removes ("used" keeps the compiler from dropping it).
struct VersionNote {
    std::uint32_t nameSize, descriptorSize, type;
    char name[(sizeof LAUNCHER_NOTE_NAME + 3) / 4 * 4];
    char descriptor[(sizeof DVL_VERSION + 3) / 4 * 4];
};

[[maybe_unused]] __attribute__((used, section(".note.dashvane.version"), aligned(4)))
const VersionNote VERSION_NOTE = {sizeof LAUNCHER_NOTE_NAME, sizeof DVL_VERSION, LAUNCHER_NOTE_TYPE,
                                  "Dashvane", DVL_VERSION};

}  // namespace

int main(int argc, char** argv) {
    return runLauncher(argc, argv);
}
