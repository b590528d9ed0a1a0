#include "output_namer.h"

#include <QFile>

#include "folder_path.h"

OutputNamer::OutputNamer(const QString& folder)
    : folder_(withTrailingSeparator(folder)) {}

QString OutputNamer::makeTargetPath(const QString& base, const QString& ext) {
    for (int n = 0;; ++n) {
        const QString candidate = n == 0 ? folder_ + base + ext
                                         : folder_ + base + '(' + QString::number(n) + ')' + ext;
        if (!given_.contains(candidate) && !QFile::exists(candidate)) {
            given_.append(candidate);
            return candidate;
        }
    }
}
