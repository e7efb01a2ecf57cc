#include "report/Formats.h"

#include <string>

#include "report/CheckstyleFormat.h"
#include "report/ExplainFormat.h"
#include "report/GccFormat.h"
#include "report/JsonFormat.h"
#include "report/SarifFormat.h"

const std::vector<Format>& formats() {
    static const std::vector<Format> TABLE = {
        {"gcc", gccFormat, explainFormat, false, true, true,
         "FILE:LINE: SEVERITY: MESSAGE [KIND] lines, FILE:LINE: note: ADVICE lines and a summary "
         "(the default)"},
        {"json", jsonFormat, jsonFormat, true, false, false, "one JSON document for the whole run"},
        {"sarif", sarifFormat, nullptr, true, false, false,
         "SARIF 2.1.0, for code scanning services and editors"},
        {"checkstyle", checkstyleFormat, nullptr, false, false, false,
         "checkstyle XML, for CI servers"},
    };
    return TABLE;
}

const Format* findFormat(std::string_view name) {
    for (const Format& format : formats()) {
        if (name == format.name) {
            return &format;
        }
    }
    return nullptr;
}

std::string formatNames() {
    std::string names;
    for (const Format& format : formats()) {
        names += names.empty() ? "" : ", ";
        names += format.name;
    }
    return names;
}
