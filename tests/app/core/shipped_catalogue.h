// The catalogue the build ships, read from its bundle, for the tests that convert its profiles.
#pragma once

#include <QResource>

#include "profile_catalogue.h"

namespace shipped_catalogue {

inline const ProfileCatalogue& Catalogue() {
    static ProfileCatalogue catalogue;
    static bool loaded = false;
    if (!loaded) {
        loaded = true;
        QResource::registerResource(QStringLiteral(CORVANE_SHIPPED_PROFILE "/profile.res"));
        catalogue.loadDocuments(":/profile/profilelist.xml", ":/profile/format.xml");
    }
    return catalogue;
}

// The sanitizer builds convert every fourth profile: the full set runs in the plain build,
// and the engine paths it adds under the sanitizers are the same for most profiles.
#ifdef CORVANE_SANITIZED
constexpr size_t kProfileStride = 4;
#else
constexpr size_t kProfileStride = 1;
#endif

}  // namespace shipped_catalogue
