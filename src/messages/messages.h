// Texts of the string table and the failure text that two steps share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/types.h"

namespace eldoris {

class Platform;
struct RunContext;

// Number of the string-table block that holds an id, and its place in it.
constexpr unsigned stringBlockOf(MessageId id) { return id / 16u + 1u; }
constexpr unsigned stringIndexOf(MessageId id) { return id % 16u; }

// Walks one raw string-table block (length-prefixed UTF-16LE entries) to the
// entry at `index`. Absent when the block ends first, the entry is empty, or
// its text would run past the end of the block.
std::optional<std::wstring> findStringInBlock(const std::uint8_t* block, std::size_t size,
                                              unsigned index);

// Replaces `text` with message `id`: 0, or the Windows error of the block's
// read (1814 where the text is not in the table); `text` is then as it was.
std::uint32_t loadMessage(Platform& platform, MessageId id, std::wstring& text);

// Message `id`, ": <result>", ".\n" and, when the log has something in it,
// "Install log: <path>"; where the message cannot be loaded, the code alone
// ("<result>.\n" ...), never another text.
void composeFailureText(Platform& platform, MessageId id, InstallerResult result,
                        const std::wstring& logPath, std::wstring& text);

// What became of a box: the button pressed (or taken, or box::notAsked),
// or why it could not be shown.
struct BoxAnswer {
  int button = box::idOk;
  std::uint32_t error = 0;  // the box, or its text, could not be had: never an answer
  bool failed() const { return error != 0; }
  bool is(int wanted) const { return error == 0 && button == wanted; }
};

// Lets the run lock go, where the run holds it, before a box or a dialog
// waits for a person.
void letGoOfRunLock(RunContext& run);

// The one place that decides whether a box is shown. Shows `text`, message
// `id`, and returns the button pressed; the run's log gets the box before it
// shows and the answer after. With `silent` nothing is shown: the log says
// so, and `assumed` is returned as the answer. Where nobody can see the
// desktop nothing is shown either: a box that only informs is taken as OK,
// and a question, which nobody could answer, gives box::notAsked. A box
// that would be shown but whose text could not be loaded (`textError`), or
// that the system could not show, is failed: never taken for an answer.
BoxAnswer showBoxUnlessSilent(RunContext& run, bool silent, MessageId id, const std::wstring& text,
                              const std::wstring& caption, unsigned style, int assumed = box::idOk,
                              std::uint32_t textError = 0);

// The text of caption message `captionId` where a box with it will be shown
// (not `silent`, a desktop a person sees), else nothing; one that cannot be
// loaded is logged, and the box has none.
std::wstring boxCaption(RunContext& run, MessageId captionId, bool silent);

// Shows message `id` under caption message `captionId`, as showBoxUnlessSilent.
BoxAnswer showMessage(RunContext& run, MessageId id, MessageId captionId, unsigned style,
                      bool silent = false, int assumed = box::idOk);

// The exit code of a run that a box it could not show ends, noted as the
// box's (failedCallResult of its error).
InstallerResult boxNotShown(RunContext& run, MessageId id, const BoxAnswer& answer);

// The text of a caption message, empty when absent.
std::wstring messageText(Platform& platform, MessageId id);

}  // namespace eldoris
