// The profile catalogue: categories (shown as tabs) and profile entries, read from the list
// and format documents of the registered profile bundle.
#pragma once

#include <QDomDocument>
#include <QDomElement>
#include <QMap>
#include <QString>
#include <memory>
#include <stdexcept>
#include <vector>

// Raised by the readers with short fixed texts such as "profilelist parse error".
class CatalogueError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ProfileCategory {
    int id = 0;
    QString title;
};

struct ProfileEntry {
    int categoryId = 0;
    int categoryIndex = 0;    // position of the category among the category nodes
    int indexInCategory = 0;  // earlier entries with the same category id
    int profileId = 0;
    bool linked = false;
    QDomElement listNode;     // the entry's own element in the profile list
    QDomElement linkedNode;   // the format document's element with the same ID; null if none

    // Where the profile's values live: the linked element, or the entry's own element.
    QDomElement profileElement() const { return linked ? linkedNode : listNode; }
};

class ProfileCatalogue {
public:
    // Reads the catalogue version from a header file; throws CatalogueError.
    bool readHeader(const QString& path);
    // Parses both documents and builds categories and entries; false on any read error.
    bool loadDocuments(const QString& listPath, const QString& formatPath);

    int version() const { return version_; }
    int categoryCount() const { return static_cast<int>(categories_.size()); }
    const ProfileCategory* category(int index) const;
    int profileCount(int categoryIndex) const;
    const ProfileEntry* entryAt(int categoryIndex, int n) const;
    const ProfileEntry* entryById(int profileId) const;
    int entryCount() const { return static_cast<int>(entries_.size()); }
    const ProfileEntry* entry(int index) const;

    static QString profileName(const ProfileEntry& entry);
    static QString profileIcon(const ProfileEntry& entry);
    static int profileId(const ProfileEntry& entry);

private:
    void buildCategoriesAndEntries();

    QDomDocument formatDocument_;
    QDomDocument listDocument_;
    int version_ = 0;
    std::vector<std::unique_ptr<ProfileCategory>> categories_;
    QMap<int, int> categoryCounts_;
    std::vector<std::unique_ptr<ProfileEntry>> entries_;
};
