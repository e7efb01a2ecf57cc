// The check's findings as one JSON document for scripts and CI.
#pragma once

#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "Findings.h"

// A byte string as JSON without losing a byte: a string when the bytes are
// valid UTF-8; otherwise an object with "hex", every byte as two hex digits,
// and "display", the bytes with \xNN for those that are not UTF-8.
nlohmann::ordered_json jsonBytes(const std::string& bytes);

nlohmann::ordered_json jsonReport(const Findings& findings);

void writeJsonReport(std::ostream& out, const Findings& findings);
