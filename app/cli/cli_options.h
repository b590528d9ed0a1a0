// Command-line options of corvane-cli.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

struct CliOptions {
    std::optional<int> profileId;
    QString outputFolder;       // empty: the program's output folder
    std::optional<int> parallel;
    bool listProfiles = false;
    bool json = false;
    QStringList files;
};

struct CliParseResult {
    std::optional<CliOptions> options;  // empty on a usage error or after --help
    QString message;                    // usage error or help text
    bool helpRequested = false;
};

CliParseResult parseCliOptions(const QStringList& arguments);
