#include "rules/CopyRules.h"

#include <algorithm>

#include "rules/RuleText.h"

namespace {

std::string pathOf(const Facts& facts, const std::string& name) {
    return facts.workingDir + '/' + name;
}

// No copy was found: perhaps the one started is a link to a launcher that is gone.
void noCopyWarning(const Facts& facts, Collector& add) {
    if (!facts.danglingCopyTarget.empty()) {
        add(0, KindId::DanglingLink,
            "launcher copy " + quoted(facts.invocationName) + " is a dangling symbolic link -> " +
                quoted(facts.danglingCopyTarget) + ", so nothing starts this application",
            facts.iniPath.substr(0, facts.iniPath.size() - 4));
        return;
    }
    add(0, KindId::NoLauncherCopy,
        "no copy of the launcher in the application directory, so nothing starts this "
        "application",
        facts.workingDir,
        "a program \"run\" is a copy only when it carries the launcher's version note, which "
        "an old build does not\n" +
            std::string(kindOf(KindId::NoLauncherCopy).advice));
}

// Each copy: whether the user can start it, and whether it is this version.
void eachCopyWarnings(const Facts& facts, std::size_t i, Collector& add) {
    const LauncherCopy& copy = facts.copies.copies[i];
    if (i < facts.copyAccess.size() && !facts.copyAccess[i].granted()) {
        const AccessVerdict& verdict = facts.copyAccess[i];
        add(0, accessKind(verdict, KindId::LauncherCopyNotExecutable),
            "launcher copy " + quoted(copy.name) + " " +
                accessProblem(verdict, facts.accessUser, "is not executable") +
                ", so it cannot start the application",
            pathOf(facts, copy.name));
    } else if (i >= facts.copyAccess.size() && !copy.executable) {
        add(0, KindId::LauncherCopyNotExecutable,
            "launcher copy " + quoted(copy.name) +
                " is not executable, so it cannot start the application",
            pathOf(facts, copy.name));
    }
    if (copy.version != DVL_VERSION) {
        add(0, KindId::LauncherCopyStale,
            "launcher copy " + quoted(copy.name) + " is version " + quoted(copy.version) +
                ", this check " + quoted(DVL_VERSION) + ": it may not launch as shown here",
            pathOf(facts, copy.name));
    }
}

// A copy whose own ini file is missing while another ini file belongs to
// no copy: most likely one file misnamed.
void orphanWarnings(const Facts& facts, Collector& add) {
    const std::vector<LauncherCopy>& copies = facts.copies.copies;
    const std::vector<std::string>& inis = facts.copies.iniFiles;
    std::vector<std::string> orphans;
    for (const std::string& ini : inis) {
        const std::string owner = ini.substr(0, ini.size() - 4);
        if (std::none_of(copies.begin(), copies.end(),
                         [&](const LauncherCopy& copy) { return copy.name == owner; })) {
            orphans.push_back(ini);
        }
    }
    for (const LauncherCopy& copy : copies) {
        const std::string own = copy.name + ".ini";
        if (orphans.empty() || std::find(inis.begin(), inis.end(), own) != inis.end()) {
            continue;
        }
        std::string others;
        for (const std::string& orphan : orphans) {
            others += (others.empty() ? "" : ", ") + quoted(orphan);
        }
        add(0, KindId::IniWithoutCopy,
            "launcher copy " + quoted(copy.name) + " reads " + quoted(own) +
                ", which does not exist, while " + others + " belongs to no copy",
            pathOf(facts, copy.name));
    }
}

}  // namespace

void copyWarnings(const Facts& facts, Collector& add) {
    if (!facts.copiesSearched) {
        return;
    }
    const std::vector<LauncherCopy>& copies = facts.copies.copies;
    if (copies.empty()) {
        noCopyWarning(facts, add);
        return;
    }
    std::string names;
    for (std::size_t i = 0; i < copies.size(); ++i) {
        names += (names.empty() ? "" : ", ") + quoted(copies[i].name);
        eachCopyWarnings(facts, i, add);
    }
    if (copies.size() > 1) {
        add(0, KindId::SeveralLauncherCopies,
            "several launcher copies (" + names +
                "): each reads the ini file named after it; this check shows " +
                quoted(facts.invocationName),
            facts.workingDir);
    }
    orphanWarnings(facts, add);
}
