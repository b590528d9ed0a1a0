#include "profile_catalogue.h"

#include <QFile>

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

}  // namespace

bool ProfileCatalogue::readHeader(const QString& path) {
    const QDomDocument header = ParseFile(path, "profilehead file error", "profilehead parse error");
    const QDomElement info = header.documentElement().firstChildElement("Info");
    version_ = DecimalAttribute(info, "version", "1");
    return true;
}

bool ProfileCatalogue::loadDocuments(const QString& listPath, const QString& formatPath) {
    try {
        listDocument_ = ParseFile(listPath, "profilelist file error", "profilelist parse error");
        formatDocument_ = ParseFile(formatPath, "format file error", "format parse error");
    } catch (const CatalogueError&) {
        return false;
    }
    buildCategoriesAndEntries();
    return true;
}

void ProfileCatalogue::buildCategoriesAndEntries() {
    QMap<int, int> categoryIndexOfId;
    const QDomElement categories = listDocument_.documentElement().firstChildElement("Profile");
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

    const QDomElement formats = listDocument_.documentElement().firstChildElement("Format");
    const QDomElement formatRoot = formatDocument_.documentElement();
    for (QDomNode node = formats.firstChild(); !node.isNull(); node = node.nextSibling()) {
        const QDomElement element = node.toElement();
        auto entry = std::make_unique<ProfileEntry>();
        const QString idText = element.attribute("ID");
        entry->linked = element.attribute("Linked").toLower() == "true";
        entry->categoryId = DecimalAttribute(element, "Categoryid");
        entry->categoryIndex = categoryIndexOfId.value(entry->categoryId, 0);
        entry->indexInCategory = categoryCounts_.value(entry->categoryId, 0);
        entry->profileId = idText.toInt();
        categoryCounts_[entry->categoryId] = entry->indexInCategory + 1;
        if (entry->linked) {
            for (QDomNode candidate = formatRoot.firstChild(); !candidate.isNull();
                 candidate = candidate.nextSibling()) {
                if (candidate.toElement().attribute("ID") == idText) {
                    entry->linkedNode = candidate.cloneNode(true).toElement();
                    break;
                }
            }
        }
        entry->listNode = element.cloneNode(true).toElement();
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

QString ProfileCatalogue::profileName(const ProfileEntry& entry) {
    const QString own = entry.listNode.attribute("Name");
    if (!own.isEmpty())
        return own;
    if (entry.linked)
        return entry.linkedNode.firstChildElement("Name").text();
    return {};
}

QString ProfileCatalogue::profileIcon(const ProfileEntry& entry) {
    const QString own = entry.listNode.attribute("Icon");
    if (!own.isEmpty())
        return own;
    if (entry.linked)
        return entry.linkedNode.attribute("Icon");
    return {};
}

int ProfileCatalogue::profileId(const ProfileEntry& entry) {
    return entry.listNode.attribute("ID").toInt();
}
