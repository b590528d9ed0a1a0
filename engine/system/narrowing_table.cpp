#include "system/narrowing_table.h"

#include <locale>

namespace SystemBased {

void PrimeNarrowingTable() {
    const auto& ctype = std::use_facet<std::ctype<char>>(std::locale());
    char all[256];
    char narrowed[256];
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<char>(i);
    ctype.narrow(all, all + 256, '\0', narrowed);
}

}  // namespace SystemBased
