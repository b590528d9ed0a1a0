#include "cli_options.h"

#include <QCommandLineParser>

#include "codec_tables.h"
#include "output_setting.h"
#include "rate_control.h"

namespace {

const char kDescription[] =
    "Converts Matroska files (.mkv, .mka) with a profile of the Corvane catalogue.\n"
    "\n"
    "Without --profile the profile last chosen in Corvane is used, with its adjusted values.\n"
    "Outputs go to --output, or to Corvane's output folder; existing files are never\n"
    "overwritten (name(1).ext, name(2).ext, ... are used instead).\n"
    "Every audio and subtitle track the output can hold is kept, in the file's order; streams\n"
    "that already fit the profile are copied, the others encoded (--plan shows which and why).\n"
    "A container that plays one audio track (AVI, FLV, 3GP) keeps the one the file marks as\n"
    "default.\n"
    "Progress is shown on standard error, with the reason beside a file that failed or was\n"
    "skipped.\n"
    "\n"
    "Exit status: 0 every file finished, 1 a file failed or was skipped, 2 usage error,\n"
    "3 the engine or the profile catalogue could not be loaded, or the output folder cannot\n"
    "be written, 130 interrupted.\n"
    "\n"
    "--json prints {\"outputs\":[{\"source\":...,\"target\":...,\n"
    "\"state\":\"finished|failed|skipped|stopped\",\"reason\":...,\"seconds\":...}]} on\n"
    "standard output at the end. \"target\" is the output's name (for a failed file the\n"
    "name it would have had) and is left out for skipped and stopped files; \"reason\" is\n"
    "left out when there is nothing to explain.\n"
    "\n"
    "--list-tracks prints one line per track:\n"
    "number<TAB>kind<TAB>codec<TAB>channels or WxH<TAB>language<TAB>title<TAB>default\n"
    "with video, audio and subtitle tracks numbered from 1 each, as --audio, --subtitles and\n"
    "--burn count them.\n"
    "\n"
    "--quality sets a constant quality instead of the profile's bit rate, on the video\n"
    "encoder's own scale: lower is a better picture and a larger file (H.264 and HEVC 0-51,\n"
    "VP9 0-63, AV1 1-63). --speed trades encoding time for file size.\n"
    "\n"
    "--plan prints {\"plans\":[{\"source\":...,\"summary\":...,\"streams\":[{\"index\":...,\"kind\":...,\n"
    "\"codec\":...,\"action\":\"copy|encode|convert|burn|drop\",\"target\":...,\"reason\":...,\n"
    "\"language\":...,\"title\":...,\"default\":...,\"forced\":...}],\"chapters\":...,\n"
    "\"attachments\":...}]} and converts nothing.";

std::optional<int> PositiveInteger(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value > 0 ? std::optional<int>(value) : std::nullopt;
}

// "all", "none" (when allowed) or "2,1,3"; empty on anything else.
std::optional<TrackChoice> ParseTracks(const QString& text, bool noneAllowed) {
    TrackChoice choice;
    if (text == QLatin1String("all")) {
        choice.mode = TrackChoice::Mode::All;
        return choice;
    }
    if (noneAllowed && text == QLatin1String("none")) {
        choice.mode = TrackChoice::Mode::None;
        return choice;
    }
    choice.mode = TrackChoice::Mode::Numbers;
    for (const QString& part : text.split(',')) {
        const std::optional<int> number = PositiveInteger(part.trimmed());
        if (!number)
            return std::nullopt;
        if (!choice.numbers.contains(*number))
            choice.numbers.append(*number);
    }
    return choice;
}

}  // namespace

CliParseResult parseCliOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption help({"h", "help"}, "Show this help.");
    const QCommandLineOption profile("profile", "Convert with the catalogue profile <id>.", "id");
    const QCommandLineOption output("output", "Write the outputs into <dir>.", "dir");
    const QCommandLineOption parallel("parallel", "Convert up to <n> files at once.", "n");
    const QCommandLineOption list("list-profiles", "Print id<TAB>category<TAB>name of every profile.");
    const QCommandLineOption json("json", "Print the results as one JSON object on standard output.");
    const QCommandLineOption audio("audio", "Keep these audio tracks: all, or numbers such as 2,1.", "tracks");
    const QCommandLineOption subtitles("subtitles", "Keep these subtitle tracks: all, none, or numbers.",
                                       "tracks");
    const QCommandLineOption burn("burn",
                                  "Burn subtitle track <n> into the picture; none: not even a forced track "
                                  "the profile would burn.",
                                  "n");
    const QCommandLineOption plan("plan", "Print what would be copied, encoded or dropped, as JSON.");
    const QCommandLineOption noCopy("no-copy", "Encode every stream, even those that already fit the profile.");
    const QCommandLineOption tracks("list-tracks", "Print the tracks of <file> and exit.", "file");
    const QCommandLineOption quality("quality", "Encode video to constant quality <n> (lower: better, larger).",
                                     "n");
    const QCommandLineOption rateControl("rate-control", "Encode video to a constant quality or the bit rate.",
                                         "quality|bitrate");
    const QCommandLineOption speed("speed", "Encoding speed: fastest, fast, balanced, slow or slowest.",
                                   "speed");
    parser.addOptions({help, profile, output, parallel, list, json, audio, subtitles, burn, plan, noCopy, tracks, quality,
                       rateControl, speed});
    parser.addPositionalArgument("FILE", "Matroska files to convert.", "FILE...");

    CliParseResult result;
    if (!parser.parse(arguments)) {
        result.message = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.helpRequested = true;
        result.message = parser.helpText();
        return result;
    }
    CliOptions options;
    if (parser.isSet(profile)) {
        options.profileId = PositiveInteger(parser.value(profile));
        if (!options.profileId) {
            result.message = "--profile needs a profile id (see --list-profiles)";
            return result;
        }
    }
    if (parser.isSet(parallel)) {
        options.parallel = PositiveInteger(parser.value(parallel));
        if (!options.parallel) {
            result.message = "--parallel needs a number of at least 1";
            return result;
        }
    }
    if (parser.isSet(audio)) {
        const std::optional<TrackChoice> tracks = ParseTracks(parser.value(audio), false);
        if (!tracks) {
            result.message = "--audio needs all, or track numbers of at least 1 such as 2,1 (see --list-tracks)";
            return result;
        }
        options.audio = *tracks;
    }
    if (parser.isSet(subtitles)) {
        const std::optional<TrackChoice> tracks = ParseTracks(parser.value(subtitles), true);
        if (!tracks) {
            result.message = "--subtitles needs all, none, or track numbers such as 1,2 (see --list-tracks)";
            return result;
        }
        options.subtitles = *tracks;
    }
    if (parser.isSet(burn) && parser.value(burn) == QLatin1String("none")) {
        options.burnNothing = true;
    } else if (parser.isSet(burn)) {
        options.burn = PositiveInteger(parser.value(burn));
        if (!options.burn) {
            result.message = "--burn needs none or a subtitle track number of at least 1 (see --list-tracks)";
            return result;
        }
    }
    if (parser.isSet(quality)) {
        bool isNumber = false;
        const int value = parser.value(quality).toInt(&isNumber);
        if (!isNumber || value < 0) {
            result.message = "--quality needs a number of at least 0 (lower: better picture, larger file)";
            return result;
        }
        options.quality = value;
    }
    if (parser.isSet(rateControl)) {
        options.rateControl = parser.value(rateControl);
        if (options.rateControl != kRateControlQuality && options.rateControl != kRateControlBitrate) {
            result.message = "--rate-control needs quality or bitrate";
            return result;
        }
        if (options.quality && options.rateControl == kRateControlBitrate) {
            result.message = "--quality sets a constant quality and cannot go with --rate-control bitrate";
            return result;
        }
    }
    if (parser.isSet(speed)) {
        options.speed = parser.value(speed);
        if (!speedNames().contains(options.speed)) {
            result.message = "--speed needs " + speedNames().join(", ");
            return result;
        }
    }
    options.plan = parser.isSet(plan);
    options.noCopy = parser.isSet(noCopy);
    options.outputFolder = parser.value(output);
    options.listProfiles = parser.isSet(list);
    options.listTracksOf = parser.value(tracks);
    options.json = parser.isSet(json);
    options.files = parser.positionalArguments();
    if (parser.isSet(tracks) && options.listTracksOf.isEmpty()) {
        result.message = "--list-tracks needs a file";
        return result;
    }
    if (!options.listTracksOf.isEmpty() && !options.files.isEmpty()) {
        result.message = "--list-tracks takes one file and converts nothing";
        return result;
    }
    if (options.files.isEmpty() && !options.listProfiles && options.listTracksOf.isEmpty()) {
        result.message = "no input files given (try --help)";
        return result;
    }
    result.options = options;
    return result;
}

QString applyRateOptions(const CliOptions& options, OutputSetting& setting) {
    const char* given = options.quality ? "--quality"
                        : !options.rateControl.isEmpty() ? "--rate-control"
                        : !options.speed.isEmpty() ? "--speed"
                                                    : nullptr;
    if (given == nullptr)
        return {};
    if (setting.videoCodec.isEmpty())
        return QStringLiteral("%1: the profile has no video").arg(QLatin1String(given));
    const std::optional<QualityScale> scale = qualityScaleOf(setting.videoCodec);
    const QString codec = codecInfo(setting.videoCodec).display;
    // A bit rate is what such a codec does anyway; anything else it cannot do.
    if (!scale) {
        if (options.quality || options.rateControl == kRateControlQuality || !options.speed.isEmpty())
            return QStringLiteral("%1: the profile's %2 encodes to a bit rate only, without speed choices")
                .arg(QLatin1String(given), codec);
        return {};
    }
    if (options.quality && !scale->contains(*options.quality))
        return QStringLiteral("--quality %1: %2 takes %3 to %4")
            .arg(*options.quality)
            .arg(codec)
            .arg(scale->lowest)
            .arg(scale->highest);

    const bool wasQuality = setting.rateControl == kRateControlQuality;
    if (options.quality) {
        setting.rateControl = kRateControlQuality;
        setting.quality = *options.quality;
    } else if (!options.rateControl.isEmpty()) {
        setting.rateControl = options.rateControl;
        // A profile that never chose a quality has none to switch to: the encoder's usual one.
        if (setting.rateControl == kRateControlQuality)
            setting.quality = wasQuality || setting.quality > 0 ? scale->clamp(setting.quality) : scale->usual;
    }
    if (!options.speed.isEmpty())
        setting.speed = options.speed;
    return {};
}
