#include "model/KRVEuclid.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Bjorklund's grouping: start with one group a hit and one a rest; while
// more than one group of the second kind is left, append one to each group
// of the first, and what is left over of either kind becomes the second
// kind. The groups, in order, are the rhythm.
std::string Spread(int inHits, int inSteps) {
    if (inHits == 0) {
        return std::string(inSteps, '.');
    }
    std::vector<std::string> first(inHits, "x");
    std::vector<std::string> second(inSteps - inHits, ".");
    while (second.size() > 1) {
        const std::size_t paired = std::min(first.size(), second.size());
        std::vector<std::string> joined;
        for (std::size_t index = 0; index < paired; index++) {
            joined.push_back(first[index] + second[index]);
        }
        std::vector<std::string> left =
            first.size() > paired ? std::vector<std::string>(first.begin() + paired, first.end())
                                  : std::vector<std::string>(second.begin() + paired, second.end());
        first = std::move(joined);
        second = std::move(left);
    }
    std::string rhythm;
    for (const auto& groups : {first, second}) {
        for (const std::string& group : groups) {
            rhythm += group;
        }
    }
    return rhythm;
}

}  // namespace

std::uint64_t KRVEuclid(int inHits, int inSteps, int inRotation) {
    const int steps = std::clamp(inSteps, 1, 64);
    const std::string rhythm = Spread(std::clamp(inHits, 0, steps), steps);
    const int shift = (inRotation % steps + steps) % steps;
    std::uint64_t bits = 0;
    for (int step0 = 0; step0 < steps; step0++) {
        if (rhythm[step0] == 'x') {
            bits |= std::uint64_t(1) << ((step0 + shift) % steps);
        }
    }
    return bits;
}
