#include "rules/AccessRules.h"

#include "rules/RuleText.h"

void judgeWarnings(const Facts& facts, Collector& add) {
    if (!facts.judgedAsRoot) {
        return;
    }
    const std::string& owner = facts.appDirOwner;
    add(0, KindId::JudgedAsRoot,
        "permissions were judged for root, who bypasses them; the application directory "
        "belongs to " +
            (owner.empty() ? std::string("no one known") : owner) +
            (owner.empty() || owner == "root" ? std::string()
                                              : ", so --user " + owner + " may be the one"),
        facts.workingDir);
}

void dataAccessWarnings(const Facts& facts, Collector& add) {
    for (const DataFileAccess& data : facts.unreadableData) {
        // "the file of -Ddv.appConfigFile": the key is what the line names.
        const std::string key = data.use.role.substr(data.use.role.rfind(' ') + 1);
        add(data.use.line, KindId::PathUnreadable,
            key + " names " + quoted(data.use.path) + ", which " +
                accessProblem(data.verdict, facts.accessUser, "cannot be read"));
    }
}
