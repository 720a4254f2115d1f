// What the provider configuration dialog shows and records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "options/install_options.h"
#include "platform/platform.h"

namespace eldoris::dialog {

constexpr int resourceId = 141;
constexpr int iconId = 100;
constexpr int next = 140;
constexpr int cancel = 2;
constexpr int russian = 1006;
constexpr int english = 1007;
constexpr int kc1 = 1008;
constexpr int kc2 = 1009;
constexpr int kc3 = 1010;
constexpr int brandingGroup = 1011;
constexpr int languageGroup = 1012;
constexpr int protectionGroup = 1013;
constexpr int welcomeText = 1014;
constexpr int optionsButton = 1015;
// The controls that swap between the two views, walked in id order.
constexpr int firstViewControl = russian;
constexpr int lastViewControl = welcomeText;

constexpr std::uint16_t russianUiLanguage = 0x0419;

// The language selected when the dialog opens; without the system's
// user-interface language (Windows NT 4.0 cannot tell it), English.
int initialLanguageControl(std::optional<std::uint16_t> systemUiLanguage);

// Whether a control belongs to the options view (the rest of the range is the welcome view).
bool isOptionsViewControl(int id);

// Which view "Опции"/"Скрыть" leads to, given the button's caption now.
struct Toggle {
  bool showOptions = false;
  std::wstring newCaption;
};
Toggle toggleView(Platform& platform, const std::wstring& currentCaption);

// The radio buttons' states when "Далее" is pressed.
struct Choices {
  bool russian = false;
  bool english = false;
  bool kc1 = false;
  bool kc2 = false;
  bool kc3 = false;
};
// Appends "kc1*".."kc3*" and "rus*"/"eng*" for the selected buttons.
void recordChoices(const Choices& choices, InstallOptions& options);

}  // namespace eldoris::dialog
