#include "track_listing.h"

#include "plan_inputs.h"
#include "source_file.h"

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
    int videoNumber = 0;
    int audioNumber = 0;
    int subtitleNumber = 0;
    for (const SourceStream& stream : sourceStreamsOf(source)) {
        QString kind, shape;
        int number = 0;
        switch (stream.kind) {
        case PlanKind::Video:
            kind = QStringLiteral("video");
            number = ++videoNumber;
            shape = QStringLiteral("%1x%2").arg(stream.width).arg(stream.height);
            break;
        case PlanKind::Audio:
            kind = QStringLiteral("audio");
            number = ++audioNumber;
            shape = QString::number(stream.channels);
            break;
        case PlanKind::Subtitle:
            kind = QStringLiteral("subtitle");
            number = ++subtitleNumber;
            break;
        default:
            continue;
        }
        QString flags = stream.isDefault ? QStringLiteral("default") : QString();
        if (stream.isForced)
            flags += flags.isEmpty() ? QStringLiteral("forced") : QStringLiteral(",forced");
        lines << QStringList{QString::number(number), kind, stream.codec, shape,
                             oneField(stream.language), oneField(stream.title), flags}
                     .join(QLatin1Char('\t'));
    }
    return lines;
}
