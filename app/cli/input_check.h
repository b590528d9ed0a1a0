// Why a file named on the command line cannot be converted, before the engine is asked.
#pragma once

#include <QByteArray>
#include <QString>

// "no such file", "is a folder", "cannot be read (permission denied)", ...; empty when the
// file can be opened for reading. nativePath is the name as the file system's bytes.
QString unreadableReason(const QByteArray& nativePath);

// Said of a file the engine could not open as media.
QString notMediaReason();
