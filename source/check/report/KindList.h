// --list-kinds: every kind of finding from the catalogue, as text, as a
// JSON document, or as the entries of the manual page's KINDS section, so
// that the page cannot drift from the checker.
#pragma once

#include <ostream>

void listKindsText(std::ostream& out);
void listKindsJson(std::ostream& out, bool pretty);
void listKindsMan(std::ostream& out);
