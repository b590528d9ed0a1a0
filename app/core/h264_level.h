// The H.264 level a picture stream needs: decoders promise no more than their level's limits.
#pragma once

// The lowest level (as FFmpeg numbers them: 30 for 3.0) whose frame size, macroblock rate and
// bit rate limits hold for this picture size, frame rate and bit rate (kbit/s); 52 when even
// the highest ordinary level is exceeded.
int h264LevelFor(int width, int height, double framesPerSecond, int kilobitsPerSecond);
