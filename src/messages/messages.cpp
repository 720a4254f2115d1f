#include "messages/messages.h"

#include "context/run_context.h"
#include "messages/code_meaning.h"
#include "messages/run_log.h"
#include "platform/platform.h"
#include "text/decimal.h"

namespace eldoris {

namespace {

std::size_t readUnit(const std::uint8_t* at) {
  return static_cast<std::size_t>(at[0]) | (static_cast<std::size_t>(at[1]) << 8);
}

}  // namespace

std::optional<std::wstring> findStringInBlock(const std::uint8_t* block, std::size_t size,
                                              unsigned index) {
  const std::size_t units = size / 2;
  std::size_t pos = 0;
  for (unsigned skipped = 0; skipped < index; ++skipped) {
    if (pos >= units) return std::nullopt;
    pos += 1 + readUnit(block + 2 * pos);
  }
  if (pos >= units) return std::nullopt;
  const std::size_t length = readUnit(block + 2 * pos);
  // A length that runs past the block is a damaged resource, not a text.
  if (length == 0 || length > units - pos - 1) return std::nullopt;
  std::wstring text;
  text.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    text.push_back(static_cast<wchar_t>(readUnit(block + 2 * (pos + 1 + i))));
  }
  return text;
}

std::uint32_t loadMessage(Platform& platform, MessageId id, std::wstring& text) {
  const auto block = platform.stringTableBlock(stringBlockOf(id));
  if (block.failed()) return block.error;
  auto found = findStringInBlock(block.value.data(), block.value.size(), stringIndexOf(id));
  if (!found) return code::resourceNameNotFound;
  text = std::move(*found);
  return 0;
}

void composeFailureText(Platform& platform, MessageId id, InstallerResult result,
                        const std::wstring& logPath, std::wstring& text) {
  text.clear();
  if (loadMessage(platform, id, text) == 0) text += L": ";
  appendDecimal(text, result);
  text += L".\n";
  // The program makes the log before the installer starts: only one that the
  // installer wrote into has something to read. A wildcard would make the
  // test find some other file.
  const bool hasWildcard = logPath.find_first_of(L"?*") != std::wstring::npos;
  if (!logPath.empty() && !hasWildcard && platform.fileSize(logPath).value_or(0) > 0) {
    text += L"Install log: " + logPath;
  }
}

namespace {

std::wstring describeBox(MessageId id, unsigned style) {
  std::wstring kind = (style & 0xFu) == box::yesNo ? L"Yes/No" : L"OK";
  switch (style & 0xF0u) {
    case box::iconError:
      kind += L", error";
      break;
    case box::iconWarning:
      kind += L", warning";
      break;
    case box::iconInformation:
      kind += L", information";
      break;
    default:
      break;
  }
  return L"box " + decimal(id) + L" (" + kind + L")";
}

std::wstring answerName(int answer) {
  switch (answer) {
    case box::idOk:
      return L"OK";
    case box::idCancel:
      return L"Cancel";
    case box::idYes:
      return L"Yes";
    case box::idNo:
      return L"No";
    default:
      return L"button " + decimal(static_cast<std::uint32_t>(answer));
  }
}

}  // namespace

void letGoOfRunLock(RunContext& run) {
  if (!run.runLock) return;
  // A box left open on an unattended desk holds nothing: other runs go on.
  run.runLock.reset();
  logEvent(run, L"run lock let go while a person is asked");
}

BoxAnswer showBoxUnlessSilent(RunContext& run, bool silent, MessageId id, const std::wstring& text,
                              const std::wstring& caption, unsigned style, int assumed,
                              std::uint32_t textError) {
  // Only logged, where nothing is shown: a text that could not be loaded is logged as such.
  const std::wstring shown = textError == 0 ? quoted(text) : L"(its text cannot be loaded)";
  if (silent) {
    logEvent(run, describeBox(id, style) + L" not shown (-silent), taken as " +
                      answerName(assumed) + L": " + shown);
    return {assumed};
  }
  if (!run.desktopVisible) {
    if ((style & 0xFu) == box::yesNo) {
      logEvent(run, describeBox(id, style) +
                        L" not shown (no visible desktop): a question cannot be asked "
                        L"there, -silent is needed: " +
                        shown);
      return {box::notAsked};
    }
    logEvent(run,
             describeBox(id, style) + L" not shown (no visible desktop), taken as OK: " + shown);
    return {box::idOk};
  }
  if (textError != 0) {
    logEvent(run, describeBox(id, style) + L" not shown: its text cannot be loaded (" +
                      windowsErrorMeaning(textError) + L")");
    return {0, textError};
  }
  logEvent(run, describeBox(id, style) + L": " + quoted(text));
  letGoOfRunLock(run);
  const Answer<int> answer = run.platform.messageBox(text, caption, style);
  if (answer.failed()) {
    logEvent(run, describeBox(id, style) + L" could not be shown (" +
                      windowsErrorMeaning(answer.error) + L"): it is not an answer");
    return {0, answer.error};
  }
  logEvent(run, L"answer to box " + decimal(id) + L": " + answerName(answer.value));
  return {answer.value};
}

std::wstring boxCaption(RunContext& run, MessageId captionId, bool silent) {
  std::wstring caption;
  if (silent || !run.desktopVisible) return caption;
  const std::uint32_t error = loadMessage(run.platform, captionId, caption);
  if (error != 0) {
    logEvent(run, L"caption " + decimal(captionId) + L" cannot be loaded (" +
                      windowsErrorMeaning(error) + L"): the box has none");
  }
  return caption;
}

BoxAnswer showMessage(RunContext& run, MessageId id, MessageId captionId, unsigned style,
                      bool silent, int assumed) {
  std::wstring text;
  const std::uint32_t error = loadMessage(run.platform, id, text);
  return showBoxUnlessSilent(run, silent, id, text, boxCaption(run, captionId, silent), style,
                             assumed, error);
}

InstallerResult boxNotShown(RunContext& run, MessageId id, const BoxAnswer& answer) {
  const InstallerResult result = failedCallResult(answer.error);
  noteCodeSource(
      run, result,
      L"box " + decimal(id) + L" could not be shown: " + windowsErrorMeaning(answer.error));
  return result;
}

std::wstring messageText(Platform& platform, MessageId id) {
  std::wstring text;
  loadMessage(platform, id, text);
  return text;
}

}  // namespace eldoris
