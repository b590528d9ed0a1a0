// Owning handles for FFmpeg objects, so that every exit path frees what it allocated.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/buffer.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
}

namespace SystemBased {

struct AVFrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct AVPacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct AVCodecParametersDeleter {
    void operator()(AVCodecParameters* parameters) const { avcodec_parameters_free(&parameters); }
};
struct AVCodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct AVFilterGraphDeleter {
    void operator()(AVFilterGraph* graph) const { avfilter_graph_free(&graph); }
};
struct AVFilterInOutDeleter {
    void operator()(AVFilterInOut* links) const { avfilter_inout_free(&links); }
};
// For contexts opened with avformat_open_input.
struct AVInputFormatContextDeleter {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
// For contexts made with avformat_alloc_output_context2: closes the file if one was opened.
struct AVOutputFormatContextDeleter {
    void operator()(AVFormatContext* context) const {
        if (context->oformat && !(context->oformat->flags & AVFMT_NOFILE))
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
struct AVAudioFifoDeleter {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

using FramePtr = std::unique_ptr<AVFrame, AVFrameDeleter>;

// Drops a reused frame's references when the scope ends.
struct ScopedFrameUnref {
    AVFrame* frame;
    ~ScopedFrameUnref() { av_frame_unref(frame); }
};
using PacketPtr = std::unique_ptr<AVPacket, AVPacketDeleter>;
using CodecParametersPtr = std::unique_ptr<AVCodecParameters, AVCodecParametersDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, AVCodecContextDeleter>;
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, AVFilterGraphDeleter>;
using FilterInOutPtr = std::unique_ptr<AVFilterInOut, AVFilterInOutDeleter>;
using InputFormatContextPtr = std::unique_ptr<AVFormatContext, AVInputFormatContextDeleter>;
using OutputFormatContextPtr = std::unique_ptr<AVFormatContext, AVOutputFormatContextDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AVAudioFifoDeleter>;

struct AVBufferRefDeleter {
    void operator()(AVBufferRef* buffer) const { av_buffer_unref(&buffer); }
};
struct AVDictionaryDeleter {
    void operator()(AVDictionary* dictionary) const { av_dict_free(&dictionary); }
};
// Hardware device and frame-pool references, among others.
using BufferRefPtr = std::unique_ptr<AVBufferRef, AVBufferRefDeleter>;
using DictionaryPtr = std::unique_ptr<AVDictionary, AVDictionaryDeleter>;

}  // namespace SystemBased
