// bench-box: a program that only asks the bootstrapper's confirmation question
// (the same text, caption and buttons) and carries its manifest: the floor for
// the time until that question is visible.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  return MessageBoxW(nullptr, L"Установить Тальвер Эльдорис?", L"Тальвер Эльдорис", MB_YESNO) ==
                 IDYES
             ? 0
             : 1;
}
