// oom_probe: an allocation of `new` that no 32-bit process can have, with the
// program's own handling of memory failures: the process must end with
// ERROR_OUTOFMEMORY (14), not as a fault of the program (1359).
#include <windows.h>

#include <cstddef>

#include "win32/runtime_failures.h"

namespace {
// Kept where the compiler must assume it is read, or it could leave out the allocation.
char* volatile kept = nullptr;
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  eldoris::endProcessOnMemoryFailures();
  volatile std::size_t size = 0xC0000000u;  // 3 GiB: more than the address space leaves
  kept = new char[size];
  return 1;  // reached only if the allocation succeeded
}
