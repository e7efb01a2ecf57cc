// --list-kinds: every kind of finding from the catalogue, as text, as a
// JSON document, or as the entries of the manual page's KINDS section, so
// that the page cannot drift from the checker.
#pragma once

#include <ostream>

#include "model/Catalogue.h"

void listKindsText(std::ostream& out);
void listKindsJson(std::ostream& out, bool pretty);
void listKindsMan(std::ostream& out);
// --list-kinds KIND: one kind's page, with how to silence it.
void kindPage(std::ostream& out, const Kind& kind);
