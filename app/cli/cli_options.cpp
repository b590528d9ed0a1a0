#include "cli_options.h"

#include <QCommandLineParser>

namespace {

const char kDescription[] =
    "Converts Matroska files (.mkv, .mka) with a profile of the Corvane catalogue.\n"
    "\n"
    "Without --profile the profile last chosen in Corvane is used, with its adjusted values.\n"
    "Outputs go to --output, or to Corvane's output folder; existing files are never\n"
    "overwritten (name(1).ext, name(2).ext, ... are used instead).\n"
    "Without --audio the audio track the file marks as default is converted.\n"
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
    "with video and audio tracks numbered from 1 each, as --audio counts them.";

std::optional<int> PositiveInteger(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value > 0 ? std::optional<int>(value) : std::nullopt;
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
    const QCommandLineOption audio("audio", "Convert the <n>-th audio track (1 is the first).", "n");
    const QCommandLineOption tracks("list-tracks", "Print the tracks of <file> and exit.", "file");
    parser.addOptions({help, profile, output, parallel, list, json, audio, tracks});
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
        options.audioTrack = PositiveInteger(parser.value(audio));
        if (!options.audioTrack) {
            result.message = "--audio needs a track number of at least 1 (see --list-tracks)";
            return result;
        }
    }
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
