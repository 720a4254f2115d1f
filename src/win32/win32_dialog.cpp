// The modal provider configuration dialog.
#include "options/install_options.h"
#include "provider/configuration_dialog.h"
#include "win32/system_function.h"
#include "win32/win32_platform.h"

namespace eldoris {

namespace {

struct DialogContext {
  Platform& platform;
  InstallOptions& options;
  HICON icon = nullptr;
  DialogOutcome outcome = DialogOutcome::next;
};

bool isChecked(HWND window, int id) { return IsDlgButtonChecked(window, id) == BST_CHECKED; }

std::optional<std::uint16_t> systemUiLanguage() {
  // Windows NT 4.0 lacks it.
  using GetLanguage = LANGID(WINAPI*)();
  const auto get = lookUpSystemFunction<GetLanguage>(L"kernel32.dll", "GetSystemDefaultUILanguage");
  if (get == nullptr) return std::nullopt;
  return get();
}

void initialise(HWND window, DialogContext& context) {
  context.icon =
      static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(dialog::iconId),
                                    IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
  if (context.icon != nullptr) {
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(context.icon));
  }
  CheckDlgButton(window, dialog::initialLanguageControl(systemUiLanguage()), BST_CHECKED);
  CheckDlgButton(window, dialog::kc1, BST_CHECKED);
}

void toggle(HWND window, DialogContext& context) {
  wchar_t caption[10] = {};
  GetDlgItemTextW(window, dialog::optionsButton, caption, 10);
  const dialog::Toggle result = dialog::toggleView(context.platform, caption);
  for (int id = dialog::firstViewControl; id <= dialog::lastViewControl; ++id) {
    const bool show = dialog::isOptionsViewControl(id) == result.showOptions;
    ShowWindow(GetDlgItem(window, id), show ? SW_SHOW : SW_HIDE);
  }
  SetDlgItemTextW(window, dialog::optionsButton, result.newCaption.c_str());
}

void finish(HWND window, DialogContext& context, DialogOutcome outcome) {
  context.outcome = outcome;
  if (outcome == DialogOutcome::next) {
    dialog::Choices choices;
    choices.kc1 = isChecked(window, dialog::kc1);
    choices.kc2 = isChecked(window, dialog::kc2);
    choices.kc3 = isChecked(window, dialog::kc3);
    choices.russian = isChecked(window, dialog::russian);
    choices.english = isChecked(window, dialog::english);
    dialog::recordChoices(choices, context.options);
  }
  EndDialog(window, 0);
}

// The dialog's parameter, kept in its user data, carries the context.
DialogContext* contextOf(LONG_PTR value) {
  return reinterpret_cast<DialogContext*>(value);  // NOLINT(performance-no-int-to-ptr)
}

INT_PTR CALLBACK dialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    initialise(window, *contextOf(lParam));
    return TRUE;
  }
  DialogContext* context = contextOf(GetWindowLongPtrW(window, DWLP_USER));
  if (message != WM_COMMAND || context == nullptr) return FALSE;
  switch (LOWORD(wParam)) {
    case dialog::optionsButton:
      toggle(window, *context);
      return TRUE;
    case dialog::next:
      finish(window, *context, DialogOutcome::next);
      return TRUE;
    case dialog::cancel:
      finish(window, *context, DialogOutcome::cancelled);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

DialogOutcome Win32Platform::showConfigurationDialog(InstallOptions& options,
                                                     std::uint32_t& error) {
  DialogContext context{*this, options};
  SetLastError(0);
  const INT_PTR shown = DialogBoxParamW(instance_, MAKEINTRESOURCEW(dialog::resourceId), nullptr,
                                        dialogProcedure, reinterpret_cast<LPARAM>(&context));
  error = shown == -1 ? GetLastError() : 0;
  if (context.icon != nullptr) DestroyIcon(context.icon);
  return shown == -1 ? DialogOutcome::failed : context.outcome;
}

}  // namespace eldoris
