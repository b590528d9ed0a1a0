// Joining file names onto folder paths as the settings and dialogs spell them.
#pragma once

#include <QString>

// The folder with one separator at its end, whichever kind it already ends with.
inline QString withTrailingSeparator(const QString& folder) {
    return folder.endsWith('/') || folder.endsWith('\\') ? folder : folder + '/';
}
