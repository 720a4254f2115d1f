#include "installer/child_run.h"

#include "messages/code_meaning.h"
#include "messages/run_log.h"
#include "text/decimal.h"

namespace eldoris {

ChildRun runLoggedChild(RunContext& run, const std::wstring& program,
                        const std::wstring& commandLine, const std::wstring& name,
                        std::wstring (*meaning)(std::uint32_t exitCode)) {
  logEvent(run, L"starting: " + commandLine);
  ChildRun child = run.platform.runChildProcess(program, commandLine);
  if (!child.started) {
    logEvent(run, L"could not be started: Windows error " + decimal(child.code));
    const std::wstring why = child.code == 0
                                 ? L" could not be started, with no error"
                                 : L" could not be started: " + windowsErrorMeaning(child.code);
    child.code = failedCallResult(child.code);
    noteCodeSource(run, child.code, name + why);
    return child;
  }
  if (child.lost != 0) {
    // Its exit code is unknown: never read as a success.
    child.started = false;
    child.code =
        failedCall(run, name + L" started, but its end or exit code could not be read", child.lost);
    return child;
  }
  logEvent(run, L"ended with exit code " + decimal(child.code) + L" after " +
                    secondsText(child.milliseconds));
  noteCodeSource(run, child.code, name + L"'s exit code: " + meaning(child.code));
  return child;
}

}  // namespace eldoris
