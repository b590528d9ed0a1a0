#include "track_choices.h"

#include "plan_inputs.h"
#include "source_file.h"

namespace {

// Stream indexes of the tracks of one kind, in the file's order.
QList<int> streamsOfKind(const QList<SourceStream>& streams, PlanKind kind) {
    QList<int> indexes;
    for (const SourceStream& stream : streams)
        if (stream.kind == kind)
            indexes.append(stream.index);
    return indexes;
}

QString trackCountText(int count, const char* kind) {
    if (count == 0)
        return QStringLiteral("has no %1 track").arg(QLatin1String(kind));
    if (count == 1)
        return QStringLiteral("has 1 %1 track").arg(QLatin1String(kind));
    return QStringLiteral("has %1 %2 tracks").arg(count).arg(QLatin1String(kind));
}

// The streams the numbers name; false with the problem when one names no track.
bool streamsOfNumbers(const QList<int>& numbers, const QList<int>& tracks, const char* option, const char* kind,
                      QList<int>* streams, QString* problem) {
    for (int number : numbers) {
        if (number > tracks.size()) {
            *problem = QStringLiteral("%1 %2: %3 (see --list-tracks)")
                           .arg(QLatin1String(option))
                           .arg(number)
                           .arg(trackCountText(static_cast<int>(tracks.size()), kind));
            return false;
        }
        streams->append(tracks.at(number - 1));
    }
    return true;
}

}  // namespace

bool applyTrackChoices(const CliOptions& options, SourceFile& source, QString* problem) {
    const QList<SourceStream> streams = sourceStreamsOf(source);
    const QList<int> audio = streamsOfKind(streams, PlanKind::Audio);
    const QList<int> subtitles = streamsOfKind(streams, PlanKind::Subtitle);
    PlanChoices choices;
    if (options.audio.mode == TrackChoice::Mode::Numbers &&
        !streamsOfNumbers(options.audio.numbers, audio, "--audio", "audio", &choices.audio, problem))
        return false;
    switch (options.subtitles.mode) {
    case TrackChoice::Mode::Default:
    case TrackChoice::Mode::All:
        choices.subtitles = PlanChoices::Subtitles::All;
        break;
    case TrackChoice::Mode::None:
        choices.subtitles = PlanChoices::Subtitles::None;
        break;
    case TrackChoice::Mode::Numbers:
        choices.subtitles = PlanChoices::Subtitles::Chosen;
        if (!streamsOfNumbers(options.subtitles.numbers, subtitles, "--subtitles", "subtitle",
                              &choices.chosenSubtitles, problem))
            return false;
        break;
    }
    if (options.burn) {
        QList<int> burned;
        if (!streamsOfNumbers({*options.burn}, subtitles, "--burn", "subtitle", &burned, problem))
            return false;
        choices.burn = burned.first();
    } else if (options.burnNothing) {
        choices.burn = PlanChoices::kBurnNothing;
    }
    source.setPlanChoices(choices);
    // The first chosen track leads; without a choice, the one the file marks as default.
    if (!choices.audio.isEmpty())
        source.setAudioStream(choices.audio.first());
    return true;
}
