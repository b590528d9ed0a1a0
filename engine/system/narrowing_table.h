#pragma once

namespace SystemBased {

// Fills the C++ library's lazily built char-narrowing table of the global locale. Filter
// descriptions are formatted on worker threads, and the first narrowing of each character
// writes that shared table: done once before any worker starts, the workers only read it.
void PrimeNarrowingTable();

}  // namespace SystemBased
