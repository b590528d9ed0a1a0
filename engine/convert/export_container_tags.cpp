#include "convert/export_container_tags.h"

#include <algorithm>
#include <new>

extern "C" {
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
}

namespace MediaBased {
namespace {

void AddChapter(const ChapterTag& tag, int64_t startTimeUs, AVFormatContext& output) {
    const AVRational timeBase{tag.timeBaseNum, tag.timeBaseDen};
    if (timeBase.num <= 0 || timeBase.den <= 0)
        return;
    // Grown first, so that a chapter made is always one the context owns and frees.
    auto* grown = static_cast<AVChapter**>(
        av_realloc_array(output.chapters, output.nb_chapters + 1, sizeof(AVChapter*)));
    if (grown == nullptr)
        throw std::bad_alloc();
    output.chapters = grown;
    auto* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
    if (chapter == nullptr)
        throw std::bad_alloc();
    output.chapters[output.nb_chapters++] = chapter;
    const int64_t offset = av_rescale_q(startTimeUs, AV_TIME_BASE_Q, timeBase);
    chapter->id = tag.id;
    chapter->time_base = timeBase;
    chapter->start = std::max<int64_t>(tag.start - offset, 0);
    chapter->end = std::max(tag.end - offset, chapter->start);
    if (!tag.title.empty() && av_dict_set(&chapter->metadata, "title", tag.title.c_str(), 0) < 0)
        throw std::bad_alloc();
}

}  // namespace

void ApplyContainerTags(const ContainerTags& tags, AVFormatContext& output) {
    if (!tags.title.empty() && av_dict_set(&output.metadata, "title", tags.title.c_str(), 0) < 0)
        throw std::bad_alloc();
    for (const ChapterTag& tag : tags.chapters)
        AddChapter(tag, tags.startTimeUs, output);
}

}  // namespace MediaBased
