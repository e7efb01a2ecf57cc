#include "rules/WriterRules.h"

#include <algorithm>

#include "util/ByteText.h"

namespace {

std::string quoted(const std::string& bytes) {
    return '"' + ByteText::visible(bytes) + '"';
}

// The use the path is judged for: "the ini file "/a/run.ini"", or the
// directory on the way to it.
std::string subject(const JudgedPath& judged) {
    const std::string use =
        judged.use.role + ' ' + quoted(judged.use.path) +
        (judged.use.line != 0 ? " (line " + std::to_string(judged.use.line) + ")" : "");
    return judged.onTheWay ? "directory " + quoted(judged.path) + " on the way to " + use : use;
}

// "chmod g-w" and "chmod o-w" said once as "chmod go-w".
std::string remedies(const std::vector<PathWriter>& writers) {
    std::string chmod;
    std::vector<std::string> others;
    for (const PathWriter& writer : writers) {
        if (writer.remedy == "chmod g-w" || writer.remedy == "chmod o-w") {
            const char who = writer.remedy[6];
            if (chmod.find(who) == std::string::npos) {
                chmod += who;
            }
        } else if (std::find(others.begin(), others.end(), writer.remedy) == others.end()) {
            others.push_back(writer.remedy);
        }
    }
    std::string text = chmod.empty() ? "" : "chmod " + chmod + "-w";
    for (const std::string& remedy : others) {
        text += (text.empty() ? "" : " and ") + remedy;
    }
    return text;
}

}  // namespace

void writerWarnings(const Facts& facts, Collector& add) {
    for (const JudgedPath& judged : facts.judgedPaths) {
        if (judged.writers.empty()) {
            if (!judged.ownGroup.empty()) {
                add(0, KindId::WritableByOwnGroup,
                    subject(judged) + " is writable by group " + judged.ownGroup + " (mode " +
                        modeText(judged.mode) + "), whose only member besides root is " +
                        facts.changer,
                    judged.path);
            }
            continue;
        }
        std::string writers;
        for (const PathWriter& writer : judged.writers) {
            writers += (writers.empty() ? "" : ", ") + writer.who + " (" + writer.how + ")";
        }
        // The line belongs to the ini file, the finding to the path: said in words.
        add(0, judged.code ? KindId::WritableByOthers : KindId::DataWritableByOthers,
            subject(judged) + " can be changed by " + writers + " besides root" +
                (facts.changer == "root" ? std::string() : " and " + facts.changer),
            judged.path, "run " + remedies(judged.writers) + " on " + quoted(judged.path));
    }
}
