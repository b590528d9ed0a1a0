// The message boxes that answer an update check.
#pragma once

#include <QString>

#include "CheckUpdate.h"

class DialogSeam;

// Shows the box for one updateCallback result: an error, the offer of a newer version (which
// opens url when taken), or the latest-version note. Returns which of them it was.
UpdateResultKind showUpdateResult(DialogSeam& seam, const QString& lastVersion, const QString& url,
                                  const QString& error);

// Answers one updateCallback. The user's own check is shown whatever its result; an automatic
// one only offers a newer version, and its failure is logged rather than shown. Returns the
// kind of result, shown or not.
UpdateResultKind answerUpdateCheck(DialogSeam& seam, const QString& lastVersion, const QString& url,
                                   const QString& error, bool automatic);
