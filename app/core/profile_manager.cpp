#include "profile_manager.h"

#include <QDir>
#include <QFile>
#include <QResource>
#include <QSettings>

#include "app_settings.h"
#include "folder_path.h"

namespace {

// QFile::copy never overwrites: the old file goes first.
void CopyOverwriting(const QString& from, const QString& to) {
    QFile::remove(to);
    QFile::copy(from, to);
}

// The ten text keys, in the order they are read and written.
struct TextKey {
    const char* key;
    QString OutputSetting::*field;
};
const TextKey kTextKeys[] = {
    {"OutputSet/format", &OutputSetting::containerCode},
    {"OutputSet/VideoFourCC", &OutputSetting::videoCodec},
    {"OutputSet/VideoBitrate", &OutputSetting::videoBitrate},
    {"OutputSet/VideoFrameRate", &OutputSetting::videoFrameRate},
    {"OutputSet/VideoResolution", &OutputSetting::videoResolution},
    {"OutputSet/AudioFourCC", &OutputSetting::audioCodec},
    {"OutputSet/AudioBitrate", &OutputSetting::audioBitrate},
    {"OutputSet/AudioSampleRate", &OutputSetting::audioSampleRate},
    {"OutputSet/AudioChannels", &OutputSetting::audioChannels},
    {"OutputSet/Name", &OutputSetting::name},
};

}  // namespace

ProfileManager::~ProfileManager() {
    if (outputSetting_)
        saveOutputSetting();
    if (!registeredBundle_.isEmpty())
        QResource::unregisterResource(registeredBundle_);
}

bool ProfileManager::load(const QString& folder) {
    const QString shipped = withTrailingSeparator(folder);
    const QString shippedHeader = shipped + "profile.xml";
    const QString shippedBundle = shipped + "profile.res";
    if (!QFile::exists(shippedHeader) || !QFile::exists(shippedBundle))
        return false;

    auto shippedCatalogue = std::make_unique<ProfileCatalogue>();
    shippedCatalogue->readHeader(shippedHeader);

    const QString installed = withTrailingSeparator(settings_->programFolder()) + "profile";
    QDir().mkpath(installed);
    const QString installedHeader = installed + "/profile.xml";
    const QString installedBundle = installed + "/profile.res";
    if (!QFile::exists(installedHeader))
        QFile::copy(shippedHeader, installedHeader);
    if (!QFile::exists(installedBundle))
        QFile::copy(shippedBundle, installedBundle);

    auto installedCatalogue = std::make_unique<ProfileCatalogue>();
    installedCatalogue->readHeader(installedHeader);

    QString bundle;
    if (installedCatalogue->version() < shippedCatalogue->version()) {
        // The program ships a newer catalogue than the user has.
        CopyOverwriting(shippedHeader, installedHeader);
        CopyOverwriting(shippedBundle, installedBundle);
        catalogue_ = std::move(shippedCatalogue);
        bundle = shippedBundle;
    } else {
        catalogue_ = std::move(installedCatalogue);
        bundle = installedBundle;
    }
    if (QResource::registerResource(bundle))
        registeredBundle_ = bundle;

    if (!catalogue_->loadDocuments(":/profile/profilelist.xml", ":/profile/format.xml"))
        return false;
    return loadOutputSetting();
}

bool ProfileManager::loadOutputSetting() {
    outputSetting_ = std::make_unique<OutputSetting>();
    QSettings* stored = settings_->qsettings();
    int id = stored->value("OutputSet/profile_id", 0).toInt();
    if (id == 0)
        id = kDefaultProfileId;
    // A catalogue update may have dropped the profile: fall back to its first entry.
    // The stored adjustments belong to that lost profile and are not carried over.
    const ProfileEntry* entry = catalogue_->entryById(id);
    const bool storedProfileExists = entry != nullptr;
    if (entry == nullptr)
        entry = catalogue_->entry(0);
    if (entry != nullptr)
        applyProfileDefaults(*entry, *outputSetting_);
    if (!storedProfileExists)
        return true;
    for (const TextKey& key : kTextKeys)
        outputSetting_.get()->*key.field =
            stored->value(key.key, outputSetting_.get()->*key.field).toString();
    return true;
}

void ProfileManager::saveOutputSetting() {
    QSettings* stored = settings_->qsettings();
    stored->setValue("OutputSet/profile_id", outputSetting_->profileId);
    for (const TextKey& key : kTextKeys)
        stored->setValue(key.key, outputSetting_.get()->*key.field);
}

void ProfileManager::selectProfile(int profileId) {
    if (!outputSetting_ || !catalogue_ || profileId == outputSetting_->profileId)
        return;
    if (const ProfileEntry* entry = catalogue_->entryById(profileId))
        applyProfileDefaults(*entry, *outputSetting_);
}
