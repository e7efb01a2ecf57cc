// The escaping of the formats for programs: whatever bytes a path or a
// message holds, the document stays well-formed and no byte is lost.
#include <string>

#include <gtest/gtest.h>

#include "report/CheckstyleFormat.h"
#include "report/SarifFormat.h"

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

}  // namespace
