// Output stream records for tests that describe a target to the engine.
#pragma once

#include "vantrel/records.h"

// A record to encode video; codec must outlive the AddStream that copies the record.
inline MediaBased::StreamRecord VideoRecord(const char* codec, int width, int height,
                                            int timeNum = 1001, int timeDen = 25025) {
    MediaBased::StreamRecord r{};
    r.kind = MediaBased::StreamKindVideo;
    r.codecName = const_cast<char*>(codec);
    r.width = width;
    r.height = height;
    r.frameTimeNum = timeNum;
    r.frameTimeDen = timeDen;
    r.bitRate = 800000;
    r.encode = 1;
    return r;
}

// A record to encode audio; codec must outlive the AddStream that copies the record.
inline MediaBased::StreamRecord AudioRecord(const char* codec, int rate, int channels,
                                            int bitRate) {
    MediaBased::StreamRecord r{};
    r.kind = MediaBased::StreamKindAudio;
    r.codecName = const_cast<char*>(codec);
    r.sampleRate = rate;
    r.channels = channels;
    r.bitRate = bitRate;
    r.encode = 1;
    return r;
}
