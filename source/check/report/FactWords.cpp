#include "FactWords.h"

namespace {

// By the order of IniState.
struct StateWords {
    const char* name;
    const char* text;
};
constexpr StateWords INI_STATES[] = {{"read", "read"},
                                     {"missing", "missing: read as empty"},
                                     {"directory", "a directory: read as empty"},
                                     {"unreadable", "cannot be opened: read as empty"},
                                     {"not regular", "a named pipe or a device: not read"}};

}  // namespace

const char* iniStateName(IniState state) {
    return INI_STATES[static_cast<int>(state)].name;
}

const char* iniStateText(IniState state) {
    return INI_STATES[static_cast<int>(state)].text;
}

const char* fileKindName(FileKind kind) {
    switch (kind) {
        case FileKind::Missing:
            return "missing";
        case FileKind::Directory:
            return "directory";
        case FileKind::Elf:
            return "elf";
        case FileKind::Script:
            return "script";
        case FileKind::Other:
            return "other";
    }
    return "";
}
