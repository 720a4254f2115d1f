// The error of a call that failed, where Windows may not have set one.
#pragma once

#include <windows.h>

namespace eldoris {

// GetLastError(), or `fallback` where the failed call left it 0: a failure
// is never reported as error 0, which reads as success.
inline DWORD lastErrorOr(DWORD fallback) {
  const DWORD error = GetLastError();
  return error != 0 ? error : fallback;
}

}  // namespace eldoris
