#include "app_context.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "vantrel/vantrel.h"

AppContext& AppContext::instance() {
    static AppContext context;
    return context;
}

AppContext::AppContext()
    : settings_(std::make_unique<AppSettings>()),
      manager_(CreateMediaManager()),
      sourceList_(std::make_unique<SourceList>(manager_.get())) {}

bool AppContext::open(QString* error) {
    QString reason;
    if (manager_ == nullptr) {
        reason = QCoreApplication::translate("AppContext", "The media engine could not be started.");
    } else {
        const QString folder = shippedProfileFolder();
        if (!loadProfiles(folder) || profileManager_->outputSetting() == nullptr)
            reason = QCoreApplication::translate(
                         "AppContext", "The profile catalogue could not be loaded from %1.")
                         .arg(QDir::toNativeSeparators(folder));
    }
    if (error)
        *error = reason;
    return reason.isEmpty();
}

bool AppContext::loadProfiles(const QString& folder) {
    profileManager_ = std::make_unique<ProfileManager>(settings_.get());
    try {
        return profileManager_->load(folder);
    } catch (...) {
        return false;
    }
}

QString AppContext::shippedProfileFolder() {
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString beside = programDir + "/profile";
    if (QFileInfo::exists(beside + "/profile.xml"))
        return beside;
    return QDir::cleanPath(programDir + "/../share/corvane/profile");
}
