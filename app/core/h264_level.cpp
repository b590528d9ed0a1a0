#include "h264_level.h"

#include <cmath>

namespace {

struct LevelLimits {
    int level;
    double macroblocksPerSecond;
    double frameMacroblocks;
    double kilobitsPerSecond;  // video coding layer, Baseline and Main
};

// The table of levels of the H.264 standard (Annex A), without level 1b.
constexpr LevelLimits kLevels[] = {
    {10, 1485, 99, 64},           {11, 3000, 396, 192},         {12, 6000, 396, 384},
    {13, 11880, 396, 768},        {20, 11880, 396, 2000},       {21, 19800, 792, 4000},
    {22, 20250, 1620, 4000},      {30, 40500, 1620, 10000},     {31, 108000, 3600, 14000},
    {32, 216000, 5120, 20000},    {40, 245760, 8192, 20000},    {41, 245760, 8192, 50000},
    {42, 522240, 8704, 50000},    {50, 589824, 22080, 135000},  {51, 983040, 36864, 240000},
    {52, 2073600, 36864, 240000},
};

}  // namespace

int h264LevelFor(int width, int height, double framesPerSecond, int kilobitsPerSecond) {
    const double across = std::ceil(width / 16.0);
    const double down = std::ceil(height / 16.0);
    const double frame = across * down;
    const double rate = frame * (framesPerSecond > 0 ? framesPerSecond : 25.0);
    for (const LevelLimits& limits : kLevels) {
        // Neither side may be longer than a square of eight times the frame limit allows.
        const double side = std::sqrt(8.0 * limits.frameMacroblocks);
        if (frame <= limits.frameMacroblocks && across <= side && down <= side &&
            rate <= limits.macroblocksPerSecond && kilobitsPerSecond <= limits.kilobitsPerSecond)
            return limits.level;
    }
    return 52;
}
