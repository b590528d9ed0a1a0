// The profile catalogue reader on arbitrary documents. The input is the profile list, a NUL
// byte, then the format document; without a NUL both readers get the same bytes.
#include <cstdint>

#include "fuzz_temp_file.h"
#include "output_setting.h"
#include "profile_catalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* split = static_cast<const uint8_t*>(memchr(data, 0, size));
    const size_t listSize = split ? static_cast<size_t>(split - data) : size;
    const QString list = WriteFuzzFile("profilelist.xml", data, listSize);
    const QString format = split ? WriteFuzzFile("format.xml", split + 1, size - listSize - 1)
                                 : WriteFuzzFile("format.xml", data, size);
    ProfileCatalogue catalogue;
    try {
        catalogue.readHeader(list);
    } catch (const CatalogueError&) {
        // the documented answer to a header that does not parse
    }
    if (!catalogue.loadDocuments(list, format))
        return 0;
    // Walk everything a caller can reach, as the profile chooser does, and turn every entry
    // into an output setting, as choosing it does.
    for (int c = 0; c < catalogue.categoryCount(); ++c) {
        (void)catalogue.category(c)->title.size();
        for (int n = 0; n < catalogue.profileCount(c); ++n) {
            const ProfileEntry* entry = catalogue.entryAt(c, n);
            if (entry == nullptr)
                continue;
            (void)catalogue.entryById(entry->profileId);
            OutputSetting setting;
            applyProfileDefaults(*entry, setting);
        }
    }
    for (int i = 0; i < catalogue.entryCount(); ++i)
        (void)catalogue.entry(i);
    (void)catalogue.entry(-1);
    (void)catalogue.entryAt(-1, 0);
    return 0;
}
