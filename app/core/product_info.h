// Facts about the product shown in the window, the about box and the update check.
#pragma once

#include <QString>

namespace ProductInfo {

inline const QString kName = QStringLiteral("Corvane");
inline const QString kVersion = QStringLiteral("1.0.1");
inline constexpr int kBuildNumber = 121;
inline const QString kCopyright = QStringLiteral("Copyright \u00A9 2026 The Corvane developers");
inline const QString kSupportMail = QStringLiteral("support@corvane.example.org");

// "1.0.1.121"
inline QString fullVersion() {
    return QStringLiteral("%1.%2").arg(kVersion).arg(kBuildNumber);
}

}  // namespace ProductInfo
