// Unique output paths for one conversion run: never an existing file, never one already
// given out in the run.
#pragma once

#include <QString>
#include <QStringList>

class OutputNamer {
public:
    explicit OutputNamer(const QString& folder);

    // folder + base + ext, or base(1), base(2), ... when that is taken.
    QString makeTargetPath(const QString& base, const QString& ext);

private:
    QStringList given_;
    QString folder_;
};
