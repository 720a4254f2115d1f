#include "plugin/version_order.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace eldoris {

namespace {

using Fields = std::vector<std::wstring>;

bool isDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Splits "1.20.3" into its digit runs; false for anything else (empty text,
// empty fields, other characters).
bool splitDottedDecimal(const std::wstring& text, Fields& fields) {
  std::wstring field;
  for (const wchar_t c : text) {
    if (c == L'.') {
      if (field.empty()) return false;
      fields.push_back(field);
      field.clear();
    } else if (isDigit(c)) {
      field.push_back(c);
    } else {
      return false;
    }
  }
  if (field.empty()) return false;
  fields.push_back(field);
  return true;
}

// Compares two digit runs as numbers of any length.
int compareNumbers(const std::wstring& a, const std::wstring& b) {
  const std::size_t za = a.find_first_not_of(L'0');
  const std::size_t zb = b.find_first_not_of(L'0');
  const std::wstring na = za == std::wstring::npos ? std::wstring() : a.substr(za);
  const std::wstring nb = zb == std::wstring::npos ? std::wstring() : b.substr(zb);
  if (na.size() != nb.size()) return na.size() < nb.size() ? -1 : 1;
  const int order = na.compare(nb);
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

int compareCodeUnits(const std::wstring& a, const std::wstring& b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    // Code units compare unsigned, as UTF-16 does.
    const auto ua = static_cast<std::uint32_t>(a[i]);
    const auto ub = static_cast<std::uint32_t>(b[i]);
    if (ua != ub) return ua < ub ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace

int compareVersionTexts(const std::wstring& package, const std::wstring& installed) {
  Fields ours;
  Fields theirs;
  if (!splitDottedDecimal(package, ours) || !splitDottedDecimal(installed, theirs)) {
    return compareCodeUnits(package, installed);
  }
  const std::size_t n = ours.size() > theirs.size() ? ours.size() : theirs.size();
  for (std::size_t i = 0; i < n; ++i) {
    const std::wstring zero = L"0";
    const int order =
        compareNumbers(i < ours.size() ? ours[i] : zero, i < theirs.size() ? theirs[i] : zero);
    if (order != 0) return order;
  }
  return 0;
}

}  // namespace eldoris
