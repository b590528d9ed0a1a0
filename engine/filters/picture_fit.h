// Where a picture of a given display shape goes inside a fixed frame size when it keeps its
// shape: the largest box that fits, centred, for containers that cannot store a pixel shape.
#pragma once

namespace MediaBased {

struct PictureBox {
    int width = 0;
    int height = 0;
    int x = 0;  // left edge
    int y = 0;  // top edge
};

// displayAspect is the displayed width over the height. The box spans the whole frame along
// one side; the other side is even, and so are the offsets, so that subsampled chroma planes
// split at whole samples. A non-positive aspect fills the frame.
PictureBox FitPicture(double displayAspect, int frameWidth, int frameHeight);

// The displayed width over height of a picture with the given size and sample aspect ratio; a
// ratio of 0 (or an invalid one) stands for square pixels.
double DisplayAspectOf(int width, int height, int sarNum, int sarDen);

// Reads a decimal aspect such as "1.3333333"; false unless the whole text is a plain decimal
// number greater than 0.
bool ParseDisplayAspect(const char* text, double* aspect);

}  // namespace MediaBased
