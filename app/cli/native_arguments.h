// Command-line arguments as text for the option parser, without losing the bytes of file
// names that are not UTF-8 (a Latin-1 name from an old disk): Qt's decoding replaces each such
// byte with U+FFFD, after which the file cannot be found again. Here each such byte becomes
// a lone surrogate U+DC80..U+DCFF instead, which nothing else produces, and turns back into
// the same byte.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

QString decodeArgument(const QByteArray& bytes);
QStringList decodeArguments(int argc, const char* const* argv);
// The exact bytes decodeArgument was given.
QByteArray argumentBytes(const QString& argument);
// For showing and for JSON: every kept byte reads as U+FFFD.
QString shownArgument(const QString& argument);
