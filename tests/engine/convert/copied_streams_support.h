// Tasks that copy source streams, described as a client describes them: the selection passes
// the stream through, the target record is the source's with encode 0, and the stream's
// "codec_parameters" property goes with it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "process_helpers.h"
#include "vantrel/vantrel.h"

namespace copied {

using namespace MediaBased;

// The source properties a copied stream takes along: its codec's description, its tags and,
// for an attached file, its name and type.
inline const std::vector<const char*> kCopiedProperties = {"codec_parameters", "language", "title",
                                                          "default",          "forced",   "attachment",
                                                          "filename",         "mimetype"};
inline const std::vector<const char*> kTrackTags = {"language", "title", "default", "forced"};

// One target stream: a source stream copied (its own record with encode 0), converted (passed
// through and encoded by the exporter: subtitles), or encoded from decoded frames.
struct Target {
    int sourceIndex;
    bool passThrough;
    bool copied;
    StreamRecord record;  // converted and encoded streams
    std::vector<const char*> properties;  // taken from the source stream
    bool subtitle = false;  // a copied subtitle: the importer cannot tell it from data
};

inline Target Copy(int sourceIndex) {
    return Target{sourceIndex, true, true, StreamRecord{}, kCopiedProperties};
}

inline Target CopySubtitle(int sourceIndex) {
    Target target = Copy(sourceIndex);
    target.subtitle = true;
    return target;
}

// tagged: the source's tags go with the encoded stream.
inline Target Encode(int sourceIndex, const StreamRecord& record, bool tagged = false) {
    return Target{sourceIndex, false, false, record, tagged ? kTrackTags : std::vector<const char*>{}};
}

// Subtitles converted to codec, which must outlive the task's making.
inline Target Convert(int sourceIndex, const char* codec) {
    StreamRecord record{};
    record.kind = StreamKindSubtitle;
    record.codecName = const_cast<char*>(codec);
    record.encode = 1;
    std::vector<const char*> properties = kTrackTags;
    properties.push_back("codec_parameters");
    return Target{sourceIndex, true, false, record, properties};
}

// A task configuration over source for the targets, or null when the source cannot be probed.
inline Owned<IMediaTaskConfig> MakeTask(IMediaManager& manager, const std::string& source,
                                        const std::string& target, const char* format,
                                        const std::vector<Target>& targets) {
    Owned<IMediaImporter> importer(manager.OpenImporter(source.c_str()));
    IMediaInfo* probed = importer ? importer->GetMediaInfo(0) : nullptr;
    if (probed == nullptr)
        return nullptr;
    Owned<IMediaTaskConfig> config(manager.CreateTaskConfig());
    Owned<IMediaInfo> info(manager.CreateMediaInfo());
    info->SetFormatName(format);
    for (const Target& t : targets) {
        IStreamInfo* from = probed->GetStreamInfo(static_cast<uint32_t>(t.sourceIndex));
        StreamRecord record = t.record;
        if (t.copied) {
            record = *probed->GetStreamRecord(t.sourceIndex);
            record.encode = 0;
            if (t.subtitle)
                record.kind = StreamKindSubtitle;
            EXPECT_NE(from->GetProperty("codec_parameters"), nullptr)
                << "the importer describes every stream's parameters";
        }
        info->AddStream(&record);
        IStreamInfo* to = info->GetStreamInfo(static_cast<uint32_t>(info->GetStreamCount() - 1));
        for (const char* name : t.properties)
            if (const PropertyBlob* blob = from->GetProperty(name))
                to->SetProperty(name, blob);
        const StreamSelection selection{t.sourceIndex, static_cast<uint8_t>(t.passThrough ? 1 : 0)};
        config->AddStreamSelection(&selection);
    }
    config->SetTargetInfo(info.get());
    config->SetSourcePath(source.c_str());
    config->SetTargetPath(target.c_str());
    return config;
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t from = 0;
    for (size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1)
        if (end > from)
            lines.push_back(text.substr(from, end - from));
    return lines;
}

// The packet hashes of one stream ("v", "a") as the ffmpeg tool copies them, in order.
inline std::vector<std::string> PacketHashes(const std::string& path, const char* stream) {
    const CommandResult r = RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -map 0:" +
                                       stream + " -c copy -f framemd5 -");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::vector<std::string> hashes;
    for (const std::string& line : Lines(r.output))
        if (line[0] != '#')
            hashes.push_back(line.substr(line.rfind(',') + 1));
    return hashes;
}

// The time one stream's packets cover, in seconds, from the earliest presentation to the end of
// the last packet.
struct Span {
    double start = 0;
    double end = 0;
    double length() const { return end - start; }
};

inline Span PacketSpan(const std::string& path, const char* stream) {
    const CommandResult r = RunCommand("ffprobe -v error -select_streams " + std::string(stream) +
                                       " -show_entries packet=pts_time,duration_time -of csv=p=0 " +
                                       ShellQuote(path));
    Span span{1e9, -1e9};
    for (const std::string& line : Lines(r.output)) {
        const size_t comma = line.find(',');
        if (comma == std::string::npos || line.compare(0, 3, "N/A") == 0)
            continue;
        const double pts = std::atof(line.c_str());
        const double duration = std::atof(line.c_str() + comma + 1);
        span.start = std::min(span.start, pts);
        span.end = std::max(span.end, pts + duration);
    }
    return span;
}

}  // namespace copied
