#include "convert/export_packet_writer.h"

namespace MediaBased {

bool EncodeAndWrite(AVCodecContext& encoder, const AVFrame* frame, AVFormatContext& output,
                    AVStream& stream, AVPacket& packet, std::mutex* outputLock) {
    int result = avcodec_send_frame(&encoder, frame);
    if (result == AVERROR_EOF && frame == nullptr)
        return true;  // drained before
    if (result < 0)
        return false;
    for (;;) {
        result = avcodec_receive_packet(&encoder, &packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return true;
        if (result < 0)
            return false;
        // An empty packet may still carry side data, such as the final FLAC stream header.
        if (packet.size <= 0 && packet.side_data_elems == 0) {
            av_packet_unref(&packet);
            continue;
        }
        if (packet.pts == AV_NOPTS_VALUE && frame != nullptr &&
            !(encoder.codec->capabilities & AV_CODEC_CAP_DELAY))
            packet.pts = frame->pts;
        // Constant-rate video: every picture lasts one tick of the encoder time base.
        if (encoder.codec_type == AVMEDIA_TYPE_VIDEO && packet.duration <= 0)
            packet.duration = 1;
        av_packet_rescale_ts(&packet, encoder.time_base, stream.time_base);
        packet.stream_index = stream.index;
        std::unique_lock<std::mutex> writing;
        if (outputLock != nullptr)
            writing = std::unique_lock<std::mutex>(*outputLock);
        result = av_interleaved_write_frame(&output, &packet);
        writing = {};
        av_packet_unref(&packet);
        if (result < 0)
            return false;
    }
}

}  // namespace MediaBased
