// The process-wide state every window reaches for: the engine, the added sources, the
// profile catalogue and the settings.
#pragma once

#include <QString>
#include <memory>

#include "app_settings.h"
#include "profile_manager.h"
#include "source_file.h"
#include "vantrel/interfaces.h"
#include "vantrel/owned.h"

class AppContext {
public:
    static AppContext& instance();
    ~AppContext() = default;

    // Null when the engine could not be created.
    MediaBased::IMediaManager* mediaManager() const { return manager_.get(); }
    SourceList& sourceList() { return *sourceList_; }
    ProfileManager* profileManager() const { return profileManager_.get(); }
    AppSettings* settings() const { return settings_.get(); }

    // What every front end does first: checks the engine and loads the shipped catalogue.
    // False with the reason, in a sentence a user can read, when the program cannot work.
    bool open(QString* error);

    // Installs and loads the catalogue shipped in folder; false on any failure.
    bool loadProfiles(const QString& folder);

    // The folder holding the shipped profile.xml and profile.res: the "profile" folder beside
    // the program, else <prefix>/share/corvane/profile of an installed program.
    static QString shippedProfileFolder();

private:
    AppContext();

    // Members end in reverse order: the sources hold engine objects, so they go before the
    // engine, and the output setting is written back before the settings file closes.
    std::unique_ptr<AppSettings> settings_;
    std::unique_ptr<ProfileManager> profileManager_;
    MediaBased::Owned<MediaBased::IMediaManager> manager_;
    std::unique_ptr<SourceList> sourceList_;
};
