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

// Replaces `text` with message `id`; an absent id leaves `text` as it was.
bool loadMessage(Platform& platform, MessageId id, std::wstring& text);

// Message `id`, ": <result>", ".\n" and, when the log has something in it,
// "Install log: <path>".
void composeFailureText(Platform& platform, MessageId id, InstallerResult result,
                        const std::wstring& logPath, std::wstring& text);

// The one place that decides whether a box is shown. Shows `text`, message
// `id`, and returns the button pressed; the run's log gets the box before it
// shows and the answer after. With `silent` nothing is shown: the log says
// so, and `assumed` is returned as the answer. Where nobody can see the
// desktop nothing is shown either: a box that only informs is taken as OK,
// and a question, which nobody could answer, gives box::notAsked.
int showBoxUnlessSilent(RunContext& run, bool silent, MessageId id, const std::wstring& text,
                        const std::wstring& caption, unsigned style, int assumed = box::idOk);

// Shows message `id` under `caption` and returns the button pressed; with
// `silent`, as showBoxUnlessSilent.
int showMessage(RunContext& run, MessageId id, const std::wstring& caption, unsigned style,
                bool silent = false, int assumed = box::idOk);

// The text of a caption message, empty when absent.
std::wstring messageText(Platform& platform, MessageId id);

}  // namespace eldoris
