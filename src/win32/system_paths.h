// The system directory and libraries loaded only from it.
#pragma once

#include <windows.h>

#include <string>

namespace eldoris {

// Restricts the DLL search of this process to the system directory. Called
// first thing, before anything else can load a library.
void restrictDllSearchToSystemDirectory();

// The system directory, read into a buffer of the length the system reports.
// Empty, with the error in `error`, when it cannot be read.
std::wstring readSystemDirectory(DWORD& error);

// Loads a library by its full path in the system directory.
HMODULE loadSystemLibrary(const wchar_t* name);

}  // namespace eldoris
