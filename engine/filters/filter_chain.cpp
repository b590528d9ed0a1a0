#include "filters/filter_chain.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/mem.h>
}

namespace MediaBased {

using SystemBased::FilterGraphPtr;
using SystemBased::FilterInOutPtr;

namespace {

FilterInOutPtr OpenEnd(const char* label, AVFilterContext* filter) {
    FilterInOutPtr end(avfilter_inout_alloc());
    if (end) {
        end->name = av_strdup(label);
        end->filter_ctx = filter;
        end->pad_idx = 0;
        end->next = nullptr;
        if (end->name == nullptr)
            end.reset();
    }
    return end;
}

}  // namespace

int FilterChain::Build(const char* sourceFilter, const std::string& sourceArguments,
                       const char* sinkFilter, const SinkSetup& setupSink,
                       const std::string& description, int threads) {
    Reset();
    const AVFilter* sourceType = avfilter_get_by_name(sourceFilter);
    const AVFilter* sinkType = avfilter_get_by_name(sinkFilter);
    if (sourceType == nullptr || sinkType == nullptr)
        return AVERROR_FILTER_NOT_FOUND;

    FilterGraphPtr graph(avfilter_graph_alloc());
    if (graph == nullptr)
        return AVERROR(ENOMEM);
    graph->nb_threads = threads;

    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;
    int result = avfilter_graph_create_filter(&source, sourceType, "in", sourceArguments.c_str(),
                                              nullptr, graph.get());
    if (result < 0)
        return result;
    result = avfilter_graph_create_filter(&sink, sinkType, "out", nullptr, nullptr, graph.get());
    if (result < 0)
        return result;
    if (setupSink && (result = setupSink(sink)) < 0)
        return result;

    // The description's open input is fed by the source, its open output feeds the sink.
    FilterInOutPtr fedBySource = OpenEnd("in", source);
    FilterInOutPtr feedingSink = OpenEnd("out", sink);
    if (fedBySource == nullptr || feedingSink == nullptr)
        return AVERROR(ENOMEM);
    AVFilterInOut* inputs = feedingSink.release();
    AVFilterInOut* outputs = fedBySource.release();
    result = avfilter_graph_parse_ptr(graph.get(), description.c_str(), &inputs, &outputs, nullptr);
    feedingSink.reset(inputs);
    fedBySource.reset(outputs);
    if (result < 0)
        return result;
    result = avfilter_graph_config(graph.get(), nullptr);
    if (result < 0)
        return result;

    graph_ = std::move(graph);
    source_ = source;
    sink_ = sink;
    return 0;
}

void FilterChain::Reset() {
    source_ = nullptr;
    sink_ = nullptr;
    graph_.reset();
}

int FilterChain::Push(AVFrame* frame) {
    if (source_ == nullptr)
        return AVERROR(EINVAL);
    return av_buffersrc_add_frame_flags(source_, frame, AV_BUFFERSRC_FLAG_KEEP_REF);
}

int FilterChain::Pull(AVFrame* frame) {
    if (sink_ == nullptr)
        return AVERROR(EINVAL);
    return av_buffersink_get_frame_flags(sink_, frame, 0);
}

}  // namespace MediaBased
