// The escaping of the formats for programs: whatever bytes a path or a
// message holds, the document stays well-formed and no byte is lost.
#include <string>

#include <gtest/gtest.h>

#include "report/CheckstyleFormat.h"
#include "report/SarifFormat.h"
#include "report/ShortMessage.h"

namespace {

TEST(ReportEscaping, XmlAttributeHoldsAnyBytes) {
    const struct {
        std::string bytes;
        const char* xml;
    } cases[] = {
        {"plain text: a/b.ini", "plain text: a/b.ini"},
        {"a&b<c>\"d\"'e'", "a&amp;b&lt;c&gt;&quot;d&quot;'e'"},
        // Kept as character references, so an XML reader gives them back.
        {"tab\tline\nreturn\r", "tab&#9;line&#10;return&#13;"},
        // XML 1.0 cannot hold these at all, not even as references.
        {std::string("nul\0x\x01\x1f", 7), "nul\\x00x\\x01\\x1f"},
        {"\xef\xbf\xbe\xef\xbf\xbf", "\\u{FFFE}\\u{FFFF}"},
        // A byte that is not UTF-8 is spelled out as the text report spells it.
        {"caf\xe9", "caf\\xe9"},
        {"caf\xc3\xa9 \xe4\xb8\xad", "caf\xc3\xa9 \xe4\xb8\xad"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(xmlAttribute(c.bytes), c.xml) << c.xml;
    }
}

TEST(ReportEscaping, SarifUriKeepsEveryByteOfThePath) {
    const struct {
        std::string path;
        const char* uri;
    } cases[] = {
        {"apps/shop/run.ini", "apps/shop/run.ini"},
        {"/srv/ws/eclipse/Dashvane", "file:///srv/ws/eclipse/Dashvane"},
        // A colon would read as a scheme, "%" and "#" as escapes and fragments.
        {"a:b/c d%e#f?g", "a%3Ab/c%20d%25e%23f%3Fg"},
        {"caf\xe9/\xc3\xa9", "caf%E9/%C3%A9"},
        {"/", "file:///"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sarifUri(c.path), c.uri) << c.uri;
    }
}

// A long message keeps its first clauses within the limit; the rest leads
// the notes. A quoted path or VM line is never cut inside.
TEST(ShortMessage, LongMessagesLeaveTheirDetailToTheNotes) {
    const std::string pad(70, 'x');
    const struct {
        std::string message, advice, shortened, notes;
    } cases[] = {
        {"short: kept whole", "do it", "short: kept whole", "do it"},
        {pad + ": one; " + pad, "do it", pad + ": one", pad + "\ndo it"},
        {pad + ": one; two. " + pad, "", pad + ": one; two", pad},
        {"\"" + pad + ": in quotes\" ends" + pad, "do it", "\"" + pad + ": in quotes\" ends" + pad,
         "do it"},
        {pad + pad + ": the rest", "do it", pad + pad, "the rest\ndo it"},
    };
    for (const auto& c : cases) {
        std::string message = c.message;
        std::string advice = c.advice;
        shortenMessage(message, advice);
        EXPECT_EQ(message, c.shortened) << c.message;
        EXPECT_EQ(advice, c.notes) << c.message;
    }
}

}  // namespace
