#include <windows.h>

#include "driver/run.h"
#include "win32/runtime_failures.h"
#include "win32/system_paths.h"
#include "win32/win32_platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLineTail, int) {
  eldoris::restrictDllSearchToSystemDirectory();
  eldoris::endProcessOnMemoryFailures();
  eldoris::Win32Platform platform(instance);
  return static_cast<int>(eldoris::runBootstrapper(platform, commandLineTail));
}
