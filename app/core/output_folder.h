// The output folder a run writes into: made and proven writable before any task starts, so a
// bad choice is reported at once instead of as one failure per file.
#pragma once

#include <QString>

// Creates folder when missing and checks that a file can be created in it. On failure,
// reason (when given) says why in the user's words.
bool prepareOutputFolder(const QString& folder, QString* reason);
