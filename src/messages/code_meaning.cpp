#include "messages/code_meaning.h"

#include "messages/run_log.h"
#include "text/decimal.h"

namespace eldoris {

namespace {

const wchar_t* windowsErrorText(std::uint32_t error) {
  switch (error) {
    case 2:
      return L"the file was not found";
    case 3:
      return L"the path was not found";
    case 5:
      return L"access is denied";
    case 6:
      return L"the handle is invalid";
    case 8:
    case 14:
      return L"not enough memory";
    case 32:
      return L"another program holds it open";
    case 112:
      return L"the disk is full";
    case 193:
      return L"not a program that Windows can start";
    case 740:
      return L"the program asks to be elevated";
    default:
      return nullptr;
  }
}

const wchar_t* installerCodeText(std::uint32_t code) {
  switch (code) {
    case 87:
    case 1639:
      return L"an argument was not understood";
    case 1601:
      return L"the Windows Installer service could not be reached";
    case 1602:
      return L"cancelled in the installer's window";
    case 1603:
      return L"a fatal error during the installation";
    case 1618:
      return L"another installation is running: retry later";
    case 1619:
    case 1620:
      return L"the package could not be opened";
    case 1622:
      return L"the installer could not write its log";
    case 1625:
      return L"a system policy forbids the installation";
    case 1633:
      return L"the package is not for this processor";
    case 1638:
      return L"another version of the product is installed";
    default:
      return nullptr;
  }
}

}  // namespace

std::wstring windowsErrorMeaning(std::uint32_t error) {
  const wchar_t* text = windowsErrorText(error);
  return L"Windows error " + decimal(error) + (text ? L" (" + std::wstring(text) + L")" : L"");
}

std::wstring installerCodeMeaning(std::uint32_t code) {
  const wchar_t* text = installerCodeText(code);
  return (text ? std::wstring(text) + L"; " : std::wstring()) + L"read the installer's log";
}

void noteCodeSource(RunContext& run, std::uint32_t code, const std::wstring& description) {
  run.codeSource = CodeSource{code, description};
}

InstallerResult failedCall(RunContext& run, const std::wstring& what, std::uint32_t error) {
  const std::wstring failure = what + L" failed: " + windowsErrorMeaning(error);
  logEvent(run, failure);
  const InstallerResult result = failedCallResult(error);
  noteCodeSource(run, result, failure);
  return result;
}

}  // namespace eldoris
