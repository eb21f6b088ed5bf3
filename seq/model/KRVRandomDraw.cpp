#include "model/KRVRandomDraw.h"

#include <cstdlib>

int KRVDrawInSpan(int inBase, int inRange) {
    long long draw = std::rand();
    // Wide arithmetic so that a range of INT_MAX cannot overflow the span.
    long long span = inRange < 0 ? 1 : static_cast<long long>(inRange) + 1;
    return static_cast<int>(draw % span + inBase);
}
