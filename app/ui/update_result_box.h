// The message boxes that answer an update check.
#pragma once

#include <QString>

#include "CheckUpdate.h"

class DialogSeam;

// Shows the box for one updateCallback result: an error, the offer of a newer version (which
// opens url when taken), or the latest-version note. Returns which of them it was.
UpdateResultKind showUpdateResult(DialogSeam& seam, const QString& lastVersion, const QString& url,
                                  const QString& error);
