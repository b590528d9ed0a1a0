// Installs the shipped catalogue into the user's folder, loads it, and keeps the current
// output setting.
#pragma once

#include <QString>
#include <memory>

#include "output_setting.h"
#include "profile_catalogue.h"

class AppSettings;

class ProfileManager {
public:
    explicit ProfileManager(AppSettings* settings) : settings_(settings) {}
    // Saves the output setting first.
    ~ProfileManager();
    ProfileManager(const ProfileManager&) = delete;
    ProfileManager& operator=(const ProfileManager&) = delete;

    // folder holds the shipped profile.xml and profile.res. Header errors throw CatalogueError.
    bool load(const QString& folder);

    ProfileCatalogue* catalogue() const { return catalogue_.get(); }
    OutputSetting* outputSetting() const { return outputSetting_.get(); }
    QString registeredBundle() const { return registeredBundle_; }

    bool loadOutputSetting();
    void saveOutputSetting();
    // A profile other than the current one replaces every value with that profile's defaults.
    void selectProfile(int profileId);

private:
    AppSettings* settings_;
    std::unique_ptr<ProfileCatalogue> catalogue_;
    std::unique_ptr<OutputSetting> outputSetting_;
    QString registeredBundle_;
};
