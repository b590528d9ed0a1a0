// Command-line options of corvane-cli.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

struct OutputSetting;

// Tracks of one kind, as --audio and --subtitles name them: by number (1 is the first of
// that kind), all of them, none, or left to the plan (every track the target holds).
struct TrackChoice {
    enum class Mode { Default, All, None, Numbers };
    Mode mode = Mode::Default;
    QList<int> numbers;  // in the order given, without repeats
};

struct CliOptions {
    std::optional<int> profileId;
    QString outputFolder;       // empty: the program's output folder
    std::optional<int> parallel;
    TrackChoice audio;
    TrackChoice subtitles;
    std::optional<int> burn;  // the subtitle track burned into the picture
    bool burnNothing = false; // --burn none: not even the forced track a profile would burn
    // Over the profile's own for this run: --quality N (a constant quality on the video
    // encoder's CRF scale), --rate-control quality|bitrate, --speed fastest ... slowest.
    std::optional<int> quality;
    QString rateControl;  // empty: the profile's, or quality with --quality
    QString speed;        // empty: the profile's
    bool plan = false;        // print the plans as JSON and convert nothing
    bool noCopy = false;      // encode every stream, even those that already fit
    QString listTracksOf;           // --list-tracks FILE
    bool listProfiles = false;
    bool json = false;
    // Files as decodeArgument gave them: argumentBytes() turns them back into the names' bytes.
    QStringList files;
};

struct CliParseResult {
    std::optional<CliOptions> options;  // empty on a usage error or after --help
    QString message;                    // usage error or help text
    bool helpRequested = false;
};

// arguments as decodeArguments() makes them from argv, the program's name first.
CliParseResult parseCliOptions(const QStringList& arguments);

// Puts the rate options into setting; the reason, when its video codec cannot take them
// (no video, a bit rate only, a quality outside its scale). Empty when they were applied.
QString applyRateOptions(const CliOptions& options, OutputSetting& setting);
