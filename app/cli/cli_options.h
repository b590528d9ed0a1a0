// Command-line options of corvane-cli.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

struct CliOptions {
    std::optional<int> profileId;
    QString outputFolder;       // empty: the program's output folder
    std::optional<int> parallel;
    std::optional<int> audioTrack;  // 1-based among a file's audio tracks; empty: the default one
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
