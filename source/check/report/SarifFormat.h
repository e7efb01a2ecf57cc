// SARIF 2.1.0, the format code scanning services and editors read: one run
// whose rules are the catalogue's kinds, one result per finding, and the
// applications that could not be checked as notifications of the invocation.
#pragma once

#include <string>

#include "report/Formatter.h"

Formatter sarifFormat(std::ostream& out, const FormatOptions& options, const Tally& tally);

// A path as a URI reference: relative stays relative, absolute becomes a
// file URI, and every byte that may not stand in a URI is %-encoded, so no
// byte of the path is lost.
std::string sarifUri(const std::string& path);
