// Decompresses raw deflate data (RFC 1951), as a zip stores a compressed
// entry, without trusting it: every length and distance is checked.
#pragma once

#include <cstddef>
#include <string>

// The data `deflated` holds, into `out`; false when it is damaged, ends
// early or would exceed `limit` bytes.
bool inflateRaw(const std::string& deflated, std::size_t limit, std::string& out);
