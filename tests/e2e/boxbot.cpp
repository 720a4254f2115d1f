// boxbot: starts a program under Wine/Windows, answers its message boxes from a
// script, drives its configuration dialog from a script and writes what it saw
// (boxes in order, dialog observations, exit code) as JSON.
//
//   boxbot.exe JOB RESULT        (both paths UTF-8)
//
// JOB is UTF-8, one "key=value" per line (split at the first '='):
//   program=C:\path\prog.exe     started as "program" followed by args verbatim
//   args= -csp ""                raw command-line tail, spaces included
//   cwd=C:\media                 working directory (default: boxbot's own)
//   set=NAME=VALUE               environment change (repeatable)
//   unset=NAME                   environment removal (repeatable)
//   answer=yes|no|ok|cancel|escape|close   next box's answer (repeatable)
//   shot=K                       before answering box K (1-based) create
//                                RESULT.shot and wait until it is deleted
//   dialog=A,A,...               actions for the configuration dialog (a
//                                "#32770" window with a control 1015), in
//                                order; repeatable, the lists are joined:
//       record                   note the caption and, for controls 140, 2 and
//                                1006-1015: present, visible, text, checked
//       click:ID                 BM_CLICK on control ID, as a mouse click
//       check:ID                 the same on a radio button (refused otherwise)
//       escape                   the Esc key, to the control with the focus
//       close                    WM_SYSCOMMAND SC_CLOSE (the caption's close button)
//       shot[:NAME]              RESULT.shot holds "NAME WxH+X+Y" (the dialog's
//                                rectangle); wait until it is deleted
//   timeout=120                  seconds before the program is killed
//   desktop=hidden               start the program on a desktop of a window
//                                station created without WSF_VISIBLE, as a
//                                service's: nothing it shows reaches the
//                                screen, and boxbot sees none of its boxes
//
// RESULT holds the outcome so far from before the program starts, with the
// status "running", and is replaced (never rewritten in place) at every box
// and dialog: a restart of the world ends boxbot with its program, and then
// RESULT still tells what was answered before it.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "utf8_io.h"

namespace {

using helper::narrow;
using helper::readFile;
using helper::widen;
using helper::writeFile;

struct Job {
  std::wstring program, args, cwd;
  std::vector<std::pair<std::wstring, std::wstring>> sets;
  std::vector<std::wstring> unsets;
  std::vector<std::string> answers;
  std::set<int> shots;
  std::vector<std::string> dialogActions;
  DWORD timeoutMs = 120000;
  bool hiddenDesktop = false;
};

bool parseJob(const std::string& text, Job& job, std::string& error) {
  helper::JobLines lines;
  std::string bad;
  if (!helper::splitJob(text, lines, bad)) {
    error = "job line without '=': " + bad;
    return false;
  }
  for (const auto& [key, value] : lines) {
    if (key == "program")
      job.program = widen(value);
    else if (key == "args")
      job.args = widen(value);
    else if (key == "cwd")
      job.cwd = widen(value);
    else if (key == "unset")
      job.unsets.push_back(widen(value));
    else if (key == "answer")
      job.answers.push_back(value);
    else if (key == "shot")
      job.shots.insert(atoi(value.c_str()));
    else if (key == "timeout")
      job.timeoutMs = (DWORD)atoi(value.c_str()) * 1000;
    else if (key == "desktop" && value == "hidden")
      job.hiddenDesktop = true;
    else if (key == "dialog") {
      for (size_t at = 0; at <= value.size();) {
        size_t comma = value.find(',', at);
        if (comma == std::string::npos) comma = value.size();
        if (comma > at) job.dialogActions.push_back(value.substr(at, comma - at));
        at = comma + 1;
      }
    } else if (key == "set") {
      size_t eq2 = value.find('=', 1);  // a name may not be empty
      if (eq2 == std::string::npos) {
        error = "set without value: " + value;
        return false;
      }
      job.sets.emplace_back(widen(value.substr(0, eq2)), widen(value.substr(eq2 + 1)));
    } else {
      error = "unknown job key: " + key;
      return false;
    }
  }
  if (job.program.empty()) {
    error = "job has no program";
    return false;
  }
  return true;
}

bool sameName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), (int)a.size(), b.c_str(), (int)b.size(), TRUE) ==
         CSTR_EQUAL;
}

// Own environment with the job's changes, as a CREATE_UNICODE_ENVIRONMENT block.
std::vector<wchar_t> buildEnvironment(const Job& job) {
  std::vector<std::wstring> entries;
  if (wchar_t* env = GetEnvironmentStringsW()) {
    for (const wchar_t* p = env; *p; p += wcslen(p) + 1) entries.emplace_back(p);
    FreeEnvironmentStringsW(env);
  }
  auto nameOf = [](const std::wstring& e) { return e.substr(0, e.find(L'=', 1)); };
  auto drop = [&](const std::wstring& name) {
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const std::wstring& e) { return sameName(nameOf(e), name); }),
                  entries.end());
  };
  for (const auto& name : job.unsets) drop(name);
  for (const auto& kv : job.sets) {
    drop(kv.first);
    entries.push_back(kv.first + L"=" + kv.second);
  }
  std::sort(entries.begin(), entries.end(), [](const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
  });
  std::vector<wchar_t> block;
  for (const auto& e : entries) block.insert(block.end(), e.c_str(), e.c_str() + e.size() + 1);
  block.push_back(L'\0');
  if (block.size() == 1) block.push_back(L'\0');
  return block;
}

std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char esc[8];
          snprintf(esc, sizeof esc, "\\u%04x", c);
          out += esc;
        } else {
          out += (char)c;
        }
    }
  }
  return out + "\"";
}

std::wstring windowText(HWND w) {
  int n = GetWindowTextLengthW(w);
  std::wstring s(n + 1, L'\0');
  n = GetWindowTextW(w, &s[0], n + 1);
  s.resize(n > 0 ? n : 0);
  return s;
}

std::wstring className(HWND w) {
  wchar_t buf[64] = {};
  GetClassNameW(w, buf, 64);
  return buf;
}

struct ButtonId {
  int id;
  const char* name;
};
const ButtonId kButtons[] = {
    {IDOK, "ok"},       {IDCANCEL, "cancel"},     {IDABORT, "abort"},
    {IDRETRY, "retry"}, {IDIGNORE, "ignore"},     {IDYES, "yes"},
    {IDNO, "no"},       {IDTRYAGAIN, "tryagain"}, {IDCONTINUE, "continue"}};

// A message box hides the buttons of its template that its style does not use.
bool hasButton(HWND box, int id) {
  HWND b = GetDlgItem(box, id);
  return b && (GetWindowLongW(b, GWL_STYLE) & WS_VISIBLE);
}

struct Box {
  std::string caption, text, icon, answer;
  std::vector<std::string> buttons;
  bool unexpected = false, stuck = false;
  DWORD answeredAt = 0;
};

struct Finder {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK collectBoxes(HWND w, LPARAM lp) {
  auto* f = reinterpret_cast<Finder*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == f->pid && IsWindowVisible(w) && className(w) == L"#32770") f->found.push_back(w);
  return TRUE;
}

struct IconFinder {
  HWND icon = nullptr;
  HWND text = nullptr;
};

BOOL CALLBACK collectStatics(HWND w, LPARAM lp) {
  auto* f = reinterpret_cast<IconFinder*>(lp);
  if (className(w) != L"Static" || !(GetWindowLongW(w, GWL_STYLE) & WS_VISIBLE)) return TRUE;
  LONG type = GetWindowLongW(w, GWL_STYLE) & SS_TYPEMASK;
  if (type == SS_ICON) {
    if (!f->icon) f->icon = w;
  } else if (!f->text) {
    f->text = w;
  }
  return TRUE;
}

// Icon handles are per process, so the icon is told apart by its pixels: the
// control as it is on screen against each standard icon drawn the same size on
// the same background (the control's corner pixel).
struct Dib {
  HDC dc = nullptr;
  HBITMAP bmp = nullptr;
  HGDIOBJ old = nullptr;
  DWORD* bits = nullptr;
  int w, h;
  Dib(int width, int height) : w(width), h(height) {
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    dc = CreateCompatibleDC(nullptr);
    void* p = nullptr;
    bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = static_cast<DWORD*>(p);
    if (bmp) old = SelectObject(dc, bmp);
  }
  ~Dib() {
    if (bmp) {
      SelectObject(dc, old);
      DeleteObject(bmp);
    }
    DeleteDC(dc);
  }
  bool ok() const { return bmp && bits; }
  std::vector<DWORD> pixels() const {
    GdiFlush();
    std::vector<DWORD> v(bits, bits + w * h);
    for (auto& px : v) px &= 0xFFFFFF;
    return v;
  }
};

std::vector<DWORD> screenPixels(const RECT& r) {
  Dib dib(r.right - r.left, r.bottom - r.top);
  if (!dib.ok()) return {};
  HDC screen = GetDC(nullptr);
  BOOL copied = BitBlt(dib.dc, 0, 0, dib.w, dib.h, screen, r.left, r.top, SRCCOPY);
  ReleaseDC(nullptr, screen);
  return copied ? dib.pixels() : std::vector<DWORD>();
}

std::vector<DWORD> drawnPixels(HICON icon, int w, int h, DWORD background) {
  Dib dib(w, h);
  if (!dib.ok()) return {};
  HBRUSH brush =
      CreateSolidBrush(RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF));
  RECT all = {0, 0, w, h};
  FillRect(dib.dc, &all, brush);
  DeleteObject(brush);
  return DrawIconEx(dib.dc, 0, 0, icon, w, h, 0, nullptr, DI_NORMAL) ? dib.pixels()
                                                                     : std::vector<DWORD>();
}

std::string identifyIcon(HWND iconCtrl) {
  if (!iconCtrl || !SendMessageW(iconCtrl, STM_GETICON, 0, 0)) return "none";
  struct Std {
    LPCWSTR id;
    const char* name;
  };
  const Std standard[] = {{IDI_ERROR, "error"},
                          {IDI_WARNING, "warning"},
                          {IDI_INFORMATION, "information"},
                          {IDI_QUESTION, "question"}};
  RECT r;
  if (!GetWindowRect(iconCtrl, &r) || r.right <= r.left || r.bottom <= r.top) return "present";
  // The box may not be painted yet when it first shows: look again until it
  // is. The bound only keeps an icon that is no standard one from holding the
  // run: a box is painted as soon as its program runs, however busy the machine.
  for (int attempt = 0; attempt < 600; ++attempt, Sleep(50)) {
    std::vector<DWORD> shown = screenPixels(r);
    if (shown.empty()) continue;
    for (const auto& s : standard)
      if (drawnPixels(LoadIconW(nullptr, s.id), r.right - r.left, r.bottom - r.top, shown[0]) ==
          shown)
        return s.name;
  }
  return "present";
}

Box describe(HWND w) {
  Box b;
  b.caption = narrow(windowText(w));
  IconFinder statics;
  EnumChildWindows(w, collectStatics, (LPARAM)&statics);
  HWND text = GetDlgItem(w, 0xFFFF);
  if (!text) text = statics.text;
  if (text) b.text = narrow(windowText(text));
  for (const auto& bt : kButtons)
    if (hasButton(w, bt.id)) b.buttons.push_back(bt.name);
  b.icon = identifyIcon(statics.icon);
  return b;
}

// A box with no scripted answer gets the least harmful one it offers.
std::string safeAnswer(HWND w) {
  if (hasButton(w, IDNO)) return "no";
  if (hasButton(w, IDOK)) return "ok";
  return "cancel";
}

// True when the answer has been handled once this returns: a button's answer
// is sent, and a box that takes it hides at once (EndDialog), so one still
// shown afterwards refused it. Keys and the close command go through the
// box's queue, as a person's would, and are only posted.
bool answerBox(HWND w, const std::string& answer) {
  if (answer == "escape") {
    PostMessageW(w, WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageW(w, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    return false;
  }
  if (answer == "close") {
    PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0);
    return false;
  }
  int id = IDCANCEL;
  for (const auto& bt : kButtons)
    if (answer == bt.name) id = bt.id;
  DWORD_PTR reply = 0;
  return SendMessageTimeoutW(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0, SMTO_NORMAL, 60000,
                             &reply) != 0;
}

bool knownAnswer(const std::string& a) {
  if (a == "escape" || a == "close") return true;
  for (const auto& bt : kButtons)
    if (a == bt.name) return true;
  return false;
}

// Holds the program at a box or dialog until the runner deletes the marker:
// after a screenshot, or when another program has had its turn. Only the
// job's own time limit ends the wait.
DWORD jobDeadline = 0;

void waitForShot(const std::wstring& marker, const std::string& label) {
  if (!writeFile(marker, label + "\n")) return;
  while (GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES &&
         (LONG)(GetTickCount() - jobDeadline) < 0)
    Sleep(50);
  DeleteFileW(marker.c_str());
}

// --- the configuration dialog ------------------------------------------------

// The dialog is a "#32770" window too; its "Опции" button tells it from a box.
const int kOptionsButton = 1015;
const int kRecordedControls[] = {140,  2,    1006, 1007, 1008, 1009,
                                 1010, 1011, 1012, 1013, 1014, 1015};
const UINT kSendTimeoutMs = 10000;

bool isConfigurationDialog(HWND w) { return GetDlgItem(w, kOptionsButton) != nullptr; }

struct Control {
  int id = 0;
  bool present = false, visible = false, checked = false;
  std::string text;
};

struct Record {
  std::string caption;
  std::vector<Control> controls;
};

struct Dialog {
  size_t afterBoxes = 0;  // boxes seen before the dialog showed
  std::vector<Record> records;
  size_t actionsDone = 0;
  bool unexpected = false, stuck = false;
  std::string error;
  DWORD scriptEndedAt = 0;
};

bool sendTo(HWND w, UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR& reply) {
  return SendMessageTimeoutW(w, msg, wp, lp, SMTO_ABORTIFHUNG, kSendTimeoutMs, &reply) != 0;
}

Record recordDialog(HWND dlg) {
  Record r;
  r.caption = narrow(windowText(dlg));
  for (int id : kRecordedControls) {
    Control c;
    c.id = id;
    HWND ctrl = GetDlgItem(dlg, id);
    c.present = ctrl != nullptr;
    if (ctrl) {
      c.visible = (GetWindowLongW(ctrl, GWL_STYLE) & WS_VISIBLE) != 0;
      c.text = narrow(windowText(ctrl));
      DWORD_PTR state = 0;
      c.checked = sendTo(ctrl, BM_GETCHECK, 0, 0, state) && state == BST_CHECKED;
    }
    r.controls.push_back(c);
  }
  return r;
}

// Lets the dialog's thread handle what was sent or posted before, and paint.
void settle(HWND dlg) {
  DWORD_PTR reply = 0;
  if (IsWindow(dlg)) sendTo(dlg, WM_NULL, 0, 0, reply);
  Sleep(150);
  if (IsWindow(dlg)) sendTo(dlg, WM_NULL, 0, 0, reply);
}

bool isRadio(HWND ctrl) {
  LONG type = GetWindowLongW(ctrl, GWL_STYLE) & BS_TYPEMASK;
  return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

HWND focusOf(HWND dlg) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  DWORD thread = GetWindowThreadProcessId(dlg, nullptr);
  if (GetGUIThreadInfo(thread, &info) && info.hwndFocus && IsChild(dlg, info.hwndFocus))
    return info.hwndFocus;
  return dlg;
}

std::string shotLabel(HWND dlg, const std::string& name) {
  RECT r = {};
  GetWindowRect(dlg, &r);
  return name + " " + std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) +
         "+" + std::to_string(r.left) + "+" + std::to_string(r.top);
}

// One scripted action; an empty result means done.
std::string act(HWND dlg, const std::string& action, Dialog& d, const std::wstring& marker) {
  if (!IsWindow(dlg) || !IsWindowVisible(dlg))
    return "the dialog was gone before \"" + action + "\"";
  size_t colon = action.find(':');
  std::string verb = action.substr(0, colon);
  std::string arg = colon == std::string::npos ? "" : action.substr(colon + 1);
  if (verb == "record" && arg.empty()) {
    d.records.push_back(recordDialog(dlg));
    return "";
  }
  if (verb == "escape" && arg.empty()) {
    HWND target = focusOf(dlg);
    PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    return "";
  }
  if (verb == "close" && arg.empty()) {
    PostMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
    return "";
  }
  if (verb == "shot") {
    Sleep(400);  // the last paint reaches the X server
    waitForShot(marker,
                shotLabel(dlg, arg.empty() ? "dialog-" + std::to_string(d.actionsDone + 1) : arg));
    return "";
  }
  if ((verb == "click" || verb == "check") && !arg.empty()) {
    HWND ctrl = GetDlgItem(dlg, atoi(arg.c_str()));
    if (!ctrl) return "no control " + arg + " for \"" + action + "\"";
    if (verb == "check" && !isRadio(ctrl)) return "control " + arg + " is not a radio button";
    DWORD_PTR reply = 0;
    // The click may end the dialog: only a send that failed on a live window is an error.
    if (!sendTo(ctrl, BM_CLICK, 0, 0, reply) && IsWindow(ctrl))
      return "\"" + action + "\" was not handled";
    return "";
  }
  return "unknown dialog action \"" + action + "\"";
}

void runDialogScript(HWND dlg, const std::vector<std::string>& actions, Dialog& d,
                     const std::wstring& marker) {
  Sleep(300);  // the first paint
  settle(dlg);
  for (const auto& action : actions) {
    d.error = act(dlg, action, d, marker);
    if (!d.error.empty()) break;
    ++d.actionsDone;
    settle(dlg);
  }
  d.scriptEndedAt = GetTickCount();
}

std::string renderDialogs(const std::vector<Dialog>& dialogs) {
  std::string out = "  \"dialogs\": [";
  for (size_t i = 0; i < dialogs.size(); ++i) {
    const Dialog& d = dialogs[i];
    out += i ? ",\n    {" : "\n    {";
    out += "\"after_boxes\": " + std::to_string(d.afterBoxes);
    out += ", \"actions_done\": " + std::to_string(d.actionsDone);
    out += std::string(", \"unexpected\": ") + (d.unexpected ? "true" : "false");
    out += std::string(", \"stuck\": ") + (d.stuck ? "true" : "false");
    out += ", \"error\": " + jsonString(d.error) + ", \"records\": [";
    for (size_t j = 0; j < d.records.size(); ++j) {
      const Record& r = d.records[j];
      out += j ? ",\n      {" : "\n      {";
      out += "\"caption\": " + jsonString(r.caption) + ", \"controls\": [";
      for (size_t k = 0; k < r.controls.size(); ++k) {
        const Control& c = r.controls[k];
        out += k ? ",\n        {" : "\n        {";
        out += "\"id\": " + std::to_string(c.id);
        out += std::string(", \"present\": ") + (c.present ? "true" : "false");
        out += std::string(", \"visible\": ") + (c.visible ? "true" : "false");
        out += std::string(", \"checked\": ") + (c.checked ? "true" : "false");
        out += ", \"text\": " + jsonString(c.text) + "}";
      }
      out += "]}";
    }
    out += "]}";
  }
  return out + (dialogs.empty() ? "],\n" : "\n  ],\n");
}

std::string renderResult(const std::vector<Box>& boxes, const std::vector<Dialog>& dialogs,
                         const std::string& status, DWORD exitCode, DWORD startError,
                         const std::string& error) {
  std::string out = "{\n  \"status\": " + jsonString(status) + ",\n";
  out += "  \"exit_code\": " + std::to_string(exitCode) + ",\n";
  out += "  \"start_error\": " + std::to_string(startError) + ",\n";
  out += "  \"error\": " + jsonString(error) + ",\n";
  out += "  \"ui_language\": " + std::to_string(GetSystemDefaultUILanguage()) + ",\n";
  out += renderDialogs(dialogs) + "  \"boxes\": [";
  for (size_t i = 0; i < boxes.size(); ++i) {
    const Box& b = boxes[i];
    out += i ? ",\n    {" : "\n    {";
    out += "\"caption\": " + jsonString(b.caption) + ", \"text\": " + jsonString(b.text);
    out += ", \"buttons\": [";
    for (size_t j = 0; j < b.buttons.size(); ++j) out += (j ? ", " : "") + jsonString(b.buttons[j]);
    out += "], \"icon\": " + jsonString(b.icon) + ", \"answer\": " + jsonString(b.answer);
    out += std::string(", \"unexpected\": ") + (b.unexpected ? "true" : "false");
    out += std::string(", \"stuck\": ") + (b.stuck ? "true" : "false") + "}";
  }
  out += boxes.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return out;
}

// A window station of boxbot's own, which Windows and Wine create without
// WSF_VISIBLE, and a desktop on it, kept open while the program runs.
struct HiddenDesktop {
  HWINSTA station = nullptr;
  HDESK desktop = nullptr;
  std::wstring name;  // "station\\desktop", for STARTUPINFOW::lpDesktop
  ~HiddenDesktop() {
    if (desktop) CloseDesktop(desktop);
    if (station) CloseWindowStation(station);
  }
  bool open() {
    const std::wstring stationName = L"eldoris-hidden-" + std::to_wstring(GetCurrentProcessId());
    station = CreateWindowStationW(stationName.c_str(), 0, WINSTA_ALL_ACCESS, nullptr);
    HWINSTA own = GetProcessWindowStation();
    if (!station || !SetProcessWindowStation(station)) return false;
    desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetProcessWindowStation(own);
    name = stationName + L"\\Default";
    return desktop != nullptr;
  }
};

// Replaces RESULT whole: a reader, or a restart that ends boxbot, never meets
// half a file.
bool publish(const std::wstring& resultPath, const std::string& text) {
  const std::wstring part = resultPath + L".part";
  return writeFile(part, text) &&
         MoveFileExW(part.c_str(), resultPath.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

int run(const std::wstring& jobPath, const std::wstring& resultPath) {
  std::vector<Box> boxes;
  std::vector<Dialog> dialogs;
  std::string jobText, error;
  Job job;
  if (!readFile(jobPath, jobText))
    error = "cannot read job file";
  else
    parseJob(jobText, job, error);
  for (const auto& a : job.answers)
    if (error.empty() && !knownAnswer(a)) error = "unknown answer: " + a;
  if (!error.empty())
    return publish(resultPath, renderResult(boxes, dialogs, "bad_job", 0, 0, error)) ? 2 : 3;
  auto progress = [&] { publish(resultPath, renderResult(boxes, dialogs, "running", 0, 0, "")); };

  std::wstring cmdLine = L"\"" + job.program + L"\"" + job.args;
  std::vector<wchar_t> cmdBuf(cmdLine.begin(), cmdLine.end());
  cmdBuf.push_back(L'\0');
  std::vector<wchar_t> env = buildEnvironment(job);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  HiddenDesktop hidden;
  if (job.hiddenDesktop) {
    if (!hidden.open()) {
      const std::string failed =
          renderResult(boxes, dialogs, "start_failed", 0, GetLastError(), "no hidden desktop");
      return publish(resultPath, failed) ? 0 : 3;
    }
    si.lpDesktop = &hidden.name[0];
  }
  PROCESS_INFORMATION pi = {};
  const DWORD started = GetTickCount();
  jobDeadline = started + job.timeoutMs;
  progress();
  if (!CreateProcessW(nullptr, cmdBuf.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                      env.data(), job.cwd.empty() ? nullptr : job.cwd.c_str(), &si, &pi)) {
    DWORD err = GetLastError();
    std::string failed =
        renderResult(boxes, dialogs, "start_failed", 0, err, "CreateProcessW failed");
    return publish(resultPath, failed) ? 0 : 3;
  }
  CloseHandle(pi.hThread);

  // A posted answer or a dialog's last step that has not closed its window by
  // now never will: the program takes its input as soon as it runs at all.
  const DWORD stuckAfterMs = 30000;
  size_t nextAnswer = 0;
  std::map<HWND, size_t> open;         // boxes on screen -> index in boxes
  std::map<HWND, size_t> openDialogs;  // dialogs on screen -> index in dialogs
  std::string status = "exited";
  while (WaitForSingleObject(pi.hProcess, 50) == WAIT_TIMEOUT) {
    DWORD now = GetTickCount();
    if (now - started > job.timeoutMs) {
      TerminateProcess(pi.hProcess, 0xDEADu);
      WaitForSingleObject(pi.hProcess, 5000);
      status = "timeout";
      break;
    }
    Finder f{pi.dwProcessId, {}};
    EnumWindows(collectBoxes, (LPARAM)&f);
    // Forget closed boxes, so that a reused window handle counts as a new box.
    for (auto* windows : {&open, &openDialogs})
      for (auto it = windows->begin(); it != windows->end();)
        it = std::count(f.found.begin(), f.found.end(), it->first) ? std::next(it)
                                                                   : windows->erase(it);
    for (HWND w : f.found) {
      if (isConfigurationDialog(w)) {
        auto seen = openDialogs.find(w);
        if (seen != openDialogs.end()) {
          // Still open after its script: end it with Отмена.
          Dialog& d = dialogs[seen->second];
          if (!d.stuck && !d.unexpected && GetTickCount() - d.scriptEndedAt > stuckAfterMs) {
            d.stuck = true;
            PostMessageW(w, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
          }
          continue;
        }
        Dialog d;
        d.afterBoxes = boxes.size();
        if (dialogs.empty() && !job.dialogActions.empty()) {
          dialogs.push_back(d);
          runDialogScript(w, job.dialogActions, dialogs.back(), resultPath + L".shot");
        } else {
          d.unexpected = true;
          runDialogScript(w, {"record"}, d, resultPath + L".shot");
          PostMessageW(w, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);  // Отмена
          dialogs.push_back(d);
        }
        openDialogs[w] = dialogs.size() - 1;
        progress();
        continue;
      }
      auto seen = open.find(w);
      if (seen != open.end()) {
        // An answer that did not close the box: close it the safe way.
        Box& b = boxes[seen->second];
        if (!b.stuck && now - b.answeredAt > stuckAfterMs) {
          b.stuck = true;
          answerBox(w, safeAnswer(w));
        }
        continue;
      }
      Box b = describe(w);
      if (nextAnswer < job.answers.size()) {
        b.answer = job.answers[nextAnswer++];
      } else {
        b.answer = safeAnswer(w);
        b.unexpected = true;
      }
      boxes.push_back(b);
      open[w] = boxes.size() - 1;
      progress();  // before the answer, which may end the world with a restart
      if (job.shots.count((int)boxes.size()))
        waitForShot(resultPath + L".shot", shotLabel(w, std::to_string(boxes.size())));
      const bool handled = answerBox(w, b.answer);
      boxes.back().answeredAt = GetTickCount();
      if (handled && IsWindowVisible(w)) {
        boxes.back().stuck = true;
        answerBox(w, safeAnswer(w));
      }
    }
  }
  DWORD exitCode = 0;
  GetExitCodeProcess(pi.hProcess, &exitCode);
  CloseHandle(pi.hProcess);
  return publish(resultPath, renderResult(boxes, dialogs, status, exitCode, 0, "")) ? 0 : 3;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return 4;
  int rc = argc == 3 ? run(argv[1], argv[2]) : 4;
  LocalFree(argv);
  return rc;
}
