#include "convert/export_burned_pictures.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>

extern "C" {
#include <libavutil/intreadwrite.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "import/frame_timing.h"
#include "object/media_formats.h"
#include "system/module_logger.h"

namespace MediaBased {
namespace {

constexpr AVRational kEngineTimeBase{1, static_cast<int>(kTimeUnitsPerSecond)};
constexpr int64_t kUnitsPerMillisecond = kTimeUnitsPerSecond / 1000;
constexpr int64_t kForever = INT64_MAX;

struct ScopedPacketUnref {
    AVPacket* packet;
    ~ScopedPacketUnref() { av_packet_unref(packet); }
};

// One component of a picture, read and written in place: a byte, or a 16-bit word in the
// format's byte order, holding depth bits at shift.
class ComponentAccess {
public:
    ComponentAccess(const AVPixFmtDescriptor& format, int component)
        : comp_(format.comp[component]),
          bigEndian_((format.flags & AV_PIX_FMT_FLAG_BE) != 0),
          mask_((1u << comp_.depth) - 1),
          wide_(comp_.shift + comp_.depth > 8) {}

    uint8_t* At(const AVFrame& picture, int x, int y) const {
        return picture.data[comp_.plane] + static_cast<ptrdiff_t>(y) * picture.linesize[comp_.plane] +
               static_cast<ptrdiff_t>(x) * comp_.step + comp_.offset;
    }
    unsigned Read(const uint8_t* at) const {
        const unsigned word = wide_ ? (bigEndian_ ? AV_RB16(at) : AV_RL16(at)) : *at;
        return (word >> comp_.shift) & mask_;
    }
    void Write(uint8_t* at, unsigned value) const {
        // Packed formats share words between components: only this one's bits change.
        if (wide_) {
            unsigned word = bigEndian_ ? AV_RB16(at) : AV_RL16(at);
            word = (word & ~(mask_ << comp_.shift)) | ((value & mask_) << comp_.shift);
            if (bigEndian_)
                AV_WB16(at, word);
            else
                AV_WL16(at, word);
        } else {
            *at = static_cast<uint8_t>((*at & ~(mask_ << comp_.shift)) | ((value & mask_) << comp_.shift));
        }
    }

private:
    AVComponentDescriptor comp_;
    bool bigEndian_;
    unsigned mask_;
    bool wide_;
};

// Chroma is subsampled; luma, alpha and RGB are not.
int ColumnShift(const AVPixFmtDescriptor& format, int component) {
    return component == 1 || component == 2 ? format.log2_chroma_w : 0;
}
int RowShift(const AVPixFmtDescriptor& format, int component) {
    return component == 1 || component == 2 ? format.log2_chroma_h : 0;
}

bool IsAlphaComponent(const AVPixFmtDescriptor& format, int component) {
    return (format.flags & AV_PIX_FMT_FLAG_ALPHA) && component == format.nb_components - 1;
}

struct LumaWeights {
    double red;
    double blue;
};

LumaWeights WeightsFor(const PictureLayout& layout) {
    switch (layout.colorspace) {
    case AVCOL_SPC_BT709:
        return {0.2126, 0.0722};
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return {0.2627, 0.0593};
    case AVCOL_SPC_SMPTE240M:
        return {0.212, 0.087};
    case AVCOL_SPC_FCC:
        return {0.30, 0.11};
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
        return {0.299, 0.114};
    default:
        // Untagged pictures: players take high definition for BT.709 and the rest for BT.601.
        if (layout.width >= 1280 || layout.height > 576)
            return {0.2126, 0.0722};
        return {0.299, 0.114};
    }
}

bool IsFullRange(const PictureLayout& layout) {
    switch (layout.format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
        return true;
    default:
        return layout.range == AVCOL_RANGE_JPEG;
    }
}

// The picture's component values for an opaque colour of the cue (8-bit RGB).
void ComponentsOf(uint32_t rgb, const AVPixFmtDescriptor& format, const PictureLayout& layout,
                  uint16_t values[4]) {
    const double red = ((rgb >> 16) & 0xFF) / 255.0;
    const double green = ((rgb >> 8) & 0xFF) / 255.0;
    const double blue = (rgb & 0xFF) / 255.0;
    double shares[4] = {};
    bool chroma[4] = {};
    if (format.flags & AV_PIX_FMT_FLAG_RGB) {
        shares[0] = red;
        shares[1] = green;
        shares[2] = blue;
    } else {
        const LumaWeights weights = WeightsFor(layout);
        const double luma = weights.red * red + (1 - weights.red - weights.blue) * green + weights.blue * blue;
        shares[0] = luma;
        shares[1] = (blue - luma) / (2 * (1 - weights.blue));
        shares[2] = (red - luma) / (2 * (1 - weights.red));
        chroma[1] = chroma[2] = true;
    }
    const bool full = (format.flags & AV_PIX_FMT_FLAG_RGB) || IsFullRange(layout);
    for (int c = 0; c < format.nb_components && c < 4; ++c) {
        const int depth = format.comp[c].depth;
        const double top = (1 << depth) - 1;
        double value = 0;
        if (IsAlphaComponent(format, c))
            value = top;  // the cue's own opacity is applied when it is blended
        else if (chroma[c])
            value = full ? std::ldexp(128, depth - 8) + shares[c] * top
                         : std::ldexp(128 + 224 * shares[c], depth - 8);
        else if (full || c != 0)
            value = shares[c] * top;
        else
            value = std::ldexp(16 + 219 * shares[c], depth - 8);
        values[c] = static_cast<uint16_t>(std::clamp(std::lround(value), 0L, static_cast<long>(top)));
    }
}

// The cue's bitmaps over the picture's pixels: positions scaled from the canvas, each picture
// pixel taking the canvas pixel under its centre; later bitmaps cover earlier ones.
std::unique_ptr<DrawnCue> Render(const PictureCue& cue, const PictureLayout& layout) {
    auto drawn = std::make_unique<DrawnCue>();
    drawn->layout = layout;
    const AVSubtitle& subtitle = *cue.subtitle;
    const int64_t canvasWidth = cue.canvasWidth > 0 ? cue.canvasWidth : layout.width;
    const int64_t canvasHeight = cue.canvasHeight > 0 ? cue.canvasHeight : layout.height;
    const auto toPictureX = [&](int64_t x, bool up) {
        const int64_t scaled = x * layout.width;
        return static_cast<int>(std::clamp<int64_t>(up ? (scaled + canvasWidth - 1) / canvasWidth : scaled / canvasWidth,
                                                    0, layout.width));
    };
    const auto toPictureY = [&](int64_t y, bool up) {
        const int64_t scaled = y * layout.height;
        return static_cast<int>(std::clamp<int64_t>(up ? (scaled + canvasHeight - 1) / canvasHeight : scaled / canvasHeight,
                                                    0, layout.height));
    };
    int left = layout.width, top = layout.height, right = 0, bottom = 0;
    for (unsigned i = 0; i < subtitle.num_rects; ++i) {
        const AVSubtitleRect& rect = *subtitle.rects[i];
        if (rect.type != SUBTITLE_BITMAP || rect.w <= 0 || rect.h <= 0 || rect.data[0] == nullptr ||
            rect.data[1] == nullptr || rect.x < 0 || rect.y < 0)
            continue;
        left = std::min(left, toPictureX(rect.x, false));
        top = std::min(top, toPictureY(rect.y, false));
        right = std::max(right, toPictureX(int64_t{rect.x} + rect.w, true));
        bottom = std::max(bottom, toPictureY(int64_t{rect.y} + rect.h, true));
    }
    if (right <= left || bottom <= top)
        return drawn;
    drawn->x = left;
    drawn->y = top;
    drawn->width = right - left;
    drawn->height = bottom - top;
    const size_t pixels = static_cast<size_t>(drawn->width) * drawn->height;
    std::vector<uint32_t> colours(pixels, 0);  // straight ARGB
    for (unsigned i = 0; i < subtitle.num_rects; ++i) {
        const AVSubtitleRect& rect = *subtitle.rects[i];
        if (rect.type != SUBTITLE_BITMAP || rect.w <= 0 || rect.h <= 0 || rect.data[0] == nullptr ||
            rect.data[1] == nullptr || rect.x < 0 || rect.y < 0)
            continue;
        const auto* palette = reinterpret_cast<const uint32_t*>(rect.data[1]);
        for (int y = top; y < bottom; ++y) {
            const int64_t canvasY = ((2 * int64_t{y} + 1) * canvasHeight) / (2 * layout.height) - rect.y;
            if (canvasY < 0 || canvasY >= rect.h)
                continue;
            const uint8_t* row = rect.data[0] + canvasY * rect.linesize[0];
            for (int x = left; x < right; ++x) {
                const int64_t canvasX = ((2 * int64_t{x} + 1) * canvasWidth) / (2 * layout.width) - rect.x;
                if (canvasX < 0 || canvasX >= rect.w)
                    continue;
                const uint8_t index = row[canvasX];
                if (index >= rect.nb_colors)
                    continue;
                const uint32_t over = palette[index];
                uint32_t& under = colours[static_cast<size_t>(y - top) * drawn->width + (x - left)];
                const unsigned overAlpha = over >> 24;
                const unsigned underAlpha = (under >> 24) * (255 - overAlpha) / 255;
                const unsigned alpha = overAlpha + underAlpha;
                if (alpha == 0) {
                    under = 0;
                    continue;
                }
                uint32_t mixed = alpha << 24;
                for (int shift = 0; shift < 24; shift += 8) {
                    const unsigned channel =
                        (((over >> shift) & 0xFF) * overAlpha + ((under >> shift) & 0xFF) * underAlpha + alpha / 2) / alpha;
                    mixed |= channel << shift;
                }
                under = mixed;
            }
        }
    }
    const AVPixFmtDescriptor& format = *av_pix_fmt_desc_get(static_cast<AVPixelFormat>(layout.format));
    drawn->alpha.resize(pixels);
    for (int c = 0; c < format.nb_components && c < 4; ++c)
        drawn->values[c].resize(pixels);
    uint32_t lastColour = 0;
    uint16_t lastValues[4] = {};
    ComponentsOf(lastColour, format, layout, lastValues);
    for (size_t i = 0; i < pixels; ++i) {
        drawn->alpha[i] = static_cast<uint8_t>(colours[i] >> 24);
        if (drawn->alpha[i] == 0)
            continue;
        // Cues hold few colours: runs of one colour are converted once.
        if ((colours[i] & 0xFFFFFF) != lastColour) {
            lastColour = colours[i] & 0xFFFFFF;
            ComponentsOf(lastColour, format, layout, lastValues);
        }
        for (int c = 0; c < format.nb_components && c < 4; ++c)
            drawn->values[c][i] = lastValues[c];
    }
    return drawn;
}

// Blends the drawn cue onto one component. A subsampled sample takes the mean of the picture
// pixels it stands for, uncovered ones counting as clear.
void Blend(AVFrame& picture, const DrawnCue& drawn, const AVPixFmtDescriptor& format, int component) {
    const ComponentAccess access(format, component);
    const int columnShift = ColumnShift(format, component);
    const int rowShift = RowShift(format, component);
    const std::vector<uint16_t>& values = drawn.values[component];
    const int firstColumn = drawn.x >> columnShift;
    const int endColumn = ((drawn.x + drawn.width - 1) >> columnShift) + 1;
    const int firstRow = drawn.y >> rowShift;
    const int endRow = ((drawn.y + drawn.height - 1) >> rowShift) + 1;
    for (int row = firstRow; row < endRow; ++row) {
        const int fromY = row << rowShift;
        const int toY = std::min((row + 1) << rowShift, picture.height);
        for (int column = firstColumn; column < endColumn; ++column) {
            const int fromX = column << columnShift;
            const int toX = std::min((column + 1) << columnShift, picture.width);
            int64_t covered = 0;
            int64_t opacity = 0;
            int64_t colour = 0;
            for (int y = fromY; y < toY; ++y) {
                for (int x = fromX; x < toX; ++x) {
                    ++covered;
                    if (y < drawn.y || y >= drawn.y + drawn.height || x < drawn.x || x >= drawn.x + drawn.width)
                        continue;
                    const size_t at = static_cast<size_t>(y - drawn.y) * drawn.width + (x - drawn.x);
                    opacity += drawn.alpha[at];
                    colour += int64_t{drawn.alpha[at]} * values[at];
                }
            }
            if (opacity == 0)
                continue;
            const int64_t whole = 255 * covered;
            uint8_t* at = access.At(picture, column, row);
            const int64_t under = access.Read(at);
            access.Write(at, static_cast<unsigned>((under * (whole - opacity) + colour + whole / 2) / whole));
        }
    }
}

// The format a picture DrawCue cannot draw on is converted to, keeping its colours and alpha.
AVPixelFormat DrawableFormatFor(int pixelFormat) {
    const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(pixelFormat));
    if (format == nullptr)
        return AV_PIX_FMT_NONE;
    const bool alpha = (format->flags & (AV_PIX_FMT_FLAG_ALPHA | AV_PIX_FMT_FLAG_PAL)) != 0;
    if (!(format->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BAYER)) &&
        format->nb_components < 3)
        return alpha ? AV_PIX_FMT_YA16 : AV_PIX_FMT_GRAY16;
    return alpha ? AV_PIX_FMT_RGBA64 : AV_PIX_FMT_RGB48;
}

}  // namespace

bool IsPictureSubtitle(AVCodecID codec) {
    const AVCodecDescriptor* described = avcodec_descriptor_get(codec);
    return described != nullptr && described->type == AVMEDIA_TYPE_SUBTITLE &&
           (described->props & AV_CODEC_PROP_BITMAP_SUB);
}

bool CanDrawOn(int pixelFormat) {
    const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(pixelFormat));
    constexpr uint64_t kUnsupported = AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM |
                                      AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BAYER;
    if (format == nullptr || (format->flags & kUnsupported) || format->nb_components < 1)
        return false;
    for (int c = 0; c < format->nb_components; ++c)
        if (format->comp[c].depth < 1 || format->comp[c].depth > 16 || format->comp[c].shift + format->comp[c].depth > 16)
            return false;
    return true;
}

void DrawCue(AVFrame& picture, PictureCue& cue) {
    const PictureLayout layout{picture.format, picture.width, picture.height, picture.colorspace,
                               picture.color_range};
    if (cue.drawn == nullptr || !(cue.drawn->layout == layout))
        cue.drawn = Render(cue, layout);
    const DrawnCue& drawn = *cue.drawn;
    if (drawn.width <= 0 || drawn.height <= 0)
        return;
    const AVPixFmtDescriptor& format = *av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture.format));
    for (int c = 0; c < format.nb_components && c < 4; ++c)
        Blend(picture, drawn, format, c);
}

PictureSubtitleTrack::PictureSubtitleTrack(SystemBased::InputFormatContextPtr container, int streamIndex)
    : container_(std::move(container)),
      stream_(container_->streams[streamIndex]),
      packet_(av_packet_alloc()) {
    if (packet_ == nullptr)
        throw std::bad_alloc();
    // The pictures come from the task's own source: this reader needs the one track only.
    for (unsigned i = 0; i < container_->nb_streams; ++i)
        if (static_cast<int>(i) != streamIndex)
            container_->streams[i]->discard = AVDISCARD_ALL;
    const AVCodec* codec = avcodec_find_decoder(stream_->codecpar->codec_id);
    if (codec == nullptr)
        throw PictureSubtitleError(std::string("there is no decoder for ") +
                                   avcodec_get_name(stream_->codecpar->codec_id));
    decoder_.reset(avcodec_alloc_context3(codec));
    if (decoder_ == nullptr || avcodec_parameters_to_context(decoder_.get(), stream_->codecpar) < 0)
        throw std::bad_alloc();
    // The decoder takes a cue's end from its packet's duration when the cue has none.
    decoder_->pkt_timebase = stream_->time_base;
    if (avcodec_open2(decoder_.get(), codec, nullptr) < 0)
        throw PictureSubtitleError(std::string("the ") + codec->name + " decoder cannot be opened");
}

void PictureSubtitleTrack::ReadPacket() {
    const int read = av_read_frame(container_.get(), packet_.get());
    if (read < 0) {
        if (read != AVERROR_EOF)
            SystemBased::ReportMessage("subtitle warning: the subtitles to burn could not be read to the end", "381");
        Decode(nullptr);
        ended_ = true;
        return;
    }
    const ScopedPacketUnref unreference{packet_.get()};
    if (packet_->stream_index == stream_->index)
        Decode(packet_.get());
}

void PictureSubtitleTrack::Decode(const AVPacket* packet) {
    SystemBased::PacketPtr empty;
    if (packet == nullptr) {
        // Only decoders that hold cues back have anything left at the end.
        if (!(decoder_->codec->capabilities & AV_CODEC_CAP_DELAY))
            return;
        empty.reset(av_packet_alloc());
        if (empty == nullptr)
            throw std::bad_alloc();
        packet = empty.get();
    }
    SubtitlePtr subtitle(new AVSubtitle{});
    int got = 0;
    // A packet the decoder cannot read is skipped, as a player would.
    if (avcodec_decode_subtitle2(decoder_.get(), subtitle.get(), &got, const_cast<AVPacket*>(packet)) < 0 || !got)
        return;
    int64_t at = AV_NOPTS_VALUE;
    if (packet->pts != AV_NOPTS_VALUE || packet->dts != AV_NOPTS_VALUE)
        at = av_rescale_q(packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts, stream_->time_base,
                          kEngineTimeBase);
    else if (subtitle->pts != AV_NOPTS_VALUE)
        at = av_rescale_q(subtitle->pts, AV_TIME_BASE_Q, kEngineTimeBase);
    if (at == AV_NOPTS_VALUE)
        return;
    PictureCue cue;
    cue.start = at + int64_t{subtitle->start_display_time} * kUnitsPerMillisecond;
    // PGS cues never say when they end (UINT32_MAX): the next one, maybe empty, ends them.
    const bool ends = subtitle->end_display_time != UINT32_MAX &&
                      subtitle->end_display_time > subtitle->start_display_time;
    cue.end = ends ? at + int64_t{subtitle->end_display_time} * kUnitsPerMillisecond : kForever;
    cue.canvasWidth = decoder_->width;
    cue.canvasHeight = decoder_->height;
    cue.subtitle = std::move(subtitle);
    const auto later = std::upper_bound(cues_.begin(), cues_.end(), cue.start,
                                        [](int64_t start, const PictureCue& c) { return start < c.start; });
    cues_.insert(later, std::move(cue));
}

PictureCue* PictureSubtitleTrack::At(int64_t time) {
    // Whether the current cue still shows depends on when the next one starts.
    while (!ended_ && (cues_.empty() || cues_.back().start <= time))
        ReadPacket();
    while (cues_.size() >= 2 && cues_[1].start <= time)
        cues_.pop_front();
    if (cues_.empty())
        return nullptr;
    PictureCue& cue = cues_.front();
    if (time < cue.start || time >= cue.end || cue.subtitle->num_rects == 0)
        return nullptr;
    return &cue;
}

void CBurnedPictureConverter::SwsContextDeleter::operator()(SwsContext* context) const {
    sws_freeContext(context);
}

CBurnedPictureConverter::CBurnedPictureConverter(Owned<IImageConverter> scaler,
                                                 std::unique_ptr<PictureSubtitleTrack> track,
                                                 int64_t timeOffset)
    : scaler_(std::move(scaler)),
      track_(std::move(track)),
      timeOffset_(timeOffset),
      picture_(av_frame_alloc()),
      drawn_(PixelFormatUnknown, 0, 0, true) {
    if (picture_ == nullptr)
        throw std::bad_alloc();
}

IVideoFrame* CBurnedPictureConverter::Convert(IVideoFrame* in) {
    if (in == nullptr)
        return scaler_->Convert(nullptr);
    IVideoFrame* drawn = nullptr;
    try {
        drawn = Drawn(in);
    } catch (...) {
        return nullptr;
    }
    return scaler_->Convert(drawn);
}

void CBurnedPictureConverter::Prepare(const AVFrame& source) {
    if (CanDrawOn(source.format)) {
        if (av_frame_ref(picture_.get(), &source) < 0 || av_frame_make_writable(picture_.get()) < 0)
            throw std::bad_alloc();
        return;
    }
    const AVPixelFormat drawable = DrawableFormatFor(source.format);
    convert_.reset(sws_getCachedContext(convert_.release(), source.width, source.height,
                                        static_cast<AVPixelFormat>(source.format), source.width,
                                        source.height, drawable, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (convert_ == nullptr)
        throw std::bad_alloc();
    picture_->format = drawable;
    picture_->width = source.width;
    picture_->height = source.height;
    if (av_frame_get_buffer(picture_.get(), 0) < 0 || av_frame_copy_props(picture_.get(), &source) < 0 ||
        sws_scale_frame(convert_.get(), picture_.get(), &source) < 0)
        throw std::bad_alloc();
    picture_->colorspace = AVCOL_SPC_RGB;
    picture_->color_range = AVCOL_RANGE_JPEG;
}

IVideoFrame* CBurnedPictureConverter::Drawn(IVideoFrame* in) {
    const AVFrame* source = HeldFrameOf(in);
    if (source == nullptr)
        return in;
    int64_t start = 0;
    int64_t end = 0;
    in->GetTimes(&start, &end);
    PictureCue* cue = track_->At(start + timeOffset_);
    // Pictures DrawCue cannot take are all converted, so that the scaler sees one format.
    if ((cue == nullptr && CanDrawOn(source->format)) || source->hw_frames_ctx != nullptr)
        return in;
    const SystemBased::ScopedFrameUnref unreference{picture_.get()};
    Prepare(*source);
    if (cue != nullptr)
        DrawCue(*picture_, *cue);
    drawn_.Attach(picture_.get());
    drawn_.SetTimes(start, end);
    drawn_.SetKeyFrame(in->IsKeyFrame());
    drawn_.SetDiscontinuity(in->IsDiscontinuity());
    drawn_.SetExtraFlag(in->GetExtraFlag());
    drawn_.SetInterlaced(in->IsInterlaced());
    drawn_.SetUserFlag(in->GetUserFlag());
    return &drawn_;
}

}  // namespace MediaBased
