// Probing and decoding a whole file from arbitrary bytes, through the importer and a decoding
// source over every stream, as a conversion would read it.
#include <QByteArray>
#include <cstdint>
#include <vector>

#include "fuzz_temp_file.h"
#include "vantrel/owned.h"
#include "vantrel/vantrel.h"

using namespace MediaBased;

namespace {

// Bounds the work on inputs that claim huge or endless streams.
constexpr int kMaxReads = 3000;

IMediaManager* Manager() {
    static IMediaManager* manager = CreateMediaManager();
    return manager;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray path = WriteFuzzFile("input.mkv", data, size).toUtf8();
    Owned<IMediaImporter> importer(Manager()->CreateImporter(""));
    if (!importer || !importer->Open(path.constData()))
        return 0;
    for (uint32_t m = 0; m < static_cast<uint32_t>(importer->GetMediaCount()); ++m) {
        IMediaInfo* info = importer->GetMediaInfo(m);
        if (info == nullptr)
            continue;
        std::vector<StreamSelection> selections;
        for (int32_t s = 0; s < info->GetStreamCount(); ++s) {
            if (info->GetStreamRecord(s) != nullptr)
                selections.push_back({s, 0});
        }
        Owned<IMediaSource> source(
            importer->CreateSource(m, selections.data(), static_cast<int32_t>(selections.size())));
        if (!source)
            continue;
        (void)source->GetDuration();
        for (int reads = 0; reads < kMaxReads && !source->IsEndOfStream(); ++reads) {
            IMediaFrame* frame = nullptr;
            int32_t slot = -1;
            if (source->ReadFrame(&frame, &slot, nullptr) && frame != nullptr) {
                int64_t start = 0, end = 0;
                frame->GetTimes(&start, &end);
            }
        }
    }
    return 0;
}
