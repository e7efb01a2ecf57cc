// One finding of any severity; the catalogue gives its kind's severity and advice.
#pragma once

#include <cstddef>
#include <string>

#include "model/Catalogue.h"

struct Finding {
    std::size_t line = 0;  // 0 when the finding is not about one line
    KindId kind = KindId::Count;
    std::string message;  // printable: every byte from the ini file made visible
    std::string file;     // the absolute path it is about; empty for the ini file
    // An error whatever the kind's severity: the launch fails through it
    // where it otherwise would not, such as a line the Java VM refuses.
    bool escalated = false;
    // A note whatever the kind's severity: this case of the kind harms nothing.
    bool lowered = false;
    // What to do in this case, one note a line; empty for the kind's advice.
    std::string advice{};
};

// The notes of one finding: its own advice, or its kind's when it has none.
inline std::string adviceOf(const Finding& finding) {
    return finding.advice.empty() ? std::string(kindOf(finding.kind).advice) : finding.advice;
}

// The severity of one finding: its kind's, unless the case is judged otherwise.
inline Severity severityOf(const Finding& finding) {
    return finding.escalated ? Severity::Error
           : finding.lowered ? Severity::Note
                             : kindOf(finding.kind).severity;
}
