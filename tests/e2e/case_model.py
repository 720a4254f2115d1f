"""What an end-to-end case is, and how its outcome is compared."""

import difflib
import re
from dataclasses import dataclass, field
from typing import Callable, Optional

OK = ("ok",)
YES_NO = ("yes", "no")


@dataclass(frozen=True)
class Box:
    """A message box as the user sees it, and the answer to give it. The text
    is exact, or a compiled pattern that must match all of it."""
    caption: str
    text: object
    buttons: tuple = OK
    icon: str = "none"  # error, warning, information, question, none
    answer: Optional[str] = None  # yes, no, ok, cancel, escape, close

    def reply(self):
        if self.answer:
            return self.answer
        if self.buttons == OK:
            return "ok"
        raise ValueError("a box with buttons %s needs an answer" % (self.buttons,))


# The controls that boxbot's "record" reports, in its order.
DIALOG_CONTROLS = (140, 2, 1006, 1007, 1008, 1009, 1010, 1011, 1012, 1013, 1014, 1015)


@dataclass(frozen=True)
class DialogView:
    """The configuration dialog as one "record" must find it: its caption and,
    for every control of DIALOG_CONTROLS, its text, whether it is visible and
    whether it is checked."""
    name: str
    caption: str
    texts: dict  # control id -> text
    visible: frozenset
    checked: frozenset


@dataclass(frozen=True)
class Dialog:
    """The configuration dialog: what boxbot does on it, step by step, where a
    DialogView step records the dialog and compares, and any other step is an
    action of boxbot.cpp ("click:1015", "check:1010", "escape", "close",
    "shot:NAME"). It must show once, after `after_boxes` boxes, under Wine
    reporting the system UI language `ui_language` (the views' radio choice
    depends on it)."""
    steps: tuple
    after_boxes: int = 1
    ui_language: int = 0x0409

    def actions(self):
        return ",".join("record" if isinstance(s, DialogView) else s for s in self.steps)

    def views(self):
        return [s for s in self.steps if isinstance(s, DialogView)]

    def shot_names(self):
        return [s[len("shot:"):] for s in self.steps if isinstance(s, str) and s.startswith("shot:")]


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
    check: Optional[Callable] = None  # check(run) -> list of failure lines; run.result is boxbot's
    dialog: Optional[Dialog] = None  # None: the configuration dialog must not show
    timeout: int = 90
    media: Optional[str] = None  # the program's current directory, if not C:\e2e\media
    program_dir: Optional[str] = None  # where the program is copied to and run from
    # The program runs on a desktop that nobody can see (boxbot's
    # desktop=hidden): a box it shows there is never answered.
    unseen: bool = False

    def tail(self):
        if self.raw_tail is not None:
            return self.raw_tail
        return " " + self.args if self.args else ""


def _describe(box):
    return "[%s] %r (%s, icon %s)" % (box["caption"], box["text"], "/".join(box["buttons"]), box["icon"])


def _text_matches(expected, actual):
    if isinstance(expected, re.Pattern):
        return expected.fullmatch(actual) is not None
    return expected == actual


def _text_diff(expected, actual):
    if isinstance(expected, re.Pattern):
        return ["    expected to match %r" % expected.pattern, "    got      %r" % actual]
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
            problems.append("%s never shown: expected [%s] %r" % (label, exp.caption, getattr(
                exp.text, "pattern", exp.text)))
            continue
        got = shown[i]
        if i >= len(case.boxes):
            problems.append("%s not expected: %s, answered %s" % (label, _describe(got), got["answer"]))
            continue
        exp = case.boxes[i]
        if got["caption"] != exp.caption:
            problems.append("%s caption: expected %r, got %r" % (label, exp.caption, got["caption"]))
        if not _text_matches(exp.text, got["text"]):
            problems.append("%s text differs:" % label)
            problems.extend(_text_diff(exp.text, got["text"]))
        if tuple(got["buttons"]) != exp.buttons:
            problems.append("%s buttons: expected %s, got %s" % (label, "/".join(exp.buttons),
                                                                 "/".join(got["buttons"]) or "none"))
        if got["icon"] != exp.icon:
            problems.append("%s icon: expected %s, got %s" % (label, exp.icon, got["icon"]))
        if got["stuck"]:
            problems.append("%s stayed open after the answer %r" % (label, got["answer"]))
    problems.extend(_compare_dialogs(case, result))
    if result["status"] == "exited" and result["exit_code"] != case.exit_code:
        problems.append("exit code: expected %d, got %d" % (case.exit_code, result["exit_code"]))
    return problems


def _compare_view(label, view, record):
    problems = []
    if record["caption"] != view.caption:
        problems.append("%s caption: expected %r, got %r" % (label, view.caption, record["caption"]))
    ids = tuple(c["id"] for c in record["controls"])
    if ids != DIALOG_CONTROLS:
        problems.append("%s recorded controls %s, not %s" % (label, ids, DIALOG_CONTROLS))
    for c in record["controls"]:
        where = "%s control %d" % (label, c["id"])
        if not c["present"]:
            problems.append("%s is missing" % where)
            continue
        expected = view.texts.get(c["id"])
        if c["text"] != expected:
            problems.append("%s text differs:" % where)
            problems.extend(_text_diff(expected or "", c["text"]))
        if c["visible"] != (c["id"] in view.visible):
            problems.append("%s is %s" % (where, "visible" if c["visible"] else "hidden"))
        if c["checked"] != (c["id"] in view.checked):
            problems.append("%s is %s" % (where, "checked" if c["checked"] else "not checked"))
    return problems


def _compare_dialogs(case, result):
    shown = result.get("dialogs", [])
    expected = case.dialog
    if expected is None:
        return ["configuration dialog shown after box %d, not expected" % d["after_boxes"] for d in shown]
    if not shown:
        return ["configuration dialog never shown"]
    problems = ["configuration dialog shown again after box %d" % d["after_boxes"] for d in shown[1:]]
    got = shown[0]
    if result.get("ui_language") != expected.ui_language:
        problems.append("Wine reports UI language 0x%04x; the expected views assume 0x%04x"
                        % (result.get("ui_language", 0), expected.ui_language))
    if got["after_boxes"] != expected.after_boxes:
        problems.append("configuration dialog shown after box %d, expected after box %d"
                        % (got["after_boxes"], expected.after_boxes))
    if got["error"]:
        problems.append("dialog step %d: %s" % (got["actions_done"] + 1, got["error"]))
    if got["stuck"]:
        problems.append("configuration dialog stayed open after its last step; closed with Отмена")
    views = expected.views()
    for i, (view, record) in enumerate(zip(views, got["records"])):
        problems.extend(_compare_view("dialog record %d (%s view)" % (i + 1, view.name), view, record))
    if len(got["records"]) != len(views) and not got["error"]:
        problems.append("dialog recorded %d times, expected %d" % (len(got["records"]), len(views)))
    return problems
