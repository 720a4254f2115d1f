// The plug-in product as the Windows Installer knows it.
#pragma once

namespace eldoris {

inline constexpr wchar_t PluginProductCode[] = L"{5B1E7C42-9D03-4F6A-8E21-C7A4D0B96F35}";
inline constexpr wchar_t PluginFeatureName[] = L"ORVELIX";

// Windows Installer states the decision tests.
constexpr int installStateAbsent = 2;
constexpr int installStateDefault = 5;
// "The configuration data is corrupt" (Installer.ProductState): not read as
// installed; a fresh /i lets the Windows Installer mend or refuse it.
constexpr int installStateBadConfig = -6;

}  // namespace eldoris
