// Sorts 64-bit keys whose top bits are spread evenly, such as hashes: in
// place, into buckets by their top bits, each bucket again by the bits
// below, until buckets are small enough to sort by comparison. Over
// millions of keys that takes a fraction of a comparison sort's time, with
// no second copy of them; with few enough buckets at each step that moving
// keys into them stays within the processor's caches.
#pragma once

#include <cstdint>
#include <vector>

void sortSpreadKeys(std::vector<std::uint64_t>& keys);
