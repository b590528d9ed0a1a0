#include "cli_progress.h"

#include <cstdio>

namespace {

QString Line(const FileProgress& file) {
    if (file.state == QLatin1String("running"))
        return QStringLiteral("%1  %2%").arg(file.name).arg(file.percent, 3);
    if (file.reason.isEmpty())
        return QStringLiteral("%1  %2").arg(file.name, file.state);
    return QStringLiteral("%1  %2: %3").arg(file.name, file.state, file.reason);
}

}  // namespace

void CliProgress::show(const std::vector<FileProgress>& files) {
    if (terminal_) {
        if (linesDrawn_ > 0)
            std::fprintf(stderr, "\033[%dA", linesDrawn_);  // back to the first line
        for (const FileProgress& file : files)
            std::fprintf(stderr, "\r\033[2K%s\n", qPrintable(Line(file)));
        linesDrawn_ = static_cast<int>(files.size());
    } else {
        for (size_t i = 0; i < files.size(); ++i) {
            const bool changed = i >= last_.size() || last_[i].state != files[i].state ||
                                 last_[i].reason != files[i].reason ||
                                 last_[i].percent / 10 != files[i].percent / 10;
            if (changed && files[i].state != QLatin1String("waiting"))
                std::fprintf(stderr, "%s\n", qPrintable(Line(files[i])));
        }
    }
    std::fflush(stderr);
    last_ = files;
}
