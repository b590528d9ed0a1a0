#include "convert/export_hardware_encoder.h"

#include <cstring>
#include <filesystem>
#include <system_error>

extern "C" {
#include <libavutil/hwcontext.h>
#include <libavutil/pixdesc.h>
}

#include "system/ffmpeg_handles.h"

namespace MediaBased {
namespace {

// Device pictures the encoder may hold at once (reference frames and look-ahead) plus the one
// being filled.
constexpr int kDevicePoolSize = 20;

bool EndsWith(const char* name, const char* suffix) {
    const size_t length = std::strlen(name);
    const size_t suffixLength = std::strlen(suffix);
    return length >= suffixLength && std::strcmp(name + length - suffixLength, suffix) == 0;
}

// The first render node, which needs no display server; empty when there is none.
std::string FirstRenderNode() {
    std::error_code error;
    for (int minor = 128; minor < 136; ++minor) {
        const std::string node = "/dev/dri/renderD" + std::to_string(minor);
        if (std::filesystem::exists(node, error))
            return node;
    }
    return std::string();
}

std::string ErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

}  // namespace

bool IsHardwareEncoder(const AVCodec& encoder) {
    return EndsWith(encoder.name, "_vaapi") || EndsWith(encoder.name, "_nvenc") ||
           EndsWith(encoder.name, "_qsv");
}

bool TakesDeviceFramesOnly(const AVCodec& encoder) {
    if (encoder.pix_fmts == nullptr || encoder.pix_fmts[0] == AV_PIX_FMT_NONE)
        return false;
    for (const AVPixelFormat* format = encoder.pix_fmts; *format != AV_PIX_FMT_NONE; ++format) {
        const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(*format);
        if (descriptor == nullptr || !(descriptor->flags & AV_PIX_FMT_FLAG_HWACCEL))
            return false;
    }
    return true;
}

int AttachDeviceFrames(AVCodecContext& context, AVPixelFormat softwareFormat, std::string* reason) {
    const std::string node = FirstRenderNode();
    if (node.empty()) {
        *reason = "no render node (/dev/dri/renderD*)";
        return AVERROR(ENODEV);
    }
    AVBufferRef* created = nullptr;
    if (const int result = av_hwdevice_ctx_create(&created, AV_HWDEVICE_TYPE_VAAPI, node.c_str(), nullptr, 0);
        result < 0) {
        *reason = "cannot open the VAAPI device " + node + " (" + ErrorText(result) + ")";
        return result;
    }
    SystemBased::BufferRefPtr device(created);
    SystemBased::BufferRefPtr frames(av_hwframe_ctx_alloc(device.get()));
    if (frames == nullptr) {
        *reason = "no frame pool on " + node;
        return AVERROR(ENOMEM);
    }
    auto* pool = reinterpret_cast<AVHWFramesContext*>(frames->data);
    pool->format = AV_PIX_FMT_VAAPI;
    pool->sw_format = softwareFormat;
    pool->width = context.width;
    pool->height = context.height;
    pool->initial_pool_size = kDevicePoolSize;
    if (const int result = av_hwframe_ctx_init(frames.get()); result < 0) {
        *reason = std::string("the device on ") + node + " refused a pool of " +
                  av_get_pix_fmt_name(softwareFormat) + " pictures (" + ErrorText(result) + ")";
        return result;
    }
    context.hw_frames_ctx = av_buffer_ref(frames.get());
    if (context.hw_frames_ctx == nullptr)
        return AVERROR(ENOMEM);
    context.pix_fmt = AV_PIX_FMT_VAAPI;
    return 0;
}

AVPixelFormat EncoderPictureFormat(const AVCodecContext& context) {
    if (context.hw_frames_ctx != nullptr)
        return reinterpret_cast<const AVHWFramesContext*>(context.hw_frames_ctx->data)->sw_format;
    return context.pix_fmt;
}

bool MoveToEncoderDevice(const AVCodecContext& context, AVFrame& picture) {
    if (context.hw_frames_ctx == nullptr)
        return true;
    SystemBased::FramePtr device(av_frame_alloc());
    if (device == nullptr || av_hwframe_get_buffer(context.hw_frames_ctx, device.get(), 0) < 0 ||
        av_hwframe_transfer_data(device.get(), &picture, 0) < 0 ||
        av_frame_copy_props(device.get(), &picture) < 0)
        return false;
    av_frame_unref(&picture);
    av_frame_move_ref(&picture, device.get());
    return true;
}

}  // namespace MediaBased
