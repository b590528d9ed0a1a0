// Installs the shipped catalogue into the user's folder, loads it, and keeps the current
// output setting, which is written to the settings file whenever it changes.
#pragma once

#include <QString>
#include <memory>

#include "output_setting.h"
#include "profile_catalogue.h"

class AppSettings;

class ProfileManager {
public:
    explicit ProfileManager(AppSettings* settings) : settings_(settings) {}
    // Saves adjustments made in place through outputSetting() and not saved yet.
    ~ProfileManager();
    ProfileManager(const ProfileManager&) = delete;
    ProfileManager& operator=(const ProfileManager&) = delete;

    // folder holds the shipped profile.xml and profile.res. A damaged copy in the user's folder
    // is replaced from folder, the damaged file kept beside it as <name>.damaged. Errors in
    // the shipped header throw CatalogueError.
    bool load(const QString& folder);

    ProfileCatalogue* catalogue() const { return catalogue_.get(); }
    OutputSetting* outputSetting() const { return outputSetting_.get(); }
    QString registeredBundle() const { return registeredBundle_; }

    bool loadOutputSetting();
    // Writes the output setting to the settings file now: call it after changing values in
    // place through outputSetting().
    void saveOutputSetting();
    // Replaces the output setting and saves it.
    void setOutputSetting(const OutputSetting& setting);
    // A profile other than the current one replaces every value with that profile's defaults,
    // and is saved.
    void selectProfile(int profileId);

private:
    // Registers bundle and reads the catalogue's documents from it; a bundle that does not
    // load is unregistered again. The catalogue is kept either way.
    bool useBundle(std::unique_ptr<ProfileCatalogue> catalogue, const QString& bundle);

    AppSettings* settings_;
    std::unique_ptr<ProfileCatalogue> catalogue_;
    std::unique_ptr<OutputSetting> outputSetting_;
    OutputSetting savedSetting_;  // as the settings file holds it
    QString registeredBundle_;
};
