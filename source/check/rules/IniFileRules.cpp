#include "rules/IniFileRules.h"

#include <algorithm>

#include "rules/RuleText.h"

namespace {

// Whether the missing ini file is that of a launcher copy while another ini
// file belongs to no copy: one misnamed file, which ini-without-copy reports.
bool misnamedIniMissing(const Facts& facts) {
    const std::vector<LauncherCopy>& copies = facts.copies.copies;
    const auto copyNamed = [&copies](const std::string& name) {
        return std::any_of(copies.begin(), copies.end(),
                           [&name](const LauncherCopy& copy) { return copy.name == name; });
    };
    const std::vector<std::string>& inis = facts.copies.iniFiles;
    const bool orphan = std::any_of(inis.begin(), inis.end(), [&](const std::string& ini) {
        return !copyNamed(ini.substr(0, ini.size() - 4));
    });
    const std::string dir = facts.workingDir + '/';
    const std::string& ini = facts.iniPath;
    return facts.copiesSearched && orphan && ini.compare(0, dir.size(), dir) == 0 &&
           ini.size() > dir.size() + 4 &&
           copyNamed(ini.substr(dir.size(), ini.size() - dir.size() - 4));
}

void unreadableWarning(const Facts& facts, const std::string& name, Collector& add) {
    if (facts.iniAccess.granted()) {
        // Judged readable for another user, but this process cannot read it.
        add(0, KindId::IniUnreadable,
            name + " can be read by " + facts.accessUser +
                ", but not by the check itself, which shows the launch for an empty "
                "file: run the check as root");
        return;
    }
    add(0, accessKind(facts.iniAccess, KindId::IniUnreadable),
        name + " " + accessProblem(facts.iniAccess, facts.accessUser, "cannot be read") +
            ": the launcher reads it as empty");
}

}  // namespace

void iniFileWarnings(const Facts& facts, Collector& add) {
    const std::string name = "ini file " + quoted(facts.iniFile);
    switch (facts.iniState) {
        case IniState::Read:
            if (facts.encoding != Encoding::Bytes) {
                add(0, KindId::WideEncoding,
                    name + " is saved as " + IniText::encodingName(facts.encoding) +
                        (facts.byteOrderMark ? " with a byte-order mark" : "") +
                        ": the launcher passes no arguments from it",
                    std::string(),
                    "the launcher reads bytes, so it finds no line it knows in the file\n" +
                        std::string(kindOf(KindId::WideEncoding).advice));
            }
            break;
        case IniState::Missing:
            if (!misnamedIniMissing(facts)) {
                add(0, KindId::IniMissing,
                    name +
                        " does not exist: the launcher reads it as empty and passes only the "
                        "default arguments");
            }
            break;
        case IniState::Directory:
            add(0, KindId::IniDirectory, name + " is a directory: the launcher reads it as empty");
            break;
        case IniState::Unreadable:
            unreadableWarning(facts, name, add);
            break;
        case IniState::NotRegular:
            if (facts.iniReadsEmpty) {
                break;  // read at once as empty, like a missing file, and deliberately so
            }
            add(0, KindId::IniNotRegular,
                name + " is a named pipe or a device: the launcher reads it as it opens it",
                std::string(),
                "a named pipe only once a writer comes; the check does not read it and shows the "
                "launch for an empty file\n" +
                    std::string(kindOf(KindId::IniNotRegular).advice));
            break;
    }
}
