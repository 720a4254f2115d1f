// Ordering of product version texts.
#pragma once

#include <string>

namespace eldoris {

// -1, 0 or 1 as `package` sorts before, equal to or after `installed`.
// Dotted decimal versions compare field by field as numbers, a missing field
// counting as 0 (2.0.10 after 2.0.9, 1.0 equal to 1.0.0); any other text falls
// back to comparing UTF-16 code units.
int compareVersionTexts(const std::wstring& package, const std::wstring& installed);

}  // namespace eldoris
