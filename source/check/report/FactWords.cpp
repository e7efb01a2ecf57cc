#include "report/FactWords.h"

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

std::string accessMethodText(const Facts& facts) {
    const std::string who = facts.accessUser + " (uid " + std::to_string(facts.accessUid) + ")";
    switch (facts.accessMethod) {
        case AccessMethod::Root:
            return "judged for root, who bypasses them; the application directory belongs to " +
                   (facts.appDirOwner.empty() ? std::string("no one known") : facts.appDirOwner);
        case AccessMethod::Self:
            return "judged for " + who + ", who runs the check";
        case AccessMethod::Switched:
            return "judged for " + who + " by a process running as that user";
        case AccessMethod::Computed:
            break;
    }
    return "computed for " + who +
           " from owners, permission bits and ACLs, not asked of the kernel: run the check "
           "as root to judge them as that user";
}
