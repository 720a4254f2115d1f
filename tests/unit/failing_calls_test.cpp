// Every call to Windows that can fail, failed in turn, one per run, in the
// main scenarios: what the README and the deployment guide promise must hold
// on every one of those paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <set>

#include "driver/run.h"
#include "fake_platform.h"
#include "messages/code_meaning.h"

namespace eldoris::testing {
namespace {

struct Scenario {
  const char* name;
  std::wstring arguments;
  std::function<void(FakePlatform&)> setUp;
  InstallerResult exitCode;  // without a failure
};

void upgradeAskingForARestart(FakePlatform& p) {
  p.productState = 5;
  p.packageVersion = {0, L"2.0.10"};
  p.childRuns = {{true, 3010}};
}

const std::vector<Scenario>& scenarios() {
  static const std::vector<Scenario> all = {
      {"a silent fresh installation", L"-silent", [](FakePlatform&) {}, 0},
      {"an interactive upgrade asking for a restart, Yes", L"",
       [](FakePlatform& p) {
         upgradeAskingForARestart(p);
         p.answers = {box::idYes, box::idYes};
       },
       0},
      {"-silent -reinstall with a restart already due", L"-silent -reinstall",
       [](FakePlatform& p) {
         p.productState = 5;
         p.userKeys.insert(L"Software\\NeedBstrReboot");
       },
       0},
      {"-csp with its question", L"-csp",
       [](FakePlatform& p) {
         p.answers = {box::idYes, box::idOk};
       },
       0},
      {"-silent -log over old logs", L"-silent -log logs\\run.log",
       [](FakePlatform& p) {
         p.existingFolders = {L"D:\\setup", L"D:\\setup\\logs"};
         p.files[L"D:\\setup\\logs\\run.log"] = "an earlier run's";
         p.files[L"D:\\setup\\logs\\run_velmarix-x64.msi.log"] = "an earlier run's";
       },
       0},
      {"-silent -log into folders to be made", L"-silent -log D:\\setup\\new\\logs\\run.log",
       [](FakePlatform& p) { p.existingFolders = {L"D:\\setup"}; }, 0},
      {"3010 under -silent -norestart -restartcodes", L"-silent -norestart -restartcodes",
       [](FakePlatform& p) {
         p.childRuns = {{true, 3010}};
       },
       3010},
      {"nobody sees, -silent -restartcodes, an upgrade asking for a restart",
       L"-silent -restartcodes",
       [](FakePlatform& p) {
         upgradeAskingForARestart(p);
         p.desktop.stationVisible.value = false;
       },
       1641},
  };
  return all;
}

// Failures that the README or the deployment guide names as harmless, with
// the line that says so in the run's log: the run may go on, and succeed.
struct Harmless {
  const char* call;
  const char* logged;  // a text of the run's log; nullptr: the run's log is cut or missing
  const char* documented;
};
const Harmless harmless[] = {
    // clang-format off
    {"programPath", ": path unreadable, error ", "README, the run's own log"},
    {"currentDirectory", "current directory: unreadable", "README, the run's own log"},
    {"kernelVersion", "Windows 6.1, service pack 1, WOW64: ", "README, the run's own log (RtlGetVersion's note)"},
    {"versionRecord", "service pack unknown (basic version record)", "README, Windows NT 4.0 before SP6"},
    {"desktopView", "desktop: taken as nobody seeing it", "README, Under faults"},
    {"stringTableBlock", "the boxes' caption cannot be loaded", "README, Under faults"},
    {"stringTableBlock", ") cannot be loaded (", "README, Under faults: a caption that cannot be loaded leaves the box without one"},
    {"stringTableBlock", "(its text cannot be loaded)", "README, Under faults: a box not shown has no text to show"},
    {"environmentVariable", nullptr, "deployment guide, Logs: without TMP there is no log of the run's own"},
    {"createNewFile", nullptr, "deployment guide, Logs: a log that cannot be written never changes the run"},
    {"writeFile", nullptr, "deployment guide, Logs: a line that cannot be written closes the log"},
    {"lookAtFolder", " is not used: who may change it cannot be read", "deployment guide, Logs"},
    {"findFrom", " is not used: where the log was made cannot be told", "deployment guide, Logs"},
    {"processAccount", "the account the run is cannot be read", "deployment guide, Logs: the run's own account, unread, is trusted no more than another"},
    {"keepAside", " is not replaced (", "deployment guide, Logs: what cannot be kept is never replaced"},
    {"renameOpenFile", " is not replaced (it could not take the name", "deployment guide, Logs: the log stays beside"},
    {"initializeCom", "COM not initialised", "README, Under faults"},
    {"waitForInstaller", "cannot be told (", "deployment guide, Another installation is running"},
    {"waitForInstaller", "its service's status cannot be read", "deployment guide, Another installation is running"},
    {"msiCloseHandle", "the package's handle was not closed", "README, Under faults"},
    {"msiSourceListForceResolution", "source list: resolved again (Windows error", "README, Under faults"},
    {"msiSourceListSetInfo", "(Windows error 1605", "README, Under faults"},
    {"createUserKey", "the restart is still due in this run", "README, Under faults: the installer's answer carries the restart"},
    {"userKeyWriteTime", "the restart marker cannot be read (", "README, Under faults: unread at the start, it stays"},
    {"readUserValue", "start of the system cannot be read", "deployment guide, The restart marker: where it cannot be told, it stays"},
    {"createMachineKey", "without this start's mark", "deployment guide, The restart marker: judged as another program's"},
    {"createMachineKey", "it does not tell a restart", "deployment guide, The restart marker: where it cannot be told, it stays"},
    {"machineKeyWriteTime", "without this start's mark", "deployment guide, The restart marker: judged as another program's"},
    {"machineKeyWriteTime", "this start's mark cannot be read", "deployment guide, The restart marker: where it cannot be told, it stays"},
    {"writeUserValue", "without this computer's value", "deployment guide, The restart marker: judged as another program's"},
    {"deleteUserKey", "restart marker not deleted", "deployment guide, The restart marker: offered again by every later run"},
    {"userValueNames", "the restart marker's values cannot be read", "deployment guide, The restart marker: where it cannot be told, it stays"},
    {"deleteUserValue", "this computer's value not deleted", "deployment guide, The restart marker: offered again by every later run"},
    {"computerName", "this computer's name cannot be read", "deployment guide, The restart marker: judged as another program's"},
    {"restartSystem", "restart: could not be started", "README, exit codes 7 and 3010"},
    {"takeRunLock", "the namespace's lock alone keeps runs apart", "README, One run at a time: what is at the global name stops no run that holds the namespace's"},
    // clang-format on
};

bool successCode(InstallerResult code) {
  return code == 0 || code == code::rebootRequired || code == code::rebootInitiated;
}

// The run's own log: the one file that it began with its byte-order mark.
std::string runLog(const FakePlatform& platform) {
  for (const auto& [path, content] : platform.files) {
    if (content.rfind("\xEF\xBB\xBF", 0) == 0 &&
        content.find(" command line: ") != std::string::npos)
      return content;
  }
  return std::string();
}

std::string lastLine(const std::string& log) {
  if (log.size() < 3) return std::string();
  const std::size_t start = log.rfind("\r\n", log.size() - 3);
  return log.substr(start == std::string::npos ? 0 : start + 2 + 24);
}

struct Outcome {
  InstallerResult exitCode = 0;
  std::string broken;  // the promise it broke; empty where none
};

// Media as shipped: both builds, so that a wrong guess at the system's
// bitness installs the wrong one rather than finding none.
void media(FakePlatform& platform) {
  platform.addPackage(L"win32", L"velmarix-win32.msi");
  platform.addPackage(L"x64", L"velmarix-x64.msi");
}

Outcome runWithFailure(const Scenario& scenario, std::size_t failAt, std::string& failed) {
  FakePlatform platform;
  media(platform);
  scenario.setUp(platform);
  platform.failAt = failAt;
  const bool markerBefore = platform.markerPresent();
  Outcome outcome;
  try {
    platform.processCommandLine = L"eldoris-setup.exe " + scenario.arguments;
    outcome.exitCode = runBootstrapper(platform, scenario.arguments);
  } catch (const std::exception& e) {
    outcome.broken = std::string("no end: ") + e.what();
    return outcome;
  }
  failed = platform.failed;
  const std::string log = runLog(platform);
  const std::string last = lastLine(log);
  const bool ended =
      last.rfind("exit code ", 0) == 0 || last.rfind("restart: requested now", 0) == 0;
  const auto tolerated =
      std::find_if(std::begin(harmless), std::end(harmless), [&](const Harmless& h) {
        return failed == h.call &&
               (h.logged == nullptr ? !ended : log.find(h.logged) != std::string::npos);
      });
  const bool isHarmless = failAt == 0 || tolerated != std::end(harmless);
  // A failure is never reported as success.
  if (!isHarmless && successCode(outcome.exitCode)) {
    outcome.broken =
        "a failure ends the run with the success code " + std::to_string(outcome.exitCode);
  }
  // Nothing that depends on the failed step happens after it.
  const auto at = std::find(platform.calls.begin(), platform.calls.end(), "fault");
  for (const char* dependent : {"child", "restart", "deleteKey"}) {
    if (!isHarmless && std::find(at, platform.calls.end(), dependent) != platform.calls.end()) {
      outcome.broken =
          std::string("a step that depends on the failed one ran after it: ") + dependent;
    }
  }
  // A due restart is never lost: the marker is there, the restart was asked, or the code says so.
  const bool asked =
      std::any_of(platform.childCodes.begin(), platform.childCodes.end(),
                  [](std::uint32_t c) { return c == 3010 || c == 1641 || c == 3011; });
  const bool kept = platform.markerPresent() || platform.restartsStarted > 0 ||
                    outcome.exitCode == 3010 || outcome.exitCode == 1641 ||
                    outcome.exitCode == restartFailedResult;
  if ((markerBefore || asked) && !kept) outcome.broken = "a due restart is lost";
  // Its code is not one the table gives another cause (5: a missing service pack).
  const InstallerResult code = outcome.exitCode;
  const bool itsCause = code == code::logFailure || code == code::installAlreadyRunning ||
                        (code == restartFailedResult && (markerBefore || asked));
  if (!isHarmless && hasOwnMeaning(code) && !itsCause && !successCode(code)) {
    outcome.broken = "a failure ends the run with the code of another cause";
  }
  // The run's log ends with the code and whose it is (or with the restart asked).
  const bool cut = tolerated != std::end(harmless) && tolerated->logged == nullptr;
  const std::string ending = "exit code " + std::to_string(outcome.exitCode) + ": ";
  if (!cut && !(last.rfind(ending, 0) == 0 ||
                (platform.restartsStarted > 0 && last.rfind("restart: requested now", 0) == 0))) {
    outcome.broken = "the run's log ends with «" + last + "»";
  } else if (last.find("a code the program does not give") != std::string::npos) {
    outcome.broken = "the run's log does not say whose the code is: «" + last + "»";
  }
  return outcome;
}

TEST(FailingCalls, EveryCallFailingInTurnKeepsWhatTheProgramPromises) {
  std::size_t injected = 0;
  std::vector<std::string> broken;
  std::set<std::string> callsFailed;
  for (const Scenario& scenario : scenarios()) {
    std::string none;
    const Outcome baseline = runWithFailure(scenario, 0, none);
    EXPECT_EQ(baseline.exitCode, scenario.exitCode) << scenario.name;
    EXPECT_EQ(baseline.broken, "") << scenario.name;
    // How many calls that can fail the scenario makes: fail each in turn.
    FakePlatform counting;
    media(counting);
    scenario.setUp(counting);
    counting.processCommandLine = L"eldoris-setup.exe " + scenario.arguments;
    runBootstrapper(counting, scenario.arguments);
    for (std::size_t k = 1; k <= counting.failable.size(); ++k) {
      std::string failed;
      const Outcome outcome = runWithFailure(scenario, k, failed);
      ++injected;
      callsFailed.insert(failed);
      if (!outcome.broken.empty()) {
        broken.push_back(std::string(scenario.name) + ", call " + std::to_string(k) + " (" +
                         failed + ") failing: " + outcome.broken + " (exit code " +
                         std::to_string(outcome.exitCode) + ")");
      }
    }
  }
  for (const std::string& line : broken) ADD_FAILURE() << line;
  const std::string summary = "failing calls: " + std::to_string(injected) + " injected over " +
                              std::to_string(scenarios().size()) + " scenarios (" +
                              std::to_string(callsFailed.size()) + " kinds of call), " +
                              std::to_string(broken.size()) + " broken promises";
  std::cout << summary << "\n";
  std::ofstream(ELDORIS_SWEEP_SUMMARY) << summary << "\n";
  EXPECT_GT(injected, 300u);  // the scenarios still reach the calls they are for
}

}  // namespace
}  // namespace eldoris::testing
