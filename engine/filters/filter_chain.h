// A filter graph of the shape source -> description -> sink, built in one step and torn down
// as a whole. The image converter and the audio resampler each keep one.
#pragma once

#include <functional>
#include <string>

#include "system/ffmpeg_handles.h"

namespace MediaBased {

class FilterChain {
public:
    // Runs after the sink exists and before the graph is configured, to narrow what the sink
    // accepts. Returns 0 or a negative AVERROR.
    using SinkSetup = std::function<int(AVFilterContext* sink)>;

    // Replaces any previous graph. The source is named "in" and the sink "out", so the
    // description links them by those labels. Returns 0, or the first negative AVERROR, in
    // which case the chain is left empty. threads: the graph's slice threads (the scaler's too);
    // 0 lets FFmpeg choose from the processor count.
    int Build(const char* sourceFilter, const std::string& sourceArguments, const char* sinkFilter,
              const SinkSetup& setupSink, const std::string& description, int threads = 1);
    void Reset();
    bool built() const { return graph_ != nullptr; }

    // The source takes a reference of its own: frame stays the caller's.
    int Push(AVFrame* frame);
    // AVERROR(EAGAIN) when the graph needs more input first.
    int Pull(AVFrame* frame);

    AVFilterContext* sink() const { return sink_; }

private:
    SystemBased::FilterGraphPtr graph_;
    AVFilterContext* source_ = nullptr;
    AVFilterContext* sink_ = nullptr;
};

}  // namespace MediaBased
