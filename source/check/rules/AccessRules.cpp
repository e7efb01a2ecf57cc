#include "rules/AccessRules.h"

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
