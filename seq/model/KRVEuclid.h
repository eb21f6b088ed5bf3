#pragma once

#include <cstdint>

// The Euclidean rhythm of inHits over inSteps (1 to 64): the hits spread as
// evenly as they go, by Bjorklund's grouping (3 over 8: x..x..x.), then
// shifted inRotation steps later (earlier when negative), wrapping around.
// Bit i is step i (0-based); hits outside 0 to inSteps are clamped.
std::uint64_t KRVEuclid(int inHits, int inSteps, int inRotation);
