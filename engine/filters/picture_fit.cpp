#include "filters/picture_fit.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace MediaBased {
namespace {

// The even length closest to exact without going over it by more than rounding, at least 2
// and at most limit (the frame's own length, which may be odd: a side that fills the frame
// needs no split). Rounding to whole pixels first keeps a ratio that divides evenly, such as
// 720 / (16 / 9), from landing on either side of 405 by floating-point noise.
int EvenLength(double exact, int limit) {
    const long whole = std::lround(exact);
    if (whole >= limit)
        return limit;
    const int even = static_cast<int>(whole & ~1L);
    return even < 2 ? (limit < 2 ? limit : 2) : even;
}

}  // namespace

PictureBox FitPicture(double displayAspect, int frameWidth, int frameHeight) {
    PictureBox box{frameWidth, frameHeight, 0, 0};
    if (!(displayAspect > 0) || !std::isfinite(displayAspect) || frameWidth <= 0 ||
        frameHeight <= 0)
        return box;
    if (displayAspect * frameHeight >= frameWidth)
        box.height = EvenLength(frameWidth / displayAspect, frameHeight);
    else
        box.width = EvenLength(frameHeight * displayAspect, frameWidth);
    box.x = ((frameWidth - box.width) / 2) & ~1;
    box.y = ((frameHeight - box.height) / 2) & ~1;
    return box;
}

double DisplayAspectOf(int width, int height, int sarNum, int sarDen) {
    if (width <= 0 || height <= 0)
        return 0;
    const double sar = sarNum > 0 && sarDen > 0 ? static_cast<double>(sarNum) / sarDen : 1.0;
    return width * sar / height;
}

bool ParseDisplayAspect(const char* text, double* aspect) {
    if (text == nullptr)
        return false;
    const char* end = text + std::strlen(text);
    double parsed = 0;
    const auto [stop, error] = std::from_chars(text, end, parsed, std::chars_format::fixed);
    if (error != std::errc() || stop != end || !std::isfinite(parsed) || !(parsed > 0))
        return false;
    *aspect = parsed;
    return true;
}

}  // namespace MediaBased
