// Functions that the oldest systems the program starts on lack. Windows'
// loader refuses a program whose import table names a function that a
// system DLL does not export by that name, so these are looked up at run time.
#pragma once

#include <windows.h>

namespace eldoris {

// `name` (or an ordinal, as MAKEINTRESOURCEA gives it) of the already loaded
// system DLL `module`, as a `Function`; nullptr where it is not exported.
template <typename Function>
Function lookUpSystemFunction(const wchar_t* module, const char* name) {
  HMODULE loaded = GetModuleHandleW(module);
  if (loaded == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(loaded, name)));
}

}  // namespace eldoris
