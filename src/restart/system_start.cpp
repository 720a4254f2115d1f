#include "restart/system_start.h"

#include "messages/code_meaning.h"
#include "restart/restart_marker.h"
#include "text/decimal.h"

namespace eldoris {

namespace {

constexpr std::uint32_t childMustBeVolatile = 1021;  // ERROR_CHILD_MUST_BE_VOLATILE

std::uint32_t view(RunContext& run) { return registryViewFlag(wow64Of(run).value); }

// A key that is not volatile (made first by another program or an
// administrator) would outlive every restart, and a marker would never look
// stale: only a key under which no lasting key can be made is trusted.
SystemStart judge(RunContext& run, const Answer<std::uint64_t>& written) {
  if (written.error == code::fileNotFound) {
    return {SystemStart::State::none, std::wstring(),
            L"no run has marked this start of the system"};
  }
  if (written.failed()) {
    return {SystemStart::State::unknown, std::wstring(),
            L"this start's mark cannot be read (" + windowsErrorMeaning(written.error) + L")"};
  }
  const std::wstring probe = std::wstring(systemStartKey) + L"\\Lasting";
  const Answer<bool> lasting = run.platform.createMachineKey(probe, view(run), false);
  if (lasting.error != childMustBeVolatile) {
    // Only the run's own probe goes: deleting another's would change the mark.
    if (lasting.error == 0 && lasting.value) {
      run.platform.deleteMachineKey(systemStartKey, L"Lasting", view(run));
    }
    return {SystemStart::State::unknown, std::wstring(),
            L"HKLM\\" + std::wstring(systemStartKey) + L" is not volatile (" +
                (lasting.error == 0 ? std::wstring(L"a lasting key can be made in it")
                                    : windowsErrorMeaning(lasting.error)) +
                L"): it does not tell a restart"};
  }
  const std::wstring id = hexadecimal(static_cast<std::uint32_t>(written.value >> 32)) +
                          hexadecimal(static_cast<std::uint32_t>(written.value)).substr(2);
  return {SystemStart::State::known, id, L"this start of the system is " + id};
}

}  // namespace

SystemStart readSystemStart(RunContext& run) {
  return judge(run, run.platform.machineKeyWriteTime(systemStartKey, view(run)));
}

SystemStart markSystemStart(RunContext& run) {
  const Answer<bool> made = run.platform.createMachineKey(systemStartKey, view(run), true);
  if (made.failed()) {
    return {SystemStart::State::unknown, std::wstring(),
            L"this start cannot be marked (" + windowsErrorMeaning(made.error) + L")"};
  }
  return readSystemStart(run);
}

}  // namespace eldoris
