#include "track_listing.h"

#include "source_file.h"
#include "track_labels.h"
#include "vantrel/records.h"

using namespace MediaBased;

namespace {

// A tab or a line break inside a tag would break the line into more fields or lines.
QString oneField(QString text) {
    for (QChar& c : text)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    return text;
}

}  // namespace

QStringList trackListing(const SourceFile& source) {
    QStringList lines;
    IMediaInfo* info = source.mediaInfo();
    int videoNumber = 0;
    int audioNumber = 0;
    for (int i = 0; info != nullptr && i < info->GetStreamCount(); ++i) {
        const StreamRecord* record = info->GetStreamRecord(i);
        QString kind, shape;
        int number = 0;
        if (record->kind == StreamKindVideo) {
            kind = QStringLiteral("video");
            number = ++videoNumber;
            shape = QStringLiteral("%1x%2").arg(record->width).arg(record->height);
        } else if (record->kind == StreamKindAudio) {
            kind = QStringLiteral("audio");
            number = ++audioNumber;
            shape = QString::number(record->channels);
        } else {
            continue;
        }
        const TrackTags tags = trackTags(source, i);
        lines << QStringList{QString::number(number),
                             kind,
                             QString::fromUtf8(record->codecName ? record->codecName : ""),
                             shape,
                             oneField(tags.language),
                             oneField(tags.title),
                             tags.isDefault ? QStringLiteral("default") : QString()}
                     .join(QLatin1Char('\t'));
    }
    return lines;
}
