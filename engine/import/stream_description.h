// How a probed container and its streams are described to the engine's clients.
#pragma once

#include <memory>
#include <vector>

#include "object/container_tags.h"
#include "object/media_info.h"
#include "system/ffmpeg_handles.h"

namespace MediaBased {

// The record of one stream. Its codecName points at FFmpeg's static text: copy the record
// (AddStream does) before keeping it.
StreamRecord DescribeStream(const AVFormatContext& container, const AVStream& stream);

// The stream's track tags as properties of info: "language" and "title" (UTF-8 text and its
// NUL, only when the tag is there), "default" and "forced" (one byte each, 1 when the flag is
// set), "profile" and "level" (int32, only when the codec parameters know them); a picture
// stream also "color_transfer" and "pixel_format" (FFmpeg's names, when known). An attached
// file also has "attachment" (one byte, 1) and, when its tags name them, "filename" and
// "mimetype" (text); its bytes travel in "codec_parameters".
void DescribeTrackTags(const AVStream& stream, IStreamInfo& info);

// The stream's codec parameters, time base and frame rate as the opaque property
// "codec_parameters" (system/codec_parameters_blob.h), which a client copies onto a target
// stream so that the exporter can write the stream's packets unchanged.
void DescribeCodecParameters(const AVStream& stream, IStreamInfo& info);

struct ContainerDescription {
    std::unique_ptr<CMediaInfo> info;  // made for the importer itself, not for a caller
    std::vector<int> containerIndexOf;  // container stream index of each listed stream
    ContainerTags tags;
};

// The container's title, chapters and start time.
ContainerTags DescribeContainerTags(const AVFormatContext& container);

// Every stream in container order, except an mp3 file's cover pictures.
ContainerDescription DescribeContainer(const AVFormatContext& container);

}  // namespace MediaBased
