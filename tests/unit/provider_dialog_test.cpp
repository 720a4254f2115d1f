#include <gtest/gtest.h>

#include "fake_platform.h"
#include "provider/configuration_dialog.h"

namespace eldoris::testing {
namespace {

TEST(ConfigurationDialog, SelectsRussianOnlyForTheRussianUiLanguage) {
  EXPECT_EQ(dialog::initialLanguageControl(1049), 1006);
  EXPECT_EQ(dialog::initialLanguageControl(0x0819), 1007);  // Russian in Moldova
  EXPECT_EQ(dialog::initialLanguageControl(1033), 1007);
  EXPECT_EQ(dialog::initialLanguageControl(0x0422), 1007);
  EXPECT_EQ(dialog::initialLanguageControl(0), 1007);
  EXPECT_EQ(dialog::initialLanguageControl(std::nullopt), 1007);  // a system that cannot tell
}

TEST(ConfigurationDialog, EachViewControlBelongsToExactlyOneView) {
  const std::vector<int> optionsView = {1006, 1007, 1008, 1009, 1010, 1012, 1013};
  const std::vector<int> welcomeView = {1011, 1014};
  EXPECT_EQ(dialog::firstViewControl, 1006);
  EXPECT_EQ(dialog::lastViewControl, 1014);
  for (const int id : optionsView) EXPECT_TRUE(dialog::isOptionsViewControl(id)) << id;
  for (const int id : welcomeView) EXPECT_FALSE(dialog::isOptionsViewControl(id)) << id;
}

TEST(ConfigurationDialog, TheOptionsButtonSwapsTheViewAndItsCaption) {
  FakePlatform platform;
  const dialog::Toggle first = dialog::toggleView(platform, L"Опции");
  EXPECT_TRUE(first.showOptions);
  EXPECT_EQ(first.newCaption, L"Скрыть");
  const dialog::Toggle second = dialog::toggleView(platform, first.newCaption);
  EXPECT_FALSE(second.showOptions);
  EXPECT_EQ(second.newCaption, L"Опции");
  const dialog::Toggle third = dialog::toggleView(platform, second.newCaption);
  EXPECT_TRUE(third.showOptions);
  EXPECT_EQ(third.newCaption, L"Скрыть");
}

TEST(ConfigurationDialog, AnyOtherCaptionLeadsBackToTheWelcomeView) {
  FakePlatform platform;
  for (const std::wstring caption : {L"", L"опции", L"Опции ", L"Options"}) {
    const dialog::Toggle toggle = dialog::toggleView(platform, caption);
    EXPECT_FALSE(toggle.showOptions);
    EXPECT_EQ(toggle.newCaption, L"Опции");
  }
}

struct RecordCase {
  const char* name;
  dialog::Choices choices;
  std::wstring classBefore;
  std::wstring languageBefore;
  std::wstring classAfter;
  std::wstring languageAfter;
};

TEST(ConfigurationDialog, RecordsTheChoicesBehindWhatIsThere) {
  // Choices: russian, english, kc1, kc2, kc3.
  const std::vector<RecordCase> cases = {
      {"defaults, Russian", {true, false, true, false, false}, L"", L"", L"kc1*", L"rus*"},
      {"defaults, English", {false, true, true, false, false}, L"", L"", L"kc1*", L"eng*"},
      {"KC2", {true, false, false, true, false}, L"", L"", L"kc2*", L"rus*"},
      {"KC3 after -KC KC2",
       {false, true, false, false, true},
       L"*KC2*",
       L"",
       L"*KC2*kc3*",
       L"eng*"},
      {"after -Lang", {true, false, true, false, false}, L"", L"*RUS*", L"kc1*", L"*RUS*rus*"},
      {"nothing selected",
       {false, false, false, false, false},
       L"*KC1*",
       L"*ENG*",
       L"*KC1*",
       L"*ENG*"},
      {"every button in order",
       {true, true, true, true, true},
       L"",
       L"",
       L"kc1*kc2*kc3*",
       L"rus*eng*"},
  };
  for (const auto& c : cases) {
    InstallOptions options;
    options.protectionClass = c.classBefore;
    options.providerLanguage = c.languageBefore;
    options.providerArgs = L" /qn ";
    dialog::recordChoices(c.choices, options);
    EXPECT_EQ(options.protectionClass, c.classAfter) << c.name;
    EXPECT_EQ(options.providerLanguage, c.languageAfter) << c.name;
    EXPECT_EQ(options.providerArgs, L" /qn ") << c.name;
    EXPECT_TRUE(options.pluginArgs.empty()) << c.name;
  }
}

}  // namespace
}  // namespace eldoris::testing
