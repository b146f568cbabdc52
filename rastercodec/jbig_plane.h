// JBIG (ITU-T T.82) compression of one page plane with jbigkit.
//
// Options, chosen for a printer that decodes one page in a single pass:
// one bit plane, no resolution reduction (a single layer, D = 0), stripes
// of 128 lines (L0 = 128), the three-line template without adaptive
// template moves (MX = 0), typical prediction on (TPBON), sequential
// interleaved order (ILEAVE | SMID). The image size in the file's header
// (BIH) is the plane size, which is what the page header announces.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bilevel.h"

namespace kolvex
{

constexpr unsigned long kJbigStripeLines = 128;

// Writes the plane as one JBIG image to `out`; false when writing fails.
bool writeJbigPlane(const Bilevel &plane, FILE *out);

// The same into memory (used by tests).
std::vector<uint8_t> encodeJbigPlane(const Bilevel &plane);

} // namespace kolvex
