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
