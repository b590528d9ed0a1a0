#include "convert/export_aspect_fraction.h"

#include <cmath>

namespace MediaBased {

AVRational NearestFraction(double value, int maxTerm) {
    if (!(value > 0.0) || maxTerm < 1)
        return AVRational{1, 1};
    AVRational best{1, 1};
    double bestError = std::fabs(value - 1.0);
    // Every denominator is tried: with terms this small that is cheap and exactly nearest.
    for (int den = 1; den <= maxTerm; ++den) {
        const double ideal = value * den;
        long num = std::lround(ideal);
        if (num < 1)
            num = 1;
        if (num > maxTerm)
            num = maxTerm;
        const double error = std::fabs(value - static_cast<double>(num) / den);
        if (error < bestError) {
            bestError = error;
            best = AVRational{static_cast<int>(num), den};
        }
    }
    return best;
}

}  // namespace MediaBased
