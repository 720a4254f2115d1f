// naive_loader: the control of the planted-DLL case. It loads msi.dll the way a
// careless program would (the default search order, which looks beside the
// program first), so it shows that the planted DLL is loadable where it lies.
// Exit code: 0 when msi.dll loaded, else the error of the load.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  HMODULE msi = LoadLibraryW(L"msi.dll");
  if (!msi) return (int)GetLastError();
  FreeLibrary(msi);
  return 0;
}
