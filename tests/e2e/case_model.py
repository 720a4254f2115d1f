"""What an end-to-end case is, and how its outcome is compared."""

import difflib
from dataclasses import dataclass, field
from typing import Callable, Optional

OK = ("ok",)
YES_NO = ("yes", "no")


@dataclass(frozen=True)
class Box:
    """A message box as the user sees it, and the answer to give it."""
    caption: str
    text: str
    buttons: tuple = OK
    icon: str = "none"  # error, warning, information, question, none
    answer: Optional[str] = None  # yes, no, ok, cancel, escape, close

    def reply(self):
        if self.answer:
            return self.answer
        if self.buttons == OK:
            return "ok"
        raise ValueError("a box with buttons %s needs an answer" % (self.buttons,))


@dataclass
class Case:
    name: str
    args: str = ""  # as typed after the program name
    raw_tail: Optional[str] = None  # exact command-line tail, overrides args
    boxes: tuple = ()  # expected boxes, in order
    exit_code: int = 0
    windows_version: Optional[str] = None  # Wine's Version value, e.g. "nt40"
    env: dict = field(default_factory=dict)  # variables to set for the program
    unset: tuple = ()  # variables to remove for the program
    setup: Optional[Callable] = None  # setup(run) before the program starts
    check: Optional[Callable] = None  # check(run) -> list of failure lines
    timeout: int = 90

    def tail(self):
        if self.raw_tail is not None:
            return self.raw_tail
        return " " + self.args if self.args else ""


def _describe(box):
    return "[%s] %r (%s, icon %s)" % (box["caption"], box["text"], "/".join(box["buttons"]), box["icon"])


def _text_diff(expected, actual):
    if "\n" not in expected and "\n" not in actual:
        return ["    expected %r" % expected, "    got      %r" % actual]
    diff = difflib.unified_diff(expected.splitlines(), actual.splitlines(), "expected", "got", lineterm="", n=1)
    return ["    " + repr(line)[1:-1] for line in diff]


def compare(case, result):
    """Differences between the case's expectations and boxbot's result, as lines."""
    problems = []
    if result["status"] != "exited":
        problems.append("program did not exit normally: %s %s (start error %d)"
                        % (result["status"], result["error"], result["start_error"]))
    shown = result["boxes"]
    for i in range(max(len(case.boxes), len(shown))):
        label = "box %d" % (i + 1)
        if i >= len(shown):
            exp = case.boxes[i]
            problems.append("%s never shown: expected [%s] %r" % (label, exp.caption, exp.text))
            continue
        got = shown[i]
        if i >= len(case.boxes):
            problems.append("%s not expected: %s, answered %s" % (label, _describe(got), got["answer"]))
            continue
        exp = case.boxes[i]
        if got["caption"] != exp.caption:
            problems.append("%s caption: expected %r, got %r" % (label, exp.caption, got["caption"]))
        if got["text"] != exp.text:
            problems.append("%s text differs:" % label)
            problems.extend(_text_diff(exp.text, got["text"]))
        if tuple(got["buttons"]) != exp.buttons:
            problems.append("%s buttons: expected %s, got %s" % (label, "/".join(exp.buttons),
                                                                 "/".join(got["buttons"]) or "none"))
        if got["icon"] != exp.icon:
            problems.append("%s icon: expected %s, got %s" % (label, exp.icon, got["icon"]))
        if got["stuck"]:
            problems.append("%s stayed open after the answer %r" % (label, got["answer"]))
    if result["status"] == "exited" and result["exit_code"] != case.exit_code:
        problems.append("exit code: expected %d, got %d" % (case.exit_code, result["exit_code"]))
    return problems
