// How large and how fast an encoded picture is: a profile's size and rate are maxima, not
// what every output is stretched to.
#pragma once

struct PictureSize {
    int width = 0;
    int height = 0;

    bool operator==(const PictureSize&) const = default;
};

// The largest picture within maxWidth x maxHeight (0: no bound on that side) that shows the
// source's display shape (displayAspect: width / height as shown, 0 when the file stores
// none, i.e. square pixels) without enlarging it, in even dimensions. A source whose stored
// size already fits keeps its pixels (and their shape); a larger one is scaled to square
// pixels.
PictureSize fitPicture(int sourceWidth, int sourceHeight, double displayAspect, int maxWidth, int maxHeight);

// Frame rates as the engine's records hold them: the time of one frame, num/den seconds.
struct FrameTime {
    int num = 0;
    int den = 0;

    double framesPerSecond() const { return num > 0 && den > 0 ? double(den) / num : 0.0; }
    bool operator==(const FrameTime&) const = default;
};

// The source's own rate when it is at most maxFramesPerSecond (exactly, 24000/1001 stays so),
// half of it when that fits (and keeps at least two thirds of the maximum: 50 under 30 gives
// 25, 25 under 23.976 gives 23.976, not 12.5), else maxFramesPerSecond itself. An unknown source rate takes the
// maximum; no maximum keeps the source's.
FrameTime fitFrameRate(FrameTime source, double maxFramesPerSecond);

// A rate given in frames per second as the records hold it: 29.97 becomes 1001/30000.
FrameTime frameTimeOf(double framesPerSecond);
