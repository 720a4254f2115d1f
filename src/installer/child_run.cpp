#include "installer/child_run.h"

#include "messages/code_meaning.h"
#include "messages/decimal.h"
#include "messages/run_log.h"

namespace eldoris {

ChildRun runLoggedChild(Platform& platform, const std::wstring& program,
                        const std::wstring& commandLine, const std::wstring& name) {
  logEvent(platform, L"starting: " + commandLine);
  const ChildRun run = platform.runChildProcess(program, commandLine);
  if (!run.started) {
    logEvent(platform, L"could not be started: Windows error " + decimal(run.code));
    noteCodeSource(platform, run.code,
                   name + L" could not be started: " + windowsErrorMeaning(run.code));
    return run;
  }
  logEvent(platform, L"ended with exit code " + decimal(run.code) + L" after " +
                         secondsText(run.milliseconds));
  noteCodeSource(platform, run.code, name + L"'s exit code");
  return run;
}

}  // namespace eldoris
