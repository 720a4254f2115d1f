// bench-trivial: a GUI program that only exits, built like the bootstrapper
// (static C++ run-time, same start-up code): the floor of one process start.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
