#include "app_context.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "vantrel/vantrel.h"

AppContext& AppContext::instance() {
    static AppContext context;
    return context;
}

AppContext::AppContext() {
    manager_ = CreateMediaManager();
    sourceList_ = std::make_unique<SourceList>(manager_);
    settings_ = std::make_unique<AppSettings>();
}

AppContext::~AppContext() {
    // Records hold engine objects, so they go before the manager; the output setting is
    // written back before the settings file closes.
    sourceList_.reset();
    if (manager_) {
        manager_->Release();
        manager_ = nullptr;
    }
    profileManager_.reset();
    settings_.reset();
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
