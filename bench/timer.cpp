// bench-timer: times programs from inside Windows (or Wine), so that the
// outer launcher's own start-up is not counted.
//
//   bench-timer.exe JOB RESULT        (both paths UTF-8)
//
// JOB is UTF-8, one "key=value" per line:
//   repeat=5                  measured rounds
//   warmup=1                  unmeasured rounds first (files and caches warm)
//   timeout=600               seconds per run before the child is killed
//   side=LABEL<TAB>MODE<TAB>CWD<TAB>COMMAND LINE      (repeatable)
//       MODE exit: from CreateProcessW until the process has ended
//       MODE box:  until a visible "#32770" window of the process shows;
//                  the process is then terminated
// Every round runs each side once; the order rotates by one side per round so
// that a load that changes over time hits every side alike.
//
// RESULT gets one tab-separated line per measured run:
//   LABEL ROUND MILLISECONDS STATUS EXIT-CODE PEAK-WORKING-SET-BYTES
// STATUS is exited, box, timeout, start_failed (EXIT-CODE is then the Windows
// error) or no_box (the process ended without showing a box). The peak is
// PeakWorkingSetSize from GetProcessMemoryInfo, read every 50 ms while the
// process runs and once more before its handle is closed; 0 when the system
// does not give it.
#include <windows.h>
// Version 2: GetProcessMemoryInfo is kernel32's K32GetProcessMemoryInfo.
#define PSAPI_VERSION 2
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "utf8_io.h"

namespace {

using helper::readFile;
using helper::widen;

struct Side {
  std::string label, mode;
  std::wstring cwd, commandLine;
};

struct Job {
  std::vector<Side> sides;
  int repeat = 5, warmup = 1;
  DWORD timeoutMs = 600000;
};

bool parseJob(const std::string& text, Job& job) {
  helper::JobLines lines;
  std::string bad;
  if (!helper::splitJob(text, lines, bad)) return false;
  for (const auto& [key, value] : lines) {
    if (key == "repeat")
      job.repeat = atoi(value.c_str());
    else if (key == "warmup")
      job.warmup = atoi(value.c_str());
    else if (key == "timeout")
      job.timeoutMs = (DWORD)atoi(value.c_str()) * 1000;
    else if (key == "side") {
      std::vector<std::string> f;
      for (size_t at = 0, i = 0; i < 4; ++i) {
        size_t tab = i < 3 ? value.find('\t', at) : std::string::npos;
        if (i < 3 && tab == std::string::npos) return false;
        f.push_back(value.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
        at = tab + 1;
      }
      if (f[1] != "exit" && f[1] != "box") return false;
      job.sides.push_back({f[0], f[1], widen(f[2]), widen(f[3])});
    } else
      return false;
  }
  return !job.sides.empty();
}

struct Finder {
  DWORD pid;
  bool found;
};

BOOL CALLBACK findBox(HWND w, LPARAM lp) {
  auto* f = reinterpret_cast<Finder*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  wchar_t cls[16] = {};
  if (pid == f->pid && IsWindowVisible(w) && GetClassNameW(w, cls, 16) &&
      lstrcmpW(cls, L"#32770") == 0) {
    f->found = true;
    return FALSE;
  }
  return TRUE;
}

void samplePeak(HANDLE process, unsigned long long& peak) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(process, &counters, sizeof counters) &&
      counters.PeakWorkingSetSize > peak) {
    peak = counters.PeakWorkingSetSize;
  }
}

struct Run {
  double ms = 0;
  const char* status = "exited";
  DWORD code = 0;
  unsigned long long peak = 0;
};

Run runOnce(const Side& side, DWORD timeoutMs, double ticksPerMs) {
  Run r;
  std::wstring writable = side.commandLine;  // CreateProcessW may write into it
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  LARGE_INTEGER t0, t1;
  QueryPerformanceCounter(&t0);
  if (!CreateProcessW(nullptr, &writable[0], nullptr, nullptr, FALSE, 0, nullptr,
                      side.cwd.empty() ? nullptr : side.cwd.c_str(), &startup, &info)) {
    r.status = "start_failed";
    r.code = GetLastError();
    return r;
  }
  CloseHandle(info.hThread);
  if (side.mode == "box") {
    // Polled every millisecond: the box is a window of another process.
    Finder f{info.dwProcessId, false};
    const DWORD started = GetTickCount();
    for (;;) {
      EnumWindows(findBox, (LPARAM)&f);
      if (f.found) {
        r.status = "box";
        break;
      }
      if (WaitForSingleObject(info.hProcess, 1) == WAIT_OBJECT_0) {
        r.status = "no_box";
        break;
      }
      if (GetTickCount() - started > timeoutMs) {
        r.status = "timeout";
        break;
      }
    }
    QueryPerformanceCounter(&t1);
  } else {
    // Wine reads the counters from the Unix process, which may be gone once
    // the Windows process has ended: sample them while it runs as well.
    const DWORD started = GetTickCount();
    for (;;) {
      if (WaitForSingleObject(info.hProcess, 50) == WAIT_OBJECT_0) break;
      samplePeak(info.hProcess, r.peak);
      if (GetTickCount() - started > timeoutMs) {
        r.status = "timeout";
        break;
      }
    }
    QueryPerformanceCounter(&t1);
  }
  samplePeak(info.hProcess, r.peak);
  if (WaitForSingleObject(info.hProcess, 0) != WAIT_OBJECT_0) {
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, 30000);
  }
  GetExitCodeProcess(info.hProcess, &r.code);
  CloseHandle(info.hProcess);
  r.ms = double(t1.QuadPart - t0.QuadPart) / ticksPerMs;
  return r;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc != 3) return 2;
  std::string text;
  Job job;
  if (!readFile(argv[1], text) || !parseJob(text, job)) return 3;
  // On Windows the desktop is there before any program starts. Wine starts
  // its desktop process on first use and ends it with its last user: hold
  // it for the whole job, or every run would pay for starting it again.
  GetDesktopWindow();
  LARGE_INTEGER freq;
  QueryPerformanceFrequency(&freq);
  const double ticksPerMs = double(freq.QuadPart) / 1000.0;

  FILE* out = _wfopen(argv[2], L"wb");
  if (!out) return 4;
  const size_t n = job.sides.size();
  for (int round = -job.warmup; round < job.repeat; ++round) {
    const size_t shift = size_t(round + job.warmup) % n;
    for (size_t k = 0; k < n; ++k) {
      const Side& side = job.sides[(k + shift) % n];
      const Run r = runOnce(side, job.timeoutMs, ticksPerMs);
      if (round < 0) continue;
      fprintf(out, "%s\t%d\t%.3f\t%s\t%lu\t%llu\n", side.label.c_str(), round, r.ms, r.status,
              (unsigned long)r.code, r.peak);
      fflush(out);  // the runner can follow a long job
    }
  }
  fclose(out);
  LocalFree(argv);
  return 0;
}
