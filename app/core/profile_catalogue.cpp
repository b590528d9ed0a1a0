#include "profile_catalogue.h"

#include <QDomDocument>
#include <QDomElement>
#include <QFile>

#include <initializer_list>

namespace {

QDomDocument ParseFile(const QString& path, const char* openError, const char* parseError) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw CatalogueError(openError);
    QDomDocument document;
    if (!document.setContent(&file, false))
        throw CatalogueError(parseError);
    return document;
}

// Text that is not a decimal integer reads as 0, as Qt converts it.
int DecimalAttribute(const QDomElement& element, const QString& name, const QString& fallback = {}) {
    return element.attribute(name, fallback).toInt();
}

QStringList SplitList(const QDomElement& option, const char* child) {
    const QString text = option.firstChildElement(child).text();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char(';'));
}

// Every child element of a group is an option, whatever its tag.
QList<VideoOption> ReadVideoOptions(const QDomElement& group) {
    QList<VideoOption> options;
    for (QDomElement o = group.firstChildElement(); !o.isNull(); o = o.nextSiblingElement())
        options.append({o.attribute("VideoFourCC"), o.attribute("Resolution"),
                        o.attribute("defVideoBitrate"), o.attribute("defFrameRate"),
                        SplitList(o, "VideoBitrate"), SplitList(o, "FrameRate")});
    return options;
}

QList<AudioOption> ReadAudioOptions(const QDomElement& group) {
    QList<AudioOption> options;
    for (QDomElement o = group.firstChildElement(); !o.isNull(); o = o.nextSiblingElement())
        options.append({o.attribute("AudioFourCC"), o.attribute("Channel"),
                        o.attribute("defAudioBitrate"), o.attribute("defSampleRate"),
                        SplitList(o, "AudioBitrate"), SplitList(o, "SampleRate")});
    return options;
}

// A whole number above zero, else 0: limits and defaults that do not read leave things open.
int PositiveInteger(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok && value > 0 ? value : 0;
}

// "4.1" gives 41 and "5" gives 50, the way decoders report levels; anything else 0.
int LevelTimesTen(const QString& text) {
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() > 2)
        return 0;
    bool ok = false;
    const int major = parts[0].toInt(&ok);
    if (!ok || major <= 0 || major > 9 || parts[0].size() != 1)
        return 0;
    int minor = 0;
    if (parts.size() == 2) {
        minor = parts[1].toInt(&ok);
        if (!ok || parts[1].size() != 1 || minor < 0)
            return 0;
    }
    return major * 10 + minor;
}

DeviceLimits ReadLimits(const QDomElement& limits) {
    DeviceLimits read;
    const QStringList size = limits.attribute("MaxResolution").split(QLatin1Char('*'));
    if (size.size() == 2 && PositiveInteger(size[0]) > 0 && PositiveInteger(size[1]) > 0) {
        read.maxWidth = PositiveInteger(size[0]);
        read.maxHeight = PositiveInteger(size[1]);
    }
    bool ok = false;
    const double fps = limits.attribute("MaxFrameRate").trimmed().toDouble(&ok);
    read.maxFramesPerSecond = ok && fps > 0 && fps <= 1000 ? fps : 0.0;
    read.h264Level = LevelTimesTen(limits.attribute("H264Level"));
    read.hevcLevel = LevelTimesTen(limits.attribute("HevcLevel"));
    read.maxBitDepth = PositiveInteger(limits.attribute("BitDepth"));
    read.hdr = limits.attribute("HDR").trimmed().toLower() == QLatin1String("yes");
    read.maxChannels = PositiveInteger(limits.attribute("MaxChannels"));
    read.maxSampleRate = PositiveInteger(limits.attribute("MaxSampleRate"));
    read.maxAudioTracks = PositiveInteger(limits.attribute("MaxAudioTracks"));
    return read;
}

// Only the words the settings know; anything else leaves the choice to the setting's default.
QString OneOf(const QString& text, std::initializer_list<const char*> words) {
    const QString word = text.trimmed().toLower();
    for (const char* known : words)
        if (word == QLatin1String(known))
            return word;
    return {};
}

// A null element (an unresolved link) gives a format with every value empty.
ProfileFormat ReadFormat(const QDomElement& profile) {
    ProfileFormat format;
    format.containerCode = profile.attribute("FourCC");
    format.extension = profile.attribute("Format");
    const QDomElement video = profile.firstChildElement("VideoEnc");
    format.defaultVideoCodec = video.attribute("defVideoFourCC");
    format.defaultResolution = video.attribute("defResolution");
    format.video = ReadVideoOptions(video);
    const QDomElement audio = profile.firstChildElement("AudioEnc");
    format.defaultAudioCodec = audio.attribute("defAudioFourCC");
    format.defaultChannels = audio.attribute("defChannel");
    format.audio = ReadAudioOptions(audio);
    const QString copy = profile.attribute("CopyStreams").toLower();
    format.copyStreams = copy != QLatin1String("no");
    format.copyAnyCodec = copy == QLatin1String("any");
    format.burnForcedSubtitles = profile.attribute("BurnForcedSubtitles").toLower() == QLatin1String("yes");
    format.defaultRateControl = OneOf(video.attribute("RateControl"), {"quality", "bitrate"});
    format.defaultQuality = PositiveInteger(video.attribute("defQuality"));
    format.defaultSpeed =
        OneOf(video.attribute("defSpeed"), {"fastest", "fast", "balanced", "slow", "slowest"});
    format.limits = ReadLimits(profile.firstChildElement("Limits"));
    return format;
}

// The first node of the format document whose ID matches. Any node is a candidate: an entry
// without an ID stops at the first comment, which resolves nothing.
QDomElement FindLinked(const QDomElement& formatRoot, const QString& idText) {
    for (QDomNode candidate = formatRoot.firstChild(); !candidate.isNull();
         candidate = candidate.nextSibling())
        if (candidate.toElement().attribute("ID") == idText)
            return candidate.toElement();
    return {};
}

}  // namespace

struct ProfileCatalogue::Documents {
    QDomDocument list;
    QDomDocument format;
};

void ProfileCatalogue::readHeader(const QString& path) {
    const QDomDocument header = ParseFile(path, "profilehead file error", "profilehead parse error");
    const QDomElement info = header.documentElement().firstChildElement("Info");
    version_ = DecimalAttribute(info, "version", "1");
}

bool ProfileCatalogue::loadDocuments(const QString& listPath, const QString& formatPath) {
    Documents documents;
    try {
        documents.list = ParseFile(listPath, "profilelist file error", "profilelist parse error");
        documents.format = ParseFile(formatPath, "format file error", "format parse error");
    } catch (const CatalogueError& error) {
        loadError_ = QString::fromLatin1(error.what());
        return false;
    }
    loadError_.clear();
    buildCategoriesAndEntries(documents);
    return true;
}

void ProfileCatalogue::buildCategoriesAndEntries(const Documents& documents) {
    QMap<int, int> categoryIndexOfId;
    const QDomElement categories = documents.list.documentElement().firstChildElement("Profile");
    int position = 0;
    for (QDomNode node = categories.firstChild(); !node.isNull(); node = node.nextSibling(), ++position) {
        // Any node counts, comments included: they become categories with id 0 and no title.
        const QDomElement element = node.toElement();
        auto category = std::make_unique<ProfileCategory>();
        category->id = DecimalAttribute(element, "id");
        category->title = element.attribute("title");
        categoryCounts_[category->id] = 0;
        categoryIndexOfId[category->id] = position;
        categories_.push_back(std::move(category));
    }

    const QDomElement formatRoot = documents.format.documentElement();
    for (QDomElement item = formatRoot.firstChildElement(); !item.isNull(); item = item.nextSiblingElement())
        formatItems_.append({item.attribute("ID"), item.firstChildElement("Name").text()});

    const QDomElement formats = documents.list.documentElement().firstChildElement("Format");
    for (QDomNode node = formats.firstChild(); !node.isNull(); node = node.nextSibling()) {
        const QDomElement element = node.toElement();
        auto entry = std::make_unique<ProfileEntry>();
        entry->idText = element.attribute("ID");
        entry->linked = element.attribute("Linked").toLower() == "true";
        entry->categoryId = DecimalAttribute(element, "Categoryid");
        entry->categoryIndex = categoryIndexOfId.value(entry->categoryId, 0);
        entry->indexInCategory = categoryCounts_.value(entry->categoryId, 0);
        entry->profileId = entry->idText.toInt();
        categoryCounts_[entry->categoryId] = entry->indexInCategory + 1;

        const QDomElement linked = entry->linked ? FindLinked(formatRoot, entry->idText) : QDomElement();
        entry->linkResolved = !linked.isNull();
        // A name or icon of the entry's own wins over the linked item's.
        entry->name = element.attribute("Name");
        if (entry->name.isEmpty() && entry->linked)
            entry->name = linked.firstChildElement("Name").text();
        entry->icon = element.attribute("Icon");
        if (entry->icon.isEmpty() && entry->linked)
            entry->icon = linked.attribute("Icon");
        entry->format = ReadFormat(entry->linked ? linked : element);
        entries_.push_back(std::move(entry));
    }
}

const ProfileCategory* ProfileCatalogue::category(int index) const {
    return index >= 0 && index < categoryCount() ? categories_[static_cast<size_t>(index)].get() : nullptr;
}

int ProfileCatalogue::profileCount(int categoryIndex) const {
    const ProfileCategory* c = category(categoryIndex);
    return c ? categoryCounts_.value(c->id, 0) : 0;
}

const ProfileEntry* ProfileCatalogue::entryAt(int categoryIndex, int n) const {
    const ProfileCategory* c = category(categoryIndex);
    if (c == nullptr || n < 0)
        return nullptr;
    for (const auto& entry : entries_) {
        if (entry->categoryId != c->id)
            continue;
        if (n-- == 0)
            return entry.get();
    }
    return nullptr;
}

const ProfileEntry* ProfileCatalogue::entryById(int profileId) const {
    for (const auto& entry : entries_)
        if (entry->profileId == profileId)
            return entry.get();
    return nullptr;
}

const ProfileEntry* ProfileCatalogue::entry(int index) const {
    return index >= 0 && index < entryCount() ? entries_[static_cast<size_t>(index)].get() : nullptr;
}
