#include "input_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

QString reasonOfError(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR: return QStringLiteral("no such file");
        case EACCES:
        case EPERM: return QStringLiteral("cannot be read (permission denied)");
        default:
            return QStringLiteral("cannot be read (%1)").arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

}  // namespace

QString unreadableReason(const QByteArray& nativePath) {
    if (nativePath.isEmpty())
        return QStringLiteral("no such file");
    struct stat status {};
    if (::stat(nativePath.constData(), &status) != 0)
        return reasonOfError(errno);
    if (S_ISDIR(status.st_mode))
        return QStringLiteral("is a folder");
    // Permission bits do not tell (ACLs, root, read-only mounts): only opening does.
    const int file = ::open(nativePath.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file < 0)
        return reasonOfError(errno);
    ::close(file);
    return {};
}

QString notMediaReason() {
    return QStringLiteral("not a media file the engine can open");
}
