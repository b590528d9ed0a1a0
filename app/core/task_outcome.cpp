#include "task_outcome.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>

#include "vantrel/records.h"

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("TaskOutcome", text);
}

// Encoder names as a user knows the formats.
QString formatNameOfEncoder(const QString& encoder) {
    static const struct {
        const char* encoder;
        const char* format;
    } kNames[] = {{"mp2", "MP2"},         {"mp2fixed", "MP2"},       {"libmp3lame", "MP3"},
                  {"aac", "AAC"},         {"ac3", "AC3"},            {"ac3_fixed", "AC3"},
                  {"eac3", "E-AC3"},      {"libvorbis", "Vorbis"},   {"vorbis", "Vorbis"},
                  {"libopus", "Opus"},    {"opus", "Opus"},          {"flac", "FLAC"},
                  {"wmav1", "WMA"},       {"wmav2", "WMA"},          {"libx264", "H.264"},
                  {"libx265", "H.265"},   {"mpeg4", "MPEG-4"},       {"libxvid", "Xvid"},
                  {"msmpeg4", "MS MPEG-4"}, {"msmpeg4v2", "MS MPEG-4"}, {"wmv1", "WMV"},
                  {"wmv2", "WMV"},        {"flv", "Flash Video"},    {"h263", "H.263"},
                  {"mpeg1video", "MPEG-1"}, {"mpeg2video", "MPEG-2"}, {"libvpx", "VP8"},
                  {"libvpx-vp9", "VP9"},  {"libtheora", "Theora"},   {"libaom-av1", "AV1"}};
    for (const auto& entry : kNames)
        if (encoder == QLatin1String(entry.encoder))
            return QString::fromLatin1(entry.format);
    if (encoder.startsWith(QLatin1String("pcm_")))
        return QStringLiteral("PCM");
    if (encoder.startsWith(QLatin1String("adpcm_")))
        return QStringLiteral("ADPCM");
    return encoder.toUpper();
}

// "<path>" at the end of an engine line, cut at the first ": " after the prefix.
QString afterPrefix(const QString& line, const QString& prefix) {
    return line.mid(prefix.size()).trimmed();
}

// The reason one engine line gives, or empty when it names none.
QString reasonOfLine(const QString& line) {
    static const QRegularExpression refused(
        QStringLiteral("^(?:video|audio) encoder error: (\\S+) refused (.*?)(?: \\((.*)\\))?$"));
    if (const QRegularExpressionMatch match = refused.match(line); match.hasMatch())
        return tr("the encoder refused %1 for %2")
            .arg(match.captured(2), formatNameOfEncoder(match.captured(1)));

    static const struct {
        const char* prefix;
        const char* reason;
    } kReasons[] = {
        {"output error: folder not writable:", QT_TRANSLATE_NOOP("TaskOutcome", "output folder not writable")},
        {"output error: folder missing:", QT_TRANSLATE_NOOP("TaskOutcome", "output folder missing")},
        {"output error: disk full:", QT_TRANSLATE_NOOP("TaskOutcome", "disk full")},
        {"source error: cannot open", QT_TRANSLATE_NOOP("TaskOutcome", "cannot read the source")},
        {"source error: cannot decode", QT_TRANSLATE_NOOP("TaskOutcome", "cannot decode the source")},
        {"source error: reading failed", QT_TRANSLATE_NOOP("TaskOutcome", "the source is damaged: reading it failed")},
        {"source error: nothing to convert", QT_TRANSLATE_NOOP("TaskOutcome", "the source has no pictures or sound to convert")},
        {"video conversion error", QT_TRANSLATE_NOOP("TaskOutcome", "the pictures cannot be converted for the encoder")},
        {"audio conversion error", QT_TRANSLATE_NOOP("TaskOutcome", "the sound cannot be converted for the encoder")},
        {"worker thread error", QT_TRANSLATE_NOOP("TaskOutcome", "the system could not start another conversion")},
        {"video encoding error", QT_TRANSLATE_NOOP("TaskOutcome", "the video encoder failed partway through")},
        {"audio encoding error", QT_TRANSLATE_NOOP("TaskOutcome", "the audio encoder failed partway through")},
    };
    for (const auto& entry : kReasons)
        if (line.startsWith(QLatin1String(entry.prefix)))
            return tr(entry.reason);

    static const QString cannotWrite = QStringLiteral("output error: cannot write ");
    if (line.startsWith(cannotWrite)) {
        static const QRegularExpression cause(QStringLiteral("\\(([^()]*)\\)$"));
        const QRegularExpressionMatch match = cause.match(line);
        return match.hasMatch() ? tr("cannot write the output: %1").arg(match.captured(1))
                                : tr("cannot write the output");
    }
    static const QString noMuxer = QStringLiteral("output format error: no muxer named ");
    if (line.startsWith(noMuxer))
        return tr("this program cannot write %1 files").arg(afterPrefix(line, noMuxer));
    static const QString header = QStringLiteral("output header error: ");
    if (line.startsWith(header))
        return tr("the output file cannot be started: %1").arg(afterPrefix(line, header));
    return {};
}

// Drops the " (location)" the engine appends to each line.
QString withoutLocation(const QString& line) {
    static const QRegularExpression location(QStringLiteral(" \\(\\d+\\)$"));
    QString text = line;
    text.remove(location);
    return text;
}

QString earlyEndOf(const QString& taskLog) {
    static const QRegularExpression early(
        QStringLiteral("^source ended early at ([0-9:.]+) of ([0-9:.]+):"), QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = early.match(taskLog);
    return match.hasMatch() ? tr("source ended early at %1 of %2").arg(match.captured(1), match.captured(2))
                            : QString();
}

}  // namespace

QString failureReason(const QString& taskLog) {
    // The first line that names a cause is the cause; later ones are its consequences.
    const QStringList lines = taskLog.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : lines)
        if (const QString reason = reasonOfLine(withoutLocation(line)); !reason.isEmpty())
            return reason;
    return tr("the conversion failed (see the details)");
}

TaskOutcome taskOutcome(int engineState, const QString& taskLog, bool stopRequested) {
    TaskOutcome outcome;
    switch (engineState) {
        case MediaBased::TaskFinished:
            outcome.reason = earlyEndOf(taskLog);
            outcome.kind = outcome.reason.isEmpty() ? OutcomeKind::Finished : OutcomeKind::FinishedEarly;
            return outcome;
        case MediaBased::TaskFailed:
            // A task the user stopped ends as failed in the engine, with nothing wrong to report.
            if (stopRequested) {
                outcome.kind = OutcomeKind::Stopped;
                return outcome;
            }
            outcome.kind = OutcomeKind::Failed;
            outcome.reason = failureReason(taskLog);
            return outcome;
        default:
            outcome.kind = stopRequested ? OutcomeKind::Stopped : OutcomeKind::Pending;
            return outcome;
    }
}

QString outcomeSummary(int finished, int failed, int stopped) {
    QStringList parts;
    if (finished > 0)
        parts << tr("%1 finished").arg(finished);
    if (failed > 0)
        parts << tr("%1 failed").arg(failed);
    if (stopped > 0)
        parts << tr("%1 stopped").arg(stopped);
    return parts.join(QStringLiteral(", "));
}
