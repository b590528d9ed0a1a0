// Sample aspect ratios as small fractions, the way encoders and containers store them.
#pragma once

extern "C" {
#include <libavutil/rational.h>
}

namespace MediaBased {

// The fraction closest to value whose numerator and denominator lie in 1..maxTerm; of equally
// close ones, the one with the smaller denominator. Values that are not positive give 1/1.
AVRational NearestFraction(double value, int maxTerm);

}  // namespace MediaBased
