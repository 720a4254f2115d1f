#include "messages/messages.h"

#include "context/run_context.h"
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

bool loadMessage(Platform& platform, MessageId id, std::wstring& text) {
  const auto block = platform.stringTableBlock(stringBlockOf(id));
  if (!block) return false;
  auto found = findStringInBlock(block->data(), block->size(), stringIndexOf(id));
  if (!found) return false;
  text = std::move(*found);
  return true;
}

void composeFailureText(Platform& platform, MessageId id, InstallerResult result,
                        const std::wstring& logPath, std::wstring& text) {
  loadMessage(platform, id, text);
  text += L": ";
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

int showBoxUnlessSilent(RunContext& run, bool silent, MessageId id, const std::wstring& text,
                        const std::wstring& caption, unsigned style, int assumed) {
  if (silent) {
    logEvent(run, describeBox(id, style) + L" not shown (-silent), taken as " +
                      answerName(assumed) + L": " + quoted(text));
    return assumed;
  }
  if (!run.desktopVisible) {
    if ((style & 0xFu) == box::yesNo) {
      logEvent(run, describeBox(id, style) +
                        L" not shown (no visible desktop): a question cannot be asked "
                        L"there, -silent is needed: " +
                        quoted(text));
      return box::notAsked;
    }
    logEvent(run, describeBox(id, style) + L" not shown (no visible desktop), taken as OK: " +
                      quoted(text));
    return box::idOk;
  }
  logEvent(run, describeBox(id, style) + L": " + quoted(text));
  const int answer = run.platform.messageBox(text, caption, style);
  logEvent(run, L"answer to box " + decimal(id) + L": " + answerName(answer));
  return answer;
}

int showMessage(RunContext& run, MessageId id, const std::wstring& caption, unsigned style,
                bool silent, int assumed) {
  std::wstring text;
  loadMessage(run.platform, id, text);
  return showBoxUnlessSilent(run, silent, id, text, caption, style, assumed);
}

std::wstring messageText(Platform& platform, MessageId id) {
  std::wstring text;
  loadMessage(platform, id, text);
  return text;
}

}  // namespace eldoris
