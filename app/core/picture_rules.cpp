#include "picture_rules.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

// Rates within this of each other are the same rate written with other rounding.
constexpr double kRateSlack = 0.01;

int evenDown(int value) {
    return std::max(2, value - value % 2);
}

// Nearest even value, never above limit (itself even or not: the result stays below it).
int evenNear(double value, int limit) {
    int even = static_cast<int>(std::lround(value / 2.0)) * 2;
    if (limit > 0 && even > limit)
        even = limit - limit % 2;
    return std::max(2, even);
}

}  // namespace

PictureSize fitPicture(int sourceWidth, int sourceHeight, double displayAspect, int maxWidth, int maxHeight) {
    if (sourceWidth <= 0 || sourceHeight <= 0)
        return {evenDown(std::max(maxWidth, 2)), evenDown(std::max(maxHeight, 2))};
    const bool fits = (maxWidth <= 0 || sourceWidth <= maxWidth) && (maxHeight <= 0 || sourceHeight <= maxHeight);
    if (fits)
        return {evenDown(sourceWidth), evenDown(sourceHeight)};
    // The picture as it is shown: stored height, width from the shape.
    const double aspect = displayAspect > 0 ? displayAspect : double(sourceWidth) / sourceHeight;
    const double shownWidth = sourceHeight * aspect;
    const double shownHeight = sourceHeight;
    double scale = 1.0;
    if (maxWidth > 0)
        scale = std::min(scale, maxWidth / shownWidth);
    if (maxHeight > 0)
        scale = std::min(scale, maxHeight / shownHeight);
    return {evenNear(shownWidth * scale, maxWidth), evenNear(shownHeight * scale, maxHeight)};
}

FrameTime fitFrameRate(FrameTime source, double maxFramesPerSecond) {
    const double rate = source.framesPerSecond();
    if (maxFramesPerSecond <= 0)
        return source;
    if (rate <= 0)
        return frameTimeOf(maxFramesPerSecond);
    if (rate <= maxFramesPerSecond + kRateSlack)
        return source;
    // Every other frame keeps the motion even; but 25 under 23.976 would drop to 12.5, where
    // losing one frame in 25 shows less.
    const double half = rate / 2;
    if (half <= maxFramesPerSecond + kRateSlack && half >= maxFramesPerSecond * 2 / 3) {
        const long long num = 2LL * source.num;
        const long long divisor = std::gcd(num, static_cast<long long>(source.den));
        return {static_cast<int>(num / divisor), static_cast<int>(source.den / divisor)};
    }
    return frameTimeOf(maxFramesPerSecond);
}

FrameTime frameTimeOf(double framesPerSecond) {
    // The NTSC rates are n * 1000/1001: counted in 1001ths they come out exact.
    return {1001, static_cast<int>(framesPerSecond * 1001 + 0.5)};
}
