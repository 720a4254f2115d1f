#include "installer/child_run.h"

#include "messages/code_meaning.h"
#include "messages/decimal.h"
#include "messages/run_log.h"

namespace eldoris {

ChildRun runLoggedChild(Platform& platform, const std::wstring& program,
                        const std::wstring& commandLine, const std::wstring& name,
                        std::wstring (*meaning)(std::uint32_t exitCode)) {
  logEvent(platform, L"starting: " + commandLine);
  ChildRun run = platform.runChildProcess(program, commandLine);
  if (!run.started) {
    logEvent(platform, L"could not be started: Windows error " + decimal(run.code));
    if (run.code == 0) {
      run.code = code::functionFailed;
      noteCodeSource(platform, run.code, name + L" could not be started, with no error");
    } else {
      noteCodeSource(platform, run.code,
                     name + L" could not be started: " + windowsErrorMeaning(run.code));
    }
    return run;
  }
  logEvent(platform, L"ended with exit code " + decimal(run.code) + L" after " +
                         secondsText(run.milliseconds));
  noteCodeSource(platform, run.code, name + L"'s exit code: " + meaning(run.code));
  return run;
}

}  // namespace eldoris
