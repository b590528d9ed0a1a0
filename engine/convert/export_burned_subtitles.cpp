#include "convert/export_burned_subtitles.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "convert/export_burned_pictures.h"
#include "filters/image_converter.h"
#include "system/ffmpeg_handles.h"
#include "system/module_logger.h"

namespace MediaBased {
namespace {

std::string Escaped(const std::string& value, const char* special) {
    std::string escaped;
    for (char c : value) {
        if (std::strchr(special, c) != nullptr || c == ' ' || c == '\t' || c == '\n')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

[[noreturn]] void CannotBurn(const std::string& reason, int containerIndex, const std::string& path) {
    const std::string message = "subtitle error: cannot burn stream " + std::to_string(containerIndex) +
                                " of " + path + ": " + reason;
    SystemBased::ReportError(message.c_str(), "380");
}

}  // namespace

std::string EscapedFilterArgument(const std::string& value) {
    // Inner level: the filter's own option list ends a value at ':'. Outer level: the graph
    // description ends a filter's arguments at '[', ']', ',' and ';'. Both read quotes and
    // backslashes, and trim unescaped white space at the ends.
    return Escaped(Escaped(value, "\\':="), "\\'[],;");
}

namespace {

// The source opened and probed, as the subtitles filter opens it, with containerIndex checked.
SystemBased::InputFormatContextPtr OpenSource(const std::string& sourcePath, int containerIndex) {
    if (sourcePath.empty())
        CannotBurn("the source file is not known", containerIndex, sourcePath);
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, sourcePath.c_str(), nullptr, nullptr) < 0)
        CannotBurn("the file cannot be read", containerIndex, sourcePath);
    SystemBased::InputFormatContextPtr container(opened);
    if (avformat_find_stream_info(container.get(), nullptr) < 0)
        CannotBurn("the file cannot be read", containerIndex, sourcePath);
    if (containerIndex < 0 || static_cast<unsigned>(containerIndex) >= container->nb_streams)
        CannotBurn("there is no such stream", containerIndex, sourcePath);
    return container;
}

bool IsTextSubtitle(const AVCodecParameters& stream) {
    const AVCodecDescriptor* codec = avcodec_descriptor_get(stream.codec_id);
    return stream.codec_type == AVMEDIA_TYPE_SUBTITLE && codec != nullptr &&
           (codec->props & AV_CODEC_PROP_TEXT_SUB);
}

std::string TextFilterFor(const AVFormatContext& container, const std::string& sourcePath,
                          int containerIndex) {
    // The filter opens the file on its own and counts subtitle streams only; reading the
    // streams as it does keeps the two counts in step.
    int subtitleIndex = 0;
    for (int i = 0; i < containerIndex; ++i)
        if (container.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE)
            ++subtitleIndex;
    return "subtitles=filename=" + EscapedFilterArgument(sourcePath) + ":si=" + std::to_string(subtitleIndex);
}

}  // namespace

void BurnSubtitlesInto(Owned<IImageConverter>& converter, const std::string& sourcePath,
                       int containerIndex, int64_t timeOffset) {
    SystemBased::InputFormatContextPtr container = OpenSource(sourcePath, containerIndex);
    const AVCodecParameters& chosen = *container->streams[containerIndex]->codecpar;
    if (chosen.codec_type == AVMEDIA_TYPE_SUBTITLE && IsPictureSubtitle(chosen.codec_id)) {
        std::unique_ptr<PictureSubtitleTrack> track;
        try {
            track = std::make_unique<PictureSubtitleTrack>(std::move(container), containerIndex);
        } catch (const PictureSubtitleError& error) {
            CannotBurn(error.what(), containerIndex, sourcePath);
        }
        if (converter == nullptr)
            CannotBurn("the image converter cannot draw", containerIndex, sourcePath);
        converter.reset(new CBurnedPictureConverter(std::move(converter), std::move(track), timeOffset));
        return;
    }
    if (!IsTextSubtitle(chosen))
        CannotBurn("it is not a subtitle track", containerIndex, sourcePath);
    const std::string filter = TextFilterFor(*container, sourcePath, containerIndex);
    container.reset();
    auto* drawing = dynamic_cast<CImageConverter*>(converter.get());
    std::string error = "the image converter cannot draw";
    if (drawing == nullptr || !drawing->SetOverlay(filter, timeOffset, &error))
        CannotBurn(error, containerIndex, sourcePath);
}

}  // namespace MediaBased
