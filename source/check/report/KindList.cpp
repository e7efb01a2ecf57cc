#include "report/KindList.h"

#include <string>

#include "model/Catalogue.h"
#include "report/JsonWriter.h"
#include "util/Text.h"

#ifndef DVL_VERSION
#define DVL_VERSION "unknown"
#endif

namespace {

// Text as roff shows it literally: backslashes and hyphens escaped, and a
// line never starting with a control character.
std::string roff(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) {
        out.insert(0, "\\&");
    }
    return out;
}

using Text::sentence;

}  // namespace

void listKindsText(std::ostream& out) {
    for (const Kind& kind : catalogue()) {
        out << kind.name << " (" << severityName(kind.severity)
            << (kind.fixable ? ", mended by --fix" : "") << ")\n    " << kind.summary
            << "\n    why: " << kind.why << "\n    advice: " << kind.advice << '\n';
        if (kind.example[0] != '\0') {
            out << "    example: " << kind.example << "\n    fixed: " << kind.fixed << '\n';
        }
    }
}

void listKindsJson(std::ostream& out, bool pretty) {
    JsonWriter json(out, pretty);
    json.beginObject();
    json.key("schema_version");
    json.number(1);
    json.key("checker");
    json.beginObject();
    json.key("name");
    json.text("dashvane-launcher-check");
    json.key("version");
    json.text(DVL_VERSION);
    json.endObject();
    json.key("kinds");
    json.beginArray();
    for (const Kind& kind : catalogue()) {
        json.beginObject();
        json.key("name");
        json.text(kind.name);
        json.key("severity");
        json.text(severityName(kind.severity));
        json.key("summary");
        json.text(kind.summary);
        json.key("advice");
        json.text(kind.advice);
        json.key("fixable");
        json.boolean(kind.fixable);
        json.key("why");
        json.text(kind.why);
        json.key("example");
        json.text(kind.example);
        json.key("fixed");
        json.text(kind.fixed);
        json.endObject();
    }
    json.endArray();
    json.endObject();
    json.finish();
}

void kindPage(std::ostream& out, const Kind& kind) {
    const std::string name = kind.name;
    out << name << " (" << severityName(kind.severity) << (kind.fixable ? ", mended by --fix" : "")
        << ")\n\nWhat it means\n    " << sentence(kind.summary) << "\n\nWhy\n    "
        << sentence(kind.why) << "\n\nWhat to do\n    " << sentence(kind.advice) << '\n';
    if (kind.example[0] != '\0') {
        out << "\nFailing example\n    " << kind.example << "\n\nFixed example\n    " << kind.fixed
            << '\n';
    }
    out << "\nSilencing it\n"
           "    in one ini file, with a head line above -vmargs, which the launcher ignores:\n"
           "        # dashvane-launcher-check: ignore "
        << name
        << "\n    for a whole run:\n"
           "        dashvane-launcher-check --ignore "
        << name
        << " ...\n"
           "    for an installation or a team, in .dashvane-launcher-check at the installation's "
           "root:\n"
           "        ignore = "
        << name << '\n';
}

void listKindsMan(std::ostream& out) {
    for (const Kind& kind : catalogue()) {
        out << ".TP\n.B " << kind.name << "\n(" << severityName(kind.severity)
            << (kind.fixable ? ", mended by \\-\\-fix" : "") << ") " << roff(sentence(kind.summary))
            << '\n'
            << roff(sentence(kind.why)) << '\n'
            << roff(sentence(kind.advice)) << '\n';
        if (kind.example[0] != '\0') {
            out << ".br\nExample: " << roff(kind.example) << "\n.br\nFixed: " << roff(kind.fixed)
                << '\n';
        }
    }
}
