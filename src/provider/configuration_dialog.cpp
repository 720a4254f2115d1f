#include "provider/configuration_dialog.h"

#include "messages/message_ids.h"
#include "messages/messages.h"

namespace eldoris::dialog {

int initialLanguageControl(std::optional<std::uint16_t> systemUiLanguage) {
  return systemUiLanguage == russianUiLanguage ? russian : english;
}

bool isOptionsViewControl(int id) {
  return (id >= russian && id <= kc3) || id == languageGroup || id == protectionGroup;
}

Toggle toggleView(Platform& platform, const std::wstring& currentCaption) {
  // The button shows at most nine characters of the caption it compares.
  const bool toOptions = currentCaption == messageText(platform, msg::showOptions).substr(0, 9);
  return {toOptions, messageText(platform, toOptions ? msg::hideOptions : msg::showOptions)};
}

void recordChoices(const Choices& choices, InstallOptions& options) {
  if (choices.kc1) options.protectionClass += L"kc1*";
  if (choices.kc2) options.protectionClass += L"kc2*";
  if (choices.kc3) options.protectionClass += L"kc3*";
  if (choices.russian) options.providerLanguage += L"rus*";
  if (choices.english) options.providerLanguage += L"eng*";
}

}  // namespace eldoris::dialog
