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

// Replaces to with a copy of from; a damaged to is kept as to.damaged (the latest one only).
void SetAsideAndReplace(const QString& from, const QString& to, bool damaged) {
    if (damaged && QFile::exists(to)) {
        const QString aside = to + ".damaged";
        QFile::remove(aside);
        if (!QFile::rename(to, aside))
            QFile::remove(to);
    }
    CopyOverwriting(from, to);
}

// The text keys, in the order they are read and written.
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
    {"OutputSet/RateControl", &OutputSetting::rateControl},
    {"OutputSet/Speed", &OutputSetting::speed},
};
const char kCopyStreamsKey[] = "OutputSet/CopyStreams";
const char kBurnForcedKey[] = "OutputSet/BurnForcedSubtitles";
const char kQualityKey[] = "OutputSet/Quality";

}  // namespace

ProfileManager::~ProfileManager() {
    // Adjustments are saved as they are made; this keeps ones made in place and not saved yet.
    // A process that changed nothing (corvane-cli) writes nothing.
    if (outputSetting_ && *outputSetting_ != savedSetting_)
        saveOutputSetting();
    if (!registeredBundle_.isEmpty())
        QResource::unregisterResource(registeredBundle_);
}

bool ProfileManager::useBundle(std::unique_ptr<ProfileCatalogue> catalogue, const QString& bundle) {
    const bool registered = QResource::registerResource(bundle);
    const bool loaded =
        registered && catalogue->loadDocuments(":/profile/profilelist.xml", ":/profile/format.xml");
    catalogue_ = std::move(catalogue);
    if (loaded)
        registeredBundle_ = bundle;
    else if (registered)
        QResource::unregisterResource(bundle);
    return loaded;
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
    bool headerSound = true;
    try {
        installedCatalogue->readHeader(installedHeader);
    } catch (const CatalogueError&) {
        headerSound = false;
    }

    if (headerSound && installedCatalogue->version() < shippedCatalogue->version()) {
        // The program ships a newer catalogue than the user has.
        CopyOverwriting(shippedHeader, installedHeader);
        CopyOverwriting(shippedBundle, installedBundle);
        if (!useBundle(std::move(shippedCatalogue), shippedBundle))
            return false;
        return loadOutputSetting();
    }
    if (headerSound && useBundle(std::move(installedCatalogue), installedBundle))
        return loadOutputSetting();

    // The user's copy is damaged. The shipped one replaces it, when it is sound itself; the
    // damaged file stays beside it for a look, and its partner is refreshed to match.
    if (!useBundle(std::move(shippedCatalogue), shippedBundle))
        return false;
    SetAsideAndReplace(shippedHeader, installedHeader, !headerSound);
    SetAsideAndReplace(shippedBundle, installedBundle, headerSound);
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
    // Settings stored before these keys existed take the profile's own choice.
    outputSetting_->copyStreams = stored->value(kCopyStreamsKey, outputSetting_->copyStreams).toBool();
    outputSetting_->burnForcedSubtitles =
        stored->value(kBurnForcedKey, outputSetting_->burnForcedSubtitles).toBool();
    bool isNumber = false;
    const int quality = stored->value(kQualityKey, outputSetting_->quality).toInt(&isNumber);
    if (isNumber)
        outputSetting_->quality = quality;
    savedSetting_ = *outputSetting_;
    return true;
}

void ProfileManager::saveOutputSetting() {
    if (!outputSetting_)
        return;
    QSettings* stored = settings_->qsettings();
    stored->setValue("OutputSet/profile_id", outputSetting_->profileId);
    for (const TextKey& key : kTextKeys)
        stored->setValue(key.key, outputSetting_.get()->*key.field);
    stored->setValue(kCopyStreamsKey, outputSetting_->copyStreams);
    stored->setValue(kBurnForcedKey, outputSetting_->burnForcedSubtitles);
    stored->setValue(kQualityKey, outputSetting_->quality);
    stored->sync();
    savedSetting_ = *outputSetting_;
}

void ProfileManager::setOutputSetting(const OutputSetting& setting) {
    if (!outputSetting_)
        return;
    *outputSetting_ = setting;
    saveOutputSetting();
}

void ProfileManager::selectProfile(int profileId) {
    if (!outputSetting_ || !catalogue_ || profileId == outputSetting_->profileId)
        return;
    if (const ProfileEntry* entry = catalogue_->entryById(profileId)) {
        applyProfileDefaults(*entry, *outputSetting_);
        saveOutputSetting();
    }
}
